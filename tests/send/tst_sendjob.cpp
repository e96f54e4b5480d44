// The send job without a window, against the scripted server: transactions that follow the
// server's limits, the record of who got the message, reconnecting, cancelling, pipelining, and
// the logs written at every ending.
#include "net/SmtpClient.h"
#include "net/Wait.h"
#include "send/SendJob.h"
#include "support/ScriptedServer.h"
#include "support/SmtpFixture.h"
#include "support/TestUtil.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {

using O = TRecipientOutcome;

struct TJobFixture : TSmtpFixture, TSendObserver
{
    TScriptedServer server;
    TSendJob job{client, *this};
    QTemporaryDir dir;
    QList<TSendPhase> phases;
    QList<qint64> recipientProgress;
    QMap<int, TRecipientResult> reported;

    TJobFixture() : TSmtpFixture(50) // a "second" of countdown is 50 ms here
    {
        client.SetPort(server.PortText());
    }
    void SendProgress(TSendPhase phase, qint64 done, qint64) override
    {
        if (phases.isEmpty() || phases.last() != phase)
            phases << phase;
        if (phase == TSendPhase::Recipients)
            recipientProgress << done;
    }
    void SendDialogue(const QString&) override {}
    void RecipientDone(int index, const TRecipientResult& r) override { reported[index] = r; }

    TSendRequest Request(int recipients)
    {
        TSendRequest rq;
        rq.Server = QStringLiteral("127.0.0.1");
        rq.Sender = QStringLiteral("news@example.com");
        rq.HdrFrom = rq.Sender;
        rq.HdrTo = QStringLiteral("readers@example.com");
        rq.HdrSubject = QStringLiteral("Issue 9");
        rq.Mailer = QStringLiteral("X-Mailer: test");
        for (int i = 0; i < recipients; ++i)
            rq.Recipients << QStringLiteral("r%1@example.org").arg(i);
        rq.BodyLines = {QStringLiteral("Hello"), QStringLiteral(".dot")};
        rq.LogFolder = dir.path() + u'/';
        return rq;
    }
    TScriptedServer& Greeted() { return server.Send("220 hi").Reply("250 hello"); }
    // MAIL FROM, then `accepted` recipients taken and the message.
    TScriptedServer& Taken(int accepted, const QByteArray& after = {})
    {
        server.Reply("250 sender ok");
        for (int i = 0; i < accepted; ++i)
            server.Reply("250 ok");
        if (!after.isEmpty())
            server.Reply(after);
        return server.Reply("354 go ahead").ExpectUntil(".").Send("250 queued");
    }
    QList<O> Outcomes() const
    {
        QList<O> out;
        for (const TRecipientResult& r : job.Results())
            out << r.Outcome;
        return out;
    }
    QList<int> TransactionsOf() const
    {
        QList<int> out;
        for (const TRecipientResult& r : job.Results())
            out << r.Transaction;
        return out;
    }
    int Count(const QByteArray& prefix) const
    {
        int n = 0;
        for (const QByteArray& l : server.Lines())
            n += l.startsWith(prefix) ? 1 : 0;
        return n;
    }
    QStringList Log() const
    {
        return QString::fromLatin1(testutil::readAll(dir.filePath(QStringLiteral("MailDialog.txt"))))
            .split(QStringLiteral("\r\n"));
    }
};

} // namespace

class TestSendJob : public QObject
{
    Q_OBJECT
private slots:
    // At the first 4xx to a RCPT the transaction takes no more recipients: the accepted ones
    // get the message and the next transaction carries the rest. No address is offered twice.
    void deferralEndsTheTransaction()
    {
        TJobFixture f;
        f.Greeted();
        f.Taken(2, "452 4.5.3 Error: too many recipients");
        f.Taken(2, "452 4.5.3 Error: too many recipients");
        f.Taken(1);
        f.server.Reply("221 bye");
        const TSendSummary s = f.job.Run(f.Request(5));
        QCOMPARE(int(s.End), int(TSendEnd::Sent));
        QCOMPARE(s.Delivered, 5);
        QCOMPARE(s.Transactions, 3);
        QCOMPARE(f.TransactionsOf(), (QList<int>{1, 1, 2, 2, 3}));
        // 5 recipients + the two deferred offered again: 7 RCPT commands, 3 messages.
        QCOMPARE(f.Count("RCPT TO:"), 7);
        QCOMPARE(f.Count("DATA"), 3);
        QCOMPARE(f.server.Connections(), 1);
        QVERIFY(f.server.Mismatches().isEmpty());
        QCOMPARE(f.reported.size(), 5);
        // The gauge counts answered recipients across all transactions, then the message.
        QCOMPARE(f.recipientProgress.last(), 5);
        QVERIFY(f.phases.contains(TSendPhase::Data));
        QVERIFY(f.Log().contains(QStringLiteral("Sent: 5 of 5 recipients in 3 transactions")));
    }

    // The server refuses the next MAIL FROM (a rate limit): who got the first message is known,
    // the rest were never offered, and the log names each of them.
    void mailFromRefusedAfterOneTransaction()
    {
        TJobFixture f;
        f.Greeted();
        f.Taken(2, "452 4.5.3 Error: too many recipients");
        f.server.Reply("450 4.7.1 Error: too much mail from 127.0.0.1").Reply("221 bye");
        const TSendSummary s = f.job.Run(f.Request(4));
        QCOMPARE(int(s.End), int(TSendEnd::Partial));
        QCOMPARE(s.Delivered, 2);
        QCOMPARE(s.Reason, QStringLiteral("450 4.7.1 Error: too much mail from 127.0.0.1"));
        QCOMPARE(f.Outcomes(), (QList<O>{O::Delivered, O::Delivered, O::NotAttempted, O::NotAttempted}));
        const QStringList log = f.Log();
        QVERIFY(log.contains(QStringLiteral("Not sent: r2@example.org - not attempted: 452 4.5.3 Error: too many recipients")));
        QVERIFY(log.contains(QStringLiteral("Not sent: r3@example.org - not attempted")));
        QVERIFY(log.contains(QStringLiteral("Ended: 450 4.7.1 Error: too much mail from 127.0.0.1")));
    }

    // The server hangs up mid-send (421, or a drop): one new connection carries on with who is
    // left; what the lost transaction had accepted is offered again, what was delivered is not.
    void reconnectOnceAfterALoss_data()
    {
        QTest::addColumn<bool>("announced");
        QTest::newRow("421") << true;
        QTest::newRow("dropped") << false;
    }
    void reconnectOnceAfterALoss()
    {
        QFETCH(bool, announced);
        TJobFixture f;
        f.Greeted();
        f.Taken(1, "452 4.5.3 Error: too many recipients");
        f.server.Reply("250 sender ok").Reply("250 ok");
        if (announced)
            f.server.Reply("421 4.7.0 Error: too many errors");
        else
            f.server.Expect();
        f.server.Close();
        f.Greeted();
        f.Taken(2);
        f.server.Reply("221 bye");
        const TSendSummary s = f.job.Run(f.Request(3));
        QCOMPARE(int(s.End), int(TSendEnd::Sent));
        QCOMPARE(f.TransactionsOf(), (QList<int>{1, 2, 2}));
        QCOMPARE(f.server.Connections(), 2);
        QVERIFY(f.server.Mismatches().isEmpty());
    }

    // A second loss without a delivered transaction in between ends the send and says so.
    void secondLossEndsTheSend()
    {
        TJobFixture f;
        f.Greeted();
        f.server.Reply("250 sender ok").Reply("421 4.3.2 shutting down").Close();
        f.Greeted();
        f.server.Reply("250 sender ok").Reply("421 4.3.2 shutting down").Close();
        const TSendSummary s = f.job.Run(f.Request(2));
        QCOMPARE(int(s.End), int(TSendEnd::NothingSent));
        QCOMPARE(s.Reason, QStringLiteral("421 4.3.2 shutting down"));
        QCOMPARE(f.server.Connections(), 2);
        QCOMPARE(f.Outcomes(), (QList<O>{O::NotAttempted, O::NotAttempted}));
    }

    // Nothing could be sent: the first refusal explains it, not the server's answer to a DATA
    // with no recipients (which is never sent).
    void firstRefusalExplains()
    {
        TJobFixture f;
        f.Greeted();
        f.server.Reply("250 sender ok")
            .Reply("504 5.5.2 <vm>: Helo command rejected: need fully-qualified hostname")
            .Reply("504 5.5.2 <vm>: Helo command rejected: need fully-qualified hostname")
            .Expect("RSET")
            .Send("250 reset")
            .Reply("221 bye");
        const TSendSummary s = f.job.Run(f.Request(2));
        QCOMPARE(int(s.End), int(TSendEnd::NothingSent));
        QCOMPARE(s.Reason, QStringLiteral("504 5.5.2 <vm>: Helo command rejected: need fully-qualified hostname"));
        QCOMPARE(f.Count("DATA"), 0);
        QCOMPARE(f.Outcomes(), (QList<O>{O::Refused, O::Refused}));
        QVERIFY(f.server.Mismatches().isEmpty());
    }

    void localRefusalExplains_data()
    {
        QTest::addColumn<bool>("personal");
        QTest::newRow("one message") << false;
        QTest::newRow("a message each") << true;
    }
    // A recipient the client itself refuses (typed with a name) is the reason too.
    void localRefusalExplains()
    {
        QFETCH(bool, personal);
        TJobFixture f;
        f.Greeted();
        f.server.Reply("250 sender ok").Expect("RSET").Send("250 reset").Reply("221 bye");
        TSendRequest rq = f.Request(0);
        rq.Recipients = {QStringLiteral("Ann Able <ann@example.org>")};
        if (personal)
            rq.MessageFor = [&rq](int) { return TMessageParts{rq.HdrTo, rq.HdrSubject, rq.CharSet, {}, rq.BodyLines}; };
        const TSendSummary s = f.job.Run(rq);
        QCOMPARE(int(s.End), int(TSendEnd::NothingSent));
        QCOMPARE(s.Reason, QStringLiteral("Recipient refused, not a plain address: Ann Able <ann@example.org>"));
        QCOMPARE(f.Outcomes(), QList<O>{O::Refused});
    }

    // A 550 still ends the whole send (nobody gets a message with a recipient the owner must fix).
    void rejectionEndsTheSend()
    {
        TJobFixture f;
        f.Greeted();
        f.server.Reply("250 sender ok").Reply("250 ok").Reply("550 5.1.1 No such user").Reply("221 bye");
        const TSendSummary s = f.job.Run(f.Request(3));
        QCOMPARE(int(s.End), int(TSendEnd::NothingSent));
        QCOMPARE(s.Reason, QStringLiteral("550 5.1.1 No such user"));
        QCOMPARE(f.Outcomes(), (QList<O>{O::NotAttempted, O::Refused, O::NotAttempted}));
        QCOMPARE(f.Count("DATA"), 0);
    }

    // The connection ends after the final "." and before its answer: the message may have
    // arrived, so those recipients are not sent again.
    void lostAfterTheMessageIsUnconfirmed()
    {
        TJobFixture f;
        f.Greeted();
        f.server.Reply("250 sender ok").Reply("250 ok").Reply("354 go ahead").ExpectUntil(".").Close();
        const TSendSummary s = f.job.Run(f.Request(1));
        QCOMPARE(int(s.End), int(TSendEnd::NothingSent));
        QCOMPARE(f.Outcomes(), (QList<O>{O::Unconfirmed}));
        QCOMPARE(f.server.Connections(), 1);
    }

    // Cancel while the server is slow to answer recipients: the send stops at once, the
    // transaction delivered before stays delivered, the log is written.
    void cancelDuringSlowRecipients()
    {
        TJobFixture f;
        f.client.SetTimeOut(30);
        f.Greeted();
        f.Taken(1, "452 4.5.3 Error: too many recipients");
        f.server.Reply("250 sender ok").Expect().Delay(5000).Send("250 ok");
        QElapsedTimer clock;
        QTimer::singleShot(300, [&] {
            clock.start();
            f.job.Cancel();
        });
        const TSendSummary s = f.job.Run(f.Request(3));
        QVERIFY(clock.isValid());
        QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(int(s.End), int(TSendEnd::Cancelled));
        QCOMPARE(s.Delivered, 1);
        QCOMPARE(f.Outcomes(), (QList<O>{O::Delivered, O::NotAttempted, O::NotAttempted}));
        QVERIFY(f.Log().contains(QStringLiteral("Ended: Send canceled.")));
    }

    // Every ending writes both logs, a connect failure included.
    void connectFailureWritesTheLogs()
    {
        TJobFixture f;
        f.client.SetPort(QString::number(1)); // nobody listens there
        const TSendSummary s = f.job.Run(f.Request(2));
        QCOMPARE(int(s.End), int(TSendEnd::NothingSent));
        QVERIFY(!s.Connected);
        QVERIFY(!s.Reason.isEmpty());
        QVERIFY(f.Log().contains(QStringLiteral("Sent: 0 of 2 recipients in 0 transactions")));
        QVERIFY(QFile::exists(f.dir.filePath(QStringLiteral("Timeout.txt"))));
    }

    // With PIPELINING offered, the recipients of a group go out before any reply is read (the
    // script reads all of them first, so a client in lockstep would stall); the replies keep
    // their per-recipient meaning, and one accepted after another's 452 is in the envelope.
    void pipelinedGroup()
    {
        TJobFixture f;
        TServerSettings section;
        section.Present = true;
        f.client.SetServerSettings(section);
        f.client.SetTimeOut(3);
        f.server.Send("220 hi").Expect().Send("250-hello").Send("250-PIPELINING").Send("250 SIZE 1000000");
        f.server.Reply("250 sender ok").Expect(3).Send("250 ok").Send("452 4.5.3 Error: too many recipients").Send("250 ok");
        f.server.Reply("354 go ahead").ExpectUntil(".").Send("250 queued");
        f.server.Reply("250 sender ok").Expect(1).Send("250 ok");
        f.server.Reply("354 go ahead").ExpectUntil(".").Send("250 queued").Reply("221 bye");
        const TSendSummary s = f.job.Run(f.Request(3));
        QVERIFY(f.client.Pipelined());
        QCOMPARE(int(s.End), int(TSendEnd::Sent));
        QCOMPARE(f.TransactionsOf(), (QList<int>{1, 2, 1}));
        QCOMPARE(f.Count("RCPT TO:"), 4);
    }

    // Without PIPELINING the dialogue is the lockstep one, line for line, and the greeting
    // names the host as servers that check it want: fully qualified, or an address literal.
    void lockstepWithoutPipelining()
    {
        TJobFixture f;
        f.server.Send("220 hi").Expect().Send("250 hello");
        f.server.Expect("MAIL FROM:<news@example.com>").Send("250 sender ok");
        f.server.Expect("RCPT TO:<r0@example.org>").Send("250 ok").Expect("RCPT TO:<r1@example.org>").Send("250 ok");
        f.server.Expect("DATA").Send("354 go ahead").ExpectUntil(".").Send("250 queued");
        f.server.Expect("QUIT").Send("221 bye");
        const TSendSummary s = f.job.Run(f.Request(2));
        QCOMPARE(int(s.End), int(TSendEnd::Sent));
        QVERIFY(!f.client.Pipelined());
        QVERIFY(f.server.Mismatches().isEmpty());
        const QString helo = QString::fromLatin1(f.server.Lines().value(0));
        static const QRegularExpression named(QStringLiteral("^HELO ([A-Za-z0-9-]+\\.)+[A-Za-z0-9-]+$|^HELO \\[\\d+(\\.\\d+){3}\\]$"));
        QVERIFY2(named.match(helo).hasMatch(), qPrintable(helo));
    }
};

QTEST_MAIN(TestSendJob)
#include "tst_sendjob.moc"
