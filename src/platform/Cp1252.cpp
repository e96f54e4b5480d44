#include "platform/Cp1252.h"

namespace cp1252 {
namespace {
// 0x80..0x9F; the rest of the code page is identical to Latin-1.
constexpr char16_t kHigh[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
} // namespace

char16_t toUnicode(unsigned char byte)
{
    return (byte >= 0x80 && byte < 0xA0) ? kHigh[byte - 0x80] : char16_t(byte);
}

bool fromUnicode(char16_t ch, unsigned char* byte)
{
    if (ch < 0x80 || (ch >= 0xA0 && ch <= 0xFF)) {
        *byte = static_cast<unsigned char>(ch);
        return true;
    }
    for (int i = 0; i < 32; ++i) {
        if (kHigh[i] == ch) {
            *byte = static_cast<unsigned char>(0x80 + i);
            return true;
        }
    }
    return false;
}

QString decode(QByteArrayView bytes)
{
    QString out(bytes.size(), Qt::Uninitialized);
    QChar* d = out.data();
    for (qsizetype i = 0; i < bytes.size(); ++i)
        d[i] = QChar(toUnicode(static_cast<unsigned char>(bytes[i])));
    return out;
}

QByteArray encode(QStringView text)
{
    QByteArray out(text.size(), Qt::Uninitialized);
    char* d = out.data();
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t ch = text[i].unicode();
        unsigned char b;
        if (ch < 0x80)
            b = static_cast<unsigned char>(ch);
        else if (!fromUnicode(ch, &b))
            b = '?';
        d[i] = static_cast<char>(b);
    }
    return out;
}

QByteArray encodeCut(QStringView text, int capacity)
{
    return encode(text.left(capacity));
}

} // namespace cp1252
