#include "net/Dkim.h"

#include "net/MailFormat.h"
#include "platform/Cp1252.h"
#include "platform/IniFile.h"
#include "platform/ProgramFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <opendkim/dkim.h>
#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <memory>
#include <vector>
#include <mutex>

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

// One library handle for the program: its options (the headers to sign) never change.
DKIM_LIB* Library()
{
    static DKIM_LIB* lib = [] {
        DKIM_LIB* l = dkim_init(nullptr, nullptr);
        if (!l)
            return l;
        static std::vector<QByteArray> names;
        static std::vector<const char*> list;
        for (const QString& h : dkimsign::SignedHeaders())
            names.push_back(h.toLower().toLatin1());
        for (const QByteArray& n : names)
            list.push_back(n.constData());
        list.push_back(nullptr);
        const char** ptr = list.data();
        if (dkim_options(l, DKIM_OP_SETOPT, DKIM_OPTS_SIGNHDRS, ptr, sizeof ptr) != DKIM_STAT_OK) {
            dkim_close(l);
            return static_cast<DKIM_LIB*>(nullptr);
        }
        // No t= tag in the past of the receiver's clock is ever a problem; keep the default.
        return l;
    }();
    return lib;
}

struct DkimFree
{
    void operator()(DKIM* d) const { dkim_free(d); }
};

QString StatusText(DKIM* d, DKIM_STAT status)
{
    const char* detail = d ? dkim_geterror(d) : nullptr;
    QString text = QString::fromLatin1(dkim_getresultstr(status));
    if (detail && *detail)
        text += QStringLiteral(": ") + QString::fromLatin1(detail);
    return text;
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
    // The signing library reads PEM itself: hand it the key in a form it is sure to take.
    std::unique_ptr<BIO, decltype(&BIO_free)> out(BIO_new(BIO_s_mem()), BIO_free);
    if (!out || !PEM_write_bio_PrivateKey(out.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr)) {
        error = QStringLiteral("it cannot be prepared for signing");
        signer = {};
        return false;
    }
    char* data = nullptr;
    const long n = BIO_get_mem_data(out.get(), &data);
    signer.KeyPem = QByteArray(data, n);
    signer.KeyBits = bits;
    signer.Domain = domain;
    signer.Selector = selector;
    // A trial signature: a key the library refuses must show now, before anything is sent.
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

QString Sign(const TDkimSigner& signer, const QStringList& headers, const QStringList& body, QString* error)
{
    const auto fail = [error](const QString& why) {
        if (error)
            *error = why;
        return QString();
    };
    if (!signer.Valid())
        return fail(QStringLiteral("no key"));
    static std::mutex libraryUse;
    const std::lock_guard lock(libraryUse);
    DKIM_LIB* lib = Library();
    if (!lib)
        return fail(QStringLiteral("the DKIM library could not be started"));
    const QByteArray selector = signer.Selector.toLatin1();
    const QByteArray domain = signer.Domain.toLatin1();
    DKIM_STAT status = DKIM_STAT_OK;
    std::unique_ptr<DKIM, DkimFree> d(dkim_sign(lib, reinterpret_cast<const unsigned char*>("quorvel"), nullptr,
                                                reinterpret_cast<dkim_sigkey_t>(const_cast<char*>(signer.KeyPem.constData())),
                                                reinterpret_cast<const unsigned char*>(selector.constData()),
                                                reinterpret_cast<const unsigned char*>(domain.constData()),
                                                DKIM_CANON_RELAXED, DKIM_CANON_RELAXED, DKIM_SIGN_RSASHA256, -1, &status));
    if (!d)
        return fail(StatusText(nullptr, status));
    for (QByteArray field : HeaderFields(headers)) {
        status = dkim_header(d.get(), reinterpret_cast<unsigned char*>(field.data()), size_t(field.size()));
        if (status != DKIM_STAT_OK)
            return fail(StatusText(d.get(), status));
    }
    status = dkim_eoh(d.get());
    if (status != DKIM_STAT_OK)
        return fail(StatusText(d.get(), status));
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
    if (!bytes.isEmpty()) {
        status = dkim_body(d.get(), reinterpret_cast<unsigned char*>(bytes.data()), size_t(bytes.size()));
        if (status != DKIM_STAT_OK)
            return fail(StatusText(d.get(), status));
    }
    status = dkim_eom(d.get(), nullptr);
    if (status != DKIM_STAT_OK)
        return fail(StatusText(d.get(), status));
    const QByteArray prefix = "DKIM-Signature: ";
    unsigned char* value = nullptr;
    size_t len = 0;
    status = dkim_getsighdr_d(d.get(), size_t(prefix.size()), &value, &len);
    if (status != DKIM_STAT_OK || !value)
        return fail(StatusText(d.get(), status));
    QString text = QString::fromLatin1(reinterpret_cast<const char*>(value), qsizetype(len));
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(u'\n', QLatin1String("\r\n"));
    return QString::fromLatin1(prefix) + text;
}

} // namespace dkimsign
