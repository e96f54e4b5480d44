#pragma once
// Private-profile settings file. Sections and keys are matched without regard to letter case;
// a write replaces the value on the one line of its key, keeping the key as the file spells it
// (a value that reads back unchanged leaves the line alone), or appends it at the end of its section,
// or a new section at the end of the file) and keeps every other line, comment and order as it
// was. Values are trimmed, a matching pair of surrounding quotes is dropped, and reads are cut
// at 1023 characters. The file is 8-bit (Windows-1252) with CR LF line ends.
//
// Unlike the platform's profile functions, writes collect in memory and reach the disk in one
// atomic step at UpdateFile(), so a failed save never leaves half a settings file.
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <vector>

class TIniFile
{
public:
    static constexpr int kMaxValueLength = 1023;

    explicit TIniFile(QString fileName);

    const QString& FileName() const { return m_fileName; }
    // False when the file existed but could not be read (it then reads as empty).
    bool Loaded() const { return m_loaded; }

    QString ReadString(const QString& section, const QString& key, const QString& def) const;
    // Decimal, or hexadecimal with a leading "0x"/"0X"; anything else gives `def`.
    int ReadInteger(const QString& section, const QString& key, int def) const;
    bool ReadBool(const QString& section, const QString& key, bool def) const;
    bool ValueExists(const QString& section, const QString& key) const;
    bool SectionExists(const QString& section) const;
    QStringList ReadSection(const QString& section) const; // key names in file order
    QStringList SectionNames() const;

    void WriteString(const QString& section, const QString& key, const QString& value);
    void WriteInteger(const QString& section, const QString& key, int value);
    void WriteBool(const QString& section, const QString& key, bool value);
    void DeleteKey(const QString& section, const QString& key);
    void EraseSection(const QString& section);

    // Files that hold a password are written readable by their owner only.
    void SetOwnerOnly(bool on) { m_ownerOnly = on; }

    bool Modified() const { return m_modified; }
    // Writes the file if anything changed. On failure ErrorString() names the reason.
    bool UpdateFile();
    const QString& ErrorString() const { return m_error; }

    // Integer parsing shared with other readers of profile-style values.
    static bool ParseInteger(const QString& text, int* value);

private:
    struct Line
    {
        QByteArray raw;      // the line as it stands in the file, without its line end
        int sectionIndex;    // which section it belongs to (-1 before the first section)
    };
    int FindSection(const QString& section) const;
    int FindKeyLine(int sectionLine, const QString& key) const;
    static QByteArray KeyOf(const QByteArray& raw, bool* isKey);
    // The value of a key line as reading sees it, before the 1023-character cut.
    static QByteArray ValueOf(const QByteArray& raw);
    static bool IsSectionHeader(const QByteArray& raw, QByteArray* name);

    QString m_fileName;
    std::vector<QByteArray> m_lines;
    bool m_loaded = true;
    bool m_modified = false;
    bool m_ownerOnly = false;
    QString m_error;
};
