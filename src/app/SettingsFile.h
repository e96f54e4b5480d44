#pragma once
// "Quorvel.ini": the general settings, interface switches, the catalog of list files and the
// default digest font. Reading and writing here know nothing of windows; the main window
// copies the values to and from its controls.
#include "lists/GeneralSettings.h"

#include <QColor>
#include <QFont>
#include <QString>
#include <QStringList>
#include <optional>

struct TDigestFontSpec
{
    QString Name = QStringLiteral("Times New Roman");
    int Size = 8;
    bool Bold = false, Italic = false, Underline = false, StrikeOut = false;
    QColor Color = Qt::black;

    QFont ToFont() const;
    static QString StyleDigits(const QFont& f); // "1" bold, "2" italic, "3" underline, "4" strike-out
    bool operator==(const TDigestFontSpec&) const = default;
};

struct TSettingsData
{
    TGeneralSettings General;
    int Timeout = 15;
    std::optional<QColor> Color; // empty when missing or not an integer
    bool Hints = true;
    bool Sounds = true;
    bool AutoSave = true;
    QStringList ListPaths; // catalog order
    // Read only: catalog entries that `Count` promises but whose `List` key is missing, and why
    // the file could not be read (empty when it could, or when it does not exist).
    int MissingLists = 0;
    QString ReadError;
    TDigestFontSpec DigestFont;
};

namespace settingsfile {

QString FileName(); // ProgramFolder() + "Quorvel.ini"

// Colour values: red in bits 0-7, green 8-15, blue 16-23.
QColor FromColorValue(int value);
int ToColorValue(const QColor& c);

// A missing file reads as all defaults.
TSettingsData Load(const QString& path);
// Writes "User Settings" and "Mail Lists" in full, keeping every other line of the file;
// `List` keys beyond the new count are left in place. Atomic; false with the reason on failure.
bool Save(const QString& path, const TSettingsData& data, QString* error);
// Writes the "Mail Lists" section only (the catalog), as Save does.
bool SaveCatalog(const QString& path, const QStringList& listPaths, QString* error);
// Writes the "Digest Font" section only.
bool SaveDigestFont(const QString& path, const QFont& font, const QColor& color, QString* error);

} // namespace settingsfile
