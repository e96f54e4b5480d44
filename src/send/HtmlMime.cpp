// The MIME body of a formatted send, built by GMime. GMime (and GLib) come first: GLib headers
// use names Qt defines as macros.
#include <gmime/gmime.h>

#include "send/HtmlMail.h"
#include "send/MessageEncoding.h"

#include <memory>

namespace htmlmail {
namespace {

void InitGMime()
{
    static const bool done = [] {
        g_mime_init(); // counts its callers: harmless beside the inbox's own set-up
        return true;
    }();
    (void)done;
}

struct GObjectUnref
{
    void operator()(gpointer p) const
    {
        if (p)
            g_object_unref(p);
    }
};
template <typename T> using TRef = std::unique_ptr<T, GObjectUnref>;

// A part whose content is `bytes`, already in `encoding` on the wire (GMime copies it as it is)
// or raw (GMIME_CONTENT_ENCODING_DEFAULT: GMime encodes it as the part declares).
TRef<GMimePart> MakePart(const char* type, const char* subtype, const QByteArray& bytes,
                         GMimeContentEncoding contentIs, GMimeContentEncoding wire)
{
    TRef<GMimePart> part(qstrcmp(type, "text") == 0 ? GMIME_PART(g_mime_text_part_new_with_subtype(subtype))
                                                    : g_mime_part_new_with_type(type, subtype));
    TRef<GMimeStream> stream(g_mime_stream_mem_new_with_buffer(bytes.constData(), bytes.size()));
    TRef<GMimeDataWrapper> wrapper(g_mime_data_wrapper_new_with_stream(stream.get(), contentIs));
    g_mime_part_set_content(part.get(), wrapper.get());
    g_mime_part_set_content_encoding(part.get(), wire);
    return part;
}

GMimeContentEncoding EncodingOf(const QString& transferEncoding)
{
    if (transferEncoding.compare(QLatin1String("quoted-printable"), Qt::CaseInsensitive) == 0)
        return GMIME_CONTENT_ENCODING_QUOTEDPRINTABLE;
    if (transferEncoding.compare(QLatin1String("base64"), Qt::CaseInsensitive) == 0)
        return GMIME_CONTENT_ENCODING_BASE64;
    return GMIME_CONTENT_ENCODING_7BIT;
}

} // namespace

TMime Compose(const QStringList& textLines, const THtml& html)
{
    InitGMime();
    // The text part: the plain send's own lines, character set and transfer encoding.
    const msgenc::TBody text = msgenc::EncodeBody(textLines);
    QByteArray textBytes;
    for (const QString& line : text.Lines)
        textBytes += line.toLatin1() + '\n';
    const GMimeContentEncoding textEncoding = EncodingOf(text.TransferEncoding);
    TRef<GMimePart> plain = MakePart("text", "plain", textBytes, textEncoding, textEncoding);
    g_mime_object_set_content_type_parameter(GMIME_OBJECT(plain.get()), "charset", text.CharSet.toLatin1().constData());

    TRef<GMimePart> htmlPart = MakePart("text", "html", html.Text.toUtf8(), GMIME_CONTENT_ENCODING_DEFAULT,
                                        GMIME_CONTENT_ENCODING_QUOTEDPRINTABLE);
    g_mime_object_set_content_type_parameter(GMIME_OBJECT(htmlPart.get()), "charset", "utf-8");

    TRef<GMimeMultipart> alternative(g_mime_multipart_new_with_subtype("alternative"));
    g_mime_multipart_set_prologue(alternative.get(), "This is a multi-part message in MIME format.");
    g_mime_multipart_add(alternative.get(), GMIME_OBJECT(plain.get()));
    if (html.Pictures.isEmpty()) {
        g_mime_multipart_add(alternative.get(), GMIME_OBJECT(htmlPart.get()));
    } else {
        TRef<GMimeMultipart> related(g_mime_multipart_new_with_subtype("related"));
        g_mime_object_set_content_type_parameter(GMIME_OBJECT(related.get()), "type", "text/html");
        g_mime_multipart_add(related.get(), GMIME_OBJECT(htmlPart.get()));
        for (const TPicture& p : html.Pictures) {
            const qsizetype slash = p.MimeType.indexOf('/');
            TRef<GMimePart> pic = MakePart(p.MimeType.left(slash).constData(), p.MimeType.mid(slash + 1).constData(),
                                           p.Bytes, GMIME_CONTENT_ENCODING_DEFAULT, GMIME_CONTENT_ENCODING_BASE64);
            g_mime_object_set_content_id(GMIME_OBJECT(pic.get()), p.ContentId.toLatin1().constData());
            g_mime_object_set_disposition(GMIME_OBJECT(pic.get()), "inline");
            g_mime_part_set_filename(pic.get(), p.FileName.toUtf8().constData());
            g_mime_multipart_add(related.get(), GMIME_OBJECT(pic.get()));
        }
        g_mime_multipart_add(alternative.get(), GMIME_OBJECT(related.get()));
    }
    g_mime_multipart_set_boundary(alternative.get(), nullptr);

    TRef<GMimeStream> out(g_mime_stream_mem_new());
    GMimeFormatOptions* options = g_mime_format_options_clone(nullptr);
    g_mime_format_options_set_newline_format(options, GMIME_NEWLINE_FORMAT_UNIX);
    g_mime_object_write_content_to_stream(GMIME_OBJECT(alternative.get()), options, out.get());
    g_mime_format_options_free(options);
    GByteArray* bytes = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(out.get()));

    TMime mime;
    mime.ContentType = QStringLiteral("multipart/alternative; boundary=\"")
                       + QString::fromLatin1(g_mime_multipart_get_boundary(alternative.get())) + u'"';
    const QByteArray body = QByteArray::fromRawData(reinterpret_cast<const char*>(bytes->data), bytes->len);
    mime.BodyLines = QString::fromLatin1(body).split(u'\n');
    if (!mime.BodyLines.isEmpty() && mime.BodyLines.last().isEmpty())
        mime.BodyLines.removeLast(); // the final line end, not an empty line
    return mime;
}

} // namespace htmlmail
