// The send job's personalised and paced sends against the scripted server: one message per
// recipient over one connection, batches and waits by the server's limits, a cancel inside a
// wait, and the send record that a new job resumes from.
#include "JobFixture.h"

#include <QFile>
#include <QTest>
#include <QTimer>

using O = TRecipientOutcome;

class TestSendPersonal : public QObject
{
    Q_OBJECT
private slots:
    // Each recipient gets a message of its own: its own envelope, To, Subject, body, transfer
    // encoding and Message-ID, all over one connection.
    void oneMessageEachOverOneConnection()
    {
        TScriptedJob f;
        f.Greeted();
        f.Taken(1);
        f.Taken(1);
        f.Taken(1);
        f.Quit();
        const TSendSummary s = f.job.Run(f.Request(3, true));
        QCOMPARE(int(s.End), int(TSendEnd::Sent));
        QCOMPARE(s.Transactions, 3);
        QCOMPARE(f.server.Connections(), 1);
        QCOMPARE(f.LinesStarting("RCPT TO:"),
                 (QStringList{"RCPT TO:<r0@example.org>", "RCPT TO:<r1@example.org>", "RCPT TO:<r2@example.org>"}));
        QCOMPARE(f.LinesStarting("To: "), (QStringList{"To: Reader 0 <r0@example.org>", "To: Reader 1 <r1@example.org>",
                                                       "To: Reader 2 <r2@example.org>"}));
        QCOMPARE(f.LinesStarting("Subject: ").size(), 3);
        QCOMPARE(f.LinesStarting("Subject: ")[2], QStringLiteral("Subject: Issue 9 for Reader 2"));
        QCOMPARE(f.LinesStarting("Dear "), (QStringList{"Dear Reader 0,", "Dear Reader 1,", "Dear Reader 2,"}));
        QCOMPARE(f.LinesStarting("..dotted").size(), 3);
        // Only the second one's text needed an encoding.
        QCOMPARE(f.LinesStarting("Content-Transfer-Encoding:"), QStringList{"Content-Transfer-Encoding: quoted-printable"});
        QCOMPARE(f.LinesStarting("Content-Type:")[1], QStringLiteral("Content-Type: text/plain; charset=\"utf-8\""));
        const QStringList ids = f.LinesStarting("Message-ID:");
        QCOMPARE(ids.size(), 3);
        QVERIFY(ids[0] != ids[1] && ids[1] != ids[2]);
        QVERIFY(f.server.Mismatches().isEmpty());
        // The log holds the first message's text; of the others the commands and headers.
        const QStringList log = f.job.DialogueLog();
        QVERIFY(log.contains(QStringLiteral("> Dear Reader 0,")));
        QVERIFY(!log.contains(QStringLiteral("> Dear Reader 1,")));
        QVERIFY(log.contains(QStringLiteral("> To: Reader 2 <r2@example.org>")));
        QCOMPARE(log.count(QStringLiteral("> .")), 3);
    }

    // A refused recipient costs only its own message; a deferred one ends the send (the server
    // wants it later) and who is left is not attempted.
    void refusalAndDeferralOfOneMessage()
    {
        TScriptedJob f;
        f.Greeted();
        f.Taken(1);
        f.server.Reply("250 sender ok").Reply("553 5.1.3 bad address").Reply("250 reset");
        f.Taken(1);
        f.server.Reply("250 sender ok").Reply("451 4.3.0 try later").Reply("250 reset");
        f.Quit();
        const TSendSummary s = f.job.Run(f.Request(5, true));
        QCOMPARE(int(s.End), int(TSendEnd::Partial));
        QCOMPARE(f.Outcomes(), (QList<O>{O::Delivered, O::Refused, O::Delivered, O::NotAttempted, O::NotAttempted}));
        QVERIFY2(s.Reason.startsWith(QLatin1String("451")), qPrintable(s.Reason));
        QCOMPARE(f.job.Results()[3].Reply, QStringLiteral("451 4.3.0 try later"));
    }

    // Where the server pipelines, each message's MAIL, RCPT and DATA go out in one group (the
    // server reads all three before it answers); a refused recipient's DATA answer and the
    // RSET after it keep the dialogue in step, and a refused sender ends the send with its own
    // reply, not with the answers that follow from it.
    void envelopeInOneGroup()
    {
        TScriptedJob f;
        TServerSettings section;
        section.Present = true;
        f.client.SetServerSettings(section);
        f.server.Send("220 hi").Expect().Send("250-hello\r\n250 PIPELINING");
        f.server.Expect(3).Send("250 sender ok\r\n250 ok\r\n354 go ahead").ExpectUntil(".").Send("250 queued");
        f.server.Expect(3).Send("250 sender ok\r\n553 5.1.3 bad address\r\n554 5.5.1 no valid recipients");
        f.server.Expect("RSET").Send("250 reset");
        f.server.Expect(3).Send("250 sender ok\r\n250 ok\r\n354 go ahead").ExpectUntil(".").Send("250 queued");
        f.server.Expect(3).Send("450 4.7.1 slow down\r\n503 5.5.1 need MAIL\r\n503 5.5.1 need RCPT");
        f.Quit();
        const TSendSummary s = f.job.Run(f.Request(5, true));
        QCOMPARE(int(s.End), int(TSendEnd::Partial));
        QCOMPARE(f.Outcomes(),
                 (QList<O>{O::Delivered, O::Refused, O::Delivered, O::NotAttempted, O::NotAttempted}));
        QCOMPARE(s.Reason, QStringLiteral("450 4.7.1 slow down"));
        QVERIFY(f.client.Pipelined());
        QVERIFY(f.server.Mismatches().isEmpty());
        QCOMPARE(f.LinesStarting("Dear "), (QStringList{"Dear Reader 0,", "Dear Reader 2,"}));
        // The group is the job's choice for this send only.
        QVERIFY(!f.client.EnvelopeGroup());
    }

    // No personalisation: one message to everyone in one transaction, as always, even with the
    // client's recipient pause (which stays per hundred recipients of the send when split).
    void recipientsPerMessage()
    {
        TScriptedJob f;
        f.Greeted();
        f.Taken(2);
        f.Taken(2);
        f.Taken(1);
        f.Quit();
        TSendRequest rq = f.Request(5, false);
        rq.Pacing.Limits.MaxRecipientsPerMessage = 2;
        const TSendSummary s = f.job.Run(rq);
        QCOMPARE(int(s.End), int(TSendEnd::Sent));
        QCOMPARE(s.Transactions, 3);
        QCOMPARE(f.LinesStarting("RCPT TO:").size(), 5);
        // One message in several transactions: one Message-ID.
        const QStringList ids = f.LinesStarting("Message-ID:");
        QCOMPARE(ids.size(), 3);
        QCOMPARE(ids[0], ids[2]);
    }

    // The hourly limit: after two messages the job hangs up, shows the wait, and goes on over
    // a new connection when the hour (300 ms here) has moved on.
    void hourlyLimitWaits()
    {
        TScriptedJob f;
        f.Greeted();
        f.Taken(1);
        f.Taken(1);
        f.Quit();
        f.Greeted();
        f.Taken(1);
        f.Quit();
        TSendRequest rq = f.Request(3, true);
        rq.Pacing.Limits.MaxMessagesPerHour = 2;
        rq.Pacing.MinuteMs = 5;
        const TSendSummary s = f.job.Run(rq);
        QCOMPARE(int(s.End), int(TSendEnd::Sent));
        QCOMPARE(s.Delivered, 3);
        QCOMPARE(f.server.Connections(), 2);
        QVERIFY(!f.waits.isEmpty());
        QVERIFY2(f.waits.first().startsWith(QLatin1String("Waiting ")), qPrintable(f.waits.first()));
        QVERIFY2(f.waits.first().endsWith(QLatin1String(" min for the server's hourly limit (2 of 3 sent)")), qPrintable(f.waits.first()));
        QVERIFY(f.job.DialogueLog().contains(f.waits.first()));
        QVERIFY(f.server.Mismatches().isEmpty());
    }

    // The daily limit clips the message to the day's room, then waits for the day to move on.
    void dailyLimitSplitsAndWaits()
    {
        TScriptedJob f;
        f.Greeted();
        f.Taken(2);
        f.Taken(1);
        f.Quit();
        f.Greeted();
        f.Taken(2);
        f.Quit();
        TSendRequest rq = f.Request(5, false);
        rq.Pacing.Limits.MaxRecipientsPerMessage = 2;
        rq.Pacing.Limits.MaxRecipientsPerDay = 3;
        rq.Pacing.MinuteMs = 1; // a day is 1,440 ms
        const TSendSummary s = f.job.Run(rq);
        QCOMPARE(int(s.End), int(TSendEnd::Sent));
        QCOMPARE(s.Transactions, 3);
        QVERIFY(!f.waits.isEmpty());
        QVERIFY2(f.waits.first().contains(QLatin1String("daily limit (3 of 5 sent)")), qPrintable(f.waits.first()));
    }

    // Cancel inside a wait of a whole hour ends the send at once; the record keeps who got it,
    // and a new job (as after a restart of the program) sends only to the rest, then removes
    // the record. The hour still counts for the new job: it waits too.
    void cancelInWaitThenResumeFromRecord()
    {
        TScriptedJob f;
        const QString record = f.dir.filePath(QStringLiteral("News send record.txt"));
        TSendRequest rq = f.Request(3, true);
        rq.Pacing.Limits.MaxMessagesPerHour = 2;
        rq.Pacing.MinuteMs = 1000; // an hour of a minute: the test fails by waiting it out
        rq.RecordFile = record;
        rq.RecordKey = QStringLiteral("issue-9");
        {
            f.onWait = [&](const QString& text) {
                if (!text.isEmpty())
                    QTimer::singleShot(50, [&] { f.job.Cancel(); });
            };
            f.Greeted();
            f.Taken(1);
            f.Taken(1);
            f.Quit();
            const TSendSummary s = f.job.Run(rq);
            QCOMPARE(int(s.End), int(TSendEnd::Cancelled));
            QCOMPARE(s.Delivered, 2);
            QCOMPARE(f.server.Connections(), 1);
            QVERIFY(QFile::exists(record));
        }
        f.onWait = nullptr;
        f.waits.clear();
        // The new job: the hour's two messages are in the record, so the third waits for it
        // (shortened here by a new, faster minute).
        rq.Pacing.MinuteMs = 2;
        TSendJob fresh(f.client, f);
        f.Greeted();
        f.Taken(1);
        f.Quit();
        const TSendSummary s = fresh.Run(rq);
        QCOMPARE(int(s.End), int(TSendEnd::Sent));
        QCOMPARE(s.Delivered, 3);
        QCOMPARE(s.Transactions, 1);
        QCOMPARE(TJobFixture::OutcomesOf(fresh), (QList<O>{O::Delivered, O::Delivered, O::Delivered}));
        QCOMPARE(fresh.Results()[0].Transaction, 0);
        QCOMPARE(f.LinesStarting("RCPT TO:").last(), QStringLiteral("RCPT TO:<r2@example.org>"));
        QCOMPARE(f.LinesStarting("RCPT TO:").size(), 3);
        QVERIFY(!QFile::exists(record));
        QCOMPARE(f.server.Connections(), 2);
    }

    // A record naming everyone: the send is complete without a connection.
    void everyoneInTheRecord()
    {
        TScriptedJob f;
        const QString record = f.dir.filePath(QStringLiteral("r.txt"));
        QVERIFY(testutil::writeAll(record, "Quorvel send record\r\nNewsletter: issue-9\r\nSent: 1 2\r\n"
                                           "Delivered: R0@example.org\r\nDelivered: r1@example.org\r\n"));
        TSendRequest rq = f.Request(2, true);
        rq.RecordFile = record;
        rq.RecordKey = QStringLiteral("issue-9");
        const TSendSummary s = f.job.Run(rq);
        QCOMPARE(int(s.End), int(TSendEnd::Sent));
        QCOMPARE(s.Delivered, 2);
        QCOMPARE(f.server.Connections(), 0);
        QVERIFY(!QFile::exists(record));
    }

    // A record of another newsletter sends to everyone; a record that cannot be read stops the
    // send before connecting.
    void recordOfAnotherNewsletterOrUnreadable()
    {
        TScriptedJob f;
        const QString record = f.dir.filePath(QStringLiteral("r.txt"));
        QVERIFY(testutil::writeAll(record, "Quorvel send record\r\nNewsletter: issue-8\r\nSent: 1 1\r\nDelivered: r0@example.org\r\n"));
        f.Greeted();
        f.Taken(2);
        f.Quit();
        TSendRequest rq = f.Request(2, false);
        rq.RecordFile = record;
        rq.RecordKey = QStringLiteral("issue-9");
        QCOMPARE(int(f.job.Run(rq).End), int(TSendEnd::Sent));
        QCOMPARE(f.LinesStarting("RCPT TO:").size(), 2);

        QVERIFY(testutil::writeAll(record, "garbage\r\n"));
        const TSendSummary s = f.job.Run(rq);
        QCOMPARE(int(s.End), int(TSendEnd::NothingSent));
        QVERIFY(!s.Connected);
        QVERIFY2(s.Reason.contains(QLatin1String("no send record")), qPrintable(s.Reason));
        QCOMPARE(f.server.Connections(), 1);
    }
};

QTEST_MAIN(TestSendPersonal)
#include "tst_sendpersonal.moc"
