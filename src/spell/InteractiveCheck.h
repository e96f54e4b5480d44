#pragma once
// The interactive check: the text under check (edited in step with the checked control), the
// position, the error the engine found and the operations the spelling dialog calls on it. It
// knows the engine and the component only as TSpellHost, so the dialog needs neither.
#include "spell/SpellerLibrary.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <functional>
#include <utility>
#include <vector>

class TDialogService;

// The component running the check, as the check and its dialog see it.
class TSpellHost
{
public:
    QString FinishMessage = QStringLiteral("Spelling check complete");
    bool ShowFinishMessage = true;
    QString Caption = QStringLiteral("Spelling \u2014 %s");
    bool ModalDialog = true;
    bool HTMLSupport = false;

    virtual bool IsOpen() const = 0;
    virtual TLanguage Language() const = 0;
    virtual TDialogService* Dialogs() const = 0;
    virtual void Open() = 0;              // Start after a pause: open again ...
    virtual void Check(QWidget* control) = 0; // ... and check the control anew

protected:
    ~TSpellHost() = default;
};

// Letter case of words, for "Change All": the change applies to every case form of the word,
// each keeping its capitals ("teh" -> "the" also makes "Teh" "The" and "TEH" "THE").
namespace casing {
enum class TCase { Lower, Capitalised, Upper, Other };
TCase CaseOf(QStringView word);
// (found form, its replacement) pairs: the word itself first, then its other case forms.
QList<std::pair<QString, QString>> ChangeForms(const QString& word, const QString& replacement);
} // namespace casing

class TInteractiveCheck : public QObject
{
public:
    TInteractiveCheck(TSpellHost& host, TSpellerLibrary& engine, QObject* parent = nullptr);

    TSpellHost& Host() const { return m_host; }
    // Called with (position, length, new word) for every change of the checked text.
    std::function<void(int pos, int len, const QString& newWord)> OnChange;

    // Starts on `text` (the control's, when there is one): at the word at or before the
    // control's caret, else at the start.
    void Start(QWidget* control, const QString& text);

    // The operations; library failures raise ESpellError.
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

    const QString& Buffer() const { return m_buffer; }
    int Position() const { return m_pos; }
    int Count() const { return m_count; }
    int ErrorStart() const { return m_errStart; }
    int ErrorLength() const { return m_errLen; }
    QString ErrorWord() const { return m_buffer.mid(m_errStart, m_errLen); }
    QString FirstSuggestion() const; // the replacement a status 2 or 3 verify returned
    void ReleaseBuffers();
    QWidget* Control() const { return m_control; }

    // Raw text: one character per document position, so offsets in it are cursor positions.
    static QString ControlText(QWidget* control);

private:
    void TextChanged(int pos, int len, const QString& newWord, int nextPos);
    void SelectInControl(int start, int length);

    TSpellHost& m_host;
    TSpellerLibrary& m_engine;
    QPointer<QWidget> m_control;
    QString m_buffer;
    int m_pos = 0;
    int m_count = 0;
    int m_errStart = 0;
    int m_errLen = 0;
    std::vector<uint16_t> m_suggestions;
    std::vector<uint8_t> m_ratings;
    SPLRETURN m_ret{};
};
