#include "platform/TextFile.h"

#include "platform/AtomicFile.h"
#include "platform/Cp1252.h"

#include <QFile>
#include <QStringDecoder>

namespace textfile {

namespace {
constexpr char kBom[] = "\xEF\xBB\xBF";

bool IsValidUtf8(QByteArrayView bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8.decode(bytes); // the decoding happens on conversion
    return !utf8.hasError();
}
} // namespace

QString decode(const QByteArray& bytes)
{
    QByteArrayView view(bytes);
    if (view.startsWith(kBom)) {
        // Marked: UTF-8 even if damaged, and a second mark is text.
        QStringDecoder marked(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless |
                                                        QStringDecoder::Flag::ConvertInitialBom);
        return marked.decode(view.sliced(3));
    }
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(view);
    if (!utf8.hasError())
        return text;
    return cp1252::decode(view);
}

QByteArray encode(QStringView text)
{
    bool fits = true;
    bool high = false;
    for (const QChar c : text) {
        if (c.unicode() < 0x80)
            continue;
        high = true;
        unsigned char b;
        if (!cp1252::fromUnicode(c.unicode(), &b)) {
            fits = false;
            break;
        }
    }
    if (fits) {
        QByteArray bytes = cp1252::encode(text);
        // Only bytes that also pass as UTF-8 would be read back as something else.
        if (!high || !IsValidUtf8(bytes))
            return bytes;
    }
    return kBom + text.toUtf8();
}

QByteArray encodeCrLf(QStringView text)
{
    QString out;
    out.reserve(text.size() + text.size() / 40);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u'\r') {
            out += u"\r\n";
            if (i + 1 < text.size() && text[i + 1] == u'\n')
                ++i;
        } else if (c == u'\n') {
            out += u"\r\n";
        } else {
            out += c;
        }
    }
    return encode(out);
}

bool readBytes(const QString& path, QByteArray* out, QString* error)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        if (error)
            *error = f.errorString();
        return false;
    }
    *out = f.readAll();
    if (f.error() != QFileDevice::NoError) {
        if (error)
            *error = f.errorString();
        return false;
    }
    return true;
}

bool readText(const QString& path, QString* out, QString* error)
{
    QByteArray bytes;
    if (!readBytes(path, &bytes, error))
        return false;
    *out = decode(bytes);
    return true;
}

bool writeBytes(const QString& path, const QByteArray& bytes, QString* error, Access access)
{
    TAtomicFile f(path, access == Access::OwnerOnly ? TAtomicFile::Access::OwnerOnly
                                                    : TAtomicFile::Access::Normal);
    if (f.Open() && f.Write(bytes) && f.Commit())
        return true;
    if (error)
        *error = f.ErrorString();
    return false;
}

bool writeText(const QString& path, const QString& text, QString* error)
{
    return writeBytes(path, encodeCrLf(text), error);
}

} // namespace textfile
