#include "inbox/MailText.h"

#include "platform/Cp1252.h"
#include "platform/Regional.h"

#include <QDir>
#include <QFile>

namespace mailtext {

QString Separator()
{
    return QString(50, u'_');
}

int HeaderEnd(const QStringList& lines)
{
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (lines[i].isEmpty())
            return int(i);
    }
    return -1;
}

QList<THeaderField> HeaderFields(const QStringList& lines)
{
    QList<THeaderField> fields;
    const int end = HeaderEnd(lines);
    const qsizetype n = end < 0 ? lines.size() : end;
    bool open = false; // the last field can take continuation lines
    for (qsizetype i = 0; i < n; ++i) {
        const QString& line = lines[i];
        const QChar first = line.at(0);
        if (first == u' ' || first == u'\t') {
            if (open) {
                fields.last().Line += line;
                fields.last().Value += line;
            }
            continue;
        }
        const qsizetype colon = line.indexOf(u':');
        // A field name is printable ASCII without blanks; anything else is not a field.
        bool named = colon > 0;
        for (qsizetype k = 0; named && k < colon; ++k) {
            const char16_t c = line.at(k).unicode();
            named = c > 32 && c < 127;
        }
        open = named;
        if (!named)
            continue;
        fields.append({line.left(colon), line, line.mid(colon + 1)});
    }
    return fields;
}

QString FieldValue(const QList<THeaderField>& fields, QStringView name)
{
    for (const THeaderField& f : fields) {
        if (QStringView(f.Name).compare(name, Qt::CaseInsensitive) == 0)
            return f.Value;
    }
    return QString();
}

namespace {
QString WithoutBlanks(QString s)
{
    s.remove(u' ');
    s.remove(u'\t');
    return s;
}

QString LeftTrimmed(const QString& s)
{
    qsizetype i = 0;
    while (i < s.size() && (s[i] == u' ' || s[i] == u'\t'))
        ++i;
    return s.mid(i);
}
} // namespace

void FillRecord(TMailRecord& record, const QStringList& messageLines)
{
    const QList<THeaderField> fields = HeaderFields(messageLines);
    record.From = WithoutBlanks(DecodeWords(FieldValue(fields, u"From"))).left(kFieldCapacity);
    record.Subject = DecodeWords(FieldValue(fields, u"Subject")).trimmed().left(kFieldCapacity);
    record.To = WithoutBlanks(FieldValue(fields, u"To")).left(kFieldCapacity);
    record.Date = LeftTrimmed(FieldValue(fields, u"Date")).left(kFieldCapacity);
}

QString AddressOf(const QString& sender)
{
    const qsizetype at = sender.indexOf(u'@');
    if (at < 0)
        return QString();
    static const QString delimiters = QStringLiteral(" <>(),:!/=;\\");
    qsizetype begin = at;
    while (begin > 0 && !delimiters.contains(sender[begin - 1]))
        --begin;
    qsizetype end = at + 1;
    while (end < sender.size() && !delimiters.contains(sender[end]) && sender[end] != u'@')
        ++end;
    return sender.mid(begin, end - begin);
}

namespace {
QString MediaType(const QString& contentType)
{
    return contentType.section(u';', 0, 0).trimmed().toLower();
}

QString Parameter(const QString& contentType, QStringView name)
{
    const QStringList parts = contentType.split(u';');
    for (qsizetype i = 1; i < parts.size(); ++i) {
        const QString p = parts[i].trimmed();
        const qsizetype eq = p.indexOf(u'=');
        if (eq <= 0 || QStringView(p).left(eq).trimmed().compare(name, Qt::CaseInsensitive) != 0)
            continue;
        QString v = p.mid(eq + 1).trimmed();
        if (v.size() >= 2 && v.startsWith(u'"') && v.endsWith(u'"'))
            v = v.mid(1, v.size() - 2);
        return v;
    }
    return QString();
}
} // namespace

bool NeedsMimeDecoding(const QList<THeaderField>& fields)
{
    const QString type = FieldValue(fields, u"Content-Type");
    const QString media = MediaType(type);
    if (!media.isEmpty() && media != QLatin1String("text/plain"))
        return true;
    const QString cte = FieldValue(fields, u"Content-Transfer-Encoding").trimmed().toLower();
    if (!cte.isEmpty() && cte != QLatin1String("7bit") && cte != QLatin1String("8bit")
        && cte != QLatin1String("binary"))
        return true;
    const QString charset = Parameter(type, u"charset").toLower();
    static const QStringList plain = {QStringLiteral("us-ascii"), QStringLiteral("ascii"),
                                      QStringLiteral("windows-1252"), QStringLiteral("cp1252"),
                                      QStringLiteral("iso-8859-1"), QStringLiteral("latin1")};
    return !charset.isEmpty() && !plain.contains(charset);
}

QStringList BodyLines(const QStringList& messageLines)
{
    const int end = HeaderEnd(messageLines);
    if (end < 0)
        return {};
    if (!NeedsMimeDecoding(HeaderFields(messageLines)))
        return messageLines.mid(end + 1);
    QByteArray raw;
    for (const QString& line : messageLines) {
        raw += cp1252::encode(line);
        raw += "\r\n";
    }
    return ReadableBody(raw);
}

QStringList InboxLines(const QStringList& messageLines)
{
    return InboxLines(messageLines, BodyLines(messageLines));
}

QStringList InboxLines(const QStringList& messageLines, const QStringList& body)
{
    QStringList out;
    const int end = HeaderEnd(messageLines);
    bool subject = false, cc = false, bcc = false, date = false, from = false, replyTo = false;
    auto once = [](bool& seen) {
        if (seen)
            return false;
        seen = true;
        return true;
    };
    for (const THeaderField& f : HeaderFields(messageLines)) {
        const QString name = f.Name.toLower();
        bool take = false;
        if (name == QLatin1String("subject"))
            take = once(subject);
        else if (name == QLatin1String("cc"))
            take = once(cc);
        else if (name == QLatin1String("bcc"))
            take = once(bcc);
        else if (name == QLatin1String("date"))
            take = once(date);
        else if (name == QLatin1String("from"))
            take = once(from);
        else if (name == QLatin1String("reply-to"))
            take = f.Line.contains(QLatin1String("In "), Qt::CaseInsensitive) && once(replyTo);
        else if (name == QLatin1String("to"))
            take = true;
        if (take) // encoded words made readable; the header as received below keeps them
            out << (f.Value.contains(QLatin1String("=?")) ? f.Name + u':' + DecodeWords(f.Value) : f.Line);
    }
    if (end >= 0) {
        out << QString();
        out << body;
    }
    out << QString() << QString() << Separator();
    // The header as received, with its closing empty line; a message without one is all header.
    out << (end < 0 ? messageLines : messageLines.mid(0, end + 1));
    return out;
}

QString InboxBaseName(const QDateTime& when, int msgNum)
{
    const QStringList d = regional::ShortDateText(when.date()).left(8).split(u'/');
    const QStringList t = regional::LongTimeText(when.time()).left(8).split(u':');
    auto part = [](const QStringList& l, int i) { return i < l.size() ? l[i].left(2).trimmed() : QString(); };
    return part(d, 2) + u'-' + part(d, 0) + u'-' + part(d, 1) + u'_' + part(t, 0) + part(t, 1) + part(t, 2)
           + u'_' + QString::number(msgNum) + QStringLiteral(".txt");
}

QByteArray FileBytes(const QStringList& lines)
{
    bool fits = true;
    for (const QString& line : lines) {
        for (QChar c : line) {
            unsigned char b;
            if (c.unicode() >= 0x80 && !cp1252::fromUnicode(c.unicode(), &b)) {
                fits = false;
                break;
            }
        }
        if (!fits)
            break;
    }
    QByteArray out;
    for (const QString& line : lines) {
        out += fits ? cp1252::encode(line) : line.toUtf8();
        out += "\r\n";
    }
    return out;
}

QString WriteNewFile(const QString& folder, const QString& baseName, const QByteArray& bytes, QString* error)
{
    const QString stem = baseName.section(u'.', 0, -2);
    const QString ext = baseName.contains(u'.') ? u'.' + baseName.section(u'.', -1) : QString();
    const QString dir = QDir(folder).absolutePath() + u'/';
    for (int n = 1; n < 10000; ++n) {
        const QString path = dir + (n == 1 ? baseName : stem + u'_' + QString::number(n) + ext);
        QFile f(path);
        // NewOnly creates the file or fails when it exists, in one step: two checks in one
        // second (or two lists) never write over each other's messages.
        if (!f.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            if (QFile::exists(path))
                continue;
            if (error)
                *error = QStringLiteral("Could not create the file ") + path + QStringLiteral(": ") + f.errorString();
            return QString();
        }
        if (f.write(bytes) != bytes.size() || !f.flush()) {
            if (error)
                *error = QStringLiteral("Could not write the file ") + path + QStringLiteral(": ") + f.errorString();
            f.close();
            return QString();
        }
        f.close();
        return path;
    }
    if (error)
        *error = QStringLiteral("No free file name for ") + dir + baseName;
    return QString();
}

void QueueAppend(QString& queue, int number)
{
    queue += QString::number(number) + u':';
}

bool QueueTake(QString& queue, int* number)
{
    if (queue.isEmpty())
        return false;
    qsizetype colon = queue.indexOf(u':');
    if (colon < 0)
        colon = queue.size();
    *number = queue.left(colon).toInt();
    queue.remove(0, colon + 1);
    return true;
}

} // namespace mailtext
