#include "net/Reply.h"

#include <climits>

namespace reply {

namespace {
bool IsBlank(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n';
}
} // namespace

int Number(QStringView text, qsizetype& pos)
{
    while (pos < text.size() && IsBlank(text[pos]))
        ++pos;
    if (pos >= text.size() || text[pos] < u'0' || text[pos] > u'9')
        return -1;
    qint64 n = 0;
    for (; pos < text.size() && text[pos] >= u'0' && text[pos] <= u'9'; ++pos)
        n = std::min<qint64>(n * 10 + (text[pos].unicode() - u'0'), INT_MAX);
    return int(n);
}

TReplyLine ParseSmtp(const QString& line)
{
    TReplyLine r;
    r.Text = line;
    qsizetype pos = 0;
    r.Code = std::max(Number(line, pos), 0);
    r.HasCode = line.size() >= 3 && line[0].isDigit() && line[1].isDigit() && line[2].isDigit();
    r.Last = line.size() < 4 || line[3] != u'-';
    return r;
}

bool ParseStat(QStringView line, int& count, int& size)
{
    qsizetype pos = 0;
    while (pos < line.size() && !line[pos].isDigit())
        ++pos;
    const int c = Number(line, pos);
    if (c < 0)
        return false;
    while (pos < line.size() && IsBlank(line[pos]))
        ++pos;
    if (pos >= line.size())
        return false; // no size at all
    count = c;
    size = std::max(Number(line, pos), 0);
    return true;
}

} // namespace reply
