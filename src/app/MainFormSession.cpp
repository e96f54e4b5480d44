// The main window's close sequence: asked on Exit and on closing the window, unattended when a
// terminate signal or the desktop session ends the program, and the recovery copies the
// unattended end leaves for the next start.
#include "app/MainForm.h"
#include "app/Recovery.h"

#include "editor/NewsletterEditor.h"
#include "editor/NewsletterFile.h"
#include "lists/ListPanel.h"
#include "net/Pop3Client.h"
#include "net/Wait.h"
#include "net/WSocket.h"
#include "platform/IniFile.h"
#include "send/SendEngine.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextDocumentFragment>
#include <QTextEdit>
#include <QTextImageFormat>
#include <QUrl>
#include <QThread>
#include <QTimer>

#include <cstdio>

namespace {
// Nobody is there to answer: every box goes to the error output, a question gets its cautious
// answer (Cancel, else No) and a file dialog is cancelled.
class TQuietDialogs : public TDialogService
{
public:
    int MessageBox(const QString& text, MsgType, int buttons, QWidget*) override
    {
        std::fprintf(stderr, "Quorvel: %s\n", qPrintable(text));
        for (int b : {mbCancel, mbNo, mbOK}) {
            if (buttons & b)
                return b;
        }
        return buttons;
    }
    bool OpenFile(TFileDialogRequest&, QWidget*) override { return false; }
    bool SaveFile(TFileDialogRequest&, QWidget*) override { return false; }
    bool ChooseFont(QFont&, QColor&, QWidget*) override { return false; }
    bool ChooseColor(QColor&, QWidget*) override { return false; }
    bool SetupPrinter(QPrinter&, QWidget*) override { return false; }
};

const QString kToldLists = QStringLiteral("Told Lists");

void DismissModalWidgets()
{
    for (int i = 0; i < 16; ++i) { // boxes stacked on boxes; never loop on one that stays
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal)
            return;
        if (auto* dialog = qobject_cast<QDialog*>(modal))
            dialog->reject();
        else
            modal->close();
        if (QApplication::activeModalWidget() == modal)
            modal->hide();
    }
}

// Quitting from inside a nested event loop (a question still unwinding, a mail wait) would make
// every loop started afterwards return at once, and a wait on such a loop would never end.
void QuitWhenUnwound()
{
    if (QThread::currentThread()->loopLevel() <= 1)
        QApplication::quit();
    else
        QTimer::singleShot(10, qApp, &QuitWhenUnwound);
}
} // namespace

void TMainForm::closeEvent(QCloseEvent* e)
{
    if (m_closed) {
        e->accept();
        return;
    }
    if (m_sessionSaved) {
        // The session saved our work and now quits us: nobody is there to answer.
        EndSession();
        e->accept();
        return;
    }
    if (m_sendEngine && m_sendEngine->WaitingForLimits()) {
        // A wait of up to an hour for the server's limits is not worth keeping the window
        // for: the send ends as by Cancel Send and its record resumes it next time.
        m_sendEngine->CancelSend1Click();
    }
    if (m_closing || (m_listPanel && m_listPanel->Busy()) || (m_sendEngine && m_sendEngine->Sending())) {
        // A list operation or a send is still processing events: close once it has finished.
        e->ignore();
        if (!m_closing)
            QTimer::singleShot(100, this, &QWidget::close);
        return;
    }
    m_closing = true;
    m_clearStatusTimer->stop();
    // The list first: its question can still be cancelled with everything as it was, while
    // closing the newsletter already empties it.
    if (!m_listPanel->AskToSaveList() || (CloseNewsletter && !CloseNewsletter())) {
        m_closing = false;
        m_clearStatusTimer->start();
        e->ignore();
        return;
    }
    m_closing = false;
    if (m_closed) {
        // The session ended while a question was open; EndSession wrote everything.
        e->accept();
        return;
    }
    // An open POP3 session ends with QUIT, so the server applies the deletions.
    if (m_pop3Client1->Socket() && m_pop3Client1->Socket()->State() == wsConnected)
        m_pop3Client1->Quit();
    SaveSettings();
    // A copy a session save wrote during this run is out of date now that the user answered.
    recovery::DiscardNewsletter();
    m_closed = true;
    e->accept();
}

void TMainForm::WriteUnsavedWork()
{
    QString error;
    if (m_newsletter && !m_newsletter->DocumentSaved() && m_newsletter->Modified()) {
        if (!recovery::WriteNewsletter(*m_newsletter->LetterRE()->document(), m_newsletter->SubjectEDT()->text(),
                                       m_newsletter->DocumentFileName(), &error))
            Dialogs().Error(error, this);
    }
    // A list operation in progress is further up this call stack; it finishes on its own.
    if (m_state.Lists.CurrentListModified() && !m_listPanel->Busy()) {
        // A list read only in part is not rewritten unasked: that would drop what could not
        // be read. Its changes go to a copy, as do those its own file refuses.
        if (m_state.Lists.CurrentListPartial || !m_listPanel->SaveCurrentList()) {
            const QString copy = recovery::WriteList(*m_state.Lists.CurrentList, m_state.Lists.ListEntries, &error);
            if (copy.isEmpty())
                Dialogs().Error(error, this);
            else
                Dialogs().Information(QStringLiteral("The changes to the mail list were kept in ") + copy + u'.', this);
        }
    }
}

void TMainForm::EndSession()
{
    if (m_closed)
        return;
    if (!m_quietDialogs)
        m_quietDialogs = std::make_unique<TQuietDialogs>();
    m_unattended = true;
    m_clearStatusTimer->stop();
    WriteUnsavedWork();
    SaveSettings();
    m_closed = true;
    // Everything is written: a slow server can delay the end, but no longer lose anything. A
    // mail command in progress further up the stack keeps its session.
    if (m_pop3Client1->Socket() && m_pop3Client1->Socket()->State() == wsConnected && !m_wait1->Running())
        m_pop3Client1->Quit();
}

void TMainForm::EndOnSignal()
{
    EndSession();
    DismissModalWidgets();
    close();
    QuitWhenUnwound();
}

void TMainForm::SaveForSessionEnd()
{
    if (m_closed)
        return;
    if (!m_quietDialogs)
        m_quietDialogs = std::make_unique<TQuietDialogs>();
    m_unattended = true;
    WriteUnsavedWork();
    SaveSettings();
    m_unattended = false;
    m_sessionSaved = true;
}

void TMainForm::OfferRecovery()
{
    const recovery::TKeptNewsletter kept = recovery::KeptNewsletter();
    if (!kept.path.isEmpty()) {
        const QString which = kept.fileName.isEmpty()
                                  ? QStringLiteral("a new newsletter")
                                  : QStringLiteral("the newsletter \"") + kept.fileName + u'"';
        const bool restore = Dialogs().AskYesNo(
            QStringLiteral("Quorvel was ended while ") + which
                + QStringLiteral(" had unsaved changes, and kept a copy of it. Open the copy now? (No discards it.)"),
            this);
        // A session that ended while the question was open answered nothing: the copy stays
        // for the next start.
        if (m_closed)
            return;
        if (!restore || RestoreNewsletter(kept.path))
            recovery::DiscardNewsletter();
    }
    TIniFile index(recovery::Folder() + QStringLiteral("Recovery.ini"));
    for (const QString& path : recovery::KeptLists()) {
        const QString name = QFileInfo(path).fileName();
        if (index.ReadBool(kToldLists, name, false))
            continue;
        Dialogs().Information(QStringLiteral("Quorvel was ended while a mail list had changes its file could not "
                                             "take. They were kept in ")
                                  + path + QStringLiteral("; File > Mail Lists > Open List... opens them."),
                              this);
        index.WriteBool(kToldLists, name, true);
    }
    index.UpdateFile();
}

bool TMainForm::RestoreNewsletter(const QString& path)
{
    QTextDocument copy;
    newsletterfile::TLoadResult loaded;
    QString error;
    if (!newsletterfile::Load(path, &copy, &loaded, &error)) {
        Dialogs().Error(error, this);
        return false;
    }
    OpenNewsletterPanel();
    // Typed into the empty newsletter as an untitled, unsaved document: saving asks for a name,
    // so the copy never takes the place of the file it came from unasked.
    QTextEdit* letter = m_newsletter->LetterRE();
    QTextCursor cursor(letter->document());
    cursor.insertFragment(QTextDocumentFragment(&copy));
    // A fragment carries the pictures' names, not the pictures: they are resources of the copy.
    for (QTextBlock b = copy.begin(); b.isValid(); b = b.next()) {
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat f = it.fragment().charFormat();
            if (!f.isImageFormat())
                continue;
            const QUrl name(f.toImageFormat().name());
            letter->document()->addResource(QTextDocument::ImageResource, name,
                                            copy.resource(QTextDocument::ImageResource, name));
        }
    }
    letter->document()->setModified(true);
    m_newsletter->SubjectEDT()->setText(loaded.subject);
    SetStatus(QStringLiteral("Status: Newsletter restored."));
    return true;
}
