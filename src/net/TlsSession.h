#pragma once
// TLS over a connected non-blocking socket descriptor (OpenSSL). The socket keeps its own
// notifications and waits; this only turns its reads and writes into TLS records. Certificates
// are checked against the system's trust store (SSL_CERT_FILE / SSL_CERT_DIR honoured) and the
// host name; TLS 1.2 at least.
#include <QByteArray>
#include <QString>

#include <memory>
#include <sys/types.h>

class TTlsSession
{
public:
    enum class Status { Ok, WantRead, WantWrite, Closed, Failed };

    ~TTlsSession();
    // A client session on `fd` for `host` (a name or a dotted address). Null and `error` set
    // when OpenSSL could not set it up.
    static std::unique_ptr<TTlsSession> Create(int fd, const QString& host, QString& error);

    // Ok once done; WantRead or WantWrite: call again when the socket is ready for that.
    Status Handshake();
    // Empty when the peer's certificate chain and name verified; else the reason.
    QString VerifyError() const;
    // SHA-256 of the peer's certificate as upper-case hex pairs joined by ":".
    QString PeerFingerprint() const;
    QString Protocol() const; // "TLSv1.3"

    // Like recv/send: > 0 bytes moved; 0 with a status otherwise.
    qsizetype Read(char* buffer, qsizetype size, Status& status);
    qsizetype Write(const char* data, qsizetype size, Status& status);
    // The text of the last failure (OpenSSL's error queue or errno).
    QString ErrorText() const { return m_error; }

    // Fingerprints compare without regard to case, blanks and ":".
    static bool SameFingerprint(const QString& a, const QString& b);

private:
    TTlsSession() = default;
    Status Map(int result);

    struct ssl_ctx_st* m_ctx = nullptr;
    struct ssl_st* m_ssl = nullptr;
    QString m_error;
};
