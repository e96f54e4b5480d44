// Delivery failure reports: the standard delivery status notification (RFC 3464) and the
// plain-text forms mail servers wrote before it (and still write beside it).
#include <gmime/gmime.h>

#include "inbox/MailText.h"
#include "platform/Cp1252.h"

#include <QRegularExpression>

namespace mailtext {

namespace {

// Groups of "Name: value" lines (folded lines joined), separated by empty lines.
QList<QList<THeaderField>> FieldGroups(const QByteArray& bytes)
{
    QList<QList<THeaderField>> groups;
    QStringList lines;
    auto close = [&] {
        if (!lines.isEmpty())
            groups << HeaderFields(lines);
        lines.clear();
    };
    for (QByteArray line : bytes.split('\n')) {
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.trimmed().isEmpty())
            close();
        else
            lines << QString::fromUtf8(line);
    }
    close();
    return groups;
}

// "rfc822; <a@b>" -> "a@b".
QString TypedAddress(const QString& value)
{
    QString a = value.section(u';', -1).trimmed();
    if (a.startsWith(u'<') && a.endsWith(u'>'))
        a = a.mid(1, a.size() - 2);
    return a.trimmed();
}

const QRegularExpression& EnhancedCode()
{
    static const QRegularExpression re(QStringLiteral("\\b([245])\\.(\\d{1,3})\\.(\\d{1,3})\\b"));
    return re;
}

QString StatusIn(const QString& text)
{
    const QRegularExpressionMatch m = EnhancedCode().match(text);
    if (m.hasMatch())
        return m.captured(0);
    static const QRegularExpression basic(QStringLiteral("(?:^|\\s)([45])\\d\\d(?:[\\s-]|$)"));
    const QRegularExpressionMatch b = basic.match(text);
    return b.hasMatch() ? b.captured(1) + QStringLiteral(".0.0") : QString();
}

void CollectReports(GMimeObject*, GMimeObject* part, gpointer data)
{
    auto* out = static_cast<QList<QByteArray>*>(data);
    GMimeContentType* ct = g_mime_object_get_content_type(part);
    if (!ct || (!g_mime_content_type_is_type(ct, "message", "delivery-status")
                && !g_mime_content_type_is_type(ct, "message", "global-delivery-status")))
        return;
    GMimeStream* mem = g_mime_stream_mem_new();
    if (GMIME_IS_PART(part)) {
        if (GMimeDataWrapper* content = g_mime_part_get_content(GMIME_PART(part)))
            g_mime_data_wrapper_write_to_stream(content, mem);
    } else if (GMIME_IS_MESSAGE_PART(part)) {
        if (GMimeMessage* m = g_mime_message_part_get_message(GMIME_MESSAGE_PART(part)))
            g_mime_object_write_to_stream(GMIME_OBJECT(m), nullptr, mem);
    }
    GByteArray* array = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(mem));
    out->append(QByteArray(reinterpret_cast<const char*>(array->data), qsizetype(array->len)));
    g_object_unref(mem);
}

QList<TBounce> StandardReports(const QByteArray& raw)
{
    QList<TBounce> out;
    InitMime();
    GMimeStream* stream = g_mime_stream_mem_new_with_buffer(raw.constData(), size_t(raw.size()));
    GMimeParser* parser = g_mime_parser_new_with_stream(stream);
    g_object_unref(stream);
    GMimeMessage* message = g_mime_parser_construct_message(parser, nullptr);
    g_object_unref(parser);
    if (!message)
        return out;
    QList<QByteArray> reports;
    g_mime_message_foreach(message, CollectReports, &reports);
    g_object_unref(message);
    for (const QByteArray& report : std::as_const(reports)) {
        for (const QList<THeaderField>& group : FieldGroups(report)) {
            QString recipient = TypedAddress(FieldValue(group, u"Final-Recipient"));
            if (recipient.isEmpty())
                recipient = TypedAddress(FieldValue(group, u"Original-Recipient"));
            if (recipient.isEmpty())
                continue; // the per-message group
            const QString action = FieldValue(group, u"Action").trimmed().toLower();
            if (action == QLatin1String("delivered") || action == QLatin1String("relayed")
                || action == QLatin1String("expanded"))
                continue;
            QString status = FieldValue(group, u"Status").trimmed().section(u' ', 0, 0);
            if (!EnhancedCode().match(status).hasMatch())
                status = action == QLatin1String("failed") ? QStringLiteral("5.0.0") : QStringLiteral("4.0.0");
            QString diagnostic = FieldValue(group, u"Diagnostic-Code").simplified();
            if (diagnostic.contains(u';'))
                diagnostic = diagnostic.section(u';', 1).trimmed();
            out.append({recipient, status, diagnostic});
        }
    }
    return out;
}

bool FromMailSystem(const QString& from, const QString& subject)
{
    static const QRegularExpression sender(QStringLiteral("mailer-daemon|postmaster|mail delivery"),
                                           QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression topic(
        QStringLiteral("undeliver|delivery (status notification|failure|failed|problem)|mail delivery failed|"
                       "returned mail|failure notice|delivery has failed"),
        QRegularExpression::CaseInsensitiveOption);
    return sender.match(from).hasMatch() || topic.match(subject).hasMatch();
}

// The text forms: a recipient on a line of its own (Exim "The following address(es) failed:",
// the older Gmail form) or "<address>: diagnostic" (Postfix, qmail), the diagnostic in the lines
// that follow up to the next empty line. The copy of the returned message is not read.
QList<TBounce> TextReports(const QStringList& body)
{
    static const QRegularExpression alone(QStringLiteral("^\\s*<?([^\\s<>@\"]+@[^\\s<>@\"]+\\.[^\\s<>@\":]+)>?:?\\s*$"));
    static const QRegularExpression said(QStringLiteral("^\\s*<([^\\s<>@\"]+@[^\\s<>@\"]+)>:\\s*(.*)$"));
    static const QRegularExpression copyStart(
        QStringLiteral("original message|copy of the message|returned message|message headers follow|"
                       "^received:|^return-path:"),
        QRegularExpression::CaseInsensitiveOption);
    qsizetype end = body.size();
    for (qsizetype i = 0; i < body.size(); ++i) {
        if (copyStart.match(body[i]).hasMatch()) {
            end = i;
            break;
        }
    }
    const QString whole = QStringList(body.mid(0, end)).join(u'\n');
    const bool permanent = whole.contains(QLatin1String("permanent"), Qt::CaseInsensitive);
    QList<TBounce> out;
    for (qsizetype i = 0; i < end; ++i) {
        QString address, diagnostic;
        QRegularExpressionMatch m = said.match(body[i]);
        if (m.hasMatch()) {
            address = m.captured(1);
            diagnostic = m.captured(2);
        } else if ((m = alone.match(body[i])).hasMatch()) {
            address = m.captured(1);
        } else {
            continue;
        }
        qsizetype j = i + 1;
        for (; j < end && !body[j].trimmed().isEmpty() && !alone.match(body[j]).hasMatch()
               && !said.match(body[j]).hasMatch();
             ++j)
            diagnostic += u' ' + body[j].trimmed();
        diagnostic = diagnostic.simplified();
        QString status = StatusIn(diagnostic);
        if (status.isEmpty()) {
            // The reply may stand further down, after a heading ("The error that the other
            // server returned was:").
            for (qsizetype k = j; k < end && status.isEmpty(); ++k) {
                if (alone.match(body[k]).hasMatch() || said.match(body[k]).hasMatch())
                    break;
                status = StatusIn(body[k]);
                if (!status.isEmpty())
                    diagnostic = (diagnostic + u' ' + body[k].trimmed()).simplified();
            }
        }
        if (status.isEmpty())
            status = permanent ? QStringLiteral("5.0.0") : QStringLiteral("4.0.0");
        out.append({address, status, diagnostic});
        i = j - 1;
    }
    return out;
}

} // namespace

QList<TBounce> Bounces(const QByteArray& raw)
{
    QList<TBounce> reports = StandardReports(raw);
    if (!reports.isEmpty())
        return reports;
    QStringList lines;
    for (QByteArray line : raw.split('\n')) {
        if (line.endsWith('\r'))
            line.chop(1);
        lines << cp1252::decode(line);
    }
    const QList<THeaderField> fields = HeaderFields(lines);
    if (!FromMailSystem(DecodeWords(FieldValue(fields, u"From")), DecodeWords(FieldValue(fields, u"Subject"))))
        return {};
    return TextReports(NeedsMimeDecoding(fields) ? ReadableBody(raw) : lines.mid(HeaderSpan(lines).BodyStart()));
}

} // namespace mailtext
