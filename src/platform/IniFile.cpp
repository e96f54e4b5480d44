#include "platform/IniFile.h"

#include "platform/AtomicFile.h"
#include "platform/Cp1252.h"

#include <QFile>
#include <QFileInfo>

#include <climits>

namespace {

// ASCII-only case folding, as the profile functions compare names.
bool sameName(QByteArrayView a, QByteArrayView b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

QByteArray trimmed(QByteArrayView v)
{
    qsizetype s = 0, e = v.size();
    while (s < e && (v[s] == ' ' || v[s] == '\t'))
        ++s;
    while (e > s && (v[e - 1] == ' ' || v[e - 1] == '\t' || v[e - 1] == '\r'))
        --e;
    return v.sliced(s, e - s).toByteArray();
}

} // namespace

TIniFile::TIniFile(QString fileName) : m_fileName(std::move(fileName))
{
    QFile f(m_fileName);
    if (!f.exists())
        return;
    if (!f.open(QIODevice::ReadOnly)) {
        m_loaded = false;
        m_error = f.errorString();
        return;
    }
    const QByteArray all = f.readAll();
    qsizetype start = 0;
    while (start < all.size()) {
        qsizetype nl = all.indexOf('\n', start);
        if (nl < 0)
            nl = all.size();
        QByteArray line = all.mid(start, nl - start);
        if (line.endsWith('\r'))
            line.chop(1);
        m_lines.push_back(line);
        start = nl + 1;
    }
}

bool TIniFile::IsSectionHeader(const QByteArray& raw, QByteArray* name)
{
    const QByteArray t = trimmed(raw);
    if (!t.startsWith('['))
        return false;
    const qsizetype close = t.indexOf(']');
    if (close < 0)
        return false;
    if (name)
        *name = trimmed(QByteArrayView(t).sliced(1, close - 1));
    return true;
}

QByteArray TIniFile::KeyOf(const QByteArray& raw, bool* isKey)
{
    const qsizetype eq = raw.indexOf('=');
    // Keys are looked up and written trimmed of every kind of white space (a CR or a no-break
    // space too), so a line is a comment or a section by its first character after all of it;
    // otherwise a key such as "\r;" would be written back as a comment and lost.
    qsizetype first = 0;
    while (first < raw.size() && (raw[first] == ' ' || raw[first] == '\t' || raw[first] == '\r'
                                  || raw[first] == '\v' || raw[first] == '\f' || raw[first] == '\xa0'))
        ++first;
    const char lead = first < raw.size() ? raw[first] : '\0';
    *isKey = eq >= 0 && lead != ';' && lead != '[';
    return *isKey ? trimmed(QByteArrayView(raw).first(eq)) : QByteArray();
}

QByteArray TIniFile::ValueOf(const QByteArray& raw)
{
    QByteArray value = trimmed(QByteArrayView(raw).sliced(raw.indexOf('=') + 1));
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'')
        && value.back() == value.front())
        value = value.mid(1, value.size() - 2);
    return value;
}

int TIniFile::FindSection(const QString& section) const
{
    const QByteArray want = cp1252::encode(section.trimmed());
    for (size_t i = 0; i < m_lines.size(); ++i) {
        QByteArray name;
        if (IsSectionHeader(m_lines[i], &name) && sameName(name, want))
            return int(i);
    }
    return -1;
}

int TIniFile::FindKeyLine(int sectionLine, const QString& key) const
{
    const QByteArray want = cp1252::encode(key.trimmed());
    for (size_t i = size_t(sectionLine) + 1; i < m_lines.size(); ++i) {
        if (IsSectionHeader(m_lines[i], nullptr))
            break;
        bool isKey;
        const QByteArray k = KeyOf(m_lines[i], &isKey);
        if (isKey && sameName(k, want))
            return int(i);
    }
    return -1;
}

bool TIniFile::ValueExists(const QString& section, const QString& key) const
{
    const int s = FindSection(section);
    return s >= 0 && FindKeyLine(s, key) >= 0;
}

bool TIniFile::SectionExists(const QString& section) const
{
    return FindSection(section) >= 0;
}

QStringList TIniFile::SectionNames() const
{
    QStringList names;
    for (const QByteArray& line : m_lines) {
        QByteArray name;
        if (IsSectionHeader(line, &name))
            names << cp1252::decode(name);
    }
    return names;
}

QStringList TIniFile::ReadSection(const QString& section) const
{
    QStringList keys;
    const int s = FindSection(section);
    if (s < 0)
        return keys;
    for (size_t i = size_t(s) + 1; i < m_lines.size(); ++i) {
        if (IsSectionHeader(m_lines[i], nullptr))
            break;
        bool isKey;
        const QByteArray k = KeyOf(m_lines[i], &isKey);
        if (isKey)
            keys << cp1252::decode(k);
    }
    return keys;
}

QString TIniFile::ReadString(const QString& section, const QString& key, const QString& def) const
{
    const int s = FindSection(section);
    const int k = s < 0 ? -1 : FindKeyLine(s, key);
    if (k < 0)
        return def.left(kMaxValueLength);
    const QByteArray value = ValueOf(m_lines[size_t(k)]);
    return cp1252::decode(QByteArrayView(value).first(qMin<qsizetype>(value.size(), kMaxValueLength)));
}

bool TIniFile::ParseInteger(const QString& text, int* value)
{
    QStringView v = QStringView(text).trimmed();
    bool neg = false;
    if (v.startsWith(u'-') || v.startsWith(u'+')) {
        neg = v.front() == u'-';
        v = v.mid(1);
    }
    if (v.isEmpty() || !v.front().isDigit())
        return false;
    bool ok = false;
    if (v.startsWith(u"0x", Qt::CaseInsensitive)) {
        const qulonglong u = v.mid(2).toULongLong(&ok, 16);
        if (!ok || u > 0xFFFFFFFFull)
            return false;
        const qint64 r = qint64(qint32(quint32(u))); // 32-bit, as a colour value may be written
        *value = int(neg ? -r : r);
        return true;
    }
    const qlonglong d = v.toLongLong(&ok, 10);
    const qlonglong r = neg ? -d : d;
    if (!ok || r < INT_MIN || r > INT_MAX)
        return false;
    *value = int(r);
    return true;
}

int TIniFile::ReadInteger(const QString& section, const QString& key, int def) const
{
    int v;
    return ParseInteger(ReadString(section, key, QString()), &v) ? v : def;
}

bool TIniFile::ReadBool(const QString& section, const QString& key, bool def) const
{
    return ReadInteger(section, key, def ? 1 : 0) != 0;
}

void TIniFile::WriteString(const QString& section, const QString& key, const QString& value)
{
    QByteArray v = cp1252::encode(value);
    // A line end inside a value would start a new line of the file: never let it through.
    v.replace('\r', ' ').replace('\n', ' ');
    const QByteArray plain = v;
    // Reading trims blanks and drops a surrounding pair of quotes; quote such a value so it
    // reads back as written (a scrambled password may well begin or end with a blank).
    if (!v.isEmpty()
        && (v.front() == ' ' || v.front() == '\t' || v.back() == ' ' || v.back() == '\t'
            || (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())))
        v = '"' + v + '"';
    const QByteArray line = cp1252::encode(key.trimmed()) + '=' + v;
    int s = FindSection(section);
    if (s < 0) {
        // A new section goes at the end of the file, after a blank line.
        if (!m_lines.empty() && !trimmed(m_lines.back()).isEmpty())
            m_lines.emplace_back();
        m_lines.push_back('[' + cp1252::encode(section.trimmed()) + ']');
        m_lines.push_back(line);
        m_modified = true;
        return;
    }
    const int k = FindKeyLine(s, key);
    if (k >= 0) {
        QByteArray& raw = m_lines[size_t(k)];
        // A value that reads back the same leaves its line alone; a new one replaces only what
        // follows the equals sign, so the key keeps the spelling and spacing of the file.
        if (ValueOf(raw) == plain)
            return;
        qsizetype at = raw.indexOf('=') + 1;
        while (at < raw.size() && (raw[at] == ' ' || raw[at] == '\t'))
            ++at;
        raw = raw.left(at) + v;
        m_modified = true;
        return;
    }
    // After the last non-blank line of the section.
    size_t insertAt = size_t(s) + 1;
    for (size_t i = size_t(s) + 1; i < m_lines.size(); ++i) {
        if (IsSectionHeader(m_lines[i], nullptr))
            break;
        if (!trimmed(m_lines[i]).isEmpty())
            insertAt = i + 1;
    }
    m_lines.insert(m_lines.begin() + qsizetype(insertAt), line);
    m_modified = true;
}

void TIniFile::WriteInteger(const QString& section, const QString& key, int value)
{
    WriteString(section, key, QString::number(value));
}

void TIniFile::WriteBool(const QString& section, const QString& key, bool value)
{
    WriteString(section, key, value ? QStringLiteral("1") : QStringLiteral("0"));
}

void TIniFile::DeleteKey(const QString& section, const QString& key)
{
    const int s = FindSection(section);
    const int k = s < 0 ? -1 : FindKeyLine(s, key);
    if (k >= 0) {
        m_lines.erase(m_lines.begin() + k);
        m_modified = true;
    }
}

void TIniFile::EraseSection(const QString& section)
{
    const int s = FindSection(section);
    if (s < 0)
        return;
    size_t e = size_t(s) + 1;
    while (e < m_lines.size() && !IsSectionHeader(m_lines[e], nullptr))
        ++e;
    m_lines.erase(m_lines.begin() + s, m_lines.begin() + qsizetype(e));
    m_modified = true;
}

bool TIniFile::UpdateFile()
{
    if (!m_modified && QFileInfo::exists(m_fileName))
        return true;
    TAtomicFile f(m_fileName, m_ownerOnly ? TAtomicFile::Access::OwnerOnly : TAtomicFile::Access::Normal);
    bool ok = f.Open();
    for (size_t i = 0; ok && i < m_lines.size(); ++i)
        ok = f.Write(m_lines[i]) && f.Write("\r\n", 2);
    ok = ok && f.Commit();
    if (!ok) {
        m_error = f.ErrorString();
        return false;
    }
    m_modified = false;
    m_error.clear();
    return true;
}
