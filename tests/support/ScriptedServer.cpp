#include "support/ScriptedServer.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <sys/socket.h>

TScriptedServer::TScriptedServer(QObject* parent) : QObject(parent), m_server(new QTcpServer(this))
{
    m_server->listen(QHostAddress::LocalHost, 0);
    connect(m_server, &QTcpServer::newConnection, this, &TScriptedServer::OnConnection);
}

TScriptedServer::~TScriptedServer()
{
    if (m_conn)
        m_conn->abort();
}

void TScriptedServer::Disconnect()
{
    if (m_conn)
        m_conn->disconnectFromHost();
}

quint16 TScriptedServer::Port() const
{
    return m_server->serverPort();
}

TScriptedServer& TScriptedServer::Add(Step step)
{
    m_steps << std::move(step);
    return *this;
}

TScriptedServer& TScriptedServer::Send(const QByteArray& line)
{
    return Add({Step::Send, line + "\r\n"});
}

TScriptedServer& TScriptedServer::SendRaw(const QByteArray& bytes)
{
    return Add({Step::Send, bytes});
}

TScriptedServer& TScriptedServer::Expect(int lines)
{
    return Add({Step::Expect, {}, lines});
}

TScriptedServer& TScriptedServer::ExpectUntil(const QByteArray& line)
{
    return Add({Step::ExpectUntil, line});
}

TScriptedServer& TScriptedServer::Expect(const QByteArray& line)
{
    return Add({Step::ExpectLine, line});
}

TScriptedServer& TScriptedServer::Delay(int ms)
{
    return Add({Step::Delay, {}, ms});
}

TScriptedServer& TScriptedServer::Close()
{
    return Add({Step::Close});
}

TScriptedServer& TScriptedServer::Reset()
{
    return Add({Step::Reset});
}

TScriptedServer& TScriptedServer::Stall()
{
    return Add({Step::Stall});
}

TScriptedServer& TScriptedServer::Deafen()
{
    return Add({Step::Deafen});
}

TScriptedServer& TScriptedServer::Call(std::function<void()> action)
{
    return Add({Step::Call, {}, 0, std::move(action)});
}

bool TScriptedServer::Finished() const
{
    return m_step >= m_steps.size() || m_steps[m_step].kind == Step::Stall;
}

void TScriptedServer::OnConnection()
{
    while (QTcpSocket* s = m_server->nextPendingConnection()) {
        if (m_conn)
            m_conn->abort();
        m_conn = s;
        m_awaitConnection = false;
        ++m_connections;
        m_clientClosed = false;
        m_partial.clear();
        connect(s, &QTcpSocket::readyRead, this, &TScriptedServer::OnReadyRead);
        connect(s, &QTcpSocket::disconnected, this, [this, s] {
            if (s == m_conn)
                m_clientClosed = true;
        });
    }
    Run();
}

void TScriptedServer::OnReadyRead()
{
    if (!m_conn)
        return;
    const QByteArray bytes = m_conn->readAll();
    m_received += bytes;
    m_partial += bytes;
    qsizetype start = 0;
    for (;;) {
        const qsizetype lf = m_partial.indexOf('\n', start);
        if (lf < 0)
            break;
        QByteArray line = m_partial.mid(start, lf - start);
        if (line.endsWith('\r'))
            line.chop(1);
        m_lines << line;
        start = lf + 1;
    }
    m_partial.remove(0, start);
    Run();
}

void TScriptedServer::Run()
{
    if (m_running || !m_conn)
        return;
    m_running = true;
    while (m_step < m_steps.size() && m_conn && !m_awaitConnection) {
        Step& s = m_steps[m_step];
        bool advance = true;
        switch (s.kind) {
        case Step::Send:
            m_conn->write(s.data);
            m_conn->flush();
            break;
        case Step::Expect:
            if (m_lines.size() - m_consumed >= s.count)
                m_consumed += s.count;
            else
                advance = false;
            break;
        case Step::ExpectLine:
            if (m_consumed < m_lines.size()) {
                const QByteArray& got = m_lines[m_consumed++];
                if (got != s.data)
                    m_mismatches << QStringLiteral("expected \"%1\", got \"%2\"")
                                        .arg(QString::fromLatin1(s.data), QString::fromLatin1(got));
            } else {
                advance = false;
            }
            break;
        case Step::Delay:
            if (m_delayDone) {
                m_delayArmed = m_delayDone = false;
            } else {
                if (!m_delayArmed) {
                    m_delayArmed = true;
                    QTimer::singleShot(s.count, this, [this] {
                        m_delayDone = true;
                        Run();
                    });
                }
                advance = false;
            }
            break;
        case Step::ExpectUntil:
            advance = false;
            while (m_consumed < m_lines.size()) {
                if (m_lines[m_consumed++] == s.data) {
                    advance = true;
                    break;
                }
            }
            break;
        case Step::Close:
            m_conn->disconnectFromHost();
            m_awaitConnection = true; // the steps after it belong to the next connection
            break;
        case Step::Reset: {
            // Linger 0: the close sends RST instead of FIN.
            const linger l {1, 0};
            setsockopt(int(m_conn->socketDescriptor()), SOL_SOCKET, SO_LINGER, &l, sizeof l);
            m_conn->abort();
            m_awaitConnection = true;
            break;
        }
        case Step::Stall:
            advance = false;
            break;
        case Step::Deafen:
            disconnect(m_conn, &QTcpSocket::readyRead, this, &TScriptedServer::OnReadyRead);
            m_conn->setReadBufferSize(1); // Qt stops taking bytes from the system
            break;
        case Step::Call:
            if (s.action)
                s.action();
            break;
        }
        if (!advance)
            break;
        ++m_step;
    }
    m_running = false;
}
