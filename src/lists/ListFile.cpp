#include "lists/ListFile.h"

#include "lists/AddressList.h"
#include "platform/AtomicFile.h"

namespace listfile {

namespace {
constexpr qsizetype kBlock = qsizetype(MailListRecord::kSize) * 512; // about 1 MB
}

bool ReadHeader(const QString& path, MailListRecord* header, QString* error)
{
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
    m_buffer.clear();
    m_pos = 0;
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
    // Keep the unread tail and append the next block.
    m_buffer.remove(0, m_pos);
    m_pos = 0;
    if (m_eof)
        return false;
    const qsizetype old = m_buffer.size();
    m_buffer.resize(old + kBlock);
    const qint64 n = m_file.read(m_buffer.data() + old, kBlock);
    if (n < 0) {
        m_buffer.resize(old);
        m_error = m_file.errorString();
        m_eof = true;
        return false;
    }
    m_buffer.resize(old + qsizetype(n));
    if (n == 0)
        m_eof = true;
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
    while (m_buffer.size() - m_pos < MailListRecord::kSize) {
        if (!Fill())
            break;
    }
    const qsizetype left = m_buffer.size() - m_pos;
    if (left < MailListRecord::kSize) {
        if (left > 0 && m_error.isEmpty())
            m_error = QStringLiteral("The file ends in a partial record");
        return false;
    }
    record->Parse(m_buffer.constData() + m_pos);
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
