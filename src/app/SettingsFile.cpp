#include "app/SettingsFile.h"

#include "lists/MailListRecord.h"
#include "platform/Cp1252.h"
#include "platform/IniFile.h"
#include "platform/ProgramFolder.h"

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

QString passwordIn(const QString& stored)
{
    return cp1252::decode(scramble::Unscramble(cp1252::encode(stored)));
}

QString passwordOut(const QString& plain)
{
    return cp1252::decode(scramble::Scramble(cp1252::encode(plain)));
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
    g.Normalise();

    int color;
    if (TIniFile::ParseInteger(ini.ReadString(kUser, QStringLiteral("Color"), QString()), &color))
        d.Color = FromColorValue(color);

    d.Hints = ini.ReadBool(kUser, QStringLiteral("Hints"), true);
    d.Sounds = ini.ReadBool(kUser, QStringLiteral("Sounds"), true);
    d.AutoSave = ini.ReadBool(kUser, QStringLiteral("Auto Save"), true);

    // The count is only what the file claims: never read more List keys than the section
    // holds keys, or a huge count would read billions of missing ones.
    const int count = std::min<qsizetype>(ini.ReadInteger(kLists, QStringLiteral("Count"), 0),
                                          ini.ReadSection(kLists).size());
    for (int i = 0; i < count; ++i)
        d.ListPaths << ini.ReadString(kLists, QStringLiteral("List") + QString::number(i), QString());

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
    TIniFile ini(path);
    if (!ini.Loaded()) {
        // Writing over a file we could not read would throw away what it holds.
        if (error)
            *error = ini.ErrorString();
        return false;
    }
    ini.SetOwnerOnly(true); // holds the POP password
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
    ini.WriteInteger(kUser, QStringLiteral("Color"), ToColorValue(d.Color.value_or(QColor(0, 0, 0x87))));
    ini.WriteBool(kUser, QStringLiteral("Hints"), d.Hints);
    ini.WriteBool(kUser, QStringLiteral("Sounds"), d.Sounds);
    ini.WriteBool(kUser, QStringLiteral("Auto Save"), d.AutoSave);
    ini.WriteInteger(kLists, QStringLiteral("Count"), int(d.ListPaths.size()));
    for (int i = 0; i < d.ListPaths.size(); ++i)
        ini.WriteString(kLists, QStringLiteral("List") + QString::number(i), d.ListPaths.at(i));
    if (!ini.UpdateFile()) {
        if (error)
            *error = ini.ErrorString();
        return false;
    }
    return true;
}

bool SaveDigestFont(const QString& path, const QFont& font, const QColor& color, QString* error)
{
    TIniFile ini(path);
    if (!ini.Loaded()) {
        if (error)
            *error = ini.ErrorString();
        return false;
    }
    ini.SetOwnerOnly(true);
    ini.WriteString(kFont, QStringLiteral("Name"), font.family());
    ini.WriteInteger(kFont, QStringLiteral("Size"), font.pointSize());
    ini.WriteString(kFont, QStringLiteral("Style"), TDigestFontSpec::StyleDigits(font));
    ini.WriteInteger(kFont, QStringLiteral("Color"), ToColorValue(color));
    if (!ini.UpdateFile()) {
        if (error)
            *error = ini.ErrorString();
        return false;
    }
    return true;
}

} // namespace settingsfile
