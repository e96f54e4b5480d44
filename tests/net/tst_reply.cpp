// Reply lines as both mail clients read them, and the protocol trace's masking.
#include "net/NetLog.h"
#include "net/Reply.h"

#include <QTest>

class TstReply : public QObject
{
    Q_OBJECT
private slots:
    void smtpLines_data();
    void smtpLines();
    void statReplies_data();
    void statReplies();
    void ehloReplies_data();
    void ehloReplies();
    void masking_data();
    void masking();
};

void TstReply::smtpLines_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<int>("code");
    QTest::addColumn<bool>("hasCode");
    QTest::addColumn<bool>("last");
    QTest::newRow("single") << "250 ok" << 250 << true << true;
    QTest::newRow("continued") << "250-SIZE 100" << 250 << true << false;
    QTest::newRow("three characters") << "250" << 250 << true << true;
    QTest::newRow("leading blanks") << " \t421 busy" << 421 << false << true;
    QTest::newRow("no number") << "hello" << 0 << false << true;
    QTest::newRow("huge number") << "99999999999999 x" << INT_MAX << true << true;
    QTest::newRow("empty") << "" << 0 << false << true;
}

void TstReply::smtpLines()
{
    QFETCH(QString, line);
    QFETCH(int, code);
    QFETCH(bool, hasCode);
    QFETCH(bool, last);
    const TReplyLine r = reply::ParseSmtp(line);
    QCOMPARE(r.Code, code);
    QCOMPARE(r.HasCode, hasCode);
    QCOMPARE(r.Last, last);
    QCOMPARE(r.Text, line);
}

void TstReply::statReplies_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("size");
    QTest::newRow("plain") << "+OK 3 1200" << true << 3 << 1200;
    QTest::newRow("tabs") << "+OK\t7\t\t88 octets" << true << 7 << 88;
    QTest::newRow("count only") << "+OK 3" << false << 0 << 0;
    QTest::newRow("count and blanks") << "+OK 3   " << false << 0 << 0;
    QTest::newRow("no numbers") << "+OK maildrop" << false << 0 << 0;
    QTest::newRow("saturates") << "+OK 99999999999 5" << true << INT_MAX << 5;
}

void TstReply::statReplies()
{
    QFETCH(QString, line);
    QFETCH(bool, ok);
    QFETCH(int, count);
    QFETCH(int, size);
    int c = 0, s = 0;
    QCOMPARE(reply::ParseStat(line, c, s), ok);
    QCOMPARE(c, count);
    QCOMPARE(s, size);
}

void TstReply::masking_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("masked");
    QTest::newRow("pass") << "PASS s3cret word" << "PASS ****";
    QTest::newRow("lower case") << "pass x" << "pass ****";
    QTest::newRow("auth plain") << "AUTH PLAIN AGFsaWNlAHMzY3JldA==" << "AUTH PLAIN ****";
    QTest::newRow("auth alone") << "AUTH LOGIN" << "AUTH LOGIN";
    QTest::newRow("user kept") << "USER alice" << "USER alice";
    QTest::newRow("passage in a body") << "PASSAGE" << "PASSAGE";
}

void TstReply::masking()
{
    QFETCH(QString, line);
    QFETCH(QString, masked);
    QCOMPARE(netlog::Masked(line), masked);
}

void TstReply::ehloReplies_data()
{
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<qint64>("size");
    QTest::addColumn<QStringList>("auth");
    QTest::addColumn<bool>("pipelining");
    QTest::addColumn<bool>("startTls");
    QTest::newRow("a stock server") << QStringList{"250-mx.example Hello", "250-PIPELINING", "250-SIZE 10240000",
                                                   "250-STARTTLS", "250-AUTH PLAIN LOGIN", "250 8BITMIME"}
                                    << qint64(10240000) << QStringList{"PLAIN", "LOGIN"} << true << true;
    QTest::newRow("lower case, old AUTH= form") << QStringList{"250-hi", "250-pipelining", "250-auth=login cram-md5", "250 size"}
                                                << qint64(0) << QStringList{"LOGIN", "CRAM-MD5"} << true << false;
    QTest::newRow("greeting only") << QStringList{"250 hi PIPELINING"} << qint64(0) << QStringList{} << false << false;
    QTest::newRow("keyword inside a parameter") << QStringList{"250-hi", "250 XFOO PIPELINING"} << qint64(0) << QStringList{}
                                                << false << false;
}

void TstReply::ehloReplies()
{
    QFETCH(QStringList, lines);
    const TEhloReply r = reply::ParseEhlo(lines);
    QTEST(r.Size, "size");
    QTEST(r.AuthMechanisms, "auth");
    QTEST(r.Pipelining, "pipelining");
    QTEST(r.StartTls, "startTls");
    QCOMPARE(r.Extensions.size(), lines.size() - 1);
    QCOMPARE(r.Has(QStringLiteral("PIPELINING")), r.Pipelining);
}

QTEST_MAIN(TstReply)
#include "tst_reply.moc"
