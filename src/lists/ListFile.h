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

// Reads record 0. Fails (with the reason) when the file cannot be opened or is shorter than
// one record.
bool ReadHeader(const QString& path, MailListRecord* header, QString* error);

// Streams the records of a list file.
class TReader
{
public:
    bool Open(const QString& path);
    // The header; false when the file is shorter than one record.
    bool ReadHeader(MailListRecord* header);
    // The next subscriber; false at the end of the file or on an error (see AtEnd/Error).
    bool Next(MailListRecord* record);
    bool Failed() const { return !m_error.isEmpty(); }
    const QString& Error() const { return m_error; }

private:
    bool Fill();

    QFile m_file;
    std::vector<char> m_buffer; // a block of whole records plus a partial tail
    size_t m_pos = 0;           // next unread byte
    size_t m_end = 0;           // end of the valid bytes
    bool m_eof = false;
    QString m_error;
};

// Writes the whole list file. `tick` (may be empty) runs now and then so the window can
// process events. Files hold a POP password and are made readable by their owner only.
bool Write(const QString& path, const MailListRecord& header, const TAddressList& entries,
           QString* error, const std::function<void()>& tick = {});

} // namespace listfile
