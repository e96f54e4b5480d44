#pragma once
// Lists as comma-separated values, the form spreadsheets and other list managers exchange.
// Reading follows RFC 4180 (quoted fields with embedded separators, quotes and line breaks),
// takes UTF-8 with or without a byte-order mark or else Windows-1252, and finds the separator
// (comma, semicolon or tab) itself. Writing gives UTF-8 with a byte-order mark (so spreadsheet
// programs recognise it), a header row, every field quoted where needed, CR LF line ends.
#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <array>

class TAddressList;

namespace csvfile {

// The record fields a column can fill, in the order the mapping lists them.
enum Column { cName, cEmail, cStreet1, cStreet2, cPhone, kColumns };
// Their captions, also the header row of an export.
const QStringList& ColumnCaptions();

// ',' ';' or '\t': the one that splits the first lines into the same number of fields, most.
QChar DetectSeparator(QStringView text);
// Every row of `text` (a final line break adds no empty row).
QList<QStringList> Parse(QStringView text, QChar separator);

struct TMapping
{
    std::array<int, kColumns> column{-1, -1, -1, -1, -1}; // CSV column per field, or -1
    bool header = false;                                  // the first row holds column names
};
// A header row is recognised by common column names in English, German, French and Spanish;
// without one the column holding "@" in most of the first rows is the e-mail address.
TMapping GuessMapping(const QList<QStringList>& rows);

struct TImportResult
{
    int added = 0;
    int duplicates = 0;
    int refused = 0;
    QStringList reasons; // the first refused rows: "row N: why"
};
// Adds a new entry (mark "New") for every row whose address the list does not hold yet,
// compared upper-cased, as typed addresses are. Addresses are taken whole or refused: empty,
// holding blanks or line breaks, longer than a record holds, or with characters the list file
// cannot store. The other fields are cut to their capacity; a line break in them becomes a blank.
TImportResult AddRows(const QList<QStringList>& rows, const TMapping& mapping, TAddressList& entries);

// The whole file: decoding, separator, rows.
QList<QStringList> Read(const QByteArray& bytes);
// Every entry's five fields under a header row.
QByteArray Export(const TAddressList& entries);

} // namespace csvfile
