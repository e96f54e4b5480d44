#pragma once
// List files (".qvl"): record 0 is the list header, records 1..N the subscribers, 2008 bytes
// each, nothing else. Reading streams the file in large blocks; writing goes through a
// temporary file renamed over the old one, so a failed save leaves the previous list intact.
#include "lists/MailListRecord.h"

#include <QFile>
#include <QString>
#include <functional>
#include <vector>

class TAddressList;

namespace listfile {

// Reads record 0. Fails (with the reason) when the file cannot be opened or is not a list
// file: shorter than one record, or its first record is not a plausible list header.
bool ReadHeader(const QString& path, MailListRecord* header, QString* error);

// Why the 2008 bytes at `rec` cannot be a list header / a subscriber record written by the
// program (a length byte over its field's capacity, an empty list name or e-mail address,
// control characters in the list name); empty when they can.
QString HeaderProblem(const char* rec);
QString EntryProblem(const char* rec);

// Streams the records of a list file.
class TReader
{
public:
    bool Open(const QString& path);
    // The header; false when the file is not a list file (see HeaderProblem).
    bool ReadHeader(MailListRecord* header);
    // The next subscriber; false at the end of the file or on an error. Records that cannot be
    // subscribers (see EntryProblem) are skipped and counted as damaged.
    bool Next(MailListRecord* record);
    // The file could not be read whole: a read error, a partial last record, damaged records.
    bool Failed() const { return !m_error.isEmpty() || m_damaged > 0; }
    int Damaged() const { return m_damaged; }
    // What went wrong, in words ("" when nothing did).
    QString Error() const;

private:
    bool Fill();
    // The next 2008 bytes, valid until the next call; null at the end or on an error.
    const char* NextRecord();

    QFile m_file;
    std::vector<char> m_buffer; // a block of whole records plus a partial tail
    size_t m_pos = 0;           // next unread byte
    size_t m_end = 0;           // end of the valid bytes
    bool m_eof = false;
    QString m_error;     // a failure that ends the reading
    int m_damaged = 0;   // records skipped
    QString m_damage;    // why the first of them was
};

// Writes the whole list file. `tick` (may be empty) runs now and then so the window can
// process events. Files hold a POP password and are made readable by their owner only.
bool Write(const QString& path, const MailListRecord& header, const TAddressList& entries,
           QString* error, const std::function<void()>& tick = {});

} // namespace listfile
