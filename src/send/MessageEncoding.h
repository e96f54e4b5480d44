#pragma once
// How a newsletter becomes bytes SMTP can carry unchanged: the character set its text needs,
// a transfer encoding that is true for the lines that go out, encoded words for header values
// outside ASCII, the Date text with its zone, Message-ID and List-Unsubscribe values.
// Nothing here knows widgets or sockets; the send engine applies it through the client's hooks.
#include <QDateTime>
#include <QString>
#include <QStringList>

namespace msgenc {

// Longest line SMTP carries (RFC 5321: 1000 octets with CR LF).
constexpr int kSmtpLineLimit = 998;
// Quoted-printable lines stay within 76 characters (RFC 2045).
constexpr int kQpLineLimit = 76;

struct TBody
{
    QString CharSet;          // "iso-8859-1" or "utf-8"
    QString TransferEncoding; // "" (plain 7-bit lines, no header needed) or "quoted-printable"
    QStringList Lines;        // the lines as they go out (ASCII only)
};

// Plain 7-bit text whose lines fit SMTP goes out as it is, declared iso-8859-1. Anything else
// (8-bit characters, lines over 998 characters) goes out quoted-printable in iso-8859-1 when
// every character fits it, else in utf-8. The connection speaks HELO, so 8-bit data is never
// sent raw.
TBody EncodeBody(const QStringList& lines);

// The character set a text needs: "us-ascii"-clean and Latin-1 texts are "iso-8859-1",
// anything else "utf-8".
QString CharSetFor(const QString& text);
bool IsAscii(const QString& text);

// Quoted-printable of one text line's bytes, cut into physical lines of at most 76
// characters with soft line breaks ("=" at the end). Trailing white space is encoded.
QStringList QuotedPrintable(const QByteArray& line);
// The reverse (for tests and for reading back): soft breaks joined, =XX decoded.
QByteArray DecodeQuotedPrintable(const QStringList& lines);

// RFC 2047: a header text outside ASCII becomes encoded words of at most 75 characters,
// separated by line breaks (the client folds them onto continuation lines). ASCII text is
// returned unchanged.
QString EncodeWords(const QString& text);
// An address list ("Name <a@b>, c@d"): display names outside ASCII become encoded words;
// addresses, separators and line breaks stay as they are.
QString EncodeAddressList(const QString& list);
// Decodes encoded words (for tests): the joined text.
QString DecodeWords(const QString& value);

// "+hhmm" or "-hhmm": the offset of `when` from UTC.
QString ZoneText(const QDateTime& when);
// "ddd, d mmm yyyy hh:mm:ss +hhmm": the client's English date text with the numeric zone.
QString DateWithZone(const QDateTime& when);
// A unique "<...@domain>" Message-ID; the domain is the sender's, else the local host name.
QString MessageId(const QString& senderAddress, const QDateTime& when);

// The List-Unsubscribe value (RFC 2369) for a list with automatic maintenance: by the Subject
// key a mailto to the reply address with the key as subject; by the To key a mailto to the key.
// Both keys on give both, Subject first. Empty when neither applies.
QString ListUnsubscribe(bool subjectKeyOn, const QString& replyAddress, const QString& subjectKey,
                        bool toKeyOn, const QString& toKey);

} // namespace msgenc
