// The POP3 client against the scripted server.
#include "NetTest.h"
#include "net/Pop3Client.h"
#include "net/SmtpClient.h"
#include "net/Wait.h"
#include "support/MailPeers.h"
#include "support/ScriptedServer.h"

#include <QTest>

namespace {

struct TFixture
{
    TWait wait;
    TPop3Client client;
    TScriptedServer server;
    QStringList display;
    QList<QByteArray> messageLines;
    QList<bool> cutFlags;
    int begins = 0, ends = 0;

    TFixture()
    {
        wait.SetInterval(50); // a "second" of countdown is 50 ms in these tests
        client.SetWait(&wait);
        client.SetHost(QStringLiteral("127.0.0.1"));
        client.SetPort(server.PortText());
        client.SetUserName(QStringLiteral(" alice "));
        client.SetPassWord(QStringLiteral("s3cret"));
        client.OnDisplay = [this](TPop3Client*, const QString& m) { display << m; };
        client.OnMessageBegin = [this](TPop3Client*) { ++begins; };
        client.OnMessageEnd = [this](TPop3Client*) { ++ends; };
        client.OnMessageLine = [this](TPop3Client* c) {
            messageLines << c->LastResponse().toLatin1();
            cutFlags << c->LastLineCut();
        };
    }
    // Greeting and login.
    TScriptedServer& LoggedIn() { return server.Send("+OK POP3 ready").Reply("+OK user").Reply("+OK logged in"); }
    // Logged in, then RETR answered with a positive reply and these bytes.
    TScriptedServer& Retrieving(const QByteArray& wire)
    {
        return LoggedIn().Expect().Send("+OK message follows").SendRaw(wire);
    }
};

} // namespace

class TstPop3Client : public QObject
{
    Q_OBJECT
private slots:
    void statReplies_data();
    void statReplies();
    void refusedPassStopsTransaction();
    void quit();
    void outOfOrderRefusals();
    void connectFailures_data();
    void connectFailures();
    void badGreetings_data();
    void badGreetings();
    void retrUnstuffing_data();
    void retrUnstuffing();
    void retrBroken_data();
    void retrBroken();
    void hostileCredentials_data();
    void hostileCredentials();
    void deleAndReconnectAfterServerClose();
    void uniqueIds_data();
    void uniqueIds();
    void longStatusLinesJoined();
    void socketFailureBecomesError_data();
    void socketFailureBecomesError();
    void otherClientsCloseLeavesSmtpWaiting();
};

void TstPop3Client::statReplies_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("size");
    QTest::addColumn<bool>("ok");
    QTest::newRow("count and size") << QByteArray("+OK 3 1205") << 3 << 1205 << true;
    QTest::newRow("count only") << QByteArray("+OK 3") << 0 << 0 << false;
    QTest::newRow("count and blanks") << QByteArray("+OK 3   ") << 0 << 0 << false;
    QTest::newRow("no number") << QByteArray("+OK mailbox") << 0 << 0 << false;
    QTest::newRow("tab separated, text after") << QByteArray("+OK 7\t99 octets") << 7 << 99 << true;
    QTest::newRow("text before the numbers") << QByteArray("+OK you have 2 300") << 2 << 300 << true;
    QTest::newRow("negative reply") << QByteArray("-ERR locked") << 0 << 0 << false;
}

void TstPop3Client::statReplies()
{
    QFETCH(QByteArray, reply);
    QFETCH(int, count);
    QFETCH(int, size);
    QFETCH(bool, ok);
    TFixture f;
    f.LoggedIn().Reply(reply);
    QCOMPARE(f.client.Stat(), ok);
    QCOMPARE(f.client.MsgCount(), count);
    QCOMPARE(f.client.MsgSize(), size);
    QCOMPARE(f.client.ProtocolState(), pop3Transaction);
    QCOMPARE(f.display, (QStringList{"Connected with POP3 server", "< +OK POP3 ready", "> USER alice", "< +OK user",
                                     "> PASS s3cret", "< +OK logged in", "> STAT", "< " + QString::fromLatin1(reply)}));
    QCOMPARE(f.server.Lines(), (QList<QByteArray>{"USER alice", "PASS s3cret", "STAT"}));
    QCOMPARE(f.client.ErrorMessage(), QString());
}

void TstPop3Client::refusedPassStopsTransaction()
{
    TFixture f;
    f.server.Send("+OK ready").Reply("+OK").Reply("-ERR wrong password");
    QVERIFY(!f.client.Stat());
    QCOMPARE(f.client.ProtocolState(), pop3WaitingPass);
    QCOMPARE(f.client.LastResponse(), QStringLiteral("-ERR wrong password"));
    QTRY_COMPARE(f.server.Lines().size(), 2);
    QCOMPARE(f.server.Lines(), (QList<QByteArray>{"USER alice", "PASS s3cret"})); // no STAT
    QCOMPARE(f.client.ErrorMessage(), QString());                             // a refusal is no error text
}

void TstPop3Client::quit()
{
    TFixture f;
    QVERIFY(f.client.Quit()); // not connected: true, nothing sent
    QCOMPARE(f.server.Connections(), 0);
    QVERIFY(f.display.isEmpty());
    // A refused QUIT still closes.
    f.LoggedIn().Expect("QUIT").Send("-ERR cannot update").Stall();
    QVERIFY(f.client.Pass());
    QVERIFY(!f.client.Quit());
    QVERIFY(f.server.Finished());
    QVERIFY(f.server.Mismatches().isEmpty());
    QCOMPARE(f.client.ProtocolState(), pop3Disconnected);
    QCOMPARE(f.client.Socket()->State(), wsClosed);
    QTRY_VERIFY(f.server.ClientClosed());
}

void TstPop3Client::outOfOrderRefusals()
{
    TFixture f;
    f.LoggedIn().Stall();
    QVERIFY(f.client.User());
    QVERIFY(!f.client.User());
    QCOMPARE(f.client.ErrorMessage(), QStringLiteral("-ERR USER command invalid now"));
    QVERIFY(f.client.Pass());
    QVERIFY(!f.client.Pass());
    QCOMPARE(f.client.ErrorMessage(), QStringLiteral("-ERR PASS command invalid now"));
    QVERIFY(!f.client.User());
    QCOMPARE(f.display.mid(f.display.size() - 2),
             (QStringList{"-ERR PASS command invalid now", "-ERR USER command invalid now"}));
    QCOMPARE(f.server.Lines().size(), 2); // nothing sent for the refused ones
    QVERIFY(f.client.Connect());         // connected already: true, nothing read
}

void TstPop3Client::connectFailures_data()
{
    QTest::addColumn<QString>("host");
    QTest::addColumn<bool>("withWait");
    QTest::addColumn<QString>("error");
    QTest::addColumn<bool>("displayed");
    QTest::newRow("no wait object") << "127.0.0.1" << false << "-ERR No wait object" << true;
    QTest::newRow("no host") << "" << true << "-ERR No host specified" << true;
    QTest::newRow("unknown host") << "no-such-host.invalid" << true
                                  << "-ERR SetAddr: Cannot convert host address 'no-such-host.invalid'" << false;
    QTest::newRow("refused") << "refused" << true << "" << true;
}

void TstPop3Client::connectFailures()
{
    QFETCH(QString, host);
    QFETCH(bool, withWait);
    QFETCH(QString, error);
    QFETCH(bool, displayed);
    TFixture f;
    if (!withWait)
        f.client.SetWait(nullptr);
    const bool refused = host == QLatin1String("refused");
    if (refused) {
        f.client.SetPort(QString::number(mailpeers::FreePort()));
        host = QStringLiteral("127.0.0.1");
    }
    f.client.SetHost(host);
    QVERIFY(!f.client.Stat());
    if (refused) {
        const QString e = f.client.ErrorMessage();
        QVERIFY2(e == QLatin1String("-ERR Can't connect to host '127.0.0.1'")
                     || e == QLatin1String("-ERR Error 10061 in function Connect\r\nConnection refused"),
                 qPrintable(e));
    } else {
        QCOMPARE(f.client.ErrorMessage(), error);
        QCOMPARE(f.display.contains(error), displayed);
    }
    QCOMPARE(f.client.ProtocolState(), pop3Disconnected);
}

void TstPop3Client::badGreetings_data()
{
    QTest::addColumn<QByteArray>("greeting"); // none: the server hangs up at once
    QTest::addColumn<QString>("error"); // "" where any error text (or none with no reply) will do
    QTest::newRow("negative") << QByteArray("-ERR too busy\r\n") << "-ERR too busy";
    QTest::newRow("garbage") << QByteArray("\x01\x02 hello there\r\n") << "";
    QTest::newRow("endless line") << QByteArray(300000, 'x') << "";
    QTest::newRow("empty line") << QByteArray("\r\n") << "";
    QTest::newRow("closed before the greeting") << QByteArray() << "-ERR Disconneced unexpectedly";
}

void TstPop3Client::badGreetings()
{
    QFETCH(QByteArray, greeting);
    QFETCH(QString, error);
    TFixture f;
    greeting.isEmpty() ? f.server.Close() : f.server.SendRaw(greeting).Stall();
    QVERIFY(!f.client.Connect());
    if (error.isEmpty())
        QVERIFY(!f.client.ErrorMessage().isEmpty() || f.client.LastResponse().isEmpty());
    else
        QCOMPARE(f.client.ErrorMessage(), error);
    QCOMPARE(f.client.ProtocolState(), pop3Disconnected);
    QCOMPARE(f.client.Socket()->State(), wsClosed);
    QVERIFY(f.client.LastResponse().size() <= 254);
}

void TstPop3Client::retrUnstuffing_data()
{
    using Lines = QList<QByteArray>;
    QTest::addColumn<QByteArray>("wire");     // message lines as the server sends them
    QTest::addColumn<Lines>("delivered");     // what the owner gets
    QTest::addColumn<QList<bool>>("cut");
    const QByteArray a254(254, 'a'), b254(254, 'b');
    QTest::newRow("dots") << QByteArray("..\r\n...\r\n.x\r\na.b\r\n\r\n.\r\n") << Lines{".", "..", ".x", "a.b", ""}
                          << QList<bool>(5, false);
    QTest::newRow("bare LF lines") << QByteArray("one\ntwo\n.\n") << Lines{"one", "two"} << QList<bool>{false, false};
    QTest::newRow("cut piece then a lone dot is data") << a254 + ".\r\nend\r\n.\r\n" << Lines{a254, ".", "end"}
                                                       << QList<bool>{true, false, false};
    QTest::newRow("cut piece then two dots stays as sent") << a254 + "..x\r\n.\r\n" << Lines{a254, "..x"} << QList<bool>{true, false};
    QTest::newRow("long line in pieces") << QByteArray(600, 'b') + "\r\n.\r\n" << Lines{b254, b254, QByteArray(92, 'b')}
                                         << QList<bool>{true, true, false};
}

void TstPop3Client::retrUnstuffing()
{
    QFETCH(QByteArray, wire);
    QFETCH(QList<QByteArray>, delivered);
    QFETCH(QList<bool>, cut);
    TFixture f;
    f.Retrieving(wire).Reply("+OK bye");
    f.client.SetMsgNum(4);
    QVERIFY(f.client.Retr());
    QCOMPARE(f.server.Lines().last(), QByteArray("RETR 4"));
    QCOMPARE(f.messageLines, delivered);
    QCOMPARE(f.cutFlags, cut);
    QCOMPARE(f.begins, 1);
    QCOMPARE(f.ends, 1);
    QCOMPARE(f.client.LastResponse(), QString()); // the terminator is never delivered
    QVERIFY(f.client.Quit());
}

void TstPop3Client::retrBroken_data()
{
    using Lines = QList<QByteArray>;
    QTest::addColumn<QByteArray>("wire");
    QTest::addColumn<bool>("hangUp");     // the server closes after the bytes (else it goes silent)
    QTest::addColumn<bool>("sharedWait"); // an SMTP client took the shared wait object over
    QTest::addColumn<QString>("error");
    QTest::addColumn<Lines>("delivered"); // never the half line
    QTest::newRow("server closes mid-message") << QByteArray("line one\r\nline tw") << true << false
                                               << "-ERR Disconneced unexpectedly" << Lines{"line one"};
    QTest::newRow("timeout") << QByteArray("first\r\nsecond with no end") << false << false << "-ERR Receive Timeout" << Lines{"first"};
    // SMTP connecting later takes the wait's OnTimeout over; POP3 must still see its timeout.
    QTest::newRow("timeout with the wait owned by SMTP") << QByteArray("partial") << false << true << "-ERR Receive Timeout" << Lines{};
}

void TstPop3Client::retrBroken()
{
    QFETCH(QByteArray, wire);
    QFETCH(bool, hangUp);
    QFETCH(bool, sharedWait);
    QFETCH(QString, error);
    QFETCH(QList<QByteArray>, delivered);
    TFixture f;
    f.client.SetTimeOut(3);
    hangUp ? f.Retrieving(wire).Close() : f.Retrieving(wire).Stall();
    TScriptedServer smtpServer;
    TSmtpClient smtp;
    if (sharedWait) {
        QVERIFY(f.client.Pass());
        smtpServer.Send("220 hi").Reply("250 hello").Stall();
        smtp.SetWait(&f.wait);
        smtp.SetHost(QStringLiteral("127.0.0.1"));
        smtp.SetPort(smtpServer.PortText());
        QVERIFY(smtp.Connect());
    }
    f.client.SetMsgNum(1);
    QVERIFY(!f.client.Retr());
    QCOMPARE(f.client.ErrorMessage(), error);
    QVERIFY(f.display.contains(error));
    QCOMPARE(f.messageLines, delivered);
    QCOMPARE(f.begins, 1);
    QCOMPARE(f.ends, 1);
    // The dialogue is out of step now: the connection is closed, a known state.
    QCOMPARE(f.client.ProtocolState(), pop3Disconnected);
    QCOMPARE(f.client.Socket()->State(), wsClosed);
    QTRY_VERIFY(f.server.ClientClosed());
}

void TstPop3Client::hostileCredentials_data()
{
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("error");
    QTest::newRow("user with CR LF") << "bob\r\nDELE 1" << "pw" << "-ERR The user name contains a line break";
    QTest::newRow("user with LF") << "bob\nQUIT" << "pw" << "-ERR The user name contains a line break";
    QTest::newRow("password with CR") << "bob" << "pw\rDELE 2" << "-ERR The password contains a line break";
}

void TstPop3Client::hostileCredentials()
{
    QFETCH(QString, user);
    QFETCH(QString, password);
    QFETCH(QString, error);
    TFixture f;
    f.server.Send("+OK ready").Reply("+OK").Reply("+OK").Reply("+OK 0 0").Stall();
    f.client.SetUserName(user);
    f.client.SetPassWord(password);
    QVERIFY(!f.client.Stat());
    QCOMPARE(f.client.ErrorMessage(), error);
    QCoreApplication::processEvents();
    for (const QByteArray& line : f.server.Lines())
        QVERIFY2(!line.startsWith("DELE") && !line.startsWith("QUIT") && !line.startsWith("STAT"), line.constData());
}

void TstPop3Client::deleAndReconnectAfterServerClose()
{
    TFixture f;
    f.LoggedIn().Reply("+OK deleted").Close();
    f.client.SetMsgNum(7);
    QVERIFY(f.client.Dele());
    QCOMPARE(f.server.Lines().last(), QByteArray("DELE 7"));
    QTRY_COMPARE(f.client.ProtocolState(), pop3Disconnected); // the server's close is noticed
    // The next transaction command logs in again by itself.
    f.LoggedIn().Reply("+OK 0 0");
    QVERIFY(f.client.Stat());
    QCOMPARE(f.server.Connections(), 2);
}

void TstPop3Client::uniqueIds_data()
{
    QTest::addColumn<QList<QByteArray>>("reply");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QStringList>("ids"); // "number=id"
    QTest::newRow("listing") << QList<QByteArray>{"+OK", "1 whqtswO00WBw418f9t5JxYwZ", "2 QhdPYR:00WBw1Ph7x7", "."}
                             << true << QStringList{"1=whqtswO00WBw418f9t5JxYwZ", "2=QhdPYR:00WBw1Ph7x7"};
    QTest::newRow("refused") << QList<QByteArray>{"-ERR unknown command"} << false << QStringList{};
    QTest::newRow("odd lines skipped") << QList<QByteArray>{"+OK", "x y", "3", "4 a b", "5 e", "."} << true
                                       << QStringList{"5=e"};
    QTest::newRow("cut short") << QList<QByteArray>{"+OK", "1 a"} << false << QStringList{};
}

void TstPop3Client::uniqueIds()
{
    QFETCH(QList<QByteArray>, reply);
    QFETCH(bool, ok);
    QFETCH(QStringList, ids);
    TFixture f;
    f.LoggedIn().Expect("UIDL");
    for (const QByteArray& line : reply)
        f.server.Send(line);
    f.server.Close();
    QVERIFY(f.client.Pass());
    QCOMPARE(f.client.Session(), 1);
    QCOMPARE(f.client.Uidl(), ok);
    QStringList got;
    for (auto it = f.client.UniqueIds().cbegin(); it != f.client.UniqueIds().cend(); ++it)
        got << QString::number(it.key()) + u'=' + it.value();
    got.sort();
    QCOMPARE(got, ids);
    QVERIFY(f.server.Mismatches().isEmpty());
    // A new login is a new session, whose numbers start without ids.
    QTRY_COMPARE(f.client.ProtocolState(), pop3Disconnected);
    f.LoggedIn();
    QVERIFY(f.client.Pass());
    QCOMPARE(f.client.Session(), 2);
    QVERIFY(f.client.UniqueIds().isEmpty());
}

void TstPop3Client::longStatusLinesJoined()
{
    TFixture f;
    const QByteArray greeting = "+OK " + QByteArray(296, 'g');
    const QByteArray refusal = "-ERR " + QByteArray(400, 'p');
    f.server.Send(greeting).Expect("USER alice").Send("+OK user").Expect("PASS s3cret").Send(refusal).Stall();
    QVERIFY(f.client.Connect());
    QCOMPARE(f.client.LastResponse().toLatin1(), greeting);
    QVERIFY(f.client.User());
    QVERIFY(!f.client.Pass());
    QCOMPARE(f.client.LastResponse().toLatin1(), refusal);
    QVERIFY(f.display.contains(QStringLiteral("< ") + QString::fromLatin1(greeting)));
    QVERIFY(f.server.Mismatches().isEmpty());
}

void TstPop3Client::socketFailureBecomesError_data()
{
    QTest::addColumn<QString>("command");
    QTest::newRow("USER") << "USER";
    QTest::newRow("PASS") << "PASS";
    QTest::newRow("STAT") << "STAT";
    QTest::newRow("RETR") << "RETR";
    QTest::newRow("DELE") << "DELE";
    QTest::newRow("QUIT") << "QUIT";
}

void TstPop3Client::socketFailureBecomesError()
{
    QFETCH(QString, command);
    TFixture f;
    f.client.SetMsgNum(1);
    f.client.OnDisplay = [&](TPop3Client* c, const QString& m) {
        if (m.startsWith(QStringLiteral("> ") + command))
            BreakSocket(c->Socket());
    };
    f.LoggedIn().Stall();
    bool ok = true;
    try {
        QVERIFY(f.client.Connect());
        if (command == u"USER")
            ok = f.client.User();
        else if (command == u"PASS")
            ok = f.client.Pass();
        else {
            QVERIFY(f.client.Pass());
            ok = command == u"STAT" ? f.client.Stat()
                : command == u"RETR" ? f.client.Retr()
                : command == u"DELE" ? f.client.Dele()
                                     : f.client.Quit();
        }
    } catch (const ESocketException& e) {
        QFAIL(qPrintable(QStringLiteral("escaped: ") + e.Message()));
    }
    QVERIFY(!ok);
    QVERIFY2(f.client.ErrorMessage().startsWith(QLatin1String("-ERR Error ")), qPrintable(f.client.ErrorMessage()));
    QCOMPARE(f.client.ProtocolState(), pop3Disconnected);
    QCOMPARE(f.client.Socket()->State(), wsClosed);
}

void TstPop3Client::otherClientsCloseLeavesSmtpWaiting()
{
    // One wait object for both clients, as in the main window: the POP3 server hanging up
    // while the SMTP client awaits a reply must not end the SMTP client's wait.
    TFixture f;
    TSmtpClient smtp;
    TScriptedServer smtpServer;
    smtp.SetWait(&f.wait);
    smtp.SetHost(QStringLiteral("127.0.0.1"));
    smtp.SetPort(smtpServer.PortText());
    smtp.SetSignOn(QStringLiteral("me"));
    smtp.SetFromName(QStringLiteral("n@x.org"));
    smtp.RcptName() << QStringLiteral("a@x.org");
    smtp.SetRcptPause(0);
    f.LoggedIn().Stall();
    QVERIFY(f.client.Pass());
    smtpServer.Send("220 hi").Expect("HELO me").Send("250 hello").Expect("MAIL FROM:<n@x.org>")
        .Call([&] { f.server.Disconnect(); })
        .Delay(300) // under the SMTP time-out of 15 x 50 ms
        .Send("250 ok").Expect("RCPT TO:<a@x.org>").Send("250 ok").Expect("DATA").Send("354 go")
        .ExpectUntil(".").Send("250 queued");
    QVERIFY2(smtp.Mail(), qPrintable(smtp.ErrorMessage()));
    QCOMPARE(f.client.ProtocolState(), pop3Disconnected); // the POP3 side did see its close
    QVERIFY(smtpServer.Mismatches().isEmpty());
}

QTEST_MAIN(TstPop3Client)
#include "tst_pop3client.moc"
