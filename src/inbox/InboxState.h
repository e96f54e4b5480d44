#pragma once
// The mail check's shared state: owned by the main window, worked on by the mail check job
// (src/inbox/MailCheckJob) and read by the New Mail panel.
#include "inbox/MailText.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

struct TInboxState
{
    QString LastPopCommand;     // "Connect", "User", "Pass", "Stat", "Retr", "Delete" or "Quit"
    int CurrentMsgNum = 0;      // the number the next Retr or Dele uses
    QString DeleteQueue;        // numbers to delete at logout, each followed by ":"
    bool DeletePending = false; // apply DeleteQueue at logout even without delete-after-reading
    bool AwaitingMessage = true; // no message is being retrieved: the next RETR starts one
    QStringList MessageLines;   // the message being retrieved, long lines rejoined
    QStringList InboxLines;     // the Inbox file being built
    TMailRecord CurrentMail;    // the record of the message being retrieved
    QList<TMailRecord> MailRecords; // one per grid row, in row order
    // The POP3 session the numbers above belong to (the client's Session()), and the unique id
    // of each of its message numbers (empty when the server offers no UIDL).
    int Session = 0;
    QHash<int, QString> UniqueIds;
    // DELE commands sent in that session: void unless its QUIT is accepted.
    QList<int> SentDeletions;
    // What the user must know once the logout is done (a session logged in again).
    QString SessionNote;
};
