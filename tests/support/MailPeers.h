#pragma once
// Real mail servers for integration tests and benchmarks, each started as a child process on a
// free loopback port from a private temporary folder: nothing in the system's configuration is
// read or changed, and every server is stopped when its object goes (or, should the test
// process die, by the kernel: the child gets SIGTERM when its parent ends).
//
//   TAiosmtpdServer  an SMTP server (python3-aiosmtpd) that stores each message byte for byte
//   TDovecotServer   Dovecot's POP3 server with one passwd-file user and a Maildir
//   TSmtpSink        Postfix's smtp-sink, a fast discard-everything SMTP server
#include <QByteArray>
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
