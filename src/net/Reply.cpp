#include "net/Reply.h"

#include <climits>

bool TEhloReply::Has(const QString& keyword) const
{
    for (const QString& ext : Extensions)
        if (ext.section(u' ', 0, 0) == keyword)
            return true;
    return false;
}

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

TEhloReply ParseEhlo(const QStringList& lines)
{
    TEhloReply r;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        QString ext = lines[i].mid(4).trimmed();
        // The old "AUTH=LOGIN" form counts as "AUTH LOGIN".
        if (ext.startsWith(QLatin1String("AUTH="), Qt::CaseInsensitive))
            ext[4] = u' ';
        const qsizetype blank = ext.indexOf(u' ');
        const QString keyword = (blank < 0 ? ext : ext.left(blank)).toUpper();
        const QString params = blank < 0 ? QString() : ext.mid(blank + 1).trimmed();
        r.Extensions.append(blank < 0 ? keyword : keyword + u' ' + ext.mid(blank + 1));
        if (keyword == QLatin1String("SIZE"))
            r.Size = params.section(u' ', 0, 0).toLongLong();
        else if (keyword == QLatin1String("AUTH"))
            r.AuthMechanisms += params.toUpper().split(u' ', Qt::SkipEmptyParts);
        else if (keyword == QLatin1String("PIPELINING"))
            r.Pipelining = true;
        else if (keyword == QLatin1String("STARTTLS"))
            r.StartTls = true;
    }
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
