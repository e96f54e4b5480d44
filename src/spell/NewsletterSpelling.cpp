#include "spell/NewsletterSpelling.h"

#include "editor/NewsletterEditor.h"
#include "platform/Dialogs.h"
#include "platform/Shell.h"
#include "spell/Spellers.h"

#include <QAction>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <QToolButton>

TNewsletterSpelling::TNewsletterSpelling(TShell& shell, TNewsletterEditor& editor, QObject* parent)
    : QObject(parent), m_shell(shell), m_editor(editor), m_checker(new TSpellChecker(this))
{
    m_checker->setObjectName(QStringLiteral("SpellChecker1"));
    m_checker->SetOptions(spoSuggestFromUserDict | spoIgnoreAllCaps | spoIgnoreMixedDigits | spoIgnoreRomanNumerals
                          | spoFindUncappedSentences | spoFindMissingSpaces | spoFindExtraSpaces | spoRateSuggestions);
    m_checker->SetLanguage(1033);
    m_checker->ShowFinishMessage = false;
    m_checker->MisspellFont.Font = QFont(QStringLiteral("MS Sans Serif"));
    m_checker->MisspellFont.Color = Qt::red;
    m_checker->MisspellFont.MisspellOptions = mfoColor;
    m_checker->ModalDialog = true;
    m_checker->HTMLSupport = true;
    m_checker->SpellMode = smInteractive;
    m_checker->SetDialogs(&shell.Dialogs());

    m_checker->OnOpen = [this](TSpellChecker*) { m_replaced = 0; };
    m_checker->OnChangeText = [this](TSpellChecker*, int, int, const QString&) {
        m_editor.SetDocumentSaved(false);
        m_editor.LetterRE()->document()->setModified(true);
        ++m_replaced;
    };
    m_checker->OnClose = [this](TSpellChecker*) {
        m_shell.Dialogs().Information(QStringLiteral("Finished checking document. Replaced %1 words.").arg(m_replaced),
                                      m_shell.Window());
        QTextCursor c = m_editor.LetterRE()->textCursor();
        c.setPosition(0);
        m_editor.LetterRE()->setTextCursor(c);
    };

    if (QAction* a = shell.Action(QStringLiteral("CheckSpelling1")))
        connect(a, &QAction::triggered, this, &TNewsletterSpelling::CheckSpelling1Click);
}

void TNewsletterSpelling::DisableCommands()
{
    if (QAction* a = m_shell.Action(QStringLiteral("CheckSpelling1")))
        a->setEnabled(false);
    if (QToolButton* b = m_editor.Button(QStringLiteral("CheckSpellingBtn")))
        b->setEnabled(false);
    if (SpellerUnavailable)
        SpellerUnavailable();
}

void TNewsletterSpelling::CheckSpelling1Click()
{
    if (m_running) // F7 again while the dialog is up
        return;
    m_running = true;
    try {
        m_checker->Open();
        m_checker->Check(m_editor.LetterRE());
        m_checker->Close();
    } catch (const ESpellError& e) {
        const bool loading = e.Message().startsWith(QLatin1String("Error loading Spell DLL"));
        try {
            m_checker->Close();
        } catch (const ESpellError&) {
        }
        m_shell.Dialogs().Error(e.Message(), m_shell.Window());
        if (loading)
            DisableCommands();
    }
    m_running = false;
}
