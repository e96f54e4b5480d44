// The send job without a window, against the scripted server and aiosmtpd: transactions that
// follow the server's limits, the record of who got the message, reconnecting, cancelling,
// timeouts, pipelining, and the logs written at every ending.
#include "JobFixture.h"
#include "support/MailPeers.h"
#include "support/Peers.h"

#include <QDir>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>

using O = TRecipientOutcome;

class TestSendJob : public QObject
{
    Q_OBJECT
private slots:
    // At the first 4xx to a RCPT the transaction takes no more recipients: the accepted ones
    // get the message and the next transaction carries the rest. No address is offered twice.
    void deferralEndsTheTransaction()
    {
        TScriptedJob f;
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
        QCOMPARE(f.LinesStarting("RCPT TO:").size(), 7);
        QCOMPARE(f.LinesStarting("DATA").size(), 3);
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
        TScriptedJob f;
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
        TScriptedJob f;
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
        TScriptedJob f;
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
        TScriptedJob f;
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
        QCOMPARE(f.LinesStarting("DATA").size(), 0);
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
        TScriptedJob f;
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
        TScriptedJob f;
        f.Greeted();
        f.server.Reply("250 sender ok").Reply("250 ok").Reply("550 5.1.1 No such user").Reply("221 bye");
        const TSendSummary s = f.job.Run(f.Request(3));
        QCOMPARE(int(s.End), int(TSendEnd::NothingSent));
        QCOMPARE(s.Reason, QStringLiteral("550 5.1.1 No such user"));
        QCOMPARE(f.Outcomes(), (QList<O>{O::NotAttempted, O::Refused, O::NotAttempted}));
        QCOMPARE(f.LinesStarting("DATA").size(), 0);
    }

    // The connection ends after the final "." and before its answer: the message may have
    // arrived, so those recipients are not sent again.
    void lostAfterTheMessageIsUnconfirmed()
    {
        TScriptedJob f;
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
        TScriptedJob f;
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
        TScriptedJob f;
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
        TScriptedJob f;
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
        QCOMPARE(f.LinesStarting("RCPT TO:").size(), 4);
    }

    // Without PIPELINING the dialogue is the lockstep one, line for line, and the greeting
    // names the host as servers that check it want: fully qualified, or an address literal.
    void lockstepWithoutPipelining()
    {
        TScriptedJob f;
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

    // A reply that does not come ends the send, recorded with the recipient line before it.
    void receiveTimeout()
    {
        TScriptedJob f;
        f.server.Send("220 ready").Reply("250 hello").Reply("250 sender ok").Expect().Stall();
        TSendRequest rq = f.Request(1);
        rq.TimeoutSec = 1;
        const TSendSummary s = f.job.Run(rq);
        QCOMPARE(int(s.End), int(TSendEnd::NothingSent));
        QCOMPARE(s.Reason, QStringLiteral("554 receive timeout"));
        const QStringList t = f.Log(QStringLiteral("Timeout.txt"));
        QCOMPARE(t.mid(3, 2), (QStringList{"> RCPT TO:<r0@example.org>", "< 554 receive timeout"}));
        QVERIFY(t[6].startsWith(QLatin1String("Finished: ")));
        QVERIFY(!f.server.Lines().contains("DATA"));
    }

    // Each send's logs replace the last one's, its dialogue from the greeting to QUIT; each
    // send's archive stays.
    void logsHoldTheLastSend()
    {
        TAiosmtpdServer server;
        START_PEER(server);
        TJobFixture f;
        f.client.SetPort(QString::number(server.Port()));
        TSendRequest rq = f.Request(1);
        rq.ArchiveFolder = f.dir.filePath(QStringLiteral("Sent Mail/"));
        QVERIFY(QDir().mkpath(rq.ArchiveFolder));
        rq.ArchiveText = QStringLiteral("Body");
        for (const char* subject : {"First", "Second"}) {
            rq.HdrSubject = rq.ArchiveSubject = QLatin1String(subject);
            QCOMPARE(int(f.job.Run(rq).End), int(TSendEnd::Sent));
        }
        const QStringList log = f.Log();
        QCOMPARE(log.mid(0, 1), QStringList{"SMTP Send Dialogue"});
        QVERIFY(log[1].startsWith(QLatin1String("Started: ")));
        QCOMPARE(log[2], QString());
        QCOMPARE(log[3], QStringLiteral("Connected with SMTP server"));
        QVERIFY(log.contains(QStringLiteral("> RCPT TO:<r0@example.org>")));
        QVERIFY(log.contains(QStringLiteral("> Subject: Second")));
        QVERIFY(!log.contains(QStringLiteral("> Subject: First")));
        QVERIFY(log.contains(QStringLiteral("> QUIT")));
        QCOMPARE(log.last(), QString());
        QVERIFY(log[log.size() - 2].startsWith(QLatin1String("Finished: ")));
        QCOMPARE(log[log.size() - 3], QString());
        const QStringList timeouts = f.Log(QStringLiteral("Timeout.txt"));
        QCOMPARE(timeouts.size(), 6);
        QCOMPARE(timeouts[0], QStringLiteral("SMTP Send Timeouts"));
        QVERIFY(timeouts[1].startsWith(QLatin1String("Started: ")));
        QVERIFY(timeouts[4].startsWith(QLatin1String("Finished: ")));
        QCOMPARE(QDir(rq.ArchiveFolder).entryList(QDir::Files), (QStringList{"First.txt", "Second.txt"}));
    }

    // Cancel while the message data goes out: the server keeps no message, nobody counts as
    // delivered, and the log says so.
    void cancelMidData()
    {
        TAiosmtpdServer server;
        START_PEER(server);
        TJobFixture f;
        f.client.SetPort(QString::number(server.Port()));
        TSendRequest rq = f.Request(2);
        rq.BodyLines.clear();
        for (int i = 0; i < 40000; ++i)
            rq.BodyLines << QStringLiteral("Line %1 of a long newsletter, long enough to take a while.").arg(i);
        f.onPhase = [&f](TSendPhase phase) {
            if (phase == TSendPhase::Data)
                QTimer::singleShot(0, [&f] { f.job.Cancel(); });
        };
        const TSendSummary s = f.job.Run(rq);
        QCOMPARE(int(s.End), int(TSendEnd::Cancelled));
        QCOMPARE(s.Delivered, 0);
        QCOMPARE(f.Outcomes(), (QList<O>{O::NotAttempted, O::NotAttempted}));
        QVERIFY(f.Log().contains(QStringLiteral("Ended: Send canceled.")));
        QTest::qWait(300);
        QCOMPARE(server.Messages().size(), 0);
    }
};

QTEST_MAIN(TestSendJob)
#include "tst_sendjob.moc"
