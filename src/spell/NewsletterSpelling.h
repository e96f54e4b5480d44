#pragma once
// The main window's use of the spell checker: SpellChecker1, configured for the newsletter
// body, run by CheckSpelling1 (F7) and CheckSpellingBtn as Open, Check(LetterRE), Close.
#include <QObject>

#include <functional>

class TNewsletterEditor;
class TShell;
class TSpellChecker;

class TNewsletterSpelling : public QObject
{
    Q_OBJECT
public:
    TNewsletterSpelling(TShell& shell, TNewsletterEditor& editor, QObject* parent = nullptr);

    TSpellChecker* SpellChecker1() const { return m_checker; }
    int ReplacedWordCount() const { return m_replaced; }

    void CheckSpelling1Click();

    // Called when the speller engine cannot be loaded: the spelling commands are disabled and
    // the main window forgets that a speller is present.
    std::function<void()> SpellerUnavailable;

private:
    void DisableCommands();

    TShell& m_shell;
    TNewsletterEditor& m_editor;
    TSpellChecker* m_checker;
    int m_replaced = 0;
    bool m_running = false;
};
