#include "app/SettingsFile.h"

#include "lists/MailListRecord.h"
#include "platform/Cp1252.h"
#include "platform/Scramble.h"
#include "platform/IniFile.h"
#include "platform/ProgramFolder.h"

#include <QHash>
#include <algorithm>
#include <functional>

QFont TDigestFontSpec::ToFont() const
{
    QFont f(Name);
    f.setPointSize(Size > 0 ? Size : 8);
    f.setBold(Bold);
    f.setItalic(Italic);
    f.setUnderline(Underline);
    f.setStrikeOut(StrikeOut);
    return f;
}

QString TDigestFontSpec::StyleDigits(const QFont& f)
{
    QString s;
    if (f.bold())
        s += u'1';
    if (f.italic())
        s += u'2';
    if (f.underline())
        s += u'3';
    if (f.strikeOut())
        s += u'4';
    return s;
}

namespace settingsfile {

namespace {
const QString kUser = QStringLiteral("User Settings");
const QString kLists = QStringLiteral("Mail Lists");
const QString kFont = QStringLiteral("Digest Font");

// Characters 23 and 26 scramble to LF and CR, which a line of the file cannot hold. They are
// stored as the escape byte 0x10 followed by "J" or "M"; an escape byte that would otherwise
// be read as the start of such a pair is doubled. Every other password is stored exactly as
// the plain scrambling gives it.
constexpr char kEscape = 0x10;

bool escapeFollows(char c)
{
    return c == 'J' || c == 'M' || c == kEscape;
}

QString passwordIn(const QString& stored)
{
    const QByteArray in = cp1252::encode(stored);
    QByteArray bytes;
    bytes.reserve(in.size());
    for (qsizetype i = 0; i < in.size(); ++i) {
        if (in[i] == kEscape && i + 1 < in.size() && escapeFollows(in[i + 1])) {
            ++i;
            bytes += in[i] == 'J' ? '\n' : in[i] == 'M' ? '\r' : kEscape;
        } else {
            bytes += in[i];
        }
    }
    return cp1252::decode(scramble::Unscramble(bytes));
}

QString passwordOut(const QString& plain)
{
    const QByteArray scrambled = scramble::Scramble(cp1252::encode(plain));
    QByteArray out;
    out.reserve(scrambled.size());
    for (qsizetype i = 0; i < scrambled.size(); ++i) {
        const char c = scrambled[i];
        if (c == '\n')
            out += QByteArray(1, kEscape) + 'J';
        else if (c == '\r')
            out += QByteArray(1, kEscape) + 'M';
        else if (c == kEscape && i + 1 < scrambled.size()
                 && (escapeFollows(scrambled[i + 1]) || scrambled[i + 1] == '\n' || scrambled[i + 1] == '\r'))
            out += QByteArray(2, kEscape);
        else
            out += c;
    }
    return cp1252::decode(out);
}

// `List` keys beyond the new count stay in place; Load ignores them.
void writeCatalog(TIniFile& ini, const QStringList& listPaths)
{
    ini.WriteInteger(kLists, QStringLiteral("Count"), int(listPaths.size()));
    for (int i = 0; i < listPaths.size(); ++i)
        ini.WriteString(kLists, QStringLiteral("List") + QString::number(i), listPaths.at(i));
}
// Rewrites one part of the file, keeping every other line. A file that could not be read is
// not written over: that would throw away what it holds.
bool updateFile(const QString& path, QString* error, const std::function<void(TIniFile&)>& write)
{
    TIniFile ini(path);
    if (!ini.Loaded()) {
        if (error)
            *error = ini.ErrorString();
        return false;
    }
    ini.SetOwnerOnly(true); // the file holds the POP password
    write(ini);
    if (!ini.UpdateFile()) {
        if (error)
            *error = ini.ErrorString();
        return false;
    }
    return true;
}
} // namespace

QString FileName()
{
    return ProgramFolder() + QStringLiteral("Quorvel.ini");
}

QColor FromColorValue(int value)
{
    const quint32 v = quint32(value);
    return QColor(int(v & 0xFF), int((v >> 8) & 0xFF), int((v >> 16) & 0xFF));
}

int ToColorValue(const QColor& c)
{
    const QColor rgb = c.toRgb();
    return rgb.red() | (rgb.green() << 8) | (rgb.blue() << 16);
}

TSettingsData Load(const QString& path)
{
    const TIniFile ini(path);
    TSettingsData d;
    TGeneralSettings& g = d.General;
    g.User = ini.ReadString(kUser, QStringLiteral("User"), QString());
    g.Email = ini.ReadString(kUser, QStringLiteral("Email"), QString());
    g.SMTP = ini.ReadString(kUser, QStringLiteral("SMTP"), QString());
    d.Timeout = ini.ReadInteger(kUser, QStringLiteral("Timeout"), 15);
    g.POP = ini.ReadString(kUser, QStringLiteral("POP"), QString());
    g.Username = ini.ReadString(kUser, QStringLiteral("Username"), QString());
    g.Password = passwordIn(ini.ReadString(kUser, QStringLiteral("Password"), QString()));
    g.HeaderFile = ini.ReadString(kUser, QStringLiteral("Header File"), QString());
    g.FooterFile = ini.ReadString(kUser, QStringLiteral("Footer File"), QString());
    g.SigFile = ini.ReadString(kUser, QStringLiteral("Sig File"), QString());
    g.IncludeHeader = ini.ReadBool(kUser, QStringLiteral("Include Header"), false);
    g.IncludeFooter = ini.ReadBool(kUser, QStringLiteral("Include Footer"), false);
    g.IncludeSig = ini.ReadBool(kUser, QStringLiteral("Include Sig"), false);
    g.SaveLetters = ini.ReadBool(kUser, QStringLiteral("Save Letters"), false);
    g.SendFormatted = ini.ReadBool(kUser, QStringLiteral("Send Formatted"), false);
    g.Normalise();

    int color;
    if (TIniFile::ParseInteger(ini.ReadString(kUser, QStringLiteral("Color"), QString()), &color))
        d.Color = FromColorValue(color);

    d.Hints = ini.ReadBool(kUser, QStringLiteral("Hints"), true);
    d.Sounds = ini.ReadBool(kUser, QStringLiteral("Sounds"), true);
    d.AutoSave = ini.ReadBool(kUser, QStringLiteral("Auto Save"), true);

    if (!ini.Loaded())
        d.ReadError = ini.ErrorString();
    // A key that does not exist names no list: it is counted, not kept. Only keys that exist
    // are looked for, so a huge Count costs nothing.
    const int count = ini.ReadInteger(kLists, QStringLiteral("Count"), 0);
    QHash<int, QString> present;
    for (const QString& key : ini.ReadSection(kLists)) {
        bool ok = false;
        const int i = key.startsWith(QLatin1String("List"), Qt::CaseInsensitive) ? key.mid(4).toInt(&ok) : -1;
        if (!ok || i < 0 || i >= count || QString::number(i) != key.mid(4))
            continue;
        const QString path = ini.ReadString(kLists, key, QString());
        if (!path.isEmpty()) // an empty value names no list either
            present.insert(i, path);
    }
    const QList<int> found = [&] {
        QList<int> k = present.keys();
        std::sort(k.begin(), k.end());
        return k;
    }();
    for (int i : found)
        d.ListPaths << present.value(i);
    d.MissingLists = qMax(0, count) - int(found.size());

    TDigestFontSpec& f = d.DigestFont;
    f.Name = ini.ReadString(kFont, QStringLiteral("Name"), QStringLiteral("Times New Roman"));
    f.Size = ini.ReadInteger(kFont, QStringLiteral("Size"), 8);
    const QString style = ini.ReadString(kFont, QStringLiteral("Style"), QString());
    f.Bold = style.contains(u'1');
    f.Italic = style.contains(u'2');
    f.Underline = style.contains(u'3');
    f.StrikeOut = style.contains(u'4');
    f.Color = TIniFile::ParseInteger(ini.ReadString(kFont, QStringLiteral("Color"), QString()), &color)
                  ? FromColorValue(color)
                  : QColor(Qt::black);
    return d;
}

bool Save(const QString& path, const TSettingsData& d, QString* error)
{
    return updateFile(path, error, [&](TIniFile& ini) {
        TGeneralSettings g = d.General;
        g.Normalise();
        ini.WriteString(kUser, QStringLiteral("User"), g.User);
        ini.WriteString(kUser, QStringLiteral("Email"), g.Email);
        ini.WriteString(kUser, QStringLiteral("SMTP"), g.SMTP);
        ini.WriteInteger(kUser, QStringLiteral("Timeout"), d.Timeout);
        ini.WriteString(kUser, QStringLiteral("POP"), g.POP);
        ini.WriteString(kUser, QStringLiteral("Username"), g.Username);
        ini.WriteString(kUser, QStringLiteral("Password"), passwordOut(g.Password));
        ini.WriteString(kUser, QStringLiteral("Header File"), g.HeaderFile);
        ini.WriteString(kUser, QStringLiteral("Footer File"), g.FooterFile);
        ini.WriteString(kUser, QStringLiteral("Sig File"), g.SigFile);
        ini.WriteBool(kUser, QStringLiteral("Include Header"), g.IncludeHeader);
        ini.WriteBool(kUser, QStringLiteral("Include Footer"), g.IncludeFooter);
        ini.WriteBool(kUser, QStringLiteral("Include Sig"), g.IncludeSig);
        ini.WriteBool(kUser, QStringLiteral("Save Letters"), g.SaveLetters);
        // Written once it is used: files that never had it stay as they were.
        if (g.SendFormatted || ini.ValueExists(kUser, QStringLiteral("Send Formatted")))
            ini.WriteBool(kUser, QStringLiteral("Send Formatted"), g.SendFormatted);
        ini.WriteInteger(kUser, QStringLiteral("Color"), ToColorValue(d.Color.value_or(QColor(0, 0, 0x87))));
        ini.WriteBool(kUser, QStringLiteral("Hints"), d.Hints);
        ini.WriteBool(kUser, QStringLiteral("Sounds"), d.Sounds);
        ini.WriteBool(kUser, QStringLiteral("Auto Save"), d.AutoSave);
        writeCatalog(ini, d.ListPaths);
    });
}

bool SaveCatalog(const QString& path, const QStringList& listPaths, QString* error)
{
    return updateFile(path, error, [&](TIniFile& ini) { writeCatalog(ini, listPaths); });
}

bool SaveDigestFont(const QString& path, const QFont& font, const QColor& color, QString* error)
{
    return updateFile(path, error, [&](TIniFile& ini) {
        ini.WriteString(kFont, QStringLiteral("Name"), font.family());
        ini.WriteInteger(kFont, QStringLiteral("Size"), font.pointSize());
        ini.WriteString(kFont, QStringLiteral("Style"), TDigestFontSpec::StyleDigits(font));
        ini.WriteInteger(kFont, QStringLiteral("Color"), ToColorValue(color));
    });
}

} // namespace settingsfile
