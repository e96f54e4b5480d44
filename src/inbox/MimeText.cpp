// MIME decoding through GMime. GMime (and GLib) come first: GLib headers use names Qt defines
// as macros.
#include <gmime/gmime.h>

#include "inbox/MailText.h"
#include "platform/Cp1252.h"

#include <QRegularExpression>
#include <QStringDecoder>
#include <QTextDocumentFragment>

#include <algorithm>
#include <cctype>

#include <mutex>

namespace mailtext {

void InitMime()
{
    static std::once_flag once;
    std::call_once(once, [] { g_mime_init(); });
}

namespace {

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
    QList<GMimeObject*> saved;         // attachments and forwarded messages, in message order
    QList<GMimeMessage*> forwarded;    // the messages of the message/rfc822 parts among them
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
        walk->saved << part;
        if (GMimeMessage* m = g_mime_message_part_get_message(GMIME_MESSAGE_PART(part)))
            walk->forwarded << m;
        return;
    }
    if (!GMIME_IS_PART(part))
        return;
    GMimeContentType* ct = g_mime_object_get_content_type(part);
    if (!g_mime_part_is_attachment(GMIME_PART(part)) && GMIME_IS_TEXT_PART(part) && ct) {
        if (g_mime_content_type_is_type(ct, "text", "plain") && !walk->plain) {
            walk->plain = part;
            return;
        }
        if (g_mime_content_type_is_type(ct, "text", "html") && !walk->html) {
            walk->html = part;
            return;
        }
    }
    walk->saved << part;
}

QString AddressesText(InternetAddressList* list)
{
    return list ? TakeUtf8(internet_address_list_to_string(list, nullptr, FALSE)) : QString();
}

QString SavedName(GMimeObject* part)
{
    if (GMIME_IS_PART(part)) {
        const char* name = g_mime_part_get_filename(GMIME_PART(part));
        return name && *name ? QString::fromUtf8(name) : QString();
    }
    const char* name = g_mime_object_get_content_disposition_parameter(part, "filename");
    if (name && *name)
        return QString::fromUtf8(name);
    GMimeMessage* m = g_mime_message_part_get_message(GMIME_MESSAGE_PART(part));
    const char* subject = m ? g_mime_message_get_subject(m) : nullptr;
    return QString::fromUtf8(subject && *subject ? subject : "forwarded message") + QStringLiteral(".eml");
}

QByteArray SavedBytes(GMimeObject* part)
{
    GMimeStream* mem = g_mime_stream_mem_new();
    if (GMIME_IS_PART(part)) {
        if (GMimeDataWrapper* content = g_mime_part_get_content(GMIME_PART(part)))
            g_mime_data_wrapper_write_to_stream(content, mem);
    } else if (GMimeMessage* m = g_mime_message_part_get_message(GMIME_MESSAGE_PART(part))) {
        g_mime_object_write_to_stream(GMIME_OBJECT(m), nullptr, mem);
    }
    GByteArray* array = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(mem));
    QByteArray out(reinterpret_cast<const char*>(array->data), qsizetype(array->len));
    g_object_unref(mem);
    return out;
}

QStringList SplitLines(const QString& text);

QStringList PartText(GMimeObject* part)
{
    const QString text = TakeUtf8(g_mime_text_part_get_text(GMIME_TEXT_PART(part)));
    if (g_mime_content_type_is_type(g_mime_object_get_content_type(part), "text", "html")) {
        QString plain = QTextDocumentFragment::fromHtml(text).toPlainText();
        plain.replace(QChar(0x00A0), u' ');
        return SplitLines(plain);
    }
    return SplitLines(text);
}

// The readable lines of `message` and its saved parts (those of forwarded messages first, in
// the order their lines appear). Forwarded messages nest at most a few levels deep.
void Readable(GMimeMessage* message, int depth, QStringList* lines, QList<GMimeObject*>* saved)
{
    TPartWalk walk;
    g_mime_message_foreach(message, VisitPart, &walk);
    if (walk.plain || walk.html)
        *lines << PartText(walk.plain ? walk.plain : walk.html);
    if (depth < 8) {
        for (GMimeMessage* f : std::as_const(walk.forwarded)) {
            if (!lines->isEmpty())
                *lines << QString();
            const char* subject = g_mime_message_get_subject(f);
            const char* date = g_mime_object_get_header(GMIME_OBJECT(f), "Date");
            *lines << QStringLiteral("---------- Forwarded message ----------")
                   << QStringLiteral("From: ") + AddressesText(g_mime_message_get_from(f))
                   << QStringLiteral("Date: ") + QString::fromUtf8(date ? date : "").trimmed()
                   << QStringLiteral("Subject: ") + QString::fromUtf8(subject ? subject : "")
                   << QStringLiteral("To: ") + AddressesText(g_mime_message_get_to(f)) << QString();
            Readable(f, depth + 1, lines, saved);
        }
    }
    if (!walk.saved.isEmpty()) {
        if (!lines->isEmpty())
            *lines << QString();
        for (GMimeObject* part : std::as_const(walk.saved)) {
            const QString name = SavedName(part);
            *lines << QStringLiteral("Attachment: ") + (name.isEmpty() ? QStringLiteral("(no name)") : name)
                          + QStringLiteral(" (") + ContentTypeText(part) + u')';
            saved->append(part);
        }
    }
}

GMimeMessage* Parse(const QByteArray& raw)
{
    InitMime();
    GMimeStream* stream = g_mime_stream_mem_new_with_buffer(raw.constData(), size_t(raw.size()));
    GMimeParser* parser = g_mime_parser_new_with_stream(stream);
    g_object_unref(stream);
    GMimeMessage* message = g_mime_parser_construct_message(parser, nullptr);
    g_object_unref(parser);
    return message;
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

namespace {
QString FromCharset(const QByteArray& bytes, const QByteArray& charset)
{
    const QByteArray cs = charset.toLower();
    if (cs == "utf-8" || cs == "utf8" || cs == "us-ascii")
        return QString::fromUtf8(bytes);
    gsize written = 0;
    char* utf8 = g_convert(bytes.constData(), gssize(bytes.size()), "UTF-8", charset.constData(), nullptr, &written,
                           nullptr);
    if (!utf8)
        return cp1252::decode(bytes); // a charset iconv does not know: the bytes as they are
    QString out = QString::fromUtf8(utf8, qsizetype(written));
    g_free(utf8);
    return out;
}

QByteArray WordBytes(char encoding, const QByteArray& text)
{
    if (encoding == 'B' || encoding == 'b')
        return QByteArray::fromBase64(text);
    QByteArray out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '_') {
            out += ' ';
        } else if (c == '=' && i + 2 < text.size() && std::isxdigit(uchar(text[i + 1])) && std::isxdigit(uchar(text[i + 2]))) {
            out += char(text.mid(i + 1, 2).toInt(nullptr, 16));
            i += 2;
        } else {
            out += c;
        }
    }
    return out;
}
} // namespace

QString DecodeWords(const QString& value)
{
    // Raw 8-bit header text (no encoded word) is UTF-8 when its bytes read as UTF-8, as today's
    // mailers write it; otherwise it stays the one-byte text it arrived as.
    QString text = value;
    const bool eightBit = std::any_of(value.cbegin(), value.cend(), [](QChar c) { return c.unicode() >= 0x80; });
    if (eightBit) {
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        const QString decoded = utf8(cp1252::encode(value));
        if (!utf8.hasError())
            text = decoded;
    }
    if (!text.contains(QLatin1String("=?")))
        return text;
    // RFC 2047: blanks between two encoded words go; the bytes of neighbouring words in one
    // charset are joined before they are read, so a character split over two words survives.
    static const QRegularExpression word(QStringLiteral("=\\?([^?\\s]+)\\?([BbQq])\\?([^?\\s]*)\\?="));
    QString out;
    QByteArray run, runCharset;
    auto flush = [&] {
        if (!run.isEmpty())
            out += FromCharset(run, runCharset);
        run.clear();
    };
    qsizetype pos = 0;
    bool afterWord = false;
    for (QRegularExpressionMatchIterator it = word.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        const QStringView gap = QStringView(text).mid(pos, m.capturedStart() - pos);
        if (!(afterWord && gap.trimmed().isEmpty())) {
            flush();
            out += gap;
        }
        const QByteArray charset = m.captured(1).section(u'*', 0, 0).toLatin1(); // RFC 2231 language cut
        if (charset.compare(runCharset, Qt::CaseInsensitive) != 0)
            flush();
        runCharset = charset;
        run += WordBytes(m.captured(2).at(0).toLatin1(), m.captured(3).toLatin1());
        pos = m.capturedEnd();
        afterWord = true;
    }
    flush();
    out += QStringView(text).mid(pos);
    return out;
}

QStringList ReadableBody(const QByteArray& raw)
{
    GMimeMessage* message = Parse(raw);
    if (!message)
        return {};
    QStringList lines;
    QList<GMimeObject*> saved;
    Readable(message, 0, &lines, &saved);
    g_object_unref(message);
    return lines;
}

QList<TAttachment> Attachments(const QByteArray& raw)
{
    GMimeMessage* message = Parse(raw);
    if (!message)
        return {};
    QStringList lines;
    QList<GMimeObject*> saved;
    Readable(message, 0, &lines, &saved);
    QList<TAttachment> out;
    for (GMimeObject* part : std::as_const(saved))
        out.append({SavedName(part), ContentTypeText(part), SavedBytes(part)});
    g_object_unref(message);
    return out;
}

} // namespace mailtext
