#pragma once
// The mail check as a job without a window: the POP3 steps (login, STAT, UIDL, the RETR loop,
// the list maintenance, the deletion queue, QUIT) over one POP3 client, the Inbox files, the
// records of the session. It reports status lines, rows and what the user must be told through
// TMailCheckObserver; the New Mail panel is its adapter to the window.
#include "inbox/InboxState.h"

#include <QPointer>
#include <QString>

class TPop3Client;
struct TListsState;
class MailListRecord;

// The POP3 command running or last run (TInboxState::LastPopCommand holds its name).
enum class TPopStep { Idle, Connect, User, Pass, Stat, Uidl, Retr, Delete, Quit };

// How a check ended.
enum class TCheckEnd {
    NotStarted,  // a session is open or a command runs: nothing was done
    LoginFailed, // connect, user or password refused (the status says which; logout is due)
    NoMail,      // logged in, nothing on the server (logout is due)
    Listed,      // the messages are listed (the session stays open for reading and deleting)
};

// What a maintenance run did.
struct TMaintenanceResult
{
    bool Done = false;        // false: no list, or the log could not be opened or written
    int RemovedAddresses = 0; // by key
    int BouncedAddresses = 0; // by permanent delivery failure
    int DeletedMessages = 0;  // queued for deletion on the server
};

class TMailCheckObserver
{
public:
    virtual ~TMailCheckObserver() = default;
    // A status line; `paintNow`: shown at once, before the next event pass.
    virtual void MailStatus(const QString& text, bool paintNow) = 0;
    // A POP3 command ended (ok: the server accepted it).
    virtual void CommandDone(TPopStep step, bool ok) = 0;
    // The record was appended as TInboxState::MailRecords' last.
    virtual void RecordAdded(const TMailRecord& record) = 0;
    // Record `index` was removed (deleted by the user or the maintenance).
    virtual void RecordRemoved(int index) = 0;
    // Every record went (a new check, a failed connect, the logout).
    virtual void RecordsCleared() = 0;
    // The RETR loop is done: the status says how many; maintenance may follow.
    virtual void MessagesListed() = 0;
    // The QUIT tick should run (QuitTick) about a second from now; `closePanel`: the session's
    // mail is done with (a logout, no mail, no connection), not just refused.
    virtual void LogoutDue(bool closePanel) = 0;
    // The maintenance removed entries from the open list (once per run, at its end).
    virtual void EntriesRemoved() = 0;
    // Something the user must read and acknowledge.
    virtual void MailError(const QString& text) = 0;
    virtual void MailWarning(const QString& text) = 0;
};

class TMailCheckJob
{
public:
    // Takes over the client's message and session events until it is destroyed; inbox, lists
    // and observer must outlive it, the client need not.
    TMailCheckJob(TPop3Client& pop3, TInboxState& inbox, TListsState& lists, TMailCheckObserver& observer);
    ~TMailCheckJob();
    TMailCheckJob(const TMailCheckJob&) = delete;
    TMailCheckJob& operator=(const TMailCheckJob&) = delete;

    // Logs in to the list's POP server ("host" or "host:port"), lists every message into the
    // records and the Inbox, then, with the list's automatic maintenance on, maintains the list.
    TCheckEnd Check(const MailListRecord& list);
    // No session open and nothing running: a check can start.
    bool CanCheck() const;
    // Queues record `index`'s message for deletion at logout and removes the record; the last
    // record going starts the logout.
    void Delete(int index);
    // Queues record `index`'s message for deletion at logout when the list deletes what is read.
    void MarkRead(int index);
    // Sends the deletions due at logout (delete after reading, or anything deleted), then
    // asks for the QUIT tick.
    void Logout();
    // The QUIT tick: false (nothing done) while another command runs, so the tick comes again.
    bool QuitTick();
    // Sends the queued deletions in the session the numbers belong to, logging in again by
    // unique id when the server ended it.
    void ApplyDeleteQueue();
    // The list maintenance over the listed records: delivery failure reports (automatic
    // maintenance only), then the To and Subject keys; removed senders are logged and their
    // messages deleted on the server.
    TMaintenanceResult Maintain();
    // Appends a record as the check does (for records read back from elsewhere).
    void AddRecord(const TMailRecord& record);

    TPopStep Step() const { return m_step; }
    // True from login to the listed messages (before the maintenance).
    bool Checking() const { return m_checking; }
    // True while a POP3 command runs.
    bool Busy() const { return m_busy > 0; }
    // The client is still in the session whose numbers the records and the queue hold.
    bool SessionLive() const;
    // The state handed to the constructor.
    TInboxState& State() { return m_inbox; }

    // The Inbox folder beside the program.
    static QString InboxFolder();
    // The maintenance log of the open list for today.
    QString MaintenanceLogPath() const;
    // The name LastPopCommand holds ("Retr"); empty for Idle.
    static QString StepName(TPopStep step);

private:
    bool Run(TPopStep step);
    void ClearRecords();
    void MessageBegin();
    void MessageLine(const QString& line, bool cut);
    void MessageEnd();
    void SaveInboxMessage();
    bool Reattach();

    TPop3Client& m_pop3;
    QPointer<QObject> m_pop3Alive; // the client may go before the job (the window's close)
    TInboxState& m_inbox;
    TListsState& m_lists;
    TMailCheckObserver& m_observer;
    TPopStep m_step = TPopStep::Idle;
    int m_busy = 0;
    bool m_checking = false;
    bool m_lineContinues = false; // the last message line was cut and continues
    bool m_saveErrorShown = false;
    bool m_inboxFolderMade = false;
    QString m_inboxFolder;  // for this check
    qint64 m_stampSecond = 0;
    QString m_stamp;        // the Inbox file name up to the message number, for m_stampSecond
};
