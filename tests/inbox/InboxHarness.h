#pragma once
// The New Mail panel over a stand-in shell with an open list, a real POP3 client and a
// parentless wait object; the newsletter editor's subject and letter panes as plain stand-ins.
#include "inbox/InboxRecords.h"
#include "inbox/NewMailPanel.h"
#include "lists/ListsHarness.h"
#include "net/Pop3Client.h"
#include "net/Wait.h"
#include "platform/Cp1252.h"
#include "support/MailPeers.h"
#include "support/Peers.h"

#include <QLineEdit>
#include <QTableWidget>
#include <QTextEdit>
#include <QTimer>


struct TInboxHarness : TListsHarness
{
    TInboxState inbox;
    TWait wait;
    TPop3Client pop3;
    QWidget* frame = nullptr;
    TNewMailPanel* panel = nullptr;
    QLineEdit* subject = nullptr;
    QTextEdit* letter = nullptr;
    QStringList replyAddresses;
    int toggles = 0;
    int newsletterOpened = 0;
    int popPageOpened = 0;

    explicit TInboxHarness(const QString& listName = QStringLiteral("news")) : TListsHarness(listName)
    {
        QDir().mkpath(Home() + QStringLiteral("Inbox"));
        pop3.SetWait(&wait);
        pop3.SetTimeOut(10);
        frame = new QWidget(&shell.window);
        frame->setGeometry(256, 3, 500, 500); // open
        panel = new TNewMailPanel(shell, state, inbox, *lists, pop3, frame, &shell.window);
        panel->TogglePanel = [this] {
            ++toggles;
            frame->resize(frame->width(), frame->height() < 86 ? 500 : 85);
        };
        panel->OpenNewsletter = [this] { ++newsletterOpened; };
        panel->OpenListPropertiesOnPop = [this] { ++popPageOpened; };
        panel->AddReplyAddress = [this](const QString& a) { replyAddresses << a; };
        subject = new QLineEdit(&shell.window);
        subject->setObjectName(QStringLiteral("SubjectEDT"));
        shell.subject = subject;
        letter = new QTextEdit(&shell.window);
        letter->setObjectName(QStringLiteral("LetterRE"));
        shell.panes.insert(QStringLiteral("Letter"), letter);
    }

    // The open list reads mail from `server`, with the option digits given.
    void UseServer(const TDovecotServer& server, const QString& options = QString(), const QString& password = QString())
    {
        MailListRecord* list = state.CurrentList;
        list->SetText(MailListRecord::PopServer, QStringLiteral("127.0.0.1:") + QString::number(server.Port()));
        list->SetText(MailListRecord::PopUser, server.User());
        list->SetPassword(password.isEmpty() ? server.Password() : password);
        list->SetText(MailListRecord::Options, options);
    }

    QTableWidget* Grid() const { return panel->NewMailSG(); }

    QStringList Row(int row) const
    {
        QStringList out;
        for (int c = 0; c < 3; ++c)
            out << (Grid()->item(row, c) ? Grid()->item(row, c)->text() : QString());
        return out;
    }

    QList<int> Numbers() const { return inboxtest::Numbers(inbox); }

    // Runs the pending QUIT tick at once.
    bool Quit()
    {
        if (!panel->QuitTimer1()->isActive())
            return false;
        panel->QuitTimer1()->stop();
        panel->QuitTimer1Timer();
        return pop3.ProtocolState() == pop3Disconnected;
    }

    void Read(int row)
    {
        Grid()->setCurrentCell(row, 0);
        panel->NewMailSGDblClick();
    }

    // A listed message whose Inbox file holds `raw` (CR LF lines), for the commands that work on
    // the message pane without a server.
    void List(const QByteArray& raw, int msgNum)
    {
        panel->AddRecord(inboxtest::Record(raw, msgNum, TNewMailPanel::InboxFolder()));
    }

    // Adds a subscriber straight to the entries (duplicates included).
    void Subscriber(const QString& email, const QString& name) { inboxtest::AddSubscriber(state, email, name); }
    QStringList Emails() const { return inboxtest::Emails(state); }
};
