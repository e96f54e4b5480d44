#pragma once
// Message text as the SMTP client writes it, without sockets or widgets, so the send engine,
// the digest and reply/forward can build the same texts: header values folded so that no user
// text adds a header line, the Date text, the MIME boundary, base64 lines.
#include <QByteArrayView>
#include <QString>
#include <QStringList>

class QDateTime;

namespace mailformat {

bool HasLineBreak(const QString& text);
// The pieces of a text between its line breaks (CR LF, CR or LF).
QStringList SplitLines(const QString& text);
// "ddd, d mmm yyyy hh:mm:ss" with English day and month names whatever the locale; no zone.
QString DateText(const QDateTime& when);
// A header value as one well-formed field body: line breaks inside it become folds (address
// lists get a comma between the lines), blank lines are dropped.
QString FoldValue(const QString& value, bool addressList);
// A header buffer after the owner's hook, as the physical lines that go out: line breaks
// normalised to CR LF, blank lines dropped, stray lines folded, lines over `limit` folded.
QString SanitizeHeader(const QString& buffer, int limit);
// "= Multipart Boundary " + the time as "mmmddyyhhnn" (abbreviated month name of the system's
// locale, or the English one where that name has characters a boundary may not hold).
QString MakeBoundary(const QDateTime& when);
// One base64 line (RFC 2045 alphabet, "=" padding) of at most 45 bytes: 60 characters.
constexpr int Base64LineBytes = 45;
QString Base64Line(QByteArrayView bytes);

} // namespace mailformat
