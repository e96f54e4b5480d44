#include "lists/ListFile.h"

#include "lists/AddressList.h"
#include "platform/AtomicFile.h"

#include <cstring>

namespace listfile {

namespace {
constexpr qsizetype kBlock = qsizetype(MailListRecord::kSize) * 512; // about 1 MB
}

bool ReadHeader(const QString& path, MailListRecord* header, QString* error)
{
    // Headers are read when the catalog loads at start and when a list is imported: the time
    // to clear what saves cut short by a crash left beside the file.
    TAtomicFile::RemoveLeftovers(path);
    TReader r;
    if (r.Open(path) && r.ReadHeader(header))
        return true;
    if (error)
        *error = r.Error();
    return false;
}

bool TReader::Open(const QString& path)
{
    m_file.setFileName(path);
    m_buffer.assign(size_t(kBlock), 0);
    m_pos = m_end = 0;
    m_eof = false;
    m_error.clear();
    if (!m_file.open(QIODevice::ReadOnly)) {
        m_error = m_file.errorString();
        return false;
    }
    return true;
}

bool TReader::Fill()
{
    // Move the unread tail to the front and read up to a block behind it.
    const size_t tail = m_end - m_pos;
    if (tail && m_pos)
        std::memmove(m_buffer.data(), m_buffer.data() + m_pos, tail);
    m_pos = 0;
    m_end = tail;
    if (m_eof)
        return false;
    const qint64 n = m_file.read(m_buffer.data() + m_end, qint64(m_buffer.size() - m_end));
    if (n < 0) {
        m_error = m_file.errorString();
        m_eof = true;
        return false;
    }
    if (n == 0)
        m_eof = true;
    m_end += size_t(n);
    return n > 0;
}

bool TReader::ReadHeader(MailListRecord* header)
{
    MailListRecord r;
    if (!Next(&r)) {
        if (m_error.isEmpty())
            m_error = QStringLiteral("The file holds no list header");
        return false;
    }
    *header = r;
    return true;
}

bool TReader::Next(MailListRecord* record)
{
    if (!m_error.isEmpty())
        return false;
    while (m_end - m_pos < size_t(MailListRecord::kSize)) {
        if (!Fill())
            break;
    }
    const size_t left = m_end - m_pos;
    if (left < size_t(MailListRecord::kSize)) {
        if (left > 0 && m_error.isEmpty())
            m_error = QStringLiteral("The file ends in a partial record");
        return false;
    }
    record->Parse(m_buffer.data() + m_pos);
    m_pos += MailListRecord::kSize;
    return true;
}

bool Write(const QString& path, const MailListRecord& header, const TAddressList& entries,
           QString* error, const std::function<void()>& tick)
{
    TAtomicFile f(path, TAtomicFile::Access::OwnerOnly);
    char rec[MailListRecord::kSize];
    bool ok = f.Open();
    if (ok) {
        header.Serialize(rec);
        ok = f.Write(rec, MailListRecord::kSize);
    }
    for (int i = 0; ok && i < entries.Count(); ++i) {
        entries.At(i).Serialize(rec);
        ok = f.Write(rec, MailListRecord::kSize);
        if (tick && (i & 0x3FF) == 0)
            tick();
    }
    ok = ok && f.Commit();
    if (!ok && error)
        *error = f.ErrorString();
    return ok;
}

} // namespace listfile
