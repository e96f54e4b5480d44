// The header the owner's hook hands back, with any text: every physical line that goes out
// is a field or a continuation carrying text, no longer than the limit, with no stray CR or
// LF; unfolding loses no text.
// Links: quorvel_net
#include "FuzzSupport.h"
#include "net/SmtpClient.h"

namespace {
// The text without any white space (lines of white space alone are dropped, folds add some).
QString Visible(const QString& s)
{
    QString out;
    for (QChar c : s)
        if (!c.isSpace())
            out += c;
    return out;
}

// A line a receiver takes for the end of the header: nothing but blanks and tabs.
bool OnlyBlanks(const QString& line)
{
    for (QChar c : line)
        if (c != u' ' && c != u'\t')
            return false;
    return true;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString buffer = QString::fromUtf8(fuzz::Bytes(data, size));
    const QString out = TCustomSmtpClient::SanitizeHeader(buffer);
    if (out.isEmpty())
        return 0;
    const QStringList lines = out.split(QStringLiteral("\r\n"));
    // (A first line that starts with white space continues the field sent before it.)
    for (const QString& line : lines) {
        FUZZ_CHECK(!OnlyBlanks(line));
        FUZZ_CHECK(line.size() <= TCustomSmtpClient::HeaderLineLimit);
        FUZZ_CHECK(!line.contains(u'\r') && !line.contains(u'\n'));
    }
    FUZZ_CHECK(Visible(out) == Visible(buffer));
    (void)TCustomSmtpClient::FoldValue(buffer, true);
    return 0;
}
