#pragma once
// A scripted line server for protocol tests. It listens on a free loopback port, replays a
// script of server lines, and records every line the client sends. Steps run in order on the
// current connection (a new connection continues the script):
//
//   TScriptedServer s;
//   s.Send("220 ready").Expect().Send("250 hello")       // greeting, then one exchange
//    .ExpectUntil(".").Send("250 queued")                 // read the message up to "."
//    .SendRaw("+OK no line end").Close();                 // half a line, then hang up
//
// Stall() stops the script without answering (the client's wait must run out). The server runs
// in the test's thread: it moves whenever the client under test waits in the event loop.
#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QStringList>

#include <functional>

class QTcpServer;
class QTcpSocket;

class TScriptedServer : public QObject
{
    Q_OBJECT
public:
    explicit TScriptedServer(QObject* parent = nullptr);
    ~TScriptedServer() override;

    // Script steps (each returns *this for chaining).
    TScriptedServer& Send(const QByteArray& line);     // line + CR LF
    TScriptedServer& SendRaw(const QByteArray& bytes); // as is: bare LF, half lines, garbage
    TScriptedServer& Expect(int lines = 1);            // wait for that many client lines
    TScriptedServer& ExpectUntil(const QByteArray& line); // client lines up to and including this one
    // One client line that must read exactly so; a different line is recorded in Mismatches().
    TScriptedServer& Expect(const QByteArray& line);
    TScriptedServer& Expect(const char* line) { return Expect(QByteArray(line)); }
    TScriptedServer& Delay(int ms);                    // go on after this pause
    TScriptedServer& Reply(const QByteArray& line) { return Expect().Send(line); }
    TScriptedServer& Close();                          // orderly close
    TScriptedServer& Reset();                          // abortive close (RST)
    TScriptedServer& Stall();                          // answer nothing more
    TScriptedServer& Deafen();                         // stop reading: the client's data backs up
    TScriptedServer& Call(std::function<void()> action); // run test code at this point

    // Hangs up now, outside the script (a server's idle timeout).
    void Disconnect();

    quint16 Port() const;
    QString PortText() const { return QString::number(Port()); }
    // Every line the client sent (CR LF removed) and the raw bytes.
    const QList<QByteArray>& Lines() const { return m_lines; }
    const QByteArray& Received() const { return m_received; }
    int Connections() const { return m_connections; }
    bool Finished() const; // every step up to the end (or a Stall) has run
    bool ClientClosed() const { return m_clientClosed; }
    // "expected <line>, got <line>" for every exact Expect the client's line did not match.
    const QStringList& Mismatches() const { return m_mismatches; }

private:
    struct Step
    {
        enum Kind { Send, Expect, ExpectLine, ExpectUntil, Close, Reset, Stall, Deafen, Call, Delay } kind;
        QByteArray data;
        int count = 0;
        std::function<void()> action;
    };
    TScriptedServer& Add(Step step);
    void OnConnection();
    void OnReadyRead();
    void Run();

    QTcpServer* m_server;
    QPointer<QTcpSocket> m_conn;
    QList<Step> m_steps;
    qsizetype m_step = 0;
    QList<QByteArray> m_lines;
    qsizetype m_consumed = 0; // client lines used up by Expect steps
    QByteArray m_partial;
    QByteArray m_received;
    int m_connections = 0;
    bool m_clientClosed = false;
    bool m_running = false;
    bool m_awaitConnection = false; // after Close or Reset: the script goes on with a new connection
    bool m_delayArmed = false;
    bool m_delayDone = false;
    QStringList m_mismatches;
};
