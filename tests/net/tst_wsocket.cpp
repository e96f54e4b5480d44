// The asynchronous socket against loopback peers made in the test (port 0, waits on conditions).
#include "net/Wait.h"
#include "net/WSocket.h"
#include "support/MailPeers.h"

#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QFile>
#include <QTest>
#include <QThread>

#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// A loopback TCP peer: takes each connection (the latest is `conn`) and keeps what arrives.
struct TPeer
{
    QTcpServer server;
    QPointer<QTcpSocket> conn;
    QByteArray received;

    TPeer()
    {
        server.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&server, &QTcpServer::newConnection, &server, [this] {
            conn = server.nextPendingConnection();
            QObject::connect(conn, &QTcpSocket::readyRead, &server, [this] { received += conn->readAll(); });
        });
    }
    QString port() const { return QString::number(server.serverPort()); }
};

QString exceptionText(const std::function<void()>& f)
{
    try {
        f();
    } catch (const ESocketException& e) {
        return e.Message();
    }
    return QString();
}

void aim(TCustomWSocket& s, const QString& port, const QString& proto = QStringLiteral("tcp"),
         const QString& addr = QStringLiteral("127.0.0.1"))
{
    s.SetProto(proto);
    s.SetPort(port);
    s.SetAddr(addr);
}

// A socket with its wait object and a peer to connect to.
template <class Socket = TWSocket>
struct TLink
{
    TPeer peer;
    TWait wait;
    Socket s;
    int closed = 0; // sessions reported closed

    TLink()
    {
        s.SetWaitCtrl(&wait);
        s.OnSessionClosed = [this](TCustomWSocket*, quint16) { ++closed; };
    }
    void Start()
    {
        peer.conn = nullptr;
        aim(s, peer.port());
        s.Connect();
    }
    // Connects and waits until the peer holds the connection.
    bool Open()
    {
        Start();
        return s.WaitForState(10, wsConnected) && QTest::qWaitFor([this] { return !peer.conn.isNull(); }, 10000);
    }
};

// Delivers notifications the way the platform watcher does.
class TInjectingSocket : public TWSocket
{
public:
    void Inject(int bits, int error) { HandleSocketEvent(bits, error); }
};

} // namespace

class TstWSocket : public QObject
{
    Q_OBJECT
private slots:
    void errorTexts_data();
    void errorTexts();
    void setters_data();
    void setters();
    void addresses();
    void settersWhileConnectedAndAfterClose();
    void readLine_data();
    void readLine();
    void readLineTimeoutKeepsPartialLine();
    void endlessLineCostsBoundedMemory();
    void withoutWaitObjectOrConnection();
    void sendAndFlush();
    void refusedConnectEndsWaitEarly();
    void closeEventWhileConnectingIgnored();
    void reconnectFromSessionClosedAndCloseTwice();
    void peerCloseEndsSession();
    void listenAcceptDup();
    void datagramRoundTrip();
    void pauseHoldsEvents();
    void dnsLookup();
    void multiThreadedMode();
};

void TstWSocket::errorTexts_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("text");
    QTest::newRow("0") << 0 << "No Error";
    QTest::newRow("10054") << 10054 << "Connection reset by peer";
    QTest::newRow("11001") << 11001 << "Host not found";
    QTest::newRow("10001 unknown") << 10001 << "Not a WinSock error";
    QTest::newRow("errno-sized") << 12 << "Not a WinSock error";
}

void TstWSocket::errorTexts()
{
    QFETCH(int, code);
    QFETCH(QString, text);
    QCOMPARE(SocketErrorText(code), text);
}

void TstWSocket::setters_data()
{
    QTest::addColumn<QString>("property");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("error");
    QTest::addColumn<int>("number"); // port or protocol number when no error
    QTest::newRow("port number") << "Port" << "2525" << "" << 2525;
    QTest::newRow("port digits then text") << "Port" << " 110abc " << "" << 110;
    QTest::newRow("port service name") << "Port" << "smtp" << "" << 25;
    QTest::newRow("port pop3") << "Port" << "pop3" << "" << 110;
    QTest::newRow("port unknown service") << "Port" << "nosuchservice"
                                          << "Error 11004 in function SetPort: Cannot convert port 'nosuchservice'\r\nNo Data" << 0;
    QTest::newRow("port blanks") << "Port" << "   " << "SetPort: Port is empty" << 0;
    QTest::newRow("proto tcp") << "Proto" << "tcp" << "" << 6;
    QTest::newRow("proto udp") << "Proto" << "udp" << "" << 17;
    QTest::newRow("proto number") << "Proto" << "17" << "" << 17;
    QTest::newRow("proto unknown") << "Proto" << "nosuchproto"
                                   << "Error 11004 in function SetProto: Cannot convert protocol 'nosuchproto'\r\nNo Data" << 0;
    QTest::newRow("proto empty") << "Proto" << " \t " << "SetProto: Proto is empty" << 0;
}

void TstWSocket::setters()
{
    QFETCH(QString, property);
    QFETCH(QString, value);
    QFETCH(QString, error);
    QFETCH(int, number);
    const bool isPort = property == QLatin1String("Port");
    auto assign = [&](TWSocket& s) { isPort ? s.SetPort(value) : s.SetProto(value); };
    TWSocket s;
    QCOMPARE(exceptionText([&] { assign(s); }), error);
    if (error.isEmpty()) {
        QCOMPARE(isPort ? s.PortNum() : s.ProtoNum(), number);
        if (isPort)
            QCOMPARE(ntohs(s.SockAddr().sin_port), quint16(number));
        else
            QCOMPARE(s.IsDatagram(), number == 17);
        return;
    }
    // A refused value is not assigned: connecting says so instead of using 0.
    if (!isPort)
        s.SetPort(QStringLiteral("1"));
    s.SetAddr(QStringLiteral("127.0.0.1"));
    QCOMPARE(exceptionText([&] { s.Connect(); }),
             isPort ? QStringLiteral("Connect: No Port Specified") : QStringLiteral("Connect: No Protocol Specified"));
    QCOMPARE(s.State(), wsClosed);
}

void TstWSocket::addresses()
{
    TWSocket s;
    int errors = 0;
    s.OnError = [&](TCustomWSocket*) { ++errors; };
    // An unknown host raises even with OnError assigned.
    QCOMPARE(exceptionText([&] { s.SetAddr(QStringLiteral(" no-such-host.invalid ")); }),
             QStringLiteral("SetAddr: Cannot convert host address 'no-such-host.invalid'"));
    QCOMPARE(errors, 0);
    s.SetAddr(QStringLiteral("localhost"));
    QCOMPARE(QString::fromLatin1(inet_ntoa(s.SockAddr().sin_addr)), QStringLiteral("127.0.0.1"));

    s.SetAddr(QStringLiteral("255.255.255.255"));
    QCOMPARE(s.SockAddr().sin_addr.s_addr, INADDR_BROADCAST);
}

void TstWSocket::settersWhileConnectedAndAfterClose()
{
    TLink f;
    TWSocket& s = f.s;
    QVERIFY(f.Open());
    // The same text again after a successful assignment does nothing, even while connected.
    QCOMPARE(exceptionText([&] { s.SetPort(f.peer.port()); }), QString());
    QCOMPARE(exceptionText([&] { s.SetAddr(QStringLiteral("127.0.0.1")); }), QString());
    // A new value is refused and leaves the connection alone.
    QCOMPARE(exceptionText([&] { s.SetPort(QStringLiteral("1234")); }), QStringLiteral("Cannot change Port if not closed"));
    QCOMPARE(exceptionText([&] { s.SetAddr(QStringLiteral("10.0.0.1")); }), QStringLiteral("Cannot change Addr if not closed"));
    QCOMPARE(exceptionText([&] { s.SetProto(QStringLiteral("udp")); }), QStringLiteral("Cannot change Proto if not closed"));
    QCOMPARE(s.State(), wsConnected);
    QCOMPARE(s.SendStr(QByteArray("still here\r\n")), 12);
    QTRY_COMPARE(f.peer.received, QByteArray("still here\r\n"));

    // Closing marks address and port unassigned: they must be given again.
    s.Close();
    QCOMPARE(s.State(), wsClosed);
    QCOMPARE(exceptionText([&] { s.Connect(); }), QStringLiteral("Connect: No Port Specified"));
    s.SetPort(QStringLiteral("1234")); // the refused text was stored; assigning it resolves now
    QCOMPARE(s.PortNum(), 1234);
    s.SetPort(f.peer.port());
    QCOMPARE(exceptionText([&] { s.Connect(); }), QStringLiteral("Connect: No IP Address Specified"));
    s.SetAddr(QStringLiteral("127.0.0.1"));
    s.Connect();
    QVERIFY(s.WaitForState(10, wsConnected));
    QCOMPARE(exceptionText([&] { s.Connect(); }), QStringLiteral("Connect: Socket already in use"));
}

void TstWSocket::readLine_data()
{
    using Lines = QList<QByteArray>;
    QTest::addColumn<QByteArray>("sent");
    QTest::addColumn<Lines>("lines");
    QTest::addColumn<int>("tooLong");
    const QByteArray x254(254, 'x'), y253(253, 'y'), y254(254, 'y');
    QTest::newRow("600 characters") << QByteArray(600, 'x') + "\r\n" << Lines{x254, x254, QByteArray(92, 'x')} << 2;
    QTest::newRow("bare LF ends a line") << QByteArray("one\ntwo\r\nthree\r\n") << Lines{"one", "two", "three"} << 0;
    QTest::newRow("CR never returned") << QByteArray("a\rb\r\r\n\r\n") << Lines{"ab", ""} << 0;
    QTest::newRow("253 fits") << y253 + "\r\nz\r\n" << Lines{y253, "z"} << 0;
    QTest::newRow("254 is cut, then an empty rest") << y254 + "\r\n" << Lines{y254, ""} << 1;
    QTest::newRow("CR inside a long line does not count") << QByteArray(200, 'a') + "\r" + QByteArray(100, 'b') + "\n"
                                                          << Lines{QByteArray(200, 'a') + QByteArray(54, 'b'), QByteArray(46, 'b')} << 1;
    QTest::newRow("8-bit bytes pass") << QByteArray("caf\xe9 \x80\r\n") << Lines{"caf\xe9 \x80"} << 0;
}

void TstWSocket::readLine()
{
    QFETCH(QByteArray, sent);
    QFETCH(QList<QByteArray>, lines);
    QFETCH(int, tooLong);
    TLink f;
    int tooLongSeen = 0;
    f.s.OnLineTooLong = [&](TCustomWSocket*) { ++tooLongSeen; };
    QVERIFY(f.Open());
    // Sent all at once and one byte at a time: the same lines either way.
    for (const bool dribbled : {false, true}) {
        tooLongSeen = 0;
        const qint64 before = f.s.ReadCount();
        qsizetype i = 0;
        QTimer dribble;
        connect(&dribble, &QTimer::timeout, this, [&] {
            if (i < sent.size())
                f.peer.conn->write(sent.mid(i++, 1));
        });
        if (dribbled)
            dribble.start(0);
        else
            f.peer.conn->write(sent);
        for (const QByteArray& expected : lines) {
            QByteArray line;
            QVERIFY(f.s.ReadLine(10, line));
            QCOMPARE(line, expected);
        }
        QCOMPARE(tooLongSeen, tooLong);
        QCOMPARE(f.s.ReadCount() - before, qint64(sent.size()));
    }
}

void TstWSocket::readLineTimeoutKeepsPartialLine()
{
    TLink f;
    f.wait.SetInterval(20); // one "second" of countdown is 20 ms here
    QVERIFY(f.Open());
    QByteArray line = "untouched";
    QVERIFY(!f.s.ReadLine(2, line)); // nothing at all
    QCOMPARE(line, QByteArray());
    QCOMPARE(f.wait.ModalResult(), int(TWait::mrTimeout));

    f.peer.conn->write("+OK part");
    f.peer.conn->flush();
    QTRY_COMPARE(f.s.RcvdCount(), 8);
    QVERIFY(!f.s.ReadLine(2, line));
    QCOMPARE(line, QByteArray("+OK part"));
    QVERIFY(f.s.LineMode()); // the line stays in progress

    f.wait.SetInterval(1000);
    f.peer.conn->write("ial line\r\nnext\r\n");
    QVERIFY(f.s.ReadLine(10, line));
    QCOMPARE(line, QByteArray("+OK partial line"));
    QVERIFY(f.s.ReadLine(10, line));
    QCOMPARE(line, QByteArray("next"));
    QCOMPARE(f.s.ReadCount(), qint64(8 + 16));
}

// The process's resident size, from /proc.
static qint64 ResidentBytes()
{
    QFile f(QStringLiteral("/proc/self/statm"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> fields = f.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toLongLong() * sysconf(_SC_PAGESIZE) : -1;
}

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kAddressSanitizer = true;
#else
constexpr bool kAddressSanitizer = false;
#endif
#else
constexpr bool kAddressSanitizer = false;
#endif

void TstWSocket::endlessLineCostsBoundedMemory()
{
    TLink f;
    int tooLong = 0;
    f.s.OnLineTooLong = [&](TCustomWSocket*) { ++tooLong; };
    QVERIFY(f.Open());
    // 100 MB without a line end, fed as the client reads: the process must not grow with it.
    const qint64 rssBefore = ResidentBytes();
    QVERIFY(rssBefore > 0);
    const QByteArray chunk(64 * 1024, 'z');
    qint64 queued = 0;
    const qint64 total = 100 * 1024 * 1024;
    auto feed = [&] {
        while (queued < total && f.peer.conn->bytesToWrite() < 256 * 1024) {
            f.peer.conn->write(chunk);
            queued += chunk.size();
        }
    };
    connect(f.peer.conn, &QTcpSocket::bytesWritten, this, feed);
    feed();
    qint64 got = 0;
    int pieces = 0;
    while (got < total - 254) {
        QByteArray line;
        QVERIFY(f.s.ReadLine(10, line));
        QCOMPARE(line.size(), 254);
        got += line.size();
        ++pieces;
    }
    // The socket holds one read buffer (64 KB) and one piece; anything that kept the line whole
    // would have grown by the 100 MB.
    // AddressSanitizer keeps freed blocks resident in its quarantine (256 MB), so the process
    // size says nothing there; the piece count and the receive count below still hold.
    if (!kAddressSanitizer) {
        const qint64 grown = ResidentBytes() - rssBefore;
        QVERIFY2(grown < 16 * 1024 * 1024, qPrintable(QStringLiteral("grew by %1 bytes").arg(grown)));
    }
    QVERIFY(f.s.RcvdCount() <= 64 * 1024);
    QCOMPARE(tooLong, pieces);
    QCOMPARE(f.s.ReadCount(), got);
}

void TstWSocket::withoutWaitObjectOrConnection()
{
    TWSocket s;
    QByteArray line = "kept";
    QCOMPARE(exceptionText([&] { s.ReadLine(1, line); }), QStringLiteral("No wait object assigned"));
    QCOMPARE(line, QByteArray("kept"));
    QVERIFY(s.WaitForState(1, wsClosed)); // already there
    QCOMPARE(exceptionText([&] { s.WaitForState(1, wsConnected); }),
             QStringLiteral("Error 11004 in function TWSocket.Wait\r\nNo Data"));
    QCOMPARE(s.AwaitedState(), wsInvalidState);
    QVERIFY(!s.LocalHostName().isEmpty());

    QCOMPARE(exceptionText([&] { s.SendStr(QByteArray("x")); }),
             QStringLiteral("Error 10057 in function Send\r\nSocket is not connected"));

    s.SetSendFlags(wsSendUrgent);
    QCOMPARE(s.SendFlags(), wsSendUrgent);
    QCOMPARE(exceptionText([&] { s.SetSendFlags(TSocketSendFlags(5)); }), QStringLiteral("Invalid SendFlags"));

    // On a closed socket with a wait object, ReadLine returns at once with nothing.
    TWait wait;
    s.SetWaitCtrl(&wait);
    QVERIFY(!s.ReadLine(30, line));
    QCOMPARE(line, QByteArray());
    QVERIFY(!s.LineMode());

    int errors = 0;
    s.OnError = [&](TCustomWSocket*) { ++errors; };
    QCOMPARE(s.SendStr(QByteArray("x")), -1);
    QCOMPARE(errors, 1);
    QCOMPARE(s.State(), wsClosed);
}

void TstWSocket::sendAndFlush()
{
    TLink f;
    QStringList order;
    bool inSend = false;
    f.s.OnDataSent = [&](TCustomWSocket*, quint16 error) {
        order << QStringLiteral("sent %1%2").arg(error).arg(inSend ? " inside Send" : "");
    };
    QVERIFY(f.Open());
    QTRY_VERIFY(!order.isEmpty()); // the write-ready that follows the connection
    order.clear();
    inSend = true;
    QCOMPARE(f.s.SendStr(QByteArray("HELO x\r\n")), 8);
    inSend = false;
    order << QStringLiteral("returned");
    QVERIFY(f.s.AllSent());
    QTRY_COMPARE(order, (QStringList{"returned", "sent 0"})); // from the event loop, never inside Send
    QTRY_COMPARE(f.peer.received, QByteArray("HELO x\r\n"));

    QByteArray big(6 * 1024 * 1024 + 77, Qt::Uninitialized);
    for (qsizetype i = 0; i < big.size(); ++i)
        big[i] = char(i * 7 + i / 1514);
    f.peer.received.clear();
    order.clear();
    QCOMPARE(f.s.Send(big.constData(), int(big.size())), int(big.size()));
    QVERIFY(!f.s.AllSent()); // more than the system takes at once
    QVERIFY(f.s.SendQueueBlocks() > 1);
    f.s.Flush();
    QVERIFY(f.s.AllSent());
    QCOMPARE(f.s.SendQueueBytes(), 0);
    QCOMPARE(f.s.SendQueueBlocks(), 1); // the last block stays for reuse
    QTRY_COMPARE(f.peer.received.size(), big.size());
    QVERIFY(f.peer.received == big);
    QVERIFY(!order.isEmpty());
    QCOMPARE(f.s.Send("", 0), 0);
}

void TstWSocket::refusedConnectEndsWaitEarly()
{
    TLink f;
    TWSocket& s = f.s;
    QList<int> connected;
    s.OnSessionConnected = [&](TCustomWSocket*, quint16 error) { connected << error; };
    aim(s, QString::number(mailpeers::FreePort()));
    const QString error = exceptionText([&] { s.Connect(); });
    if (error.isEmpty()) {
        QCOMPARE(s.State(), wsConnecting);
        QVERIFY(!s.WaitForState(60, wsConnected));
        // The wait was ended by the connect event, not by its countdown.
        QCOMPARE(f.wait.ModalResult(), int(TWait::mrStopped));
        QCOMPARE(connected, QList<int>{10061});
    } else {
        QCOMPARE(error, QStringLiteral("Error 10061 in function Connect\r\nConnection refused"));
    }
    QCOMPARE(s.State(), wsClosed);
    QCOMPARE(s.HSocket(), INVALID_SOCKET);
    QVERIFY(f.Open()); // the socket is free for the next attempt
    s.Close();
    QVERIFY(f.closed <= 2);
}

void TstWSocket::closeEventWhileConnectingIgnored()
{
    TLink<TInjectingSocket> f;
    f.Start();
    QCOMPARE(f.s.State(), wsConnecting);
    f.s.Inject(FD_CLOSE_, 0);
    QCOMPARE(f.s.State(), wsConnecting);
    QCOMPARE(f.closed, 0);
    QVERIFY(f.s.WaitForState(10, wsConnected));
    // The same notification once connected closes the session, once.
    f.s.Inject(FD_CLOSE_, 0);
    QCOMPARE(f.s.State(), wsClosed);
    QCOMPARE(f.closed, 1);
}

void TstWSocket::reconnectFromSessionClosedAndCloseTwice()
{
    TLink f;
    int changes = 0;
    f.s.OnChangeState = [&](TCustomWSocket*, TSocketState, TSocketState) { ++changes; };
    f.s.OnSessionClosed = [&](TCustomWSocket* sock, quint16) {
        if (++f.closed == 1) {
            // A handler that connects again at once: the new connection is left alone.
            aim(*sock, f.peer.port());
            sock->Connect();
        }
    };
    QVERIFY(f.Open());
    f.s.Close();
    QCOMPARE(f.closed, 1);
    QVERIFY(f.s.HSocket() != INVALID_SOCKET);
    QVERIFY(f.s.WaitForState(10, wsConnected));
    f.s.Close();
    QCOMPARE(f.closed, 2); // the second connection reports its close as well
    // Closing again is silent.
    const int after = changes;
    f.s.Close();
    f.s.Abort();
    QCOMPARE(changes, after);
    QCOMPARE(f.closed, 2);
    // A never-opened socket closes silently too.
    TWSocket fresh;
    fresh.OnChangeState = [&](TCustomWSocket*, TSocketState, TSocketState) { ++changes; };
    fresh.Close();
    QCOMPARE(changes, after);
}

void TstWSocket::peerCloseEndsSession()
{
    TLink f;
    QByteArray line;
    // The peer closes during a wait, then before one: each connection reports its close once.
    for (const bool early : {false, true}) {
        QVERIFY(f.Open());
        f.peer.conn->write(early ? "+OK whole\r\n" : "+OK whole\r\nhalf a li");
        f.peer.conn->flush();
        if (early)
            f.peer.conn->disconnectFromHost();
        QVERIFY(f.s.ReadLine(10, line)); // what came before the close is still read
        QCOMPARE(line, QByteArray("+OK whole"));
        if (early)
            QTRY_COMPARE(f.s.State(), wsClosed); // noticed from the event loop alone
        else
            f.peer.conn->disconnectFromHost();
        QVERIFY(!f.s.ReadLine(30, line)); // ended by the close, not by a timeout
        QCOMPARE(line, QByteArray());     // the close resets the socket, line buffer included
        QVERIFY(f.wait.ModalResult() != TWait::mrTimeout);
        QCOMPARE(f.s.State(), wsClosed);
        f.s.Close();
        QCOMPARE(f.closed, early ? 2 : 1);
    }
    // A reset ends a wait the same way.
    QVERIFY(f.Open());
    const linger l {1, 0};
    setsockopt(int(f.peer.conn->socketDescriptor()), SOL_SOCKET, SO_LINGER, &l, sizeof l);
    f.peer.conn->write("x");
    f.peer.conn->flush();
    QTimer::singleShot(50, f.peer.conn, [&] { f.peer.conn->abort(); });
    QVERIFY(!f.s.ReadLine(30, line));
    QCOMPARE(f.s.State(), wsClosed);
    QCOMPARE(f.closed, 3);
}

// The features below stand the socket as a general one; the mail clients use none of them,
// so each has one case.
void TstWSocket::listenAcceptDup()
{
    TWait wait;
    QList<int> states;
    TWSocket server, client, listener; // the listener goes first: its handlers use the others
    listener.SetAddr(QStringLiteral("127.0.0.1"));
    listener.SetPort(QStringLiteral("0"));
    listener.OnChangeState = [&](TCustomWSocket*, TSocketState, TSocketState n) { states << n; };
    QCOMPARE(listener.Listen(), 0);
    QCOMPARE(states, (QList<int>{wsBound, wsListening}));
    server.SetWaitCtrl(&wait);
    client.SetWaitCtrl(&wait);
    listener.OnSessionAvailable = [&](TCustomWSocket* l, quint16) { server.Dup(l->Accept()); };
    aim(client, listener.GetLocalPort());
    client.Connect();
    QVERIFY(client.WaitForState(10, wsConnected));
    QTRY_COMPARE(server.State(), wsConnected);
    QCOMPARE(server.GetPeerAddr(), QStringLiteral("127.0.0.1"));
    client.SendStr(QByteArray("ping\r\n"));
    QByteArray line;
    QVERIFY(server.ReadLine(10, line));
    QCOMPARE(line, QByteArray("ping"));
}

void TstWSocket::datagramRoundTrip()
{
    TWSocket receiver;
    aim(receiver, QStringLiteral("0"), QStringLiteral("udp"));
    QByteArray got;
    QString from;
    receiver.OnDataAvailable = [&](TCustomWSocket* s, quint16) {
        char buf[2048];
        sockaddr_in src {};
        int len = sizeof src;
        const int n = s->ReceiveFrom(buf, sizeof buf, src, len);
        if (n > 0) {
            got += QByteArray(buf, n);
            from = QString::fromLatin1(inet_ntoa(src.sin_addr));
        }
    };
    QCOMPARE(receiver.Listen(), 0);
    QCOMPARE(receiver.State(), wsConnected);

    TWSocket sender;
    aim(sender, receiver.GetLocalPort(), QStringLiteral("udp"));
    sender.Connect();
    QCOMPARE(sender.State(), wsConnected); // datagram: connected at once
    QCOMPARE(sender.SendStr(QByteArray("datagram")), 8);
    QTRY_COMPARE(got, QByteArray("datagram"));
    QCOMPARE(from, QStringLiteral("127.0.0.1"));
}

void TstWSocket::pauseHoldsEvents()
{
    TLink f;
    QByteArray got;
    f.s.OnDataAvailable = [&](TCustomWSocket* sock, quint16) {
        char buf[100];
        const int n = sock->Receive(buf, sizeof buf);
        if (n > 0)
            got += QByteArray(buf, n);
    };
    QVERIFY(f.Open());
    f.s.Pause();
    f.peer.conn->write("held");
    f.peer.conn->flush();
    QTRY_COMPARE(f.s.RcvdCount(), 4);
    QCoreApplication::processEvents();
    QCOMPARE(got, QByteArray());
    f.s.Resume();
    QTRY_COMPARE(got, QByteArray("held"));
}

void TstWSocket::dnsLookup()
{
    TWSocket s;
    QList<int> done;
    s.OnDnsLookupDone = [&](TCustomWSocket*, quint16 e) { done << e; };
    s.DnsLookup(QStringLiteral("localhost"));
    QVERIFY(done.isEmpty()); // answered later, from the event loop
    QTRY_COMPARE(done, QList<int>{0});
    QVERIFY(s.DnsResultList().contains(QStringLiteral("127.0.0.1")));
    QCOMPARE(s.DnsResult(), s.DnsResultList().first());

    done.clear();
    s.DnsLookup(QStringLiteral("localhost"));
    s.CancelDnsLookup();
    QCOMPARE(done, QList<int>{10004});
}

void TstWSocket::multiThreadedMode()
{
    TPeer peer;
    connect(&peer.server, &QTcpServer::newConnection, this, [&] { peer.conn->write("first\r\n"); });
    QByteArray line;
    QThread worker;
    QObject ctx;
    ctx.moveToThread(&worker);
    const QString port = peer.port();
    QMetaObject::invokeMethod(&ctx, [&] {
        TWSocket s; // no wait object: the socket waits with its own loop
        s.SetMultiThreaded(true);
        aim(s, port);
        s.Connect();
        if (s.WaitForState(10, wsConnected))
            s.ReadLine(10, line);
        QThread::currentThread()->quit();
    });
    worker.start();
    QTRY_VERIFY_WITH_TIMEOUT(worker.isFinished(), 30000);
    QCOMPARE(line, QByteArray("first"));
}

QTEST_MAIN(TstWSocket)
#include "tst_wsocket.moc"
