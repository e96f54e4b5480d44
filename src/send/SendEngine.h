#pragma once
// The send engine: turns the newsletter into one message for the chosen recipients, files the
// archive copy, drives the main window's SMTP client over one connection, moves the gauge and
// the status line from the dialogue, writes "MailDialog.txt" and "Timeout.txt", and closes the
// send panel after a success. "Cancel Send" is here too.
#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <functional>

class QLineEdit;
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

class TSendEngine : public QObject
{
    Q_OBJECT
public:
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

    // Binds the client's OnGetData, OnHeaderLine and OnDisplay to the handlers below.
    TSendEngine(const TParts& parts, QObject* parent = nullptr);

    void SendToBtnClick();
    // Assembles the message into the digest pane; not for sending, a subject line comes first.
    void CompileDigest(bool forSending);
    void CancelSend1Click();
    void FinishedMailTimer1Timer();

    void SmtpClient1GetData(int LineNum, QString& MsgLine, int MaxLen, bool& More);
    void SmtpClient1HeaderLine(QString& Msg, int Size);
    void SmtpClient1Display(const QString& Msg);

    // State, for the panels and tests.
    bool Sending() const { return m_sending; }
    bool SendDone() const { return m_sendDone; }
    bool DataStarted() const { return m_dataStarted; }
    const QString& SendServer() const { return m_sendServer; }
    const QString& SendFrom() const { return m_sendFrom; }
    const QStringList& DialogueLog() const { return m_dialogueLog; }
    const QStringList& TimeoutLog() const { return m_timeoutLog; }
    // The body lines as they go out (encoded when the text needs it).
    const QStringList& WireLines() const { return m_wireLines; }
    int Transactions() const { return m_transactions; }
    int RecipientsSent() const { return m_recipientsSent; }
    QTimer* FinishedMailTimer1() const { return m_finishedTimer; }
    QString LastArchive() const { return m_lastArchive; }

    static QString NowText(); // the system's short date and long time

signals:
    void SendFinished(bool success);

private:
    void StartLogs();
    void FinishLogs();
    bool WriteArchive(const QString& folder, const QString& recipients);
    void Abandon(const QString& warning); // a send stopped before it reached the network
    void Reject(const QString& reply);
    void Succeed();
    void Fail();
    bool ConnectClient();
    void RunMail(const QStringList& recipients);
    void SetStatus(const QString& text);
    void SetGauge(qint64 progress, qint64 maximum);
    void Step();

    TParts m_p;
    QTimer* m_finishedTimer;
    QString m_recipients;
    QString m_sendServer;
    QString m_sendFrom;
    QString m_lastRcptLine;
    bool m_sendDone = false;
    bool m_dataStarted = false;
    bool m_sending = false;
    bool m_cancelled = false;
    bool m_listSend = false;
    QStringList m_dialogueLog;
    QStringList m_timeoutLog;
    QStringList m_wireLines;
    QString m_transferEncoding;
    QString m_listUnsubscribe;
    QString m_lastArchive;
    QString m_failure; // an exception's text that ended the send
    int m_transactions = 0;
    int m_recipientsSent = 0;
    bool m_rounds = false; // recipients were deferred and sent in further transactions
    // The recipients of the last transaction as the server answered them.
    int m_roundAccepted = 0;
    QStringList m_roundDeferred;
    QString m_deferReply;
    QString DeferralNote() const;
    qint64 m_gauge = 0;
    qint64 m_gaugeMax = 100;
    QElapsedTimer m_paintClock;
};
