#pragma once
// Text and whole-file helpers. Text files are read as UTF-8 when they are valid UTF-8 and as
// Windows-1252 otherwise; they are written as Windows-1252 with CR LF line ends. Every file
// written whole goes through a temporary file renamed over the old one, so a crash or a full
// disk never leaves half a file behind.
#include <QByteArray>
#include <QString>

namespace textfile {

// UTF-8 when the bytes are valid UTF-8 (a leading BOM is dropped), else Windows-1252.
QString decode(const QByteArray& bytes);
// LF or lone CR line ends become CR LF, then Windows-1252.
QByteArray encodeCrLf(const QString& text);

bool readBytes(const QString& path, QByteArray* out, QString* error);
bool readText(const QString& path, QString* out, QString* error);

enum class Access { Normal, OwnerOnly };
// Atomic: a temporary file in the same folder, renamed over `path` once fully written.
// OwnerOnly files (they hold passwords) are created readable and writable by the owner only.
bool writeBytes(const QString& path, const QByteArray& bytes, QString* error,
                Access access = Access::Normal);
bool writeText(const QString& path, const QString& text, QString* error);

} // namespace textfile
