#pragma once
// The formatted newsletter: the rich text as e-mail-safe HTML (inline styles only, no scripts,
// nothing fetched from elsewhere, pictures as cid: parts), and the MIME body that carries it
// beside today's text digest as multipart/alternative. No widgets, no sockets.
#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

class QTextDocument;

namespace htmlmail {

// The text files' lines around the body, as the digest composes them (empty: no block).
struct TBlocks
{
    QStringList Header;
    QStringList Signature;
    QStringList Footer;
};

struct TPicture
{
    QString ContentId; // without the angle brackets
    QString FileName;    // the part's file name for mail programs that save it
    QByteArray MimeType; // "image/png" or "image/jpeg"
    QByteArray Bytes;    // the encoded image file
};

struct THtml
{
    QString Text;             // the whole page
    QList<TPicture> Pictures; // in the order the page first shows them
};

// The page: header, body, signature and footer in the digest's order, the text files' lines
// as paragraphs. `lang` is a BCP 47 tag; the pictures' Content-IDs end in "." + `idSuffix`
// (something unique to the message, such as its Message-ID's right part). `title` is the
// page's <title>, escaped here.
THtml Write(const QTextDocument& body, const TBlocks& blocks, const QString& title, const QString& lang,
            const QString& idSuffix);

// The parts of `Write`'s text that a link may carry: http, https, ftp and mailto targets.
bool SafeLink(const QString& href);

struct TMime
{
    QString ContentType;      // the message's Content-Type value
    QString TransferEncoding; // empty: none needed (every part is 7-bit)
    QStringList BodyLines;    // what follows the message header, line by line
};

// multipart/alternative: the text part holds `textLines` exactly as a plain send would carry
// them (same character set and transfer encoding); then the HTML part, inside
// multipart/related with its pictures when it has any.
TMime Compose(const QStringList& textLines, const THtml& html);

} // namespace htmlmail
