#pragma once
// The spell checker component: drives the speller engine library (spell/SpellApi.h), loaded at
// run time from the path the registry names for the checker's language. Three ways to check a
// control's text: the interactive check through TSpellerDialog, a background pass that marks
// every misspelling, and the same pass on a TSpellThread.
#include "spell/SpellApi.h"
#include "spell/SpellerDialog.h"

#include <QColor>
#include <QFont>
#include <QLibrary>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QThread>

#include <condition_variable>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <vector>

class QWidget;
class TDialogService;
class TSpellThread;

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

// Letter case of words, for "Change All": the change applies to every case form of the word,
// each keeping its capitals ("teh" -> "the" also makes "Teh" "The" and "TEH" "THE").
namespace casing {
enum class TCase { Lower, Capitalised, Upper, Other };
TCase CaseOf(QStringView word);
// (found form, its replacement) pairs: the word itself first, then its other case forms.
QList<std::pair<QString, QString>> ChangeForms(const QString& word, const QString& replacement);
} // namespace casing

class TSpellChecker : public QObject
{
    Q_OBJECT
public:
    static constexpr TSpellOptions kDefaultOptions =
        spoSuggestFromUserDict | spoIgnoreAllCaps | spoIgnoreMixedDigits | spoIgnoreRomanNumerals;
    static constexpr int kMaxPiece = 0xFFFF; // the input record's 16-bit count

    explicit TSpellChecker(QObject* parent = nullptr);
    ~TSpellChecker() override;

    // Properties.
    TSpellOptions Options() const { return m_options; }
    void SetOptions(TSpellOptions options); // passed to the engine at once while open
    TLanguage Language() const { return m_language; }
    void SetLanguage(TLanguage language); // ignored while open and for unknown ids
    QString FinishMessage = QStringLiteral("Spelling check complete");
    bool ShowFinishMessage = true;
    TSpellMode SpellMode = smInteractive;
    QString Caption = QStringLiteral("Spelling \u2014 %s");
    TMisspellFont MisspellFont;
    bool ModalDialog = true;
    bool HTMLSupport = false;

    std::function<void(TSpellChecker*, TSpellReturnCode, int bufPos, int len)> OnMisspelling;
    std::function<void(TSpellChecker*, int bufPos, int len, const QString& newWord)> OnChangeText;
    std::function<void(TSpellChecker*)> OnOpen;
    std::function<void(TSpellChecker*)> OnClose;

    // Message boxes (the finish message, errors met during an interactive check).
    void SetDialogs(TDialogService* dialogs) { m_dialogs = dialogs; }
    TDialogService* Dialogs() const { return m_dialogs; }

    // Component operations. Open and Close raise ESpellError.
    void Open();
    void Check(QWidget* control);
    void CheckLines(const QStringList& lines); // no control: the lines' text, from its start
    void Close();
    bool IsOpen() const { return m_opened; }

    // The interactive check's operations, called by the dialog. Library failures raise
    // ESpellError.
    TSpellReturnCode VerifyNext();
    void ReplaceError(const QString& newWord);
    void ChangeOnce(const QString& newWord);
    void ChangeAlways(const QString& newWord);
    void SkipError();
    void SkipAll();
    void AddWord();
    void DeleteError();
    int SkipTags();
    void Suggest(const QString& word, QStringList& list);
    // Moves the position past `n` characters that were checked without error.
    void Advance(int n);

    // Interactive state, as the dialog reads it.
    const QString& Buffer() const { return m_buffer; }
    int Position() const { return m_pos; }
    int Count() const { return m_count; }
    int ErrorStart() const { return m_errStart; }
    int ErrorLength() const { return m_errLen; }
    QString ErrorWord() const { return m_buffer.mid(m_errStart, m_errLen); }
    QString FirstSuggestion() const; // the replacement a status 2 or 3 verify returned
    void ReleaseBuffers();
    QWidget* CheckedControl() const { return m_control; }
    TSpellerDialog* Dialog() const { return m_dialog; }
    int ThreadCount() const { return int(m_threads.size()); }
    QString EnginePath() const { return m_enginePath; }
    QString UserDictionaryPath() const { return m_userDictionaryPath; }

private:
    friend class TSpellThread;
    struct Api;

    void Fail(SPLSEC code) const; // raises "Spelling error No %d" when the code's low word is set
    void Unload();
    void StartInteractive();
    void RunBackground();
    void StartThread();
    void TextChanged(int pos, int len, const QString& newWord, int nextPos);
    void SelectInControl(int start, int length);
    void MarkInControl(QWidget* control, int start, int length);
    void ThreadEnded(TSpellThread* thread);
    static QString ControlText(QWidget* control);
    static int SelectionStart(QWidget* control);
    int PieceEnd(int from, int limit) const;

    TSpellOptions m_options = kDefaultOptions;
    TLanguage m_language;
    TDialogService* m_dialogs = nullptr;

    QLibrary m_library;
    Api* m_api;
    QString m_enginePath;
    QString m_mainDictionaryPath;
    QString m_userDictionaryPath;
    bool m_opened = false;
    bool m_initialised = false;
    int m_generation = 0; // bumped by every Close: a thread of an earlier instance stops
    SPLID m_id = 0;
    SPLREF m_mdr = 0;
    SPLREF m_udr = 0;
    SPLSPECIALCHARS m_special;

    // Interactive check.
    QStringList m_lines;
    QPointer<QWidget> m_control;
    QString m_buffer;
    int m_pos = 0;
    int m_count = 0;
    int m_errStart = 0;
    int m_errLen = 0;
    std::vector<uint16_t> m_suggestions;
    std::vector<uint8_t> m_ratings;
    SPLRETURN m_ret{};

    // Words "Skip All" ignores: for the program's session, so every instance Open starts gets
    // them again; never written to a file.
    QStringList m_skippedWords;

    QList<TSpellThread*> m_threads;
    QPointer<TSpellerDialog> m_dialog;
};

// The background pass on a worker thread. Every engine call, every marking and every
// OnMisspelling call runs on the checker's thread; this thread hands each over and waits, and
// stops when asked to between two such steps.
class TSpellThread : public QThread
{
    Q_OBJECT
public:
    TSpellThread(TSpellChecker* checker, const QString& text, QWidget* control);
    ~TSpellThread() override;

protected:
    void run() override;

private:
    bool Synchronize(const std::function<void()>& step); // false when stopped before the step ran

    QPointer<TSpellChecker> m_checker; // read on the checker's thread only
    TSpellChecker* m_context;
    int m_generation;
    QString m_text;
    QPointer<QWidget> m_control;
    SPLINPUT m_in{};
    SPLRETURN m_ret{};
    std::vector<uint16_t> m_suggestions;
    int m_position = 0;
};
