// MIME decoding through GMime. GMime (and GLib) come first: GLib headers use names Qt defines
// as macros.
#include <gmime/gmime.h>

#include "inbox/MailText.h"
#include "platform/Cp1252.h"

#include <QTextDocumentFragment>

#include <mutex>

namespace mailtext {

namespace {
void InitGMime()
{
    static std::once_flag once;
    std::call_once(once, [] { g_mime_init(); });
}

QString TakeUtf8(char* text)
{
    QString s = text ? QString::fromUtf8(text) : QString();
    g_free(text);
    return s;
}

struct TPartWalk
{
    GMimeObject* plain = nullptr;
    GMimeObject* html = nullptr;
    QStringList attachments;
};

QString ContentTypeText(GMimeObject* part)
{
    GMimeContentType* ct = g_mime_object_get_content_type(part);
    if (!ct)
        return QStringLiteral("application/octet-stream");
    return QString::fromUtf8(g_mime_content_type_get_media_type(ct)) + u'/'
           + QString::fromUtf8(g_mime_content_type_get_media_subtype(ct));
}

void VisitPart(GMimeObject*, GMimeObject* part, gpointer data)
{
    auto* walk = static_cast<TPartWalk*>(data);
    if (GMIME_IS_MULTIPART(part))
        return;
    if (GMIME_IS_MESSAGE_PART(part)) {
        walk->attachments << QStringLiteral("Attachment: forwarded message (message/rfc822)");
        return;
    }
    if (!GMIME_IS_PART(part))
        return;
    GMimePart* p = GMIME_PART(part);
    const bool attachment = g_mime_part_is_attachment(p);
    GMimeContentType* ct = g_mime_object_get_content_type(part);
    if (!attachment && GMIME_IS_TEXT_PART(part) && ct) {
        if (g_mime_content_type_is_type(ct, "text", "plain") && !walk->plain) {
            walk->plain = part;
            return;
        }
        if (g_mime_content_type_is_type(ct, "text", "html") && !walk->html) {
            walk->html = part;
            return;
        }
    }
    const char* name = g_mime_part_get_filename(p);
    walk->attachments << QStringLiteral("Attachment: ")
                             + (name && *name ? QString::fromUtf8(name) : QStringLiteral("(no name)"))
                             + QStringLiteral(" (") + ContentTypeText(part) + u')';
}

QStringList SplitLines(const QString& text)
{
    QString t = text;
    t.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    t.replace(u'\r', u'\n');
    QStringList lines = t.split(u'\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}
} // namespace

QString DecodeWords(const QString& value)
{
    if (!value.contains(QLatin1String("=?")))
        return value;
    InitGMime();
    const QByteArray bytes = cp1252::encode(value);
    return TakeUtf8(g_mime_utils_header_decode_text(nullptr, bytes.constData()));
}

QStringList ReadableBody(const QByteArray& raw)
{
    InitGMime();
    GMimeStream* stream = g_mime_stream_mem_new_with_buffer(raw.constData(), size_t(raw.size()));
    GMimeParser* parser = g_mime_parser_new_with_stream(stream);
    g_object_unref(stream);
    GMimeMessage* message = g_mime_parser_construct_message(parser, nullptr);
    g_object_unref(parser);
    if (!message)
        return {};
    TPartWalk walk;
    g_mime_message_foreach(message, VisitPart, &walk);
    QStringList lines;
    if (walk.plain) {
        lines = SplitLines(TakeUtf8(g_mime_text_part_get_text(GMIME_TEXT_PART(walk.plain))));
    } else if (walk.html) {
        QString text = QTextDocumentFragment::fromHtml(TakeUtf8(g_mime_text_part_get_text(GMIME_TEXT_PART(walk.html))))
                           .toPlainText();
        text.replace(QChar(0x00A0), u' ');
        lines = SplitLines(text);
    }
    if (!walk.attachments.isEmpty()) {
        if (!lines.isEmpty())
            lines << QString();
        lines << walk.attachments;
    }
    g_object_unref(message);
    return lines;
}

} // namespace mailtext
