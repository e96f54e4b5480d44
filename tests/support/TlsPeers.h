#pragma once
// TLS peers for the mail client tests: a certificate authority and a server certificate made
// with the openssl tool at test time, an aiosmtpd server that requires STARTTLS (or speaks
// TLS from the first byte) and AUTH, and stunnel putting TLS in front of a plain server.
#include "support/MailPeers.h"

#include <QString>
#include <QTemporaryDir>

// A test CA and a certificate for "localhost" and 127.0.0.1 signed by it.
class TTestCertificates
{
public:
    bool Make(QString* error);
    QString CaFile() const { return m_dir.filePath(QStringLiteral("ca.pem")); }
    QString CertFile() const { return m_dir.filePath(QStringLiteral("server.pem")); }
    QString KeyFile() const { return m_dir.filePath(QStringLiteral("server.key")); }

private:
    QTemporaryDir m_dir;
};

class TTlsSmtpServer
{
public:
    enum class Mode { StartTls, Tls };
    // Accepts the user "alice" with the password "wonderland" (AUTH PLAIN and LOGIN).
    bool Start(Mode mode, const TTestCertificates& certificates, QString* error);
    quint16 Port() const { return m_port; }
    // The messages received, as received.
    QList<QByteArray> Messages() const;
    QString Output() { return m_process.Output(); }

private:
    QTemporaryDir m_dir;
    TPeerProcess m_process;
    quint16 m_port = 0;
};

// stunnel (package stunnel4) in front of a plain server on loopback: TLS from the first byte
// on its own port, the plain bytes passed on to `targetPort`. Lets servers without TLS (such as
// smtp-sink) serve as TLS peers.
class TTlsTunnel
{
public:
    bool Start(quint16 targetPort, const TTestCertificates& certificates, QString* error);
    void Stop() { m_process.Stop(); }
    quint16 Port() const { return m_port; }
    QString Output() { return m_process.Output(); }

private:
    QTemporaryDir m_dir;
    TPeerProcess m_process;
    quint16 m_port = 0;
};
