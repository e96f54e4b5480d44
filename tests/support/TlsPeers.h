#pragma once
// TLS peers for the mail client tests: a certificate authority and a server certificate made
// with the openssl tool at test time, and an aiosmtpd server that requires STARTTLS (or speaks
// TLS from the first byte) and AUTH.
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
