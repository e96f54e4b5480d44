#include "net/TlsSession.h"

#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <QHostAddress>

#include <cerrno>
#include <cstring>

namespace {
QString QueueText()
{
    QString text;
    while (const unsigned long e = ERR_get_error()) {
        char buf[256];
        ERR_error_string_n(e, buf, sizeof buf);
        if (!text.isEmpty())
            text += QStringLiteral("; ");
        text += QString::fromLatin1(buf);
    }
    return text;
}
} // namespace

TTlsSession::~TTlsSession()
{
    if (m_ssl)
        SSL_free(m_ssl);
    if (m_ctx)
        SSL_CTX_free(m_ctx);
}

std::unique_ptr<TTlsSession> TTlsSession::Create(int fd, const QString& host, QString& error)
{
    std::unique_ptr<TTlsSession> s(new TTlsSession);
    ERR_clear_error();
    s->m_ctx = SSL_CTX_new(TLS_client_method());
    if (!s->m_ctx || !SSL_CTX_set_min_proto_version(s->m_ctx, TLS1_2_VERSION)
        || !SSL_CTX_set_default_verify_paths(s->m_ctx)) {
        error = QStringLiteral("TLS set-up failed: ") + QueueText();
        return nullptr;
    }
    // Verification is judged after the handshake, so a failure can name its reason and a
    // certificate the user chose to trust can be accepted by its fingerprint.
    SSL_CTX_set_verify(s->m_ctx, SSL_VERIFY_NONE, nullptr);
    SSL_CTX_set_mode(s->m_ctx, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    s->m_ssl = SSL_new(s->m_ctx);
    if (!s->m_ssl || !SSL_set_fd(s->m_ssl, fd)) {
        error = QStringLiteral("TLS set-up failed: ") + QueueText();
        return nullptr;
    }
    const QByteArray name = host.toUtf8();
    X509_VERIFY_PARAM* param = SSL_get0_param(s->m_ssl);
    if (QHostAddress(host).isNull()) {
        SSL_set_tlsext_host_name(s->m_ssl, name.constData());
        X509_VERIFY_PARAM_set_hostflags(param, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
        X509_VERIFY_PARAM_set1_host(param, name.constData(), 0);
    } else {
        X509_VERIFY_PARAM_set1_ip_asc(param, name.constData());
    }
    SSL_set_connect_state(s->m_ssl);
    return s;
}

TTlsSession::Status TTlsSession::Map(int result)
{
    const int code = SSL_get_error(m_ssl, result);
    switch (code) {
    case SSL_ERROR_WANT_READ:
        return Status::WantRead;
    case SSL_ERROR_WANT_WRITE:
        return Status::WantWrite;
    case SSL_ERROR_ZERO_RETURN:
        return Status::Closed;
    case SSL_ERROR_SYSCALL: {
        const int err = errno;
        m_error = QueueText();
        if (m_error.isEmpty())
            m_error = err == 0 ? QStringLiteral("the connection closed") : QString::fromLocal8Bit(std::strerror(err));
        return err == 0 ? Status::Closed : Status::Failed;
    }
    default:
        m_error = QueueText();
        if (m_error.isEmpty())
            m_error = QStringLiteral("TLS error %1").arg(code);
        return Status::Failed;
    }
}

TTlsSession::Status TTlsSession::Handshake()
{
    ERR_clear_error();
    const int r = SSL_do_handshake(m_ssl);
    return r == 1 ? Status::Ok : Map(r);
}

QString TTlsSession::VerifyError() const
{
    X509* cert = SSL_get1_peer_certificate(m_ssl);
    if (!cert)
        return QStringLiteral("no certificate");
    X509_free(cert);
    const long result = SSL_get_verify_result(m_ssl);
    if (result == X509_V_OK)
        return QString();
    return QString::fromLatin1(X509_verify_cert_error_string(result));
}

QString TTlsSession::PeerFingerprint() const
{
    X509* cert = SSL_get1_peer_certificate(m_ssl);
    if (!cert)
        return QString();
    unsigned char md[EVP_MAX_MD_SIZE];
    unsigned int len = 0;
    X509_digest(cert, EVP_sha256(), md, &len);
    X509_free(cert);
    return QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(md), int(len)).toHex(':').toUpper());
}

QString TTlsSession::Protocol() const
{
    return QString::fromLatin1(SSL_get_version(m_ssl));
}

qsizetype TTlsSession::Read(char* buffer, qsizetype size, Status& status)
{
    ERR_clear_error();
    size_t got = 0;
    const int r = SSL_read_ex(m_ssl, buffer, size_t(size), &got);
    if (r == 1) {
        status = Status::Ok;
        return qsizetype(got);
    }
    status = Map(r);
    return 0;
}

qsizetype TTlsSession::Write(const char* data, qsizetype size, Status& status)
{
    ERR_clear_error();
    size_t put = 0;
    const int r = SSL_write_ex(m_ssl, data, size_t(size), &put);
    if (r == 1) {
        status = Status::Ok;
        return qsizetype(put);
    }
    status = Map(r);
    return 0;
}

bool TTlsSession::SameFingerprint(const QString& a, const QString& b)
{
    auto norm = [](const QString& s) {
        QString out;
        for (const QChar c : s)
            if (c.isLetterOrNumber())
                out += c.toUpper();
        return out;
    };
    const QString x = norm(a);
    return !x.isEmpty() && x == norm(b);
}
