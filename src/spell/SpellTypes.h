#pragma once
// The spell checker's vocabulary, shared by the component, the engine loader, the interactive
// check, its dialog and the background pass: options, modes, the misspelling font, language ids
// and the error the component raises.
#include <QColor>
#include <QFont>
#include <QString>

#include <stdexcept>

enum TSpellOption : quint16 {
    spoSuggestFromUserDict = 0x0001,
    spoIgnoreAllCaps = 0x0002,
    spoIgnoreMixedDigits = 0x0004,
    spoIgnoreRomanNumerals = 0x0008,
    spoFindUncappedSentences = 0x0010,
    spoFindMissingSpaces = 0x0020,
    spoFindRepeatWord = 0x0040,
    spoFindExtraSpaces = 0x0080,
    spoFindSpacesBeforePunc = 0x0100,
    spoFindSpacesAfterPunc = 0x0200,
    spoRateSuggestions = 0x0400,
    spoFindInitialNumerals = 0x0800,
};
using TSpellOptions = quint16; // a set of TSpellOption bits

enum TSpellMode { smInteractive, smBackground, smParallel };

enum TMisspellFontOption : quint8 {
    mfoName = 0x01,
    mfoSize = 0x02,
    mfoHeight = 0x04,
    mfoColor = 0x08,
    mfoPitch = 0x10,
    mfoStyle = 0x20,
};

struct TMisspellFont
{
    QFont Font;
    QColor Color = Qt::red;
    quint8 MisspellOptions = mfoColor; // TMisspellFontOption bits
};

using TLanguage = quint16;
using TSpellReturnCode = int;

class ESpellError : public std::runtime_error
{
public:
    explicit ESpellError(const QString& message) : std::runtime_error(message.toStdString()), m_message(message) {}
    const QString& Message() const { return m_message; }

private:
    QString m_message;
};

// Locale ids the checker knows: name ("en_US"), ANSI code page.
namespace spelllang {
bool Known(TLanguage id);
QString LocaleName(TLanguage id); // "en_US"; empty when unknown
int CodePage(TLanguage id);       // 1252 when unknown
QString DisplayName(TLanguage id); // "English (United States)"
TLanguage SystemDefault();        // the system locale's id, else 1033
int CharSetForCodePage(int codePage);
} // namespace spelllang
