#pragma once
// Windows-1252 text: the 8-bit code page of records, settings and text files.
#include <QByteArray>
#include <QString>

namespace cp1252 {

// Every byte maps to one character; the five bytes Windows-1252 leaves undefined map to the
// C1 control of the same value, so bytes survive a decode/encode round trip unchanged.
QString decode(QByteArrayView bytes);
// Characters outside the code page become '?'.
QByteArray encode(QStringView text);
// Encodes and cuts to at most `capacity` bytes (one byte per character in this code page).
QByteArray encodeCut(QStringView text, int capacity);
char16_t toUnicode(unsigned char byte);
// Returns false for characters outside the code page.
bool fromUnicode(char16_t ch, unsigned char* byte);

} // namespace cp1252
