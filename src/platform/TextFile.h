#pragma once
// Text and whole-file helpers. Text files are read as UTF-8 when they start with a byte-order
// mark or are valid UTF-8, and as Windows-1252 otherwise. They are written with CR LF line ends
// as Windows-1252 when that reads back as written, else as UTF-8 with a byte-order mark. Every file
// written whole goes through a temporary file renamed over the old one, so a crash or a full
// disk never leaves half a file behind.
#include <QByteArray>
#include <QString>

namespace textfile {

// UTF-8 after a byte-order mark (dropped) or when the bytes are valid UTF-8, else Windows-1252.
QString decode(const QByteArray& bytes);
// Bytes that decode() turns back into exactly `text`: Windows-1252 when every character fits
// and the bytes cannot pass for UTF-8 (plain ASCII, or text with accents as old files hold),
// else UTF-8 with a byte-order mark ("KÖ–ln" in Windows-1252 happens to be valid UTF-8).
QByteArray encode(QStringView text);
// LF or lone CR line ends become CR LF, then encode().
QByteArray encodeCrLf(QStringView text);

bool readBytes(const QString& path, QByteArray* out, QString* error);
bool readText(const QString& path, QString* out, QString* error);

enum class Access { Normal, OwnerOnly };
// Atomic: a temporary file in the same folder, renamed over `path` once fully written.
// OwnerOnly files (they hold passwords) are created readable and writable by the owner only.
bool writeBytes(const QString& path, const QByteArray& bytes, QString* error,
                Access access = Access::Normal);
bool writeText(const QString& path, const QString& text, QString* error);

} // namespace textfile
