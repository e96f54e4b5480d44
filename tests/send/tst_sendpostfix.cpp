// The send job against a real, private Postfix: its limits, its hang-ups and a cancel, then
// the rest sent again; every subscriber counted in the Maildirs exactly once.
#include "JobFixture.h"
#include "net/NetTest.h"
#include "support/MailPeers.h"

#include <QFile>
#include <QTest>
#include <QTimer>

namespace {

struct TPostfixJob : TJobFixture
{
    explicit TPostfixJob(quint16 port, bool pipelining = true)
    {
        client.SetPort(QString::number(port)); // no pauses: they have their own test
        // EHLO (a section of its own): PIPELINING is seen when Postfix offers it.
        TServerSettings section;
        section.Present = true;
        client.SetServerSettings(section);
        client.SetPipeliningAllowed(pipelining);
    }
    static QStringList Addresses(int n, int from = 0)
    {
        QStringList out;
        for (int i = from; i < from + n; ++i)
            out << QStringLiteral("reader%1@%2").arg(i).arg(TPostfixServer::Domain());
        return out;
    }
    TSendRequest Request(const QStringList& recipients)
    {
        TSendRequest rq;
        rq.Server = QStringLiteral("127.0.0.1");
        rq.Sender = QStringLiteral("news@sender.example"); // outside the domain: no bounce counts
        rq.HdrFrom = rq.Sender;
        rq.HdrTo = QStringLiteral("undisclosed-recipients:;");
        rq.HdrSubject = QStringLiteral("Issue 12");
        rq.Recipients = recipients;
        rq.BodyLines = {QStringLiteral("Dear reader,"), QStringLiteral(".a dotted line"), QStringLiteral("Bye")};
        rq.LogFolder = dir.path() + u'/';
        return rq;
    }
    // The addresses of the results with this outcome.
    QStringList With(TRecipientOutcome outcome) const
    {
        QStringList out;
        for (const TRecipientResult& r : job.Results())
            if (r.Outcome == outcome)
                out << r.Address;
        return out;
    }
    QStringList NotDelivered() const
    {
        QStringList out;
        for (const TRecipientResult& r : job.Results())
            if (r.Outcome != TRecipientOutcome::Delivered)
                out << r.Address;
        return out;
    }
};

// Each recipient's own message: the name its address has here.
void Personalise(TSendRequest& rq)
{
    rq.MessageFor = [to = rq.Recipients](int i) {
        const QString name = QStringLiteral("Reader Number %1").arg(i);
        return TMessageParts{name + QStringLiteral(" <") + to[i] + u'>', QStringLiteral("Issue 12 for ") + name,
                             QStringLiteral("iso-8859-1"), QString(),
                             {QStringLiteral("Dear ") + name + u',', QStringLiteral(".a dotted line")}};
    };
}

// Every recipient's one message carries its own name (as Personalise gives it).
void CheckOwnNames(TPostfixServer& server, const QStringList& to)
{
    for (qsizetype i = 0; i < to.size(); ++i) {
        const QList<QByteArray> got = server.Messages(to[i]);
        QCOMPARE(got.size(), 1);
        const QByteArray sent = TPostfixServer::AsSent(got[0]);
        const QByteArray name = "Reader Number " + QByteArray::number(i);
        QVERIFY2(sent.contains("\r\nTo: " + name + " <" + to[i].toLatin1() + ">\r\n"), sent.constData());
        QVERIFY2(sent.contains("\r\n\r\nDear " + name + ",\r\n.a dotted line\r\n"), sent.constData());
    }
}

// Every address of `expected` delivered exactly once, nobody else.
void CheckExactlyOnce(TPostfixServer& server, const QStringList& expected)
{
    QString error;
    QVERIFY2(server.WaitForQueueEmpty(60000, &error), qPrintable(error));
    const QMap<QString, int> got = server.Deliveries();
    QStringList wrong;
    for (const QString& a : expected)
        if (got.value(a) != 1)
            wrong << QStringLiteral("%1: %2").arg(a).arg(got.value(a));
    for (auto it = got.cbegin(); it != got.cend(); ++it)
        if (!expected.contains(it.key()))
            wrong << QStringLiteral("%1: %2 (not a recipient)").arg(it.key()).arg(it.value());
    QVERIFY2(wrong.isEmpty(), qPrintable(wrong.mid(0, 10).join(u'\n')));
}

} // namespace

class TestSendPostfix : public QObject
{
    Q_OBJECT
private slots:
    // A recipient limit: each transaction ends at the first 452 and the next carries the rest;
    // Postfix's "too many errors" hang-up is never reached. Pipelined and in lockstep.
    void recipientLimit_data()
    {
        QTest::addColumn<bool>("pipelining");
        QTest::addColumn<int>("limit");
        QTest::addColumn<int>("recipients");
        QTest::addColumn<int>("transactions");
        QTest::newRow("limit 100, pipelined") << true << 100 << 250 << 3;
        QTest::newRow("limit 100, lockstep") << false << 100 << 250 << 3;
        QTest::newRow("default limits, 2,370 subscribers") << true << 1000 << 2370 << 3;
    }
    void recipientLimit()
    {
        QFETCH(bool, pipelining);
        QFETCH(int, limit);
        QFETCH(int, recipients);
        QFETCH(int, transactions);
        TPostfixServer server;
        TPostfixServer::Options options;
        options.recipientLimit = limit;
        START_PEER(server, options);
        TPostfixJob f(server.Port(), pipelining);
        const QStringList to = TPostfixJob::Addresses(recipients);
        const TSendSummary s = f.job.Run(f.Request(to));
        QCOMPARE(int(s.End), int(TSendEnd::Sent));
        QCOMPARE(s.Delivered, recipients);
        QCOMPARE(s.Transactions, transactions);
        QCOMPARE(f.client.Pipelined(), pipelining);
        QVERIFY(!f.job.DialogueLog().join(u'\n').contains(QLatin1String("too many errors")));
        CheckExactlyOnce(server, to);
    }

    // Postfix hangs up ("421 ... too many errors") after a refused relay address: one new
    // connection carries on, and what the lost session had accepted arrives once.
    void hangUpAndReconnect()
    {
        TPostfixServer server;
        TPostfixServer::Options options;
        options.hardErrorLimit = 1;
        options.errorSleepSeconds = 0;
        START_PEER(server, options);
        TPostfixJob f(server.Port(), false);
        QStringList to = TPostfixJob::Addresses(2);
        to << QStringLiteral("someone@elsewhere.example") << TPostfixJob::Addresses(2, 2);
        const TSendSummary s = f.job.Run(f.Request(to));
        QVERIFY2(f.job.DialogueLog().join(u'\n').contains(QLatin1String("421 4.7.0")), qPrintable(f.job.DialogueLog().join(u'\n')));
        QCOMPARE(int(s.End), int(TSendEnd::Partial));
        QCOMPARE(s.Delivered, 4);
        QCOMPARE(f.With(TRecipientOutcome::Refused), QStringList{"someone@elsewhere.example"});
        CheckExactlyOnce(server, TPostfixJob::Addresses(4));
    }

    // A rate limit refuses the next MAIL FROM with 450 after one transaction: the first ones
    // are recorded as delivered, the rest as not sent.
    void rateLimitAfterOneTransaction()
    {
        TPostfixServer server;
        TPostfixServer::Options options;
        options.recipientLimit = 3;
        options.messageRateLimit = 1;
        START_PEER(server, options);
        TPostfixJob f(server.Port());
        const QStringList to = TPostfixJob::Addresses(7);
        const TSendSummary s = f.job.Run(f.Request(to));
        QCOMPARE(int(s.End), int(TSendEnd::Partial));
        QCOMPARE(s.Delivered, 3);
        QVERIFY2(s.Reason.startsWith(QLatin1String("450 4.7.1")), qPrintable(s.Reason));
        QCOMPARE(f.NotDelivered(), to.mid(3));
        CheckExactlyOnce(server, to.mid(0, 3));
    }

    // Cancel while a slow server answers recipients, then send again to who is left: everyone
    // has the newsletter once.
    void cancelThenSendAgain()
    {
        TPostfixServer server;
        TPostfixServer::Options options;
        options.recipientLimit = 2;
        options.rcptDelaySeconds = 1;
        START_PEER(server, options);
        TPostfixJob f(server.Port(), false);
        f.client.SetTimeOut(30);
        // Cancel once the second transaction has begun, while its first recipient is awaited.
        int mails = 0;
        f.onLine = [&](const QString& line) {
            if (line.startsWith(QLatin1String("> MAIL FROM:")) && ++mails == 2)
                QTimer::singleShot(200, [&] { f.job.Cancel(); });
        };
        const QStringList to = TPostfixJob::Addresses(6);
        const TSendSummary s = f.job.Run(f.Request(to));
        QCOMPARE(int(s.End), int(TSendEnd::Cancelled));
        QCOMPARE(s.Delivered, 2);
        const QStringList rest = f.NotDelivered();
        QCOMPARE(rest, to.mid(2));

        f.onLine = nullptr;
        const TSendSummary again = f.job.Run(f.Request(rest));
        QCOMPARE(int(again.End), int(TSendEnd::Sent));
        QCOMPARE(again.Delivered, 4);
        CheckExactlyOnce(server, to);
    }

    // One message per subscriber over one connection, pipelined: each arrives once, with
    // their own name.
    void personalised()
    {
        TPostfixServer server;
        START_PEER(server);
        TPostfixJob f(server.Port());
        const QStringList to = TPostfixJob::Addresses(150);
        TSendRequest rq = f.Request(to);
        Personalise(rq);
        const TSendSummary s = f.job.Run(rq);
        QVERIFY2(s.End == TSendEnd::Sent, qPrintable(s.Reason));
        QCOMPARE(s.Transactions, 150);
        QVERIFY(f.client.Pipelined());
        CheckExactlyOnce(server, to);
        CheckOwnNames(server, to);
    }

    // A paced send cancelled inside its hourly wait, then resumed by a new job and client (as
    // after a restart of the program) from the record: the record's messages still fill the
    // hour, so it waits first; everyone has their own message once and the record is gone.
    void pacedCancelThenResumeAfterRestart()
    {
        TPostfixServer server;
        START_PEER(server);
        const QStringList to = TPostfixJob::Addresses(5);
        QTemporaryDir folder;
        const QString record = folder.filePath(QStringLiteral("News send record.txt"));
        const auto request = [&](TPostfixJob& f, qint64 minuteMs) {
            TSendRequest rq = f.Request(to);
            Personalise(rq);
            rq.Pacing.Limits.MaxMessagesPerHour = 2;
            rq.Pacing.MinuteMs = minuteMs;
            rq.RecordFile = record;
            rq.RecordKey = QStringLiteral("issue-12");
            return rq;
        };
        {
            TPostfixJob f(server.Port());
            f.onWait = [&](const QString& text) {
                if (!text.isEmpty())
                    QTimer::singleShot(20, [&] { f.job.Cancel(); });
            };
            const TSendSummary s = f.job.Run(request(f, 60000)); // a real hour: only the cancel ends it
            QCOMPARE(int(s.End), int(TSendEnd::Cancelled));
            QCOMPARE(s.Delivered, 2);
            QVERIFY(QFile::exists(record));
        }
        TPostfixJob again(server.Port());
        QStringList waits;
        again.onWait = [&](const QString& text) {
            if (!text.isEmpty())
                waits << text;
        };
        const TSendSummary s = again.job.Run(request(again, 5)); // an hour of 300 ms
        QVERIFY2(s.End == TSendEnd::Sent, qPrintable(s.Reason));
        QCOMPARE(s.Transactions, 3);
        QVERIFY2(!waits.isEmpty() && waits.first().endsWith(QLatin1String("hourly limit (2 of 5 sent)")),
                 qPrintable(waits.join(u'\n')));
        QVERIFY(!QFile::exists(record));
        CheckExactlyOnce(server, to);
        CheckOwnNames(server, to);
    }

    // The greeting passes a server that wants a fully qualified HELO name.
    void fullyQualifiedGreeting()
    {
        TPostfixServer server;
        TPostfixServer::Options options;
        options.requireFqdnHelo = true;
        options.delayReject = false;
        START_PEER(server, options);
        TPostfixJob f(server.Port());
        const TSendSummary s = f.job.Run(f.Request(TPostfixJob::Addresses(2)));
        QVERIFY2(s.End == TSendEnd::Sent, qPrintable(s.Reason));
        CheckExactlyOnce(server, TPostfixJob::Addresses(2));
    }
};

QTEST_MAIN(TestSendPostfix)
#include "tst_sendpostfix.moc"
