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

namespace {
// A field line: a name of printable ASCII without blanks, then ":".
bool IsFieldLine(const QString& line)
{
    const qsizetype colon = line.indexOf(u':');
    if (colon <= 0)
        return false;
    for (qsizetype k = 0; k < colon; ++k) {
        const char16_t c = line.at(k).unicode();
        if (c <= 32 || c >= 127)
            return false;
    }
    return true;
}

bool IsContinuation(const QString& line)
{
    return !line.isEmpty() && (line.at(0) == u' ' || line.at(0) == u'\t');
}
} // namespace

THeaderSpan HeaderSpan(const QStringList& lines)
{
    THeaderSpan span;
    const int n = int(lines.size());
    for (int i = 0; i < n; ++i) {
        const QString& line = lines[i];
        if (line.isEmpty()) {
            span.Count = i;
            span.Blank = true;
            return span;
        }
        if (IsFieldLine(line) || (i > 0 && IsContinuation(line)))
            continue;
        span.Count = i; // a body line where the empty line should have been
        return span;
    }
    span.Count = n;
    return span;
}

int HeaderEnd(const QStringList& lines)
{
    const THeaderSpan span = HeaderSpan(lines);
    return span.Blank ? span.Count : -1;
}

QStringList ReceivedHeaderLines(const QStringList& lines)
{
    return lines.mid(0, HeaderSpan(lines).BodyStart());
}

QList<THeaderField> HeaderFields(const QStringList& lines)
{
    QList<THeaderField> fields;
    const qsizetype n = HeaderSpan(lines).Count;
    for (qsizetype i = 0; i < n; ++i) {
        const QString& line = lines[i];
        if (IsContinuation(line)) {
            if (!fields.isEmpty()) {
                fields.last().Line += line;
                fields.last().Value += line;
            }
            continue;
        }
        const qsizetype colon = line.indexOf(u':');
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
    // "text" alone (no subtype) is plain text, as the MIME default is.
    if (!media.isEmpty() && media != QLatin1String("text/plain") && media != QLatin1String("text"))
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
    const THeaderSpan span = HeaderSpan(messageLines);
    const QStringList raw = messageLines.mid(span.BodyStart());
    const QList<THeaderField> fields = HeaderFields(messageLines);
    if (!NeedsMimeDecoding(fields))
        return raw;
    QStringList message = messageLines;
    if (!span.Blank)
        message.insert(span.Count, QString()); // GMime needs the empty line to find the body
    for (int i = 0; i < span.Count; ++i) {
        // "text" alone would be read as application/octet-stream: it is text/plain.
        const QString& line = message[i];
        if (IsFieldLine(line) && line.section(u':', 0, 0).compare(QLatin1String("Content-Type"), Qt::CaseInsensitive) == 0
            && MediaType(line.section(u':', 1)) == QLatin1String("text")) {
            const qsizetype semi = line.indexOf(u';');
            message[i] = QStringLiteral("Content-Type: text/plain") + (semi < 0 ? QString() : line.mid(semi));
            break;
        }
    }
    // A multipart whose parts cannot be found (no boundary, a boundary cut short) gives nothing
    // readable: its text is shown as it came.
    const QStringList readable = ReadableBody(MessageBytes(message));
    return readable.isEmpty() ? raw : readable;
}

QStringList InboxLines(const QStringList& messageLines)
{
    return InboxLines(messageLines, BodyLines(messageLines));
}

QStringList InboxLines(const QStringList& messageLines, const QStringList& body)
{
    QStringList out;
    const THeaderSpan span = HeaderSpan(messageLines);
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
            out << (DecodeWords(f.Value) != f.Value ? f.Name + u':' + DecodeWords(f.Value) : f.Line);
    }
    if (span.Blank || span.Count < messageLines.size()) {
        out << QString();
        out << body;
    }
    out << QString() << QString() << Separator();
    // The header as received, with its closing empty line.
    out << messageLines.mid(0, span.BodyStart());
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

namespace {
qsizetype LinesSize(const QStringList& lines)
{
    qsizetype size = 0;
    for (const QString& line : lines)
        size += line.size() + 2;
    return size;
}

// The lines in Windows-1252, each ended by CR LF, in one buffer written once; false when a
// character has no Windows-1252 byte.
bool Cp1252Lines(const QStringList& lines, QByteArray* out)
{
    out->resize(LinesSize(lines));
    char* p = out->data();
    for (const QString& line : lines) {
        for (QChar c : line) {
            unsigned char b = uchar(c.unicode());
            if (c.unicode() >= 0x80 && !cp1252::fromUnicode(c.unicode(), &b))
                return false;
            *p++ = char(b);
        }
        *p++ = '\r';
        *p++ = '\n';
    }
    return true;
}
} // namespace

QByteArray FileBytes(const QStringList& lines)
{
    QByteArray out;
    if (Cp1252Lines(lines, &out))
        return out;
    out.clear();
    out.reserve(LinesSize(lines));
    for (const QString& line : lines) {
        out += line.toUtf8();
        out += "\r\n";
    }
    return out;
}

namespace {
bool WriteAll(QFile& f, const QByteArray& bytes, QString* error)
{
    if (f.write(bytes) == bytes.size() && f.flush())
        return true;
    if (error)
        *error = QStringLiteral("Could not write the file ") + f.fileName() + QStringLiteral(": ") + f.errorString();
    return false;
}

// NewOnly creates the file or fails when it exists, in one step: two checks in one second (or
// two lists) never write over each other's messages.
enum class TCreate { Made, Exists, Failed };
TCreate CreateNew(QFile& f, QString* error)
{
    if (f.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        return TCreate::Made;
    if (QFile::exists(f.fileName()))
        return TCreate::Exists;
    if (error)
        *error = QStringLiteral("Could not create the file ") + f.fileName() + QStringLiteral(": ") + f.errorString();
    return TCreate::Failed;
}
} // namespace

QString WriteNewFilePair(const QString& folder, const QString& baseName, const QByteArray& bytes,
                         const QString& companionExt, const QByteArray& companion, QString* error)
{
    const bool hasExt = baseName.contains(u'.');
    const QString stem = hasExt ? baseName.section(u'.', 0, -2) : baseName;
    const QString ext = hasExt ? u'.' + baseName.section(u'.', -1) : QString();
    const QString dir = QDir(folder).absolutePath() + u'/';
    const bool pair = !companionExt.isEmpty();
    for (int n = 1; n < 10000; ++n) {
        const QString name = n == 1 ? stem : stem + u'_' + QString::number(n);
        const QString path = dir + name + ext;
        QFile other(dir + name + companionExt);
        if (pair) {
            const TCreate c = CreateNew(other, error);
            if (c == TCreate::Exists)
                continue;
            if (c == TCreate::Failed)
                return QString();
        }
        QFile f(path);
        const TCreate c = CreateNew(f, error);
        if (c != TCreate::Made) {
            if (pair)
                other.remove();
            if (c == TCreate::Exists)
                continue;
            return QString();
        }
        if (!WriteAll(f, bytes, error) || (pair && !WriteAll(other, companion, error))) {
            f.remove();
            if (pair)
                other.remove();
            return QString();
        }
        return path;
    }
    if (error)
        *error = QStringLiteral("No free file name for ") + dir + baseName;
    return QString();
}

QString WriteNewFile(const QString& folder, const QString& baseName, const QByteArray& bytes, QString* error)
{
    return WriteNewFilePair(folder, baseName, bytes, QString(), QByteArray(), error);
}

QString WholeMessagePath(const QString& inboxFile)
{
    const qsizetype dot = inboxFile.lastIndexOf(u'.');
    const qsizetype slash = inboxFile.lastIndexOf(u'/');
    return (dot > slash ? inboxFile.left(dot) : inboxFile) + QStringLiteral(".eml");
}

QByteArray MessageBytes(const QStringList& messageLines)
{
    // The lines came from the socket's bytes one character per byte: this is the way back.
    QByteArray out;
    if (Cp1252Lines(messageLines, &out))
        return out;
    out.clear();
    for (const QString& line : messageLines) {
        out += cp1252::encode(line);
        out += "\r\n";
    }
    return out;
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
