#include "net/Dkim.h"

#include "net/MailFormat.h"
#include "platform/Cp1252.h"
#include "platform/IniFile.h"
#include "platform/ProgramFolder.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QDateTime>
#include <QRegularExpression>

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <algorithm>
#include <memory>

namespace {
const QString kSelector = QStringLiteral("Selector");
const QString kKeyFile = QStringLiteral("KeyFile");
const QString kDomain = QStringLiteral("Domain");

// RFC 8301: verifiers ignore signatures made with smaller RSA keys.
constexpr int kMinKeyBits = 1024;

// A label list as DNS takes it for d= and s=: letters, digits, hyphens, dots between labels.
bool IsDomainText(const QString& text)
{
    static const QRegularExpression re(QStringLiteral("^[A-Za-z0-9_]([A-Za-z0-9_-]*[A-Za-z0-9_])?"
                                                      "(\\.[A-Za-z0-9_]([A-Za-z0-9_-]*[A-Za-z0-9_])?)*$"));
    return text.size() <= 253 && re.match(text).hasMatch();
}

// The header buffers as separate fields: a buffer may hold several, each with its folds.
QList<QByteArray> HeaderFields(const QStringList& headers)
{
    QList<QByteArray> fields;
    for (const QString& buffer : headers) {
        for (const QString& line : mailformat::SplitLines(buffer)) {
            if (line.isEmpty())
                continue;
            const QByteArray bytes = cp1252::encode(line);
            if ((bytes.startsWith(' ') || bytes.startsWith('\t')) && !fields.isEmpty())
                fields.last() += "\r\n" + bytes;
            else
                fields << bytes;
        }
    }
    return fields;
}
} // namespace

namespace dkimsign {

const QStringList& SignedHeaders()
{
    static const QStringList names = {
        QStringLiteral("From"),         QStringLiteral("To"),           QStringLiteral("Subject"),
        QStringLiteral("Date"),         QStringLiteral("Message-ID"),   QStringLiteral("MIME-Version"),
        QStringLiteral("Content-Type"), QStringLiteral("Content-Transfer-Encoding"),
        QStringLiteral("List-Unsubscribe"),
    };
    return names;
}

QString SectionName(const QString& fromDomain)
{
    return QStringLiteral("DKIM ") + fromDomain;
}

QString AddressDomain(const QString& from)
{
    QString address = from.trimmed();
    const qsizetype open = address.lastIndexOf(u'<');
    if (open >= 0) {
        const qsizetype close = address.indexOf(u'>', open);
        address = address.mid(open + 1, close < 0 ? -1 : close - open - 1);
    }
    const qsizetype at = address.lastIndexOf(u'@');
    if (at < 0)
        return {};
    return address.mid(at + 1).trimmed().toLower();
}

TDkimSettings Load(const TIniFile& ini, const QString& fromDomain, const QString& baseFolder)
{
    TDkimSettings s;
    s.FromDomain = fromDomain.trimmed().toLower();
    const QString section = SectionName(s.FromDomain);
    if (s.FromDomain.isEmpty() || !ini.SectionExists(section))
        return s;
    s.Present = true;
    s.Selector = ini.ReadString(section, kSelector, QString()).trimmed();
    s.KeyFile = ini.ReadString(section, kKeyFile, QString()).trimmed();
    s.Domain = ini.ReadString(section, kDomain, QString()).trimmed().toLower();
    if (s.Domain.isEmpty())
        s.Domain = s.FromDomain;
    s.KeyPath = KeyPath(s.KeyFile, baseFolder);
    s.Error = Validate(s);
    return s;
}

QString KeyPath(const QString& keyFile, const QString& baseFolder)
{
    if (keyFile.isEmpty())
        return {};
    return QFileInfo(keyFile).isAbsolute() ? keyFile : QDir::cleanPath(baseFolder + keyFile);
}

QString Validate(const TDkimSettings& s)
{
    const QString section = SectionName(s.FromDomain);
    if (!IsDomainText(s.FromDomain))
        return QStringLiteral("Invalid domain '%1' for DKIM signing").arg(s.FromDomain);
    if (s.Selector.isEmpty())
        return QStringLiteral("No Selector in [%1]").arg(section);
    if (!IsDomainText(s.Selector))
        return QStringLiteral("Invalid Selector '%1' in [%2]").arg(s.Selector, section);
    if (s.KeyFile.isEmpty())
        return QStringLiteral("No KeyFile in [%1]").arg(section);
    if (!IsDomainText(s.Domain))
        return QStringLiteral("Invalid Domain '%1' in [%2]").arg(s.Domain, section);
    // Receivers only credit a signature whose domain is the From domain or a parent of it.
    if (s.Domain != s.FromDomain && !s.FromDomain.endsWith(u'.' + s.Domain))
        return QStringLiteral("Domain '%1' in [%2] is neither %3 nor a parent domain of it")
            .arg(s.Domain, section, s.FromDomain);
    return {};
}

void Save(TIniFile& ini, const TDkimSettings& s)
{
    const QString section = SectionName(s.FromDomain.trimmed().toLower());
    ini.EraseSection(section);
    ini.WriteString(section, kSelector, s.Selector);
    ini.WriteString(section, kKeyFile, s.KeyFile);
    if (!s.Domain.isEmpty() && s.Domain.compare(s.FromDomain, Qt::CaseInsensitive) != 0)
        ini.WriteString(section, kDomain, s.Domain);
}

TDkimSettings LoadFromFile(const QString& from)
{
    const TIniFile ini(ProgramFolder() + QStringLiteral("Quorvel.ini"));
    return Load(ini, AddressDomain(from), ProgramFolder());
}

bool MakeSigner(const QByteArray& pem, const QString& domain, const QString& selector, TDkimSigner& signer,
                QString& error)
{
    signer = {};
    std::unique_ptr<BIO, decltype(&BIO_free)> bio(BIO_new_mem_buf(pem.constData(), int(pem.size())), BIO_free);
    // No passphrase callback answer: an encrypted key is refused, not prompted for.
    auto noPassphrase = [](char*, int, int, void*) { return 0; };
    std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key(
        bio ? PEM_read_bio_PrivateKey(bio.get(), nullptr, noPassphrase, nullptr) : nullptr, EVP_PKEY_free);
    if (!key) {
        ERR_clear_error(); // the reasons stay ours: TLS reads the queue of this thread later
        error = pem.contains("ENCRYPTED") ? QStringLiteral("it is protected by a passphrase; DKIM needs it without one")
                                          : QStringLiteral("it is not a private key in PEM form");
        return false;
    }
    if (EVP_PKEY_get_base_id(key.get()) != EVP_PKEY_RSA) {
        error = QStringLiteral("it is not an RSA key (rsa-sha256 needs one)");
        return false;
    }
    const int bits = EVP_PKEY_get_bits(key.get());
    if (bits < kMinKeyBits) {
        error = QStringLiteral("it is a %1-bit key; receivers ignore signatures by keys under %2 bits")
                    .arg(bits)
                    .arg(kMinKeyBits);
        return false;
    }
    unsigned char* der = nullptr;
    const int derLen = i2d_PUBKEY(key.get(), &der);
    if (derLen <= 0) {
        error = QStringLiteral("its public key cannot be derived");
        return false;
    }
    signer.PublicKey = QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(der), derLen).toBase64());
    OPENSSL_free(der);
    signer.Key = std::shared_ptr<EVP_PKEY>(key.release(), EVP_PKEY_free);
    signer.KeyBits = bits;
    signer.Domain = domain;
    signer.Selector = selector;
    // A trial signature: a key that cannot sign must show now, before anything is sent.
    QString why;
    if (Sign(signer, {QStringLiteral("From: <check@") + domain + u'>'}, {}, &why).isEmpty()) {
        error = QStringLiteral("it cannot sign (%1)").arg(why);
        signer = {};
        return false;
    }
    return true;
}

bool LoadSigner(const TDkimSettings& s, TDkimSigner& signer, QString& error)
{
    signer = {};
    if (!s.Error.isEmpty()) {
        error = s.Error;
        return false;
    }
    const QString section = SectionName(s.FromDomain);
    QFile file(s.KeyPath);
    if (!file.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("The DKIM key \"%1\" of [%2] cannot be read: %3").arg(s.KeyPath, section, file.errorString());
        return false;
    }
    const QByteArray pem = file.readAll();
    QString why;
    if (!MakeSigner(pem, s.Domain, s.Selector, signer, why)) {
        error = QStringLiteral("The DKIM key \"%1\" of [%2] cannot be used: %3").arg(s.KeyPath, section, why);
        return false;
    }
    return true;
}

QString DnsName(const TDkimSigner& signer)
{
    return signer.Selector + QStringLiteral("._domainkey.") + signer.Domain;
}

QString DnsRecord(const TDkimSigner& signer)
{
    return QStringLiteral("v=DKIM1; k=rsa; p=") + signer.PublicKey;
}

QByteArray RelaxedHeader(QByteArrayView field)
{
    const qsizetype colon = field.indexOf(':');
    QByteArray out = field.first(colon < 0 ? field.size() : colon).toByteArray().toLower();
    // The name loses any blank before the colon, the value its folds, its runs of blanks (one
    // space each) and the blanks at both ends.
    while (out.endsWith(' ') || out.endsWith('\t'))
        out.chop(1);
    out += ':';
    bool blank = false;
    bool started = false;
    for (qsizetype i = colon < 0 ? field.size() : colon + 1; i < field.size(); ++i) {
        const char c = field[i];
        if (c == '\r' || c == '\n')
            continue;
        if (c == ' ' || c == '\t') {
            blank = started;
            continue;
        }
        if (blank)
            out += ' ';
        blank = false;
        started = true;
        out += c;
    }
    out += "\r\n";
    return out;
}

QByteArray RelaxedBody(QByteArrayView body)
{
    QByteArray out;
    out.reserve(body.size());
    qsizetype pendingLines = 0; // empty lines held back: at the end of the body they go
    for (qsizetype at = 0; at < body.size();) {
        qsizetype end = body.indexOf("\r\n", at);
        const qsizetype next = end < 0 ? body.size() : end + 2;
        if (end < 0)
            end = body.size();
        const qsizetype lineStart = out.size();
        bool blank = false;
        for (qsizetype i = at; i < end; ++i) {
            const char c = body[i];
            if (c == ' ' || c == '\t') {
                blank = true;
                continue;
            }
            if (out.size() == lineStart && pendingLines > 0) {
                // Text after empty lines: they were inside the body after all.
                for (; pendingLines > 0; --pendingLines)
                    out += "\r\n";
            }
            if (blank)
                out += ' ';
            blank = false;
            out += c;
        }
        at = next;
        if (out.size() == lineStart)
            ++pendingLines;
        else
            out += "\r\n";
    }
    return out;
}

QString Sign(const TDkimSigner& signer, const QStringList& headers, const QStringList& body, QString* error)
{
    const auto fail = [error](const QString& why) {
        if (error)
            *error = why;
        return QString();
    };
    if (!signer.Valid())
        return fail(QStringLiteral("no key"));

    // The body as the client writes it, dot-stuffing aside: every piece of a line is a line.
    QByteArray bytes;
    for (const QString& line : body) {
        if (mailformat::HasLineBreak(line)) {
            for (const QString& piece : mailformat::SplitLines(line))
                bytes += cp1252::encode(piece) + "\r\n";
        } else {
            bytes += cp1252::encode(line) + "\r\n";
        }
    }
    const QByteArray bodyHash =
        QCryptographicHash::hash(RelaxedBody(bytes), QCryptographicHash::Sha256).toBase64();

    // Each wanted header, every instance, taken from the bottom up (RFC 6376 5.4.2).
    const QList<QByteArray> fields = HeaderFields(headers);
    QByteArray data;
    QStringList names;
    for (const QString& wanted : SignedHeaders()) {
        const QByteArray name = wanted.toLatin1().toLower();
        for (qsizetype i = fields.size() - 1; i >= 0; --i) {
            const QByteArray& f = fields[i];
            const qsizetype colon = f.indexOf(':');
            if (colon < 0 || f.left(colon).trimmed().toLower() != name)
                continue;
            data += RelaxedHeader(f);
            names << QString::fromLatin1(f.left(colon).trimmed());
        }
    }
    if (names.isEmpty() || names.first().compare(QLatin1String("From"), Qt::CaseInsensitive) != 0)
        return fail(QStringLiteral("the message has no From header"));

    // The tags, folded at their own blanks so that no line passes 78 characters.
    QStringList tags = {QStringLiteral("v=1"), QStringLiteral("a=rsa-sha256"), QStringLiteral("c=relaxed/relaxed"),
                        QStringLiteral("d=") + signer.Domain, QStringLiteral("s=") + signer.Selector,
                        QStringLiteral("t=%1").arg(QDateTime::currentSecsSinceEpoch()), QStringLiteral("bh=") + QString::fromLatin1(bodyHash)};
    QString header = QStringLiteral("DKIM-Signature:");
    qsizetype lineLength = header.size();
    const auto add = [&](const QString& piece) {
        if (lineLength + 1 + piece.size() > 76) {
            header += QStringLiteral("\r\n\t");
            lineLength = 1;
        } else {
            header += u' ';
            lineLength += 1;
        }
        header += piece;
        lineLength += piece.size();
    };
    for (const QString& tag : std::as_const(tags))
        add(tag + u';');
    for (qsizetype i = 0; i < names.size(); ++i) {
        const QString piece = (i == 0 ? QStringLiteral("h=") : QString()) + names[i]
            + (i + 1 < names.size() ? QStringLiteral(":") : QStringLiteral(";"));
        if (i == 0) {
            add(piece);
        } else if (lineLength + piece.size() > 76) {
            header += QStringLiteral("\r\n\t") + piece;
            lineLength = 1 + piece.size();
        } else {
            header += piece;
            lineLength += piece.size();
        }
    }
    add(QStringLiteral("b="));
    data += RelaxedHeader(cp1252::encode(header));
    data.chop(2); // the signature's own header goes in without its line end

    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> ctx(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    size_t length = 0;
    if (!ctx || EVP_DigestSignInit(ctx.get(), nullptr, EVP_sha256(), nullptr, signer.Key.get()) != 1
        || EVP_DigestSign(ctx.get(), nullptr, &length, reinterpret_cast<const unsigned char*>(data.constData()),
                          size_t(data.size())) != 1) {
        ERR_clear_error();
        return fail(QStringLiteral("the key cannot sign"));
    }
    QByteArray signature(qsizetype(length), '\0');
    if (EVP_DigestSign(ctx.get(), reinterpret_cast<unsigned char*>(signature.data()), &length,
                       reinterpret_cast<const unsigned char*>(data.constData()), size_t(data.size())) != 1) {
        ERR_clear_error();
        return fail(QStringLiteral("the key cannot sign"));
    }
    signature.truncate(qsizetype(length));
    const QString b = QString::fromLatin1(signature.toBase64());
    // Blanks inside b= do not count (RFC 6376 3.5): it is cut into lines like the rest.
    for (qsizetype i = 0; i < b.size();) {
        if (76 - lineLength < 8) {
            header += QStringLiteral("\r\n\t");
            lineLength = 1;
        }
        const QString piece = b.mid(i, 76 - lineLength);
        header += piece;
        lineLength += piece.size();
        i += piece.size();
        if (i < b.size()) {
            header += QStringLiteral("\r\n\t");
            lineLength = 1;
        }
    }
    return header;
}

} // namespace dkimsign
