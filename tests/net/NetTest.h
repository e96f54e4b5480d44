#pragma once
// Helpers shared by the mail client tests.
#include "net/Pop3Client.h"
#include "net/ServerSettings.h"
#include "net/SmtpClient.h"
#include "net/WSocket.h"
#include "net/Wait.h"
#include "support/Peers.h"
#include "platform/Cp1252.h"
#include "support/SmtpFixture.h"

#include <QTest>

#include <sys/socket.h>
#include <unistd.h>


// Puts an unconnected datagram socket in place of the client's connection: the next send fails
// with a socket error, as on a connection that timed out or lost its route.
inline void BreakSocket(TCustomWSocket* socket)
{
    const int udp = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK, 0);
    ::dup2(udp, socket->HSocket());
    ::close(udp);
}

// A client for the real servers: one sender, fixed headers.
struct TSmtpSetup : TSmtpFixture
{
    explicit TSmtpSetup(quint16 port)
    {
        client.SetPort(QString::number(port));
        client.SetSignOn(QStringLiteral("quorvel.test"));
        client.SetFromName(QStringLiteral("news@example.com"));
        client.SetHdrFrom(QStringLiteral("Newsletter <news@example.com>"));
        client.SetHdrTo(QStringLiteral("Readers <news@example.com>"));
        client.SetHdrSubject(QStringLiteral("Newsletter 7: tests & more"));
    }
};

// A server section for `host` that chooses `security`, the server listening on `port`.
inline TServerSettings SecuritySection(const QString& host, int port, TMailSecurity security)
{
    TServerSettings s;
    s.Present = true;
    s.Host = host;
    s.Port = port;
    s.Security = security;
    s.SecurityChosen = true;
    return s;
}

// A POP3 client for the real servers; `text` is the last message retrieved, rebuilt from the
// lines it delivered (CR LF after every line that was not cut).
struct TPop3Setup
{
    TWait wait;
    TPop3Client client;
    QByteArray text;

    TPop3Setup(const QString& host, const QString& port, const QString& user, const QString& password)
    {
        client.SetWait(&wait);
        client.SetHost(host);
        client.SetPort(port);
        client.SetUserName(user);
        client.SetPassWord(password);
        client.OnMessageBegin = [this](TPop3Client*) { text.clear(); };
        client.OnMessageLine = [this](TPop3Client* c) {
            text += cp1252::encode(c->LastResponse());
            if (!c->LastLineCut())
                text += "\r\n";
        };
    }
};
