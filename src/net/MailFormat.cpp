#include "net/MailFormat.h"

#include "platform/Regional.h"

#include <QDateTime>

namespace mailformat {

namespace {

// "Name:" with a name of printable characters other than the colon.
bool LooksLikeField(const QString& line)
{
    const qsizetype colon = line.indexOf(u':');
    if (colon <= 0)
        return false;
    for (qsizetype i = 0; i < colon; ++i) {
        const char16_t c = line[i].unicode();
        if (c < 33 || c > 126)
            return false;
    }
    return true;
}

// Folds one physical line longer than the limit at white space (the white space starts the
// continuation, so unfolding gives the line back); a run without white space is broken hard.
QString FoldLong(const QString& line, int limit)
{
    if (line.size() <= limit)
        return line;
    QString out;
    QString rest = line;
    const qsizetype nameEnd = std::max<qsizetype>(rest.indexOf(u':') + 1, 1);
    bool first = true;
    while (rest.size() > limit) {
        qsizetype cut = -1;
        for (qsizetype i = limit; i > (first ? nameEnd : 1); --i) {
            if (rest[i] == u' ' || rest[i] == u'\t') {
                cut = i;
                break;
            }
        }
        if (cut < 0) {
            out += rest.left(limit) + QStringLiteral("\r\n");
            rest = u' ' + rest.mid(limit);
        } else {
            out += rest.left(cut) + QStringLiteral("\r\n");
            rest = rest.mid(cut);
        }
        first = false;
    }
    return out + rest;
}

} // namespace

bool HasLineBreak(const QString& text)
{
    return text.contains(u'\r') || text.contains(u'\n');
}

QStringList SplitLines(const QString& text)
{
    QStringList out;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u'\r' || c == u'\n') {
            out << text.mid(start, i - start);
            if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
                ++i;
            start = i + 1;
        }
    }
    out << text.mid(start);
    return out;
}

QString DateText(const QDateTime& when)
{
    static const char* const days[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
    static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const QDate d = when.date();
    const QTime t = when.time();
    return QStringLiteral("%1, %2 %3 %4 %5")
        .arg(QLatin1String(days[d.dayOfWeek() - 1]))
        .arg(d.day())
        .arg(QLatin1String(months[d.month() - 1]))
        .arg(d.year(), 4, 10, QLatin1Char('0'))
        .arg(t.toString(QStringLiteral("HH:mm:ss")));
}

QString FoldValue(const QString& value, bool addressList)
{
    if (!HasLineBreak(value))
        return value;
    QStringList pieces;
    for (const QString& p : SplitLines(value)) {
        const QString t = p.trimmed();
        if (!t.isEmpty())
            pieces << t;
    }
    QString out;
    for (qsizetype i = 0; i < pieces.size(); ++i) {
        if (i > 0) {
            const bool separated = out.endsWith(u',') || out.endsWith(u';');
            out += (addressList && !separated) ? QStringLiteral(",\r\n\t") : QStringLiteral("\r\n\t");
        }
        out += pieces[i];
    }
    return out;
}

QString SanitizeHeader(const QString& buffer, int limit)
{
    QStringList lines;
    for (const QString& piece : SplitLines(buffer)) {
        if (piece.trimmed().isEmpty())
            continue; // a blank line would end the header
        QString line = piece;
        if (!lines.isEmpty() && line[0] != u' ' && line[0] != u'\t' && !LooksLikeField(line))
            line.prepend(u'\t'); // not a field of its own: a continuation of the one before
        lines << FoldLong(line, limit);
    }
    return lines.join(QStringLiteral("\r\n"));
}

QString MakeBoundary(const QDateTime& when)
{
    static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const QDate d = when.date();
    QString month = regional::Locale().monthName(d.month(), QLocale::ShortFormat);
    // RFC 2046 boundary characters only; otherwise the English name.
    static const QString allowed = QStringLiteral("'()+_,-./:=? ");
    bool ok = !month.isEmpty();
    for (const QChar c : month)
        if (!(c.unicode() < 128 && (c.isLetterOrNumber() || allowed.contains(c))))
            ok = false;
    if (!ok)
        month = QLatin1String(months[d.month() - 1]);
    return QStringLiteral("= Multipart Boundary ") + month + when.toString(QStringLiteral("ddyyHHmm"));
}

QString Base64Line(QByteArrayView bytes)
{
    return QString::fromLatin1(QByteArray::fromRawData(bytes.data(), bytes.size()).toBase64());
}

} // namespace mailformat
