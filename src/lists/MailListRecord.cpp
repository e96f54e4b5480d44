#include "lists/MailListRecord.h"

#include "platform/Cp1252.h"

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

void MailListRecord::SetBytes(Field f, const QByteArray& bytes)
{
    m_fields[f] = bytes.size() > kCapacity[f] ? bytes.left(kCapacity[f]) : bytes;
}

QString MailListRecord::Text(Field f) const
{
    return cp1252::decode(m_fields[f]);
}

void MailListRecord::SetText(Field f, const QString& text)
{
    m_fields[f] = cp1252::encodeCut(text, kCapacity[f]);
}

void MailListRecord::Serialize(char* out) const
{
    std::memset(out, 0, kSize);
    for (int i = 0; i < FieldCount; ++i) {
        char* p = out + kOffset[size_t(i)];
        const QByteArray& v = m_fields[size_t(i)];
        p[0] = char(quint8(v.size()));
        std::memcpy(p + 1, v.constData(), size_t(v.size()));
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
    for (int i = 0; i < FieldCount; ++i) {
        const char* p = in + kOffset[size_t(i)];
        const int len = qMin<int>(quint8(p[0]), kCapacity[i]);
        if (len == 0)
            m_fields[size_t(i)].clear();
        else
            m_fields[size_t(i)] = QByteArray(p + 1, len);
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
    return cp1252::decode(scramble::Unscramble(m_fields[PopPassword]));
}

void MailListRecord::SetPassword(const QString& plain)
{
    // Scrambled first, then cut: the stored form is what has the capacity.
    SetBytes(PopPassword, scramble::Scramble(cp1252::encode(plain)));
}

namespace scramble {
QByteArray Scramble(const QByteArray& plain)
{
    QByteArray out = plain;
    for (char& c : out)
        c = char(quint8(quint8(c) - 13));
    return out;
}

QByteArray Unscramble(const QByteArray& stored)
{
    QByteArray out = stored;
    for (char& c : out)
        c = char(quint8(quint8(c) + 13));
    return out;
}
} // namespace scramble
