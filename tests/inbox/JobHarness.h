#pragma once
// The mail check job with no window: a real POP3 client, an open list in a program folder of
// its own, and an observer that records every report. (The client's wait object is a widget,
// so the tests run under a QApplication; the job itself needs none.)
#include "inbox/InboxRecords.h"
#include "inbox/MailCheckJob.h"
#include "lists/ListsState.h"
#include "net/Pop3Client.h"
#include "net/Wait.h"
#include "platform/Cp1252.h"
#include "support/MailPeers.h"
#include "support/Peers.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

struct TJobReports : TMailCheckObserver
{
    QStringList statuses;
    QString status;
    QList<int> removed;   // indices, in order
    int added = 0;
    int cleared = 0;
    int listed = 0;
    QList<bool> logouts;  // LogoutDue's closePanel, one per call
    int entriesRemoved = 0;
    QStringList errors;
    QStringList warnings;
    QList<TPopStep> steps;

    void MailStatus(const QString& text, bool) override
    {
        statuses << text;
        status = text;
    }
    void CommandDone(TPopStep step, bool) override { steps << step; }
    void RecordAdded(const TMailRecord&) override { ++added; }
    void RecordRemoved(int index) override { removed << index; }
    void RecordsCleared() override { ++cleared; }
    void MessagesListed() override { ++listed; }
    void LogoutDue(bool closePanel) override { logouts << closePanel; }
    void EntriesRemoved() override { ++entriesRemoved; }
    void MailError(const QString& text) override { errors << text; }
    void MailWarning(const QString& text) override { warnings << text; }
};

struct TJobHarness
{
    QTemporaryDir home;
    TListsState state;
    TInboxState inbox;
    TWait wait;
    TPop3Client pop3;
    TJobReports reports;
    TMailCheckJob job{pop3, inbox, state, reports};

    // With a name, the list is open (its file would be in the program folder).
    explicit TJobHarness(const QString& listName = QStringLiteral("news"))
    {
        qputenv("QUORVEL_HOME", home.path().toLocal8Bit());
        QDir().mkpath(Home() + QStringLiteral("Inbox"));
        pop3.SetWait(&wait);
        pop3.SetTimeOut(10);
        if (!listName.isEmpty()) {
            auto header = std::make_unique<MailListRecord>();
            header->SetText(MailListRecord::Name, listName);
            header->SetText(MailListRecord::FilePath, Home() + listName + QStringLiteral(".qvl"));
            state.CurrentList = state.ListCatalog.Append(std::move(header));
        }
    }

    QString Home() const { return home.path() + u'/'; }
    MailListRecord& List() { return *state.CurrentList; }

    // The open list reads mail from `server`, with the option digits given.
    void UseServer(const TDovecotServer& server, const QString& options = QString(), const QString& password = QString())
    {
        UsePort(server.Port(), options);
        List().SetText(MailListRecord::PopUser, server.User());
        List().SetPassword(password.isEmpty() ? server.Password() : password);
    }
    void UsePort(quint16 port, const QString& options = QString())
    {
        List().SetText(MailListRecord::PopServer, QStringLiteral("127.0.0.1:") + QString::number(port));
        List().SetText(MailListRecord::PopUser, QStringLiteral("tester"));
        List().SetPassword(QStringLiteral("secret"));
        List().SetText(MailListRecord::Options, options);
    }

    TCheckEnd Check() { return job.Check(List()); }

    // Runs the QUIT tick the job asked for, at once.
    bool Quit()
    {
        if (reports.logouts.isEmpty())
            return false;
        reports.logouts.clear();
        return job.QuitTick() && pop3.ProtocolState() == pop3Disconnected;
    }

    QList<int> Numbers() const { return inboxtest::Numbers(inbox); }
    QStringList Subjects() const
    {
        QStringList out;
        for (const TMailRecord& r : inbox.MailRecords)
            out << r.Subject;
        return out;
    }

    // A listed message whose Inbox file holds `raw` (CR LF lines), as the check would list it.
    void ListMessage(const QByteArray& raw, int msgNum)
    {
        job.AddRecord(inboxtest::Record(raw, msgNum, TMailCheckJob::InboxFolder()));
    }

    // Adds a subscriber straight to the entries (duplicates included).
    void Subscriber(const QString& email, const QString& name) { inboxtest::AddSubscriber(state, email, name); }
    QStringList Emails() const { return inboxtest::Emails(state); }
};
