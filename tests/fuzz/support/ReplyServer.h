#pragma once
// A loopback server for the protocol targets: to each client that connects it sends the
// fuzz input as it stands, then ends its side of the connection (FIN, so nothing already
// sent is lost), reading and dropping whatever the client sends.
#include <QByteArray>
#include <QTcpServer>

namespace fuzz {

class TReplyServer : public QObject
{
public:
    TReplyServer();
    QString PortText() const { return QString::number(m_server.serverPort()); }
    void SetReplies(QByteArray bytes) { m_replies = std::move(bytes); }

private:
    void Accept();
    QTcpServer m_server;
    QByteArray m_replies;
};

} // namespace fuzz
