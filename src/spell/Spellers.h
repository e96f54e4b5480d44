#pragma once
// The spell checker component: drives the speller engine library (spell/SpellerLibrary.h),
// loaded at run time from the path the registry names for the checker's language. Three ways
// to check a control's text: the interactive check (spell/InteractiveCheck.h) through
// TSpellerDialog, a background pass that marks every misspelling, and the same pass on a
// TSpellThread (spell/BackgroundPass.h).
#include "spell/BackgroundPass.h"
#include "spell/InteractiveCheck.h"
#include "spell/SpellerLibrary.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <functional>

class QWidget;
class TDialogService;
class TSpellerDialog;

enum TSpellMode { smInteractive, smBackground, smParallel };

class TSpellChecker : public QObject, public TSpellHost
{
    Q_OBJECT
public:
    static constexpr TSpellOptions kDefaultOptions =
        spoSuggestFromUserDict | spoIgnoreAllCaps | spoIgnoreMixedDigits | spoIgnoreRomanNumerals;
    static constexpr int kMaxPiece = TSpellerLibrary::kMaxPiece;

    explicit TSpellChecker(QObject* parent = nullptr);
    ~TSpellChecker() override;

    // Properties; FinishMessage, ShowFinishMessage, Caption, ModalDialog and HTMLSupport are
    // TSpellHost's.
    TSpellOptions Options() const { return m_options; }
    void SetOptions(TSpellOptions options); // passed to the engine at once while open
    TLanguage Language() const override { return m_language; }
    void SetLanguage(TLanguage language); // ignored while open and for unknown ids
    TSpellMode SpellMode = smInteractive;
    TMisspellFont MisspellFont;

    std::function<void(TSpellChecker*, TSpellReturnCode, int bufPos, int len)> OnMisspelling;
    std::function<void(TSpellChecker*, int bufPos, int len, const QString& newWord)> OnChangeText;
    std::function<void(TSpellChecker*)> OnOpen;
    std::function<void(TSpellChecker*)> OnClose;

    // Message boxes (the finish message, errors met during an interactive check).
    void SetDialogs(TDialogService* dialogs) { m_dialogs = dialogs; }
    TDialogService* Dialogs() const override { return m_dialogs; }

    // Component operations. Open and Close raise ESpellError.
    void Open() override;
    void Check(QWidget* control) override;
    void CheckLines(const QStringList& lines); // no control: the lines' text, from its start
    void Close();
    bool IsOpen() const override { return m_opened; }

    // The interactive check: its state and the operations the dialog calls, also here.
    TInteractiveCheck& Interactive() const { return *m_check; }
    TSpellReturnCode VerifyNext() { return m_check->VerifyNext(); }
    void ReplaceError(const QString& newWord) { m_check->ReplaceError(newWord); }
    void ChangeOnce(const QString& newWord) { m_check->ChangeOnce(newWord); }
    void ChangeAlways(const QString& newWord) { m_check->ChangeAlways(newWord); }
    void SkipError() { m_check->SkipError(); }
    void SkipAll() { m_check->SkipAll(); }
    void AddWord() { m_check->AddWord(); }
    void DeleteError() { m_check->DeleteError(); }
    int SkipTags() { return m_check->SkipTags(); }
    void Suggest(const QString& word, QStringList& list) { m_check->Suggest(word, list); }
    QString ErrorWord() const { return m_check->ErrorWord(); }

    TSpellerDialog* Dialog() const;
    int ThreadCount() const { return int(m_threads.size()); }
    QString EnginePath() const { return m_engine.EnginePath(); }
    QString UserDictionaryPath() const { return m_engine.UserDictionaryPath(); }

private:
    void Run(QWidget* control);
    void StartInteractive(QWidget* control);
    void StartThread(QWidget* control);
    void ThreadEnded(TSpellThread* thread);
    QString CheckedText(QWidget* control) const;
    TPassCurrent Current() const;                 // the check now running is still this one
    TMisspellingFound Reporter(QWidget* control); // marks in the control, calls OnMisspelling

    TSpellOptions m_options = kDefaultOptions;
    TLanguage m_language;
    TDialogService* m_dialogs = nullptr;
    TSpellerLibrary m_engine;
    bool m_opened = false;
    int m_generation = 0; // bumped by every Close: a pass of an earlier instance stops
    QStringList m_lines;
    TInteractiveCheck* m_check;
    QList<TSpellThread*> m_threads;
    QPointer<TSpellerDialog> m_dialog;
};
