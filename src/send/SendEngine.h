#pragma once
// The send engine: the window's adapter to the send job (SendJob.h). It turns the newsletter
// and the send panel into the job's request, keeps the status line and the gauge from the
// job's reports, unchecks who got the message, and closes the send panel after a success.
// "Cancel Send" is here too.
#include "send/Digest.h"
#include "send/HtmlMail.h"
#include "send/SendJob.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <functional>
#include <memory>

class QLineEdit;
class QEvent;
class QTextDocument;
class QTextEdit;
class QTimer;
class TCustomSmtpClient;
class TDigestPanel;
class TListPanel;
class TSendMailPanel;
class TShell;
class TSmtpClient;
struct TGeneralSettings;
struct TListsState;
struct TSubscriberFields;

class TSendEngine : public QObject, private TSendObserver
{
    Q_OBJECT
public:
    // What the engine works on; every reference and pointer must outlive it.
    struct TParts
    {
        TShell& Shell;
        TListsState& Lists;
        TGeneralSettings& General;
        TListPanel& ListPanel;
        TSendMailPanel& SendPanel;
        TDigestPanel& Digest;
        TSmtpClient& Smtp;
        QLineEdit* SubjectEDT;
        QTextEdit* LetterRE;
        std::function<int()> Timeout; // se_Timeout
    };

    TSendEngine(const TParts& parts, QObject* parent = nullptr);
    ~TSendEngine() override;

    // "Send": the newsletter to the checked subscribers (list page) or the typed addresses.
    void SendToBtnClick();
    // "Send test": the newsletter, personalised for the first checked subscriber, to the
    // sender's own address only, "[Test] " before the subject; no record changes.
    void SendTestBtnClick();
    // Assembles the message into the digest pane; not for sending, a subject line comes first.
    void CompileDigest(bool forSending);
    // During a send: stops it (what was delivered stays delivered and is unchecked). Otherwise
    // QUIT, and when the server acknowledges it, the panel closes.
    void CancelSend1Click();
    // After a successful send: clears and hides the send panel.
    void FinishedMailTimer1Timer();
    // Every dialogue line of a send: the status line before the message data.
    void SmtpClient1Display(const QString& Msg);

    // State, for the panels and tests.
    bool Sending() const { return m_sending; }
    // The send waits for the server's limits: closing the window may end it (its record resumes).
    bool WaitingForLimits() const { return m_job.Waiting(); }
    // The server and the From address of the last send that got past its checks.
    const QString& SendServer() const { return m_sendServer; }
    const QString& SendFrom() const { return m_sendFrom; }
    const QStringList& DialogueLog() const { return m_job.DialogueLog(); }
    const QStringList& TimeoutLog() const { return m_job.TimeoutLog(); }
    // Every recipient of the last send with its outcome.
    const QList<TRecipientResult>& Results() const { return m_job.Results(); }
    const TSendSummary& LastSummary() const { return m_summary; }
    // The body lines as they go out (encoded when the text needs it).
    const QStringList& WireLines() const { return m_request.BodyLines; }
    // Owned by the engine; started after a successful send (not a test send).
    QTimer* FinishedMailTimer1() const { return m_finishedTimer; }
    // The archive file of the last send, empty when none was written.
    QString LastArchive() const { return m_summary.ArchiveFile; }

    static QString NowText(); // the system's short date and long time

    // A formatted newsletter's page: the text files' blocks around the rich text, filled in for
    // `fields` when given.
    static htmlmail::TBlocks FormattedBlocks(const TDigestParts& parts);
    static htmlmail::THtml FormattedPage(const QTextDocument& letter, const htmlmail::TBlocks& blocks,
                                         const TSubscriberFields* fields, const QString& subject,
                                         const QString& idSuffix);
    // A personalised formatted send's page, prepared once. When every field of the letter, the
    // subject and the text files came through whole into the page, each recipient's values go
    // straight into it (escaped); otherwise (a field split over two formats) each recipient's
    // letter is filled in and written anew.
    struct TFormattedTemplate
    {
        std::shared_ptr<const QTextDocument> Letter; // a copy of the letter, when not Direct
        htmlmail::TBlocks Blocks;
        QString Subject;
        QString IdSuffix;
        htmlmail::THtml Page;   // the page with the fields still in it
        bool Direct = false;    // every field reached Page whole: fill it in rather than rewrite
    };
    static TFormattedTemplate PrepareFormatted(const QTextDocument& letter, const htmlmail::TBlocks& blocks,
                                               const QString& subject, const QString& idSuffix);
    // Recipient `index`'s page (the index keeps its content ids apart when it is written anew).
    static htmlmail::THtml FormattedFor(const TFormattedTemplate& t, const TSubscriberFields& fields, int index);

signals:
    // Every send that reached the job; true when every recipient got it.
    void SendFinished(bool success);

private:
    // TSendObserver
    void SendProgress(TSendPhase phase, qint64 done, qint64 total) override;
    void SendDialogue(const QString& line) override;
    void RecipientDone(int index, const TRecipientResult& result) override;
    void SendWaiting(const QString& text) override;

    void Send(bool test);
    // The subscriber the digest shows the newsletter for: the first checked one (or the first
    // typed address on the address page). False when there is none.
    bool FirstSubscriber(struct TSubscriberFields& fields) const;
    void Abandon(const QString& warning); // a send stopped before it reached the network
    void Ended(const TSendSummary& summary);
    bool LetThroughDuringSend(QObject* watched, QEvent* event) const;
    void SetStatus(const QString& text);
    void SetGauge(qint64 progress, qint64 maximum);

    TParts m_p;
    TSendJob m_job;
    TSendRequest m_request;
    TSendSummary m_summary;
    QList<int> m_rows; // the check list row of each recipient (list page)
    bool m_listSend = false;
    bool m_testSend = false;
    QTimer* m_finishedTimer;
    QString m_sendServer;
    QString m_sendFrom;
    bool m_sending = false;
    bool m_dataPhase = false;
    qint64 m_gauge = 0;
    qint64 m_gaugeMax = 100;
    QElapsedTimer m_paintClock;
};
