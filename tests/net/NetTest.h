#pragma once
// Helpers shared by the mail client tests.
#include "net/SmtpClient.h"
#include "net/WSocket.h"
#include "net/Wait.h"
#include "support/Peers.h"
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
