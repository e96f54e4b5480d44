#pragma once
// The fixed 2008-byte list record: a list's header or one subscriber. Sixteen fields, each a
// length byte followed by exactly `capacity` bytes of Windows-1252 text, with no padding.
// In memory each field keeps only its meaningful bytes.
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
        Options = 10,    // option digits "1".."8"
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

    // Raw 8-bit bytes of a field.
    const QByteArray& Bytes(Field f) const { return m_fields[f]; }
    void SetBytes(Field f, const QByteArray& bytes); // cut to capacity

    QString Text(Field f) const;
    void SetText(Field f, const QString& text); // encoded and cut to capacity

    // Exactly kSize bytes; bytes beyond each field's length are zero.
    void Serialize(char* out) const;
    QByteArray Serialize() const;
    // A length byte above its field's capacity is clamped, never read past the field.
    void Parse(const char* in);
    static MailListRecord FromBytes(const QByteArray& bytes); // bytes.size() >= kSize

    // Option digits.
    bool HasOption(char digit) const { return m_fields[Options].contains(digit); }

    // The POP password of a list header, unscrambled / scrambled on the way in.
    QString Password() const;
    void SetPassword(const QString& plain);

    bool operator==(const MailListRecord& o) const { return m_fields == o.m_fields; }

private:
    std::array<QByteArray, FieldCount> m_fields;
};

// Stored POP passwords: every character code lowered by 13 (mod 256) on the way to disk.
namespace scramble {
QByteArray Scramble(const QByteArray& plain);
QByteArray Unscramble(const QByteArray& stored);
} // namespace scramble
