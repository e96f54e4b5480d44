// Reply, forward, save and print of the message shown in the message pane.
#include "inbox/NewMailPanel.h"

#include "editor/PrintRichText.h"
#include "send/Digest.h"
#include "platform/Dialogs.h"
#include "platform/ProgramFolder.h"
#include "platform/Shell.h"
#include "platform/TextFile.h"

#include <QAction>
#include <QLineEdit>
#include <QMenu>
#include <QPrinter>
#include <QTableWidget>
#include <QTextCursor>
#include <QTextEdit>
#include <QToolButton>

namespace {
QString LeftTrimmed(const QString& s)
{
    qsizetype i = 0;
    while (i < s.size() && (s[i] == u' ' || s[i] == u'\t'))
        ++i;
    return s.mid(i);
}

QStringList PaneLines(const QTextEdit* pane)
{
    return pane->toPlainText().split(u'\n');
}
} // namespace

QStringList TNewMailPanel::ReceivedHeader() const
{
    // The pane's top lines are a selection (no Reply-To, encoded words decoded); the header as
    // received follows the separator.
    const QStringList lines = PaneLines(m_message);
    const qsizetype sep = lines.lastIndexOf(mailtext::Separator());
    return sep < 0 ? lines : lines.mid(sep + 1);
}

void TNewMailPanel::ReplyBtnClick()
{
    BringToFront();
    QTextEdit* letter = m_shell.EditorPane(QStringLiteral("Letter"));
    QLineEdit* subjectEdit = m_shell.Subject();
    if (letter)
        letter->clear();

    // Subject, Reply-To and From in header order; the scan ends once a subject and a sender
    // are known, so a Reply-To after the Subject is seen only when no From came before it.
    QString subject, replyTo, from;
    bool haveSubject = false, haveReplyTo = false, haveFrom = false;
    for (const mailtext::THeaderField& f : mailtext::HeaderFields(ReceivedHeader())) {
        if (f.Name.compare(QLatin1String("Subject"), Qt::CaseInsensitive) == 0) {
            subject = f.Value;
            haveSubject = true;
        } else if (f.Name.compare(QLatin1String("Reply-To"), Qt::CaseInsensitive) == 0) {
            replyTo = f.Value;
            haveReplyTo = true;
        } else if (f.Name.compare(QLatin1String("From"), Qt::CaseInsensitive) == 0) {
            from = f.Value;
            haveFrom = true;
        }
        if (haveSubject && (haveReplyTo || haveFrom))
            break;
    }
    if (subjectEdit)
        subjectEdit->setText(QStringLiteral("Re: ") + LeftTrimmed(mailtext::DecodeWords(subject)));
    QString sender = LeftTrimmed(mailtext::DecodeWords(from));
    if (!replyTo.trimmed().isEmpty())
        sender = LeftTrimmed(mailtext::DecodeWords(replyTo));
    const QString address = sender.contains(u'@') ? mailtext::AddressOf(sender) : QString();
    if (AddReplyAddress)
        AddReplyAddress(address);
    m_shell.Action(QStringLiteral("InsertDate1"))->setEnabled(true);
    m_shell.Action(QStringLiteral("InsertTime1"))->setEnabled(true);

    const QTextCursor cursor = m_message->textCursor();
    if (cursor.hasSelection() && letter) {
        const QString date = LeftTrimmed(mailtext::FieldValue(mailtext::HeaderFields(ReceivedHeader()), u"Date"));
        QString quoted = cursor.selectedText();
        quoted.replace(QChar(0x2029), u'\n');
        letter->setPlainText(QStringLiteral("In a message dated ") + date + QStringLiteral(", you wrote:\n\n<<")
                             + quoted + QStringLiteral(">>"));
    }
    if (OpenNewsletter)
        OpenNewsletter();
}

void TNewMailPanel::ForwardBtnClick()
{
    BringToFront();
    QTextEdit* letter = m_shell.EditorPane(QStringLiteral("Letter"));
    QLineEdit* subjectEdit = m_shell.Subject();
    if (letter)
        letter->clear();
    const QString subject = mailtext::FieldValue(mailtext::HeaderFields(ReceivedHeader()), u"Subject");
    if (subjectEdit)
        subjectEdit->setText(QStringLiteral("Fwd: ") + LeftTrimmed(mailtext::DecodeWords(subject)));
    if (letter) {
        letter->setPlainText(QStringLiteral("\n") + mailtext::Separator() + QStringLiteral("\n\n")
                             + m_message->toPlainText());
    }
    if (OpenNewsletter)
        OpenNewsletter();
    if (letter) {
        letter->setFocus();
        letter->moveCursor(QTextCursor::Start);
    }
}

void TNewMailPanel::SaveMailBtnClick()
{
    BringToFront();
    TFileDialogRequest req;
    req.title = QStringLiteral("Save Mail");
    req.filters = {QStringLiteral("Text Documents (*.txt)"), QStringLiteral("All Files (*.*)")};
    req.defaultExt = QStringLiteral("txt");
    req.initialDir = InboxFolder();
    req.fileName = archive::RemoveBadFileChars(SelectedSubjectCell());
    req.overwritePrompt = true;
    if (!m_shell.Dialogs().SaveFile(req, m_shell.Window()))
        return;
    QString error;
    if (!textfile::writeBytes(req.fileName, mailtext::FileBytes(PaneLines(m_message)), &error))
        m_shell.Dialogs().Error(QStringLiteral("Could not save the message to ") + req.fileName
                                    + QStringLiteral(":\n") + error,
                                m_shell.Window());
    else
        m_shell.SetStatus(QStringLiteral("Status: Message saved to ") + req.fileName);
}

void TNewMailPanel::PrintMailBtnClick()
{
    BringToFront();
    PrintPaneWithDialog(m_shell, SelectedSubjectCell(), m_message, QStringLiteral("Could not print the message:\n"));
}

void TNewMailPanel::SaveAttachmentBtnClick()
{
    BringToFront();
    QByteArray whole;
    if (m_shownFile.isEmpty() || !textfile::readBytes(mailtext::WholeMessagePath(m_shownFile), &whole, nullptr))
        return;
    const QList<mailtext::TAttachment> attachments = mailtext::Attachments(whole);
    if (attachments.size() == 1) {
        SaveAttachment(0);
        return;
    }
    QMenu menu(m_toolbar);
    for (int i = 0; i < attachments.size(); ++i) {
        const QString name = attachments[i].Name.isEmpty() ? QStringLiteral("(no name)") : attachments[i].Name;
        menu.addAction(name + QStringLiteral(" (") + attachments[i].Type + u')')->setData(i);
    }
    QToolButton* b = Button(QStringLiteral("SaveAttachmentBtn"));
    if (QAction* chosen = menu.exec(b->mapToGlobal(QPoint(0, b->height()))))
        SaveAttachment(chosen->data().toInt());
}

void TNewMailPanel::SaveAttachment(int index)
{
    const QString wholePath = mailtext::WholeMessagePath(m_shownFile);
    QByteArray whole;
    QString error;
    if (m_shownFile.isEmpty() || !textfile::readBytes(wholePath, &whole, &error)) {
        m_shell.Dialogs().Error(QStringLiteral("Could not read the message file ") + wholePath + QStringLiteral(":\n")
                                    + error,
                                m_shell.Window());
        return;
    }
    const QList<mailtext::TAttachment> attachments = mailtext::Attachments(whole);
    if (index < 0 || index >= attachments.size())
        return;
    const mailtext::TAttachment& a = attachments[index];
    TFileDialogRequest req;
    req.title = QStringLiteral("Save Attachment");
    req.filters = {QStringLiteral("All Files (*.*)")};
    req.initialDir = InboxFolder();
    // A name from the message goes through the same filter as a subject: no folders, no devices.
    QString name = archive::RemoveBadFileChars(a.Name).trimmed();
    while (name.startsWith(u'.'))
        name.remove(0, 1);
    req.fileName = name.isEmpty() ? QStringLiteral("attachment") : name;
    req.overwritePrompt = true;
    if (!m_shell.Dialogs().SaveFile(req, m_shell.Window()))
        return;
    if (!textfile::writeBytes(req.fileName, a.Bytes, &error))
        m_shell.Dialogs().Error(QStringLiteral("Could not save the attachment to ") + req.fileName
                                    + QStringLiteral(":\n") + error,
                                m_shell.Window());
    else
        m_shell.SetStatus(QStringLiteral("Status: Attachment saved to ") + req.fileName);
}
