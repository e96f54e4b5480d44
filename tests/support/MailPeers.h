#pragma once
// Real mail servers for integration tests and benchmarks, each started as a child process on a
// free loopback port from a private temporary folder: nothing in the system's configuration is
// read or changed, and every server is stopped when its object goes (or, should the test
// process die, by the kernel: the child gets SIGTERM when its parent ends).
//
//   TAiosmtpdServer  an SMTP server (python3-aiosmtpd) that stores each message byte for byte
//   TDovecotServer   Dovecot's POP3 server with one passwd-file user and a Maildir
//   TSmtpSink        Postfix's smtp-sink, a fast discard-everything SMTP server
//   TPostfixServer   a whole private Postfix that delivers a catch-all domain into a Maildir
#include <QByteArray>
#include <QMap>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace mailpeers {
// A loopback port nobody listens on at the moment of asking.
quint16 FreePort();
bool IsRoot();
// The Python interpreter that can import aiosmtpd ("" when none can).
QString Python();
QString Executable(const QString& name); // in PATH or in the sbin folders; "" when missing
} // namespace mailpeers

// A server run in the foreground as a child process.
class TPeerProcess
{
public:
    TPeerProcess() = default;
    TPeerProcess(const TPeerProcess&) = delete;
    TPeerProcess& operator=(const TPeerProcess&) = delete;
    ~TPeerProcess() { Stop(); }

    // Before Start: run the server in a process group of its own, so that its own children can
    // be told apart and are ended with it.
    void SetOwnProcessGroup(bool own) { m_ownGroup = own; }
    bool Start(const QString& program, const QStringList& args, const QProcessEnvironment& env,
               const QString& workDir, QString* error);
    // Waits until the port takes connections (or the process ends).
    bool WaitForPort(quint16 port, int timeoutMs, QString* error);
    void Stop();
    bool Running() const { return m_process.state() != QProcess::NotRunning; }
    QString Output();

private:
    QProcess m_process;
    QByteArray m_output;
    bool m_ownGroup = false;
    qint64 m_group = 0;
};

class TAiosmtpdServer
{
public:
    struct Message
    {
        QByteArray content; // the data as received, dot-stuffing undone, CR LF line ends
        QString from;
        QStringList rcpt;
    };

    bool Start(QString* error);
    void Stop() { m_process.Stop(); }
    quint16 Port() const { return m_port; }
    QList<Message> Messages() const;

private:
    QTemporaryDir m_dir;
    TPeerProcess m_process;
    quint16 m_port = 0;
};

class TDovecotServer
{
public:
    TDovecotServer();
    // Messages are added to the Maildir before Start.
    QString AddMessage(const QByteArray& bytes);
    // Before Start: serve TLS with this certificate, STLS on the POP3 port or (implicit) TLS
    // from the first byte.
    void SetTls(const QString& certFile, const QString& keyFile, bool implicit)
    {
        m_certFile = certFile;
        m_keyFile = keyFile;
        m_implicitTls = implicit;
    }
    bool Start(QString* error);
    void Stop() { m_process.Stop(); }
    quint16 Port() const { return m_port; }
    QString User() const { return QStringLiteral("tester"); }
    QString Password() const { return QStringLiteral("secret"); }
    // The messages now in the Maildir (new and cur), by content.
    QList<QByteArray> Messages() const;
    QString Log() const;

private:
    QTemporaryDir m_dir;
    TPeerProcess m_process;
    quint16 m_port = 0;
    int m_added = 0;
    QString m_certFile;
    QString m_keyFile;
    bool m_implicitTls = false;
};

class TSmtpSink
{
public:
    // extraArgs: smtp-sink options such as "-e" (refuse EHLO, so clients use HELO).
    bool Start(const QStringList& extraArgs, QString* error);
    void Stop() { m_process.Stop(); }
    quint16 Port() const { return m_port; }

private:
    QTemporaryDir m_dir;
    TPeerProcess m_process;
    quint16 m_port = 0;
};

// Postfix's master with its own main.cf and master.cf: smtpd on 127.0.0.1:Port() only, its own
// queue, no relaying and no mail out (anything not for Domain() is refused; bounces go nowhere,
// except to a sender of Domain(), where they land in the Maildir like any message);
// every address of Domain() is accepted and delivered by the virtual agent into one Maildir.
// Needs root (the daemons drop to the "postfix" user, the Maildir belongs to "nobody").
class TPostfixServer
{
public:
    // Each field is the main.cf parameter named beside it; the defaults are Postfix's own
    // unless said otherwise.
    struct Options
    {
        int recipientLimit = 1000;  // smtpd_recipient_limit: RCPT beyond it get 452 (Postfix wants at least 1)
        int hardErrorLimit = 20;    // smtpd_hard_error_limit: then 421 and the server hangs up
        int softErrorLimit = 10;    // smtpd_soft_error_limit: then each reply waits errorSleepSeconds
        int errorSleepSeconds = 1;  // smtpd_error_sleep_time
        bool pipelining = true;     // false: smtpd_discard_ehlo_keywords = pipelining
        // smtpd_client_message_rate_limit: MAIL FROM beyond this many messages a minute from
        // one client get 450; 0 = none. Loopback is not exempt here.
        int messageRateLimit = 0;
        // A "sleep" restriction: each RCPT not refused otherwise is answered this much later.
        int rcptDelaySeconds = 0;
        // check_recipient_access: recipients whose whole local part matches this POSIX extended
        // regular expression (case-insensitive) get 550; empty = none.
        QString rejectLocalParts;
        // smtpd_helo_required plus reject_invalid_helo_hostname, reject_non_fqdn_helo_hostname.
        bool requireFqdnHelo = false;
        // smtpd_delay_reject: a refused HELO is reported at RCPT time (Postfix's way) or at once.
        bool delayReject = true;
        int timeoutSeconds = 300;              // smtpd_timeout
        qint64 messageSizeLimit = 10240000;    // message_size_limit (SIZE in the EHLO reply)
    };

    TPostfixServer() = default;
    TPostfixServer(const TPostfixServer&) = delete;
    TPostfixServer& operator=(const TPostfixServer&) = delete;
    ~TPostfixServer() { Stop(); }

    static QString Domain() { return QStringLiteral("example.test"); }

    bool Start(QString* error) { return Start(Options(), error); }
    bool Start(const Options& options, QString* error);
    // Also waits (briefly) until the port is closed: master's children outlive it for a moment.
    void Stop();
    quint16 Port() const { return m_port; }
    // Waits until every accepted message has left the queue (delivered or bounced). False, with
    // the reason and the log, on timeout or as soon as a message is deferred (it would only be
    // retried minutes later).
    bool WaitForQueueEmpty(int timeoutMs, QString* error);
    // Per recipient address (as the Delivered-To line gives it): how many messages its
    // Maildir copies hold, new and cur.
    QMap<QString, int> Deliveries() const;
    // The messages delivered to an address, in Maildir name order, as stored: LF line ends,
    // dot-stuffing undone, with the virtual agent's Return-Path, X-Original-To and Delivered-To
    // lines and smtpd's Received header on top (nothing else is added or rewritten).
    QList<QByteArray> Messages(const QString& address) const;
    // A stored message as the client sent it (after dot-stuffing was undone): without the lines
    // Postfix put on top, with CR LF line ends.
    static QByteArray AsSent(const QByteArray& stored);
    QString Log() const; // the mail log of this instance (maillog_file)

private:
    QString Path(const char* sub) const { return m_dir.filePath(QString::fromLatin1(sub)); }
    QStringList MaildirFiles() const;

    QTemporaryDir m_dir;
    TPeerProcess m_process;
    quint16 m_port = 0;
};
