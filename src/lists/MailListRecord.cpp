#include "lists/MailListRecord.h"

#include "platform/Cp1252.h"
#include "platform/Scramble.h"

#include <algorithm>
#include <cstring>

namespace {
constexpr int kCapacity[MailListRecord::FieldCount] = {100, 100, 100, 75, 30, 20, 75, 255,
                                                       255, 255, 10, 100, 100, 7, 255, 255};
constexpr std::array<int, MailListRecord::FieldCount> offsets()
{
    std::array<int, MailListRecord::FieldCount> o{};
    int at = 0;
    for (int i = 0; i < MailListRecord::FieldCount; ++i) {
        o[size_t(i)] = at;
        at += 1 + kCapacity[i];
    }
    return o;
}
constexpr auto kOffset = offsets();
static_assert(kOffset[MailListRecord::FilePath] == 1752);
static_assert(kOffset[MailListRecord::FilePath] + 1 + 255 == MailListRecord::kSize);
} // namespace

int MailListRecord::Offset(Field f)
{
    return kOffset[size_t(f)];
}

int MailListRecord::Capacity(Field f)
{
    return kCapacity[f];
}

void MailListRecord::SetBytes(Field f, QByteArrayView bytes)
{
    bytes = bytes.first(qMin<qsizetype>(bytes.size(), kCapacity[f]));
    // Bytes taken from this very record would move under our feet.
    if (!m_data.isEmpty() && bytes.data() >= m_data.constData() && bytes.data() < m_data.constData() + m_data.size()) {
        const QByteArray copy = bytes.toByteArray();
        SetBytes(f, copy);
        return;
    }
    const int oldLen = m_at[f + 1] - m_at[f];
    const int delta = int(bytes.size()) - oldLen;
    m_data.replace(m_at[f], oldLen, bytes.data(), bytes.size());
    for (int i = f + 1; i <= FieldCount; ++i)
        m_at[size_t(i)] = quint16(m_at[size_t(i)] + delta);
}

QString MailListRecord::Text(Field f) const
{
    return cp1252::decode(Bytes(f));
}

void MailListRecord::SetText(Field f, const QString& text)
{
    SetBytes(f, cp1252::encodeCut(text, kCapacity[f]));
}

bool MailListRecord::HasOption(char digit) const
{
    const QByteArrayView v = Bytes(Options);
    return std::find(v.begin(), v.end(), digit) != v.end();
}

void MailListRecord::Serialize(char* out) const
{
    std::memset(out, 0, kSize);
    for (int i = 0; i < FieldCount; ++i) {
        char* p = out + kOffset[size_t(i)];
        const QByteArrayView v = Bytes(Field(i));
        p[0] = char(quint8(v.size()));
        std::memcpy(p + 1, v.data(), size_t(v.size()));
    }
}

QByteArray MailListRecord::Serialize() const
{
    QByteArray out(kSize, Qt::Uninitialized);
    Serialize(out.data());
    return out;
}

void MailListRecord::Parse(const char* in)
{
    // Lengths first, so the bytes go into one block of exactly the right size.
    int total = 0;
    for (int i = 0; i < FieldCount; ++i) {
        m_at[size_t(i)] = quint16(total);
        total += qMin<int>(quint8(in[kOffset[size_t(i)]]), kCapacity[i]);
    }
    m_at[FieldCount] = quint16(total);
    if (total == 0) {
        m_data.clear();
        return;
    }
    m_data = QByteArray(total, Qt::Uninitialized);
    char* d = m_data.data();
    for (int i = 0; i < FieldCount; ++i) {
        const int len = m_at[size_t(i) + 1] - m_at[size_t(i)];
        std::memcpy(d + m_at[size_t(i)], in + kOffset[size_t(i)] + 1, size_t(len));
    }
}

MailListRecord MailListRecord::FromBytes(const QByteArray& bytes)
{
    MailListRecord r;
    if (bytes.size() >= kSize)
        r.Parse(bytes.constData());
    return r;
}

QString MailListRecord::Password() const
{
    return cp1252::decode(scramble::Unscramble(Bytes(PopPassword)));
}

void MailListRecord::SetPassword(const QString& plain)
{
    // Scrambled first, then cut: the stored form is what has the capacity.
    SetBytes(PopPassword, scramble::Scramble(cp1252::encode(plain)));
}
