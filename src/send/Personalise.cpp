#include "send/Personalise.h"

#include "lists/MailListRecord.h"
#include "platform/Cp1252.h"
#include "send/MessageEncoding.h"

#include <QTextCursor>
#include <QTextDocument>

#include <array>

namespace {

enum class TField { Name, Email, Address1, Address2, Phone, Unknown };

const std::array<QLatin1String, 5> kNames = {QLatin1String("Name"), QLatin1String("Email"),
                                             QLatin1String("Address1"), QLatin1String("Address2"),
                                             QLatin1String("Phone")};

bool IsWordChar(QChar c)
{
    return c.isLetterOrNumber() || c == u'_';
}

// A field starting at `at` (text[at] == '{'): its length including the braces, or 0 when the
// brace is plain text.
qsizetype FieldLength(QStringView text, qsizetype at)
{
    qsizetype end = at + 1;
    while (end < text.size() && IsWordChar(text[end]))
        ++end;
    if (end == at + 1 || end >= text.size() || text[end] != u'}')
        return 0;
    return end - at + 1;
}

TField FieldOf(QStringView name)
{
    // Written as users type them: "{name}" is "{Name}".
    for (size_t i = 0; i < kNames.size(); ++i)
        if (name.compare(kNames[i], Qt::CaseInsensitive) == 0)
            return TField(i);
    return TField::Unknown;
}

const QString& ValueOf(TField f, const TSubscriberFields& s)
{
    switch (f) {
    case TField::Name:
        return s.Name;
    case TField::Email:
        return s.Email;
    case TField::Address1:
        return s.Address1;
    case TField::Address2:
        return s.Address2;
    case TField::Phone:
    case TField::Unknown:
        break;
    }
    return s.Phone;
}

void ScanInto(QStringView text, personalise::TScan& scan)
{
    for (qsizetype i = text.indexOf(u'{'); i >= 0 && i < text.size(); i = text.indexOf(u'{', i)) {
        if (i + 1 < text.size() && text[i + 1] == u'{') {
            i += 2;
            continue;
        }
        const qsizetype n = FieldLength(text, i);
        if (n == 0) {
            ++i;
            continue;
        }
        if (FieldOf(text.mid(i + 1, n - 2)) == TField::Unknown) {
            if (scan.Unknown.isEmpty())
                scan.Unknown = text.mid(i, n).toString();
        } else {
            scan.HasFields = true;
        }
        i += n;
    }
}

} // namespace

namespace personalise {

TSubscriberFields FromRecord(const MailListRecord& r)
{
    TSubscriberFields f;
    f.Name = cp1252::decode(r.Bytes(MailListRecord::Name));
    f.Email = cp1252::decode(r.Bytes(MailListRecord::Email)).trimmed();
    f.Address1 = cp1252::decode(r.Bytes(MailListRecord::Street1));
    f.Address2 = cp1252::decode(r.Bytes(MailListRecord::Street2));
    f.Phone = cp1252::decode(r.Bytes(MailListRecord::Phone));
    return f;
}

QStringList FieldNames()
{
    QStringList out;
    for (const QLatin1String& n : kNames)
        out << u'{' + QString(n) + u'}';
    return out;
}

TScan Scan(const QString& text)
{
    TScan s;
    ScanInto(text, s);
    return s;
}

TScan Scan(const QStringList& lines)
{
    TScan s;
    for (const QString& l : lines)
        ScanInto(l, s);
    return s;
}

QString Apply(const QString& text, const TSubscriberFields& fields)
{
    qsizetype i = text.indexOf(u'{');
    if (i < 0)
        return text;
    QString out;
    out.reserve(text.size() + 32);
    qsizetype from = 0;
    while (i >= 0) {
        out += QStringView(text).mid(from, i - from);
        if (i + 1 < text.size() && text[i + 1] == u'{') {
            out += u'{';
            from = i + 2;
        } else if (const qsizetype n = FieldLength(text, i); n > 0) {
            const TField f = FieldOf(QStringView(text).mid(i + 1, n - 2));
            if (f == TField::Unknown)
                out += QStringView(text).mid(i, n);
            else
                out += ValueOf(f, fields);
            from = i + n;
        } else {
            out += u'{';
            from = i + 1;
        }
        i = text.indexOf(u'{', from);
    }
    out += QStringView(text).mid(from);
    return out;
}

int Count(const QString& text)
{
    int n = 0;
    for (qsizetype i = text.indexOf(u'{'); i >= 0; i = text.indexOf(u'{', i)) {
        if (i + 1 < text.size() && text[i + 1] == u'{') {
            ++n;
            i += 2;
        } else if (const qsizetype len = FieldLength(text, i); len > 0) {
            n += FieldOf(QStringView(text).mid(i + 1, len - 2)) != TField::Unknown ? 1 : 0;
            i += len;
        } else {
            ++i;
        }
    }
    return n;
}

int Count(const QStringList& lines)
{
    int n = 0;
    for (const QString& l : lines)
        n += Count(l);
    return n;
}

QString ApplyHtml(const QString& html, const TSubscriberFields& f)
{
    const TSubscriberFields escaped{f.Name.toHtmlEscaped(), f.Email.toHtmlEscaped(), f.Address1.toHtmlEscaped(),
                                    f.Address2.toHtmlEscaped(), f.Phone.toHtmlEscaped()};
    return Apply(html, escaped);
}

void Apply(QTextDocument& document, const TSubscriberFields& fields)
{
    // Positions of the plain text are the document's (a paragraph end counts one character).
    const QString text = document.toPlainText();
    struct TChange { qsizetype At, Length; QString Value; };
    QList<TChange> changes;
    for (qsizetype i = text.indexOf(u'{'); i >= 0; i = text.indexOf(u'{', i)) {
        if (i + 1 < text.size() && text[i + 1] == u'{') {
            changes.append({i, 2, QStringLiteral("{")});
            i += 2;
        } else if (const qsizetype n = FieldLength(text, i); n > 0) {
            if (const TField f = FieldOf(QStringView(text).mid(i + 1, n - 2)); f != TField::Unknown)
                changes.append({i, n, ValueOf(f, fields)});
            i += n;
        } else {
            ++i;
        }
    }
    QTextCursor cursor(&document);
    cursor.beginEditBlock();
    for (qsizetype k = changes.size() - 1; k >= 0; --k) {
        const TChange& c = changes[k];
        cursor.setPosition(int(c.At + 1));
        const QTextCharFormat format = cursor.charFormat(); // the opening brace's
        cursor.setPosition(int(c.At));
        cursor.setPosition(int(c.At + c.Length), QTextCursor::KeepAnchor);
        cursor.insertText(c.Value, format);
    }
    cursor.endEditBlock();
}

QStringList Apply(const QStringList& lines, const TSubscriberFields& fields)
{
    QStringList out;
    out.reserve(lines.size());
    for (const QString& l : lines)
        out << Apply(l, fields);
    return out;
}

TScan Scan(const QString& subject, const TDigestTexts& texts)
{
    TScan s;
    ScanInto(subject, s);
    for (const QList<QStringList>* blocks : {&texts.Before, &texts.After})
        for (const QStringList& b : *blocks)
            for (const QString& l : b)
                ScanInto(l, s);
    for (const QString& l : texts.Body)
        ScanInto(l, s);
    return s;
}

TDigestTexts Apply(const TDigestTexts& texts, const TSubscriberFields& fields)
{
    TDigestTexts t;
    t.Body = Apply(texts.Body, fields);
    for (const QStringList& b : texts.Before)
        t.Before << Apply(b, fields);
    for (const QStringList& b : texts.After)
        t.After << Apply(b, fields);
    return t;
}

QString ToHeader(const TSubscriberFields& f)
{
    const QString name = f.Name.simplified();
    if (name.isEmpty())
        return f.Email;
    // RFC 5322 atoms: anything else in the phrase needs quoting.
    static const QString specials = QStringLiteral("()<>[]:;@\\,.\"");
    bool quote = false;
    for (QChar c : name)
        quote = quote || specials.contains(c);
    if (!quote)
        return name + QStringLiteral(" <") + f.Email + u'>';
    QString q = name;
    q.replace(u'\\', QLatin1String("\\\\")).replace(u'"', QLatin1String("\\\""));
    return u'"' + q + QStringLiteral("\" <") + f.Email + u'>';
}

TMessageParts Message(const TDigestTexts& texts, const QString& subject, const TSubscriberFields& fields, const QString& to)
{
    const msgenc::TBody body = msgenc::EncodeBody(digest::Compile(true, QString(), Apply(texts, fields)));
    return {to.isEmpty() ? msgenc::EncodeAddressList(ToHeader(fields)) : to, msgenc::EncodeWords(Apply(subject, fields)),
            body.CharSet, body.TransferEncoding, body.Lines};
}

} // namespace personalise
