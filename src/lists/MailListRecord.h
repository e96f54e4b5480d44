#pragma once
// The fixed 2008-byte list record: a list's header or one subscriber. Sixteen fields, each a
// length byte followed by exactly `capacity` bytes of Windows-1252 text, with no padding.
// In memory a record keeps only the meaningful bytes of its fields, packed in one block, so a
// list of 100,000 subscribers costs a few megabytes and opens with two allocations a record.
#include <QByteArray>
#include <QString>
#include <array>

class MailListRecord
{
public:
    static constexpr int kSize = 2008;

    // Field positions, named for both roles of the record.
    enum Field {
        Name = 0,        // list name | subscriber name
        Reply = 1,       // reply address | e-mail address
        ToAddress = 2,   // To address | -
        PopServer = 3,   // POP server | street address, second line
        PopUser = 4,     // POP user name | -
        PopPassword = 5, // POP password, scrambled | phone number
        SmtpServer = 6,  // SMTP server | street address, first line
        HeaderFile = 7,
        FooterFile = 8,
        SigFile = 9,
        Options = 10,    // option digits "1".."9"
        ToKey = 11,      // To maintenance key
        SubjectKey = 12, // Subject maintenance key
        DateMark = 13,   // creation date text | "New" / "Edited"
        Comments = 14,
        FilePath = 15,   // full path of this list's file
        FieldCount = 16
    };
    // Subscriber aliases.
    static constexpr Field Email = Reply;
    static constexpr Field Street2 = PopServer;
    static constexpr Field Phone = PopPassword;
    static constexpr Field Street1 = SmtpServer;
    static constexpr Field Mark = DateMark;

    static int Offset(Field f);
    static int Capacity(Field f);

    // Raw 8-bit bytes of a field; valid until the record changes or goes.
    QByteArrayView Bytes(Field f) const
    {
        return QByteArrayView(m_data.constData() + m_at[f], m_at[f + 1] - m_at[f]);
    }
    void SetBytes(Field f, QByteArrayView bytes); // cut to capacity

    QString Text(Field f) const;
    void SetText(Field f, const QString& text); // encoded and cut to capacity

    // Exactly kSize bytes; bytes beyond each field's length are zero.
    void Serialize(char* out) const;
    QByteArray Serialize() const;
    // A length byte above its field's capacity is clamped, never read past the field.
    void Parse(const char* in);
    static MailListRecord FromBytes(const QByteArray& bytes); // bytes.size() >= kSize

    // Option digits.
    bool HasOption(char digit) const;

    // The POP password of a list header, unscrambled / scrambled on the way in.
    QString Password() const;
    void SetPassword(const QString& plain);

    bool operator==(const MailListRecord& o) const { return m_at == o.m_at && m_data == o.m_data; }

private:
    QByteArray m_data;                      // the fields' bytes, in field order
    std::array<quint16, FieldCount + 1> m_at{}; // field f is m_data[m_at[f], m_at[f + 1])
};
