#pragma once
// The send as a job without a window: one message to a list of recipients through one SMTP
// client, in as many transactions as the server asks for, every recipient's outcome recorded.
// It takes a value describing the work, decides from the reply codes the client parsed, and
// reports through TSendObserver; the send engine is its adapter to the window.
#include "net/Dkim.h"
#include "send/Pacing.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

class TSmtpClient;
struct TSmtpReply;

enum class TRecipientOutcome {
    NotAttempted, // never offered to the server (or the transaction ended before it counted)
    Delivered,    // the server took the message for it (transaction in TRecipientResult)
    Refused,      // the server refused it (5xx), or refused the message it was in
    Deferred,     // the server said to try later (4xx) and the send ended before that
    Unconfirmed,  // in a message whose final reply never came: it may have arrived
};

struct TRecipientResult
{
    QString Address;
    TRecipientOutcome Outcome = TRecipientOutcome::NotAttempted;
    int Transaction = 0; // 1-based number of the transaction that delivered it
    QString Reply;       // the reply that decided it (or the reason it was not tried)
};

// One recipient's own message (a personalised send): its header values, already encoded for
// the wire, and its body as it goes out.
struct TMessageParts
{
    QString HdrTo;
    QString HdrSubject;
    QString CharSet = QStringLiteral("iso-8859-1");
    QString TransferEncoding; // empty: no Content-Transfer-Encoding header
    QStringList BodyLines;
    QString ContentType; // a formatted message's; empty: text/plain in CharSet
};

struct TSendRequest
{
    QString Server;     // the SMTP host as the list names it (its settings section is read)
    int TimeoutSec = 15; // per reply
    QString Sender;     // envelope sender, also the Message-ID's domain
    QString HdrFrom;    // header values, already encoded for the wire
    QString HdrTo;
    QString HdrSubject;
    QString CharSet = QStringLiteral("iso-8859-1");
    QString TransferEncoding; // empty: the body goes as it is
    QString ContentType;      // the Content-Type value (a formatted send); empty: text/plain in CharSet
    QString Mailer;           // a header line placed after Subject ("X-Mailer: ...")
    QString ListUnsubscribe;  // the header's value; empty: no header
    QStringList Recipients;   // envelope addresses, in order
    QStringList BodyLines;    // the message text as it goes out
    // The From domain's signing section: when present every message goes out signed, or the
    // send stops before connecting.
    TDkimSettings Dkim;
    // Written before connecting, so it exists whether or not the send succeeds; empty: none.
    QString ArchiveFolder;
    QString ArchiveSubject; // names the archive file
    QString ArchiveText;    // what the archive holds
    // Where "MailDialog.txt" and "Timeout.txt" go at every ending; empty: not written.
    QString LogFolder;
    // Set: one message per recipient (index into Recipients), each in a transaction of its
    // own over the same connection; the header values and body above are not used.
    std::function<TMessageParts(int recipientIndex)> MessageFor;
    // The server's limits: the send splits and waits by them.
    TPacing Pacing;
    // Who got it and when, kept until every recipient has it (empty: no record). A record of
    // the same RecordKey names recipients that are not sent to again.
    QString RecordFile;
    QString RecordKey;
};

enum class TSendEnd {
    Sent,        // every recipient delivered
    Partial,     // some delivered, then the send ended (Reason says why)
    NothingSent, // none delivered (Reason says why)
    Cancelled,   // Cancel was called; what was delivered stays delivered
};

struct TSendSummary
{
    TSendEnd End = TSendEnd::NothingSent;
    int Delivered = 0;
    int Total = 0;          // recipients in the request
    int Transactions = 0;   // transactions in which the server took the message
    QString Reason;        // the reply or error that ended it; empty when all were sent
    bool Connected = false; // the server was reached at all
    QString ArchiveFile;   // the archive written, if any
    QString ArchiveError;  // the archive could not be written: nothing was sent
    QString LogError;      // the logs could not be written
};

enum class TSendPhase { Connecting, Recipients, Data };

class TSendObserver
{
public:
    virtual ~TSendObserver() = default;
    // Recipients: answered recipients out of all. Data: message lines sent out of the message.
    virtual void SendProgress(TSendPhase phase, qint64 done, qint64 total) = 0;
    // Every line the client reports (sent "> ...", received "< ...", its own notices).
    virtual void SendDialogue(const QString& line) = 0;
    // One recipient's outcome became final (index into the request's recipients).
    virtual void RecipientDone(int index, const TRecipientResult& result) = 0;
    // A wait for the server's limits: "Waiting N min for ..." as it counts down; empty when
    // the wait is over.
    virtual void SendWaiting(const QString& text) { (void)text; }
};

class TSendJob
{
public:
    // Both are kept by reference and must outlive the job; the client's events are the job's
    // only while Run runs.
    TSendJob(TSmtpClient& client, TSendObserver& observer);
    TSendJob(const TSendJob&) = delete;
    TSendJob& operator=(const TSendJob&) = delete;

    // Runs the send to its end (the event loop keeps turning inside); one at a time.
    TSendSummary Run(const TSendRequest& request);
    // Stops a running send as soon as the client can: the current transaction is abandoned
    // (the server discards an unfinished message), earlier ones stay delivered.
    void Cancel();
    bool Running() const { return m_running; }
    bool CancelRequested() const { return m_cancelled; }
    // Inside a wait for the server's limits (nothing is on the wire).
    bool Waiting() const { return m_waitLoop != nullptr; }

    // The last Run's, one per request recipient, in order.
    const QList<TRecipientResult>& Results() const { return m_results; }
    // The lines of "MailDialog.txt" and "Timeout.txt" of the last Run.
    const QStringList& DialogueLog() const { return m_dialogueLog; }
    const QStringList& TimeoutLog() const { return m_timeoutLog; }

    // A result for the user ("delivered in transaction 2", "refused: 550 ...").
    static QString OutcomeText(const TRecipientResult& result);
    // The system's short date and long time, as the logs and the archive carry it.
    static QString NowText();

private:
    void Bind();
    void Unbind();
    void OnReply(const TSmtpReply& reply);
    void OnDisplay(const QString& line);
    void GetData(int lineNum, QString& line, bool& more);
    void HeaderLine(QString& line);
    void SignHeaders(QStringList& lines);
    void Settle(int index, TRecipientOutcome outcome, const QString& reply, int transaction = 0);
    // One transaction for `pending`; returns the recipients still to send.
    QList<int> Transaction(const QList<int>& pending, bool& ended, QString& reason);
    void FinishLogs(TSendSummary& summary);
    // The client set up for the next transaction's recipients (their own message, the pause).
    void PrepareMessage(const QList<int>& batch, int offered);
    // Waits `step` out (the connection closed meanwhile); false when cancelled.
    bool PaceWait(const TPacer& pacer, const TPaceStep& step);
    bool OpenRecord(QString& error);

    TSmtpClient& m_client;
    TSendObserver& m_observer;
    const TSendRequest* m_request = nullptr;
    QList<TRecipientResult> m_results;
    QStringList m_dialogueLog;
    QStringList m_timeoutLog;
    QString m_lastRcptLine;
    QString m_messageId;
    TDkimSigner m_signer; // valid while a signed send runs
    QString m_rejection; // a 550 or 503 reply: it ends the whole send
    int m_transactions = 0;
    int m_settled = 0;         // recipients whose outcome is final
    int m_answeredInTxn = 0;   // recipients the server answered in the current transaction
    TMessageParts m_message;   // the message of the current transaction
    bool m_splitting = false;  // transactions carry part of the recipients by design
    int m_rcptPause = 0;       // the client's own pause, restored after the send
    TSendRecord m_record;
    bool m_recording = false;
    class TCountdown* m_waitLoop = nullptr; // the wait for the server's limits, while it runs
    bool m_running = false;
    bool m_cancelled = false;
};
