#pragma once
// The speller engine as the component uses it: found through the registry for a language,
// loaded at run time, called through the sixteen entry points (spell/SpellApi.h). One speller
// instance with its main and user dictionary while loaded. Also the vocabulary the component,
// the interactive check and its dialog share: options, language ids, the error raised.
#include "spell/SpellApi.h"

#include <QLibrary>
#include <QString>
#include <QStringList>

#include <functional>
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

class TSpellerLibrary
{
public:
    static constexpr int kMaxPiece = 0xFFFF; // the input record's 16-bit count

    TSpellerLibrary();
    ~TSpellerLibrary();

    // Reads the engine and main dictionary of the language's key (else of its primary
    // language's) and the user dictionary; false when there is no key.
    bool Find(TLanguage language);
    // Loads the engine and starts an instance with the dictionaries Find read and the words
    // skipped this session; `initialised` runs once the instance has its options. A failure
    // raises ESpellError and leaves nothing loaded.
    void Load(TLanguage language, TSpellOptions options, const std::function<void()>& initialised);
    // Ends the instance and unloads the engine; raises when the engine stays loaded.
    void Unload();
    bool IsReady() const { return m_initialised; } // an instance is running

    // Raises "Spelling error No %d" when the code's low word is set.
    static void Fail(SPLSEC code);
    // Where a piece of `text` from `from` ends: within the 16-bit count and at a blank or line
    // end, so no word is cut in two; without one, never inside a surrogate pair.
    static int PieceEnd(const QString& text, int from, int limit);
    static const uint16_t* Units(const QString& s) { return reinterpret_cast<const uint16_t*>(s.utf16()); }

    void SetOptions(TSpellOptions options);
    // Verify (command 2) against both dictionaries; the code as the engine returned it.
    SPLSEC Verify(SPLINPUT in, SPLRETURN& ret) const;
    void Suggest(const QString& word, QStringList& list) const;
    void AddChange(SPLREF list, const QString& word, const QString& replacement);
    void AddToUserDictionary(const QString& word);
    // "Skip All": the word is ignored for the program's session, in every instance loaded.
    void SkipForSession(const QString& word);

    QString EnginePath() const { return m_enginePath; }
    QString UserDictionaryPath() const { return m_userDictionaryPath; }

private:
    struct Api;

    QLibrary m_library;
    Api* m_api;
    QString m_enginePath;
    QString m_mainDictionaryPath;
    QString m_userDictionaryPath;
    bool m_initialised = false;
    SPLID m_id = 0;
    SPLREF m_mdr = 0;
    SPLREF m_udr = 0;
    SPLSPECIALCHARS m_special;
    // Never written to a file: each instance Load starts gets them again.
    QStringList m_skippedWords;
};
