#include "lists/ListFile.h"

#include "lists/AddressList.h"
#include "platform/AtomicFile.h"

#include <QStringList>

#include <cstring>

namespace listfile {

namespace {
constexpr qsizetype kBlock = qsizetype(MailListRecord::kSize) * 512; // about 1 MB
constexpr char kPartial[] = "the file ends in a partial record";

// The first field whose length byte claims more than the field holds, or -1.
int OverlongField(const char* rec)
{
    for (int i = 0; i < MailListRecord::FieldCount; ++i) {
        const auto f = MailListRecord::Field(i);
        if (quint8(rec[MailListRecord::Offset(f)]) > MailListRecord::Capacity(f))
            return i;
    }
    return -1;
}

QByteArrayView FieldBytes(const char* rec, MailListRecord::Field f)
{
    const int at = MailListRecord::Offset(f);
    return QByteArrayView(rec + at + 1, quint8(rec[at]));
}

QString LengthProblem(const char* rec)
{
    const int f = OverlongField(rec);
    if (f < 0)
        return QString();
    return QStringLiteral("field %1 claims %2 bytes, more than its %3")
        .arg(f + 1)
        .arg(quint8(rec[MailListRecord::Offset(MailListRecord::Field(f))]))
        .arg(MailListRecord::Capacity(MailListRecord::Field(f)));
}
} // namespace

QString HeaderProblem(const char* rec)
{
    if (QString p = LengthProblem(rec); !p.isEmpty())
        return p;
    const QByteArrayView name = FieldBytes(rec, MailListRecord::Name);
    if (name.isEmpty())
        return QStringLiteral("it has no list name");
    for (const char c : name) {
        if (quint8(c) < 0x20 || c == 0x7F)
            return QStringLiteral("its list name holds control characters");
    }
    return QString();
}

QString EntryProblem(const char* rec)
{
    if (QString p = LengthProblem(rec); !p.isEmpty())
        return p;
    if (FieldBytes(rec, MailListRecord::Email).isEmpty())
        return QStringLiteral("an empty e-mail address");
    return QString();
}

QString TReader::Error() const
{
    QStringList parts;
    if (m_damaged > 0)
        parts << QStringLiteral("%1 damaged record(s) skipped: %2").arg(m_damaged).arg(m_damage);
    if (!m_error.isEmpty())
        parts << m_error;
    return parts.join(QStringLiteral("; "));
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
    m_damaged = 0;
    m_damage.clear();
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
    const char* rec = NextRecord();
    if (!rec) {
        if (m_error.isEmpty() || m_error == QLatin1String(kPartial))
            m_error = QStringLiteral("It is not a mail list file: it is shorter than one list record");
        return false;
    }
    if (const QString p = HeaderProblem(rec); !p.isEmpty()) {
        m_error = QStringLiteral("It is not a mail list file: its first record is not a list header (") + p
                  + u')';
        return false;
    }
    header->Parse(rec);
    return true;
}

bool TReader::Next(MailListRecord* record)
{
    while (const char* rec = NextRecord()) {
        const QString p = EntryProblem(rec);
        if (p.isEmpty()) {
            record->Parse(rec);
            return true;
        }
        // Never shown or written back as an address: what it holds was not written as one.
        if (m_damaged++ == 0)
            m_damage = p;
    }
    return false;
}

const char* TReader::NextRecord()
{
    if (!m_error.isEmpty())
        return nullptr;
    while (m_end - m_pos < size_t(MailListRecord::kSize)) {
        if (!Fill())
            break;
    }
    const size_t left = m_end - m_pos;
    if (left < size_t(MailListRecord::kSize)) {
        if (left > 0 && m_error.isEmpty())
            m_error = QLatin1String(kPartial);
        return nullptr;
    }
    const char* rec = m_buffer.data() + m_pos;
    m_pos += MailListRecord::kSize;
    return rec;
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
