// The private Postfix the send tests run against: what its options make it answer, and what it
// delivers.
#include "NetTest.h"
#include "support/MailPeers.h"

#include <QDeadlineTimer>
#include <QTcpSocket>
#include <QTest>

namespace {

// A plain SMTP dialogue, one command at a time, replies as the server sent them.
class TDialogue
{
public:
    bool Connect(quint16 port)
    {
        m_socket.connectToHost(QHostAddress::LocalHost, port);
        return m_socket.waitForConnected(5000) && Reply().startsWith("220 ");
    }
    // The whole reply (every line of a multi-line one, CR LF removed, joined with LF); "" when
    // the server hung up instead.
    QByteArray Command(const QByteArray& line)
    {
        m_socket.write(line + "\r\n");
        return Reply();
    }
    QByteArray Reply()
    {
        QByteArray reply;
        for (;;) {
            while (!m_socket.canReadLine())
                if (!m_socket.waitForReadyRead(10000))
                    return reply;
            const QByteArray line = m_socket.readLine().chopped(2);
            reply += (reply.isEmpty() ? "" : "\n") + line;
            if (line.size() < 4 || line[3] != '-')
                return reply;
        }
    }
    // Whether the server closes the connection within a few seconds.
    bool HungUp()
    {
        const QDeadlineTimer deadline(5000);
        while (m_socket.state() != QAbstractSocket::UnconnectedState && !deadline.hasExpired()) {
            m_socket.waitForReadyRead(100);
            m_socket.readAll();
        }
        return m_socket.state() == QAbstractSocket::UnconnectedState;
    }

private:
    QTcpSocket m_socket;
};

QByteArray Codes(const QList<QByteArray>& replies)
{
    QByteArrayList codes;
    for (const QByteArray& r : replies)
        codes << (r.isEmpty() ? QByteArray("gone") : r.left(3));
    return codes.join(' ');
}

} // namespace

Q_DECLARE_METATYPE(TPostfixServer::Options)

class TstPostfixPeer : public QObject
{
    Q_OBJECT
private slots:
    void optionsShapeTheReplies_data();
    void optionsShapeTheReplies();
    void recipientsBeyondTheLimitAreNotDelivered();
    void errorLimitHangsUp();
    void ehloOffersPipelining_data();
    void ehloOffersPipelining();
    void clientMailArrivesInTheMaildirs();
    void stopEndsEveryPostfixProcess();
};

// Each row: the options, then a dialogue after EHLO and the reply codes it must get.
void TstPostfixPeer::optionsShapeTheReplies_data()
{
    QTest::addColumn<TPostfixServer::Options>("options");
    QTest::addColumn<QByteArray>("helo");
    QTest::addColumn<QByteArrayList>("commands");
    QTest::addColumn<QByteArray>("codes");

    TPostfixServer::Options plain;
    QTest::newRow("accepted") << plain << QByteArray("EHLO quorvel.test")
                              << QByteArrayList{"MAIL FROM:<news@example.com>", "RCPT TO:<a@example.test>", "DATA",
                                                "Subject: x\r\n\r\nbody\r\n.", "QUIT"}
                              << QByteArray("250 250 250 354 250 221");
    QTest::newRow("no relaying") << plain << QByteArray("EHLO quorvel.test")
                                 << QByteArrayList{"MAIL FROM:<news@example.com>", "RCPT TO:<a@example.org>"}
                                 << QByteArray("250 250 554");

    TPostfixServer::Options rate;
    rate.messageRateLimit = 1;
    QTest::newRow("rate limit") << rate << QByteArray("EHLO quorvel.test")
                                << QByteArrayList{"MAIL FROM:<news@example.com>", "RCPT TO:<a@example.test>", "DATA",
                                                  "Subject: x\r\n\r\nbody\r\n.", "MAIL FROM:<news@example.com>",
                                                  "RCPT TO:<a@example.test>"}
                                << QByteArray("250 250 250 354 250 450 503");

    TPostfixServer::Options reject;
    reject.rejectLocalParts = QStringLiteral("bounce-[0-9]+");
    QTest::newRow("rejected pattern") << reject << QByteArray("EHLO quorvel.test")
                                      << QByteArrayList{"MAIL FROM:<news@example.com>", "RCPT TO:<bounce-17@example.test>",
                                                        "RCPT TO:<BOUNCE-2@example.test>", "RCPT TO:<bounce-x@example.test>",
                                                        "RCPT TO:<my-bounce-1@example.test>"}
                                      << QByteArray("250 250 550 550 250 250");

    TPostfixServer::Options fqdn;
    fqdn.requireFqdnHelo = true;
    QTest::newRow("fqdn helo, delayed") << fqdn << QByteArray("HELO quorvel")
                                        << QByteArrayList{"MAIL FROM:<news@example.com>", "RCPT TO:<a@example.test>"}
                                        << QByteArray("250 250 504");
    QTest::newRow("fqdn helo, given") << fqdn << QByteArray("HELO quorvel.test")
                                      << QByteArrayList{"MAIL FROM:<news@example.com>", "RCPT TO:<a@example.test>"}
                                      << QByteArray("250 250 250");
    fqdn.delayReject = false;
    QTest::newRow("fqdn helo, at once") << fqdn << QByteArray("HELO quorvel")
                                        << QByteArrayList{"MAIL FROM:<news@example.com>"} << QByteArray("504 503");
    QTest::newRow("helo required") << fqdn << QByteArray("MAIL FROM:<news@example.com>")
                                   << QByteArrayList{"HELO quorvel.test", "MAIL FROM:<news@example.com>"}
                                   << QByteArray("503 250 250");
}

void TstPostfixPeer::optionsShapeTheReplies()
{
    QFETCH(TPostfixServer::Options, options);
    QFETCH(QByteArray, helo);
    QFETCH(QByteArrayList, commands);
    QFETCH(QByteArray, codes);
    TPostfixServer server;
    START_PEER(server, options);
    TDialogue d;
    QVERIFY(d.Connect(server.Port()));
    QList<QByteArray> replies{d.Command(helo)};
    for (const QByteArray& c : commands)
        replies << d.Command(c);
    QVERIFY2(Codes(replies) == codes, (replies.join(" | ") + "\n" + server.Log().toUtf8()).constData());
}

void TstPostfixPeer::recipientsBeyondTheLimitAreNotDelivered()
{
    TPostfixServer::Options options;
    options.recipientLimit = 3;
    TPostfixServer server;
    START_PEER(server, options);
    TDialogue d;
    QVERIFY(d.Connect(server.Port()));
    QVERIFY(d.Command("EHLO quorvel.test").startsWith("250"));
    QVERIFY(d.Command("MAIL FROM:<news@example.com>").startsWith("250"));
    QList<QByteArray> rcpt;
    for (int i = 1; i <= 5; ++i)
        rcpt << d.Command(QByteArray("RCPT TO:<reader") + QByteArray::number(i) + "@example.test>");
    QCOMPARE(Codes(rcpt), QByteArray("250 250 250 452 452"));
    QCOMPARE(rcpt[3], QByteArray("452 4.5.3 Error: too many recipients"));
    QVERIFY(d.Command("DATA").startsWith("354"));
    QVERIFY(d.Command("Subject: limit\r\n\r\nline one\r\n..dot\r\n.").startsWith("250"));
    QVERIFY(d.Command("QUIT").startsWith("221"));

    QString why;
    QVERIFY2(server.WaitForQueueEmpty(10000, &why), qPrintable(why));
    const QMap<QString, int> expected{{QStringLiteral("reader1@example.test"), 1},
                                      {QStringLiteral("reader2@example.test"), 1},
                                      {QStringLiteral("reader3@example.test"), 1}};
    QCOMPARE(server.Deliveries(), expected);
    const QList<QByteArray> got = server.Messages(QStringLiteral("reader2@example.test"));
    QCOMPARE(got.size(), 1);
    QVERIFY(got[0].startsWith("Return-Path: <news@example.com>\n"));
    QVERIFY(got[0].contains("\nDelivered-To: reader2@example.test\n"));
    QCOMPARE(TPostfixServer::AsSent(got[0]), QByteArray("Subject: limit\r\n\r\nline one\r\n.dot\r\n"));
    QVERIFY(server.Messages(QStringLiteral("reader4@example.test")).isEmpty());
}

// 452 for too many recipients is no error; each 550 is, and the command after the last one
// allowed gets 421 before the server hangs up.
void TstPostfixPeer::errorLimitHangsUp()
{
    TPostfixServer::Options options;
    options.recipientLimit = 1;
    options.hardErrorLimit = 2;
    options.rejectLocalParts = QStringLiteral("no");
    TPostfixServer server;
    START_PEER(server, options);
    TDialogue d;
    QVERIFY(d.Connect(server.Port()));
    QList<QByteArray> replies{d.Command("EHLO quorvel.test"), d.Command("MAIL FROM:<news@example.com>")};
    for (const char* to : {"a", "b", "c", "d"})
        replies << d.Command(QByteArray("RCPT TO:<") + to + "@example.test>");
    replies << d.Command("RSET") << d.Command("MAIL FROM:<news@example.com>");
    for (const char* to : {"no", "no", "a"})
        replies << d.Command(QByteArray("RCPT TO:<") + to + "@example.test>");
    QCOMPARE(Codes(replies), QByteArray("250 250 250 452 452 452 250 250 550 550 421"));
    QCOMPARE(replies.last(), QByteArray("421 4.7.0 mail.example.test Error: too many errors"));
    QVERIFY(d.HungUp());
}

void TstPostfixPeer::ehloOffersPipelining_data()
{
    QTest::addColumn<bool>("pipelining");
    QTest::newRow("offered") << true;
    QTest::newRow("not offered") << false;
}

void TstPostfixPeer::ehloOffersPipelining()
{
    QFETCH(bool, pipelining);
    TPostfixServer::Options options;
    options.pipelining = pipelining;
    options.messageSizeLimit = 4096;
    TPostfixServer server;
    START_PEER(server, options);
    TDialogue d;
    QVERIFY(d.Connect(server.Port()));
    const QByteArrayList lines = d.Command("EHLO quorvel.test").split('\n');
    QCOMPARE(lines.contains("250-PIPELINING"), pipelining);
    QVERIFY(lines.contains("250-SIZE 4096"));
}

void TstPostfixPeer::clientMailArrivesInTheMaildirs()
{
    TPostfixServer server;
    START_PEER(server);
    TSmtpSetup s(server.Port());
    s.client.SetHdrSubject(QStringLiteral("Issue 1"));
    s.body = {QStringLiteral("Dear reader,"), QStringLiteral("."), QStringLiteral("the end")};
    TSmtpClient& client = s.client;
    for (const char* to : {"one", "two", "three"})
        client.RcptName() << QString::fromLatin1(to) + QStringLiteral("@example.test");
    QVERIFY2(client.Mail(), qPrintable(client.ErrorMessage() + u'\n' + server.Log()));
    client.RcptName().clear();
    client.RcptName() << QStringLiteral("two@example.test");
    QVERIFY2(client.Mail(), qPrintable(client.ErrorMessage() + u'\n' + server.Log()));
    QVERIFY(client.Quit());

    QString why;
    QVERIFY2(server.WaitForQueueEmpty(10000, &why), qPrintable(why));
    const QMap<QString, int> expected{{QStringLiteral("one@example.test"), 1},
                                      {QStringLiteral("two@example.test"), 2},
                                      {QStringLiteral("three@example.test"), 1}};
    QCOMPARE(server.Deliveries(), expected);
    const QList<QByteArray> got = server.Messages(QStringLiteral("two@example.test"));
    QCOMPARE(got.size(), 2);
    for (const QByteArray& m : got) {
        const QByteArray sent = TPostfixServer::AsSent(m);
        QVERIFY2(sent.startsWith("From: Newsletter <news@example.com>\r\nTo: Readers <news@example.com>\r\n"
                                 "Subject: Issue 1\r\n"),
                 sent.constData());
        QVERIFY(sent.endsWith("\r\n\r\nDear reader,\r\n.\r\nthe end\r\n"));
    }
}

void TstPostfixPeer::stopEndsEveryPostfixProcess()
{
    TPostfixServer server;
    START_PEER(server);
    TDialogue d;
    QVERIFY(d.Connect(server.Port())); // an smtpd child is running now
    QVERIFY(d.Command("EHLO quorvel.test").startsWith("250"));
    const QString log = server.Log();
    server.Stop();
    QTcpSocket probe;
    probe.connectToHost(QHostAddress::LocalHost, server.Port());
    QVERIFY(!probe.waitForConnected(1000));
    // The child that served the dialogue is gone with its master.
    QVERIFY(d.HungUp());
    QVERIFY2(log.contains(QLatin1String("daemon started")), qPrintable(log));
}

QTEST_MAIN(TstPostfixPeer)
#include "tst_postfixpeer.moc"
