// Any bytes as the server's side of a TLS handshake, read by the client session over a real
// socket pair: the handshake ends (never loops), a refused one has its error text, and what the
// socket reports about the peer (fingerprint, verify reason) is safe to ask in every outcome.
// Links: quorvel_net
#include "FuzzSupport.h"
#include "net/TlsSession.h"

#include <cstdlib>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // The socket buffer holds the whole input, so the server side is written before the client
    // starts and closed, as a server that sent its flight and hung up.
    if (size > 64 * 1024)
        return 0;
    // No certificate can verify here; an empty trust store spares parsing the system's for
    // every input.
    static const bool emptyTrust = setenv("SSL_CERT_FILE", "/dev/null", 1) == 0
                                   && setenv("SSL_CERT_DIR", "/nonexistent", 1) == 0;
    (void)emptyTrust;
    int fds[2];
    if (socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0)
        return 0;
    const int sndbuf = 256 * 1024;
    setsockopt(fds[1], SOL_SOCKET, SO_SNDBUF, &sndbuf, sizeof sndbuf);
    if (size > 0 && write(fds[1], data, size) != ssize_t(size)) {
        close(fds[0]);
        close(fds[1]);
        return 0;
    }
    shutdown(fds[1], SHUT_WR);
    fcntl(fds[0], F_SETFL, fcntl(fds[0], F_GETFL) | O_NONBLOCK);

    QString error;
    auto session = TTlsSession::Create(fds[0], QStringLiteral("mail.example.org"), error);
    FUZZ_CHECK(session != nullptr);
    TTlsSession::Status status = TTlsSession::Status::WantRead;
    for (int step = 0; step < 100 && (status == TTlsSession::Status::WantRead
                                      || status == TTlsSession::Status::WantWrite); ++step)
        status = session->Handshake();
    FUZZ_CHECK(status != TTlsSession::Status::WantRead && status != TTlsSession::Status::WantWrite);
    if (status == TTlsSession::Status::Failed)
        FUZZ_CHECK(!session->ErrorText().isEmpty());
    const QString fingerprint = session->PeerFingerprint();
    FUZZ_CHECK(fingerprint.isEmpty() || fingerprint.size() == 32 * 3 - 1);
    FUZZ_CHECK(fingerprint.isEmpty() || TTlsSession::SameFingerprint(fingerprint, fingerprint.toLower().remove(u':')));
    (void)session->VerifyError();
    (void)session->Protocol();
    if (status == TTlsSession::Status::Ok) {
        char buffer[4096];
        TTlsSession::Status read = TTlsSession::Status::Ok;
        for (int step = 0; step < 100 && read == TTlsSession::Status::Ok; ++step)
            session->Read(buffer, sizeof buffer, read);
    }
    session.reset();
    close(fds[0]);
    close(fds[1]);
    return 0;
}
