#include "ReplyServer.h"
#include "FuzzSupport.h"

#include <QTcpSocket>

#include <sys/socket.h>

namespace fuzz {

TReplyServer::TReplyServer()
{
    if (!m_server.listen(QHostAddress::LocalHost))
        Fail(__FILE__, __LINE__, "cannot listen on loopback");
    connect(&m_server, &QTcpServer::newConnection, this, &TReplyServer::Accept);
}

void TReplyServer::Accept()
{
    while (QTcpSocket* s = m_server.nextPendingConnection()) {
        connect(s, &QTcpSocket::readyRead, s, [s] { s->readAll(); });
        connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
        s->write(m_replies);
        while (s->bytesToWrite() > 0 && s->waitForBytesWritten(1000)) {
        }
        ::shutdown(int(s->socketDescriptor()), SHUT_WR);
    }
}

} // namespace fuzz
