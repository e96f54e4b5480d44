// The mail check job against a real Dovecot, with no window: records, status lines in order,
// Inbox files, deleting, logout, failures, and the maintenance after the check.
#include "inbox/BounceSamples.h"
#include "inbox/CheckSamples.h"
#include "inbox/JobHarness.h"
#include "support/TestUtil.h"

#include <QDate>
#include <QFileInfo>
#include <QLocale>
#include <QRegularExpression>
#include <QTest>

using namespace samples;

namespace {
struct TMsg
{
    QByteArray from, to, subject;
};

QByteArray Raw(const TMsg& m)
{
    return "From: " + m.from + "\r\nTo: " + m.to + "\r\nSubject: " + m.subject + "\r\nDate: Mon, 7 Dec 2026\r\n\r\nbody\r\n";
}
} // namespace

Q_DECLARE_METATYPE(QList<TMsg>)

class TestMailCheckJob : public QObject
{
    Q_OBJECT
public:
    static void initMain() { qputenv("LC_ALL", "C"); }

private slots:
    void checkThreeMessages()
    {
        TDovecotServer server;
        AddThree(server);
        START_PEER(server);
        TJobHarness h;
        h.UseServer(server);
        QCOMPARE(h.Check(), TCheckEnd::Listed);

        QCOMPARE(h.Numbers(), (QList<int>{1, 2, 3}));
        QCOMPARE(h.reports.added, 3);
        QCOMPARE(h.reports.listed, 1);
        const TMailRecord& alice = h.inbox.MailRecords[0];
        QCOMPARE((QStringList{alice.From, alice.Subject, alice.Date}),
                 (QStringList{"AliceExample<alice@example.org>", "Hello", "Mon, 7 Dec 2026 10:00:00 +0000"}));
        QCOMPARE(h.Subjects(), (QStringList{"Hello", "Second", "Third"}));
        QCOMPARE(h.inbox.MailRecords[1].From, QStringLiteral("bob@example.org"));
        QCOMPARE(h.inbox.MailRecords[2].Date, QStringLiteral("Wed, 9 Dec 2026 12:00:00 +0000"));
        const QString host = QStringLiteral("127.0.0.1");
        QStringList expected = {"Status: Checking for new mail...",
                                "Status: Connecting to host " + host + "...",
                                "Status: Connected to " + host,
                                "Status: Sending user information...",
                                "Status: User authorized...",
                                "Status: Sending user password...",
                                "Status: Password verified...",
                                "Status: 3 message on server"};
        for (int n = 1; n <= 3; ++n)
            expected << QStringLiteral("Status: Retrieving message %1...").arg(n) << QStringLiteral("Status: Message %1 retrieved.").arg(n);
        expected << "Status: Successfully retrieved 3 messages.";
        QCOMPARE(h.reports.statuses, expected);
        QCOMPARE(h.reports.steps.mid(0, 6), (QList<TPopStep>{TPopStep::Connect, TPopStep::User, TPopStep::Pass,
                                                              TPopStep::Stat, TPopStep::Uidl, TPopStep::Retr}));
        QVERIFY(h.reports.logouts.isEmpty()); // the session stays open for reading

        // Inbox files, byte for byte; beside each the whole message as the server holds it.
        QCOMPARE(QDir(h.Home() + QStringLiteral("Inbox")).entryList(QDir::Files).size(), 6);
        const QList<QByteArray> held = server.Messages();
        QCOMPARE(held.size(), 3);
        for (int i = 0; i < 3; ++i)
            QCOMPARE(testutil::readAll(mailtext::WholeMessagePath(h.inbox.MailRecords[i].FileName)), held[i]);
        const QByteArray sep = QByteArray(50, '_');
        QCOMPARE(testutil::readAll(h.inbox.MailRecords[0].FileName),
                 QByteArray("From: Alice Example <alice@example.org>\r\nTo: news@example.org\r\nSubject: Hello\r\n"
                            "Date: Mon, 7 Dec 2026 10:00:00 +0000\r\n\r\n"
                            "Line one\r\nTo: whom it may concern\r\n.hidden dot\r\n\r\n\r\n")
                     + sep + "\r\n" + kAlice.left(kAlice.indexOf("\r\n\r\n") + 4));
        QCOMPARE(testutil::readAll(h.inbox.MailRecords[1].FileName),
                 QByteArray("From: bob@example.org\r\nTo: news@example.org\r\nSubject: Second\r\n"
                            "Date: Tue, 8 Dec 2026 11:00:00 +0000\r\n\r\nBody two\r\n")
                     + QByteArray(300, 'x') + QByteArray(300, 'y') + "\r\n\r\n\r\n" + sep + "\r\n" + kBobHead);
        const QRegularExpression name(QStringLiteral("^\\d{1,2}-\\d{1,2}-\\d{1,2}_\\d{6}_3\\.txt$"));
        QVERIFY2(name.match(QFileInfo(h.inbox.MailRecords[2].FileName).fileName()).hasMatch(),
                 qPrintable(h.inbox.MailRecords[2].FileName));

        // A session is open: no second check.
        h.reports.statuses.clear();
        QVERIFY(!h.job.CanCheck());
        QCOMPARE(h.Check(), TCheckEnd::NotStarted);
        QVERIFY(h.reports.statuses.isEmpty());
        QCOMPARE(h.Numbers(), (QList<int>{1, 2, 3}));

        // Logging out without reading or deleting sends only QUIT: everything stays.
        h.job.Logout();
        QCOMPARE(h.reports.status, "Status: Logging out of host " + host + "...");
        QCOMPARE(h.reports.logouts, QList<bool>{true});
        QVERIFY(h.Quit());
        QCOMPARE(h.reports.status, QStringLiteral("Status:"));
        QVERIFY(h.inbox.MailRecords.isEmpty());
        QCOMPARE(server.Messages().size(), 3);
        QVERIFY(h.job.CanCheck());
    }

    void readAndLogout_data()
    {
        QTest::addColumn<QString>("options");
        QTest::addColumn<QStringList>("left");
        QTest::newRow("delete after reading") << "8" << QStringList{"Hello", "Third"};
        QTest::newRow("keep") << "" << QStringList{"Hello", "Second", "Third"};
    }
    void readAndLogout()
    {
        QFETCH(QString, options);
        QFETCH(QStringList, left);
        TDovecotServer server;
        AddThree(server);
        START_PEER(server);
        TJobHarness h;
        h.UseServer(server, options);
        h.Check();
        h.job.MarkRead(1);
        QCOMPARE(h.inbox.DeleteQueue, options.isEmpty() ? QString() : QStringLiteral("2:"));
        h.job.Logout();
        QVERIFY(h.Quit());
        QCOMPARE(Subjects(server.Messages()), left);
    }

    void deleteThenLogout()
    {
        TDovecotServer server;
        AddThree(server);
        START_PEER(server);
        TJobHarness h;
        h.UseServer(server);
        h.Check();
        h.job.Delete(0);
        QCOMPARE(h.Numbers(), (QList<int>{2, 3}));
        QCOMPARE(h.reports.removed, QList<int>{0});
        QCOMPARE(h.inbox.DeleteQueue, QStringLiteral("1:"));
        QVERIFY(h.reports.logouts.isEmpty());
        QCOMPARE(server.Messages().size(), 3); // nothing sent yet
        h.job.Logout();
        QVERIFY(h.inbox.DeleteQueue.isEmpty());
        QVERIFY(h.Quit());
        QCOMPARE(Subjects(server.Messages()), (QStringList{"Second", "Third"}));
    }

    void deletingTheOnlyMessageLogsOut()
    {
        TDovecotServer server;
        server.AddMessage(kCarol);
        START_PEER(server);
        TJobHarness h;
        h.UseServer(server);
        h.Check();
        h.job.Delete(0);
        QVERIFY(h.inbox.MailRecords.isEmpty());
        QVERIFY(h.reports.statuses.contains(QStringLiteral("Status: Deleting message 1...")));
        QVERIFY(h.reports.statuses.contains(QStringLiteral("Status: Message deleted.")));
        QCOMPARE(h.reports.logouts, QList<bool>{true});
        QVERIFY(h.Quit());
        QVERIFY(server.Messages().isEmpty());
    }

    void emptyMailbox()
    {
        TDovecotServer server;
        START_PEER(server);
        TJobHarness h;
        h.UseServer(server);
        QCOMPARE(h.Check(), TCheckEnd::NoMail);
        QCOMPARE(h.reports.status, QStringLiteral("Status: No mail on host 127.0.0.1. Logging out of server..."));
        QCOMPARE(h.reports.logouts, QList<bool>{true});
        QCOMPARE(h.reports.listed, 0);
        QVERIFY(h.pop3.ProtocolState() != pop3Disconnected); // until the QUIT tick
        QVERIFY(h.Quit());
        QCOMPARE(h.reports.status, QStringLiteral("Status:"));
    }

    void refusedPassword()
    {
        TDovecotServer server;
        server.AddMessage(kCarol);
        START_PEER(server);
        TJobHarness h;
        h.UseServer(server, QString(), QStringLiteral("wrong"));
        QCOMPARE(h.Check(), TCheckEnd::LoginFailed);
        QCOMPARE(h.reports.status,
                 QStringLiteral("Status: Username or password is not valid. Please correct and try again."));
        QCOMPARE(h.reports.logouts, QList<bool>{false}); // the panel stays for another try
        QVERIFY(h.inbox.MailRecords.isEmpty());
        QVERIFY(!h.job.Checking());
        QVERIFY(h.Quit());
        QCOMPARE(h.reports.status, QStringLiteral("Status:"));
        QCOMPARE(server.Messages().size(), 1);
    }

    void unreachableServer()
    {
        TJobHarness h;
        h.UsePort(mailpeers::FreePort());
        QCOMPARE(h.Check(), TCheckEnd::LoginFailed);
        QCOMPARE(h.reports.status, QStringLiteral("Status: Connect failed - -ERR Can't connect to host '127.0.0.1'"));
        QCOMPARE(h.reports.logouts, QList<bool>{true});
        QVERIFY(h.Quit());
    }

    // Automatic maintenance takes delivery failure reports too: a permanent failure for a
    // subscriber removes the subscriber and deletes the report; a delay, or a failure for an
    // address not on the list, removes nobody and stays; every report is logged.
    void bouncesInAutomaticMaintenance()
    {
        const QByteArray unknown = "550 5.1.1 <gone@example.com>: User unknown";
        TDovecotServer server;
        server.AddMessage(bounces::Dsn("gone@example.com", "failed", "5.1.1", unknown));
        server.AddMessage(bounces::Dsn("slow@example.com", "delayed", "4.4.1", "Connection timed out"));
        server.AddMessage(bounces::Exim("old@example.com"));
        server.AddMessage(bounces::Dsn("stranger@example.com", "failed", "5.1.1", "550 5.1.1 User unknown"));
        server.AddMessage(Keyed("bob@example.org", "unsubscribe"));
        START_PEER(server);
        TJobHarness h;
        for (const char* a : {"gone@example.com", "slow@example.com", "OLD@example.com", "bob@example.org", "keep@example.com"})
            h.Subscriber(QLatin1String(a), QStringLiteral("N"));
        h.UseServer(server, QStringLiteral("57"));
        h.List().SetText(MailListRecord::SubjectKey, QStringLiteral("unsubscribe"));
        h.Check();

        QCOMPARE(h.reports.status, QStringLiteral("Status: Maintain deleted 1 addresses from list, 2 bounced addresses, "
                                                  "and 3 mail messages from server."));
        QCOMPARE(h.Emails(), (QStringList{"slow@example.com", "keep@example.com"}));
        QCOMPARE(h.reports.entriesRemoved, 1);
        QCOMPARE(testutil::readAll(h.job.MaintenanceLogPath()),
                 "bounced: gone@example.com 5.1.1 " + unknown + "\r\n"
                 "bounced: slow@example.com 4.4.1 Connection timed out\r\n"
                 "bounced: old@example.com 5.1.1 host mail.example.com [192.0.2.25] SMTP error from remote mail server "
                 "after RCPT TO:<old@example.com>: 550 5.1.1 <old@example.com>: Recipient address rejected: User unknown\r\n"
                 "bounced: stranger@example.com 5.1.1 550 5.1.1 User unknown\r\n"
                 "N  <bob@example.org>\r\n");
        QCOMPARE(h.Numbers(), (QList<int>{2, 4}));
        h.job.Logout();
        QVERIFY(h.Quit());
        QCOMPARE(server.Messages().size(), 2);
        QVERIFY(server.Messages()[0].contains("slow@example.com"));
        QVERIFY(server.Messages()[1].contains("stranger@example.com"));
    }

    void automaticMaintenanceAfterTheCheck()
    {
        TDovecotServer server;
        server.AddMessage(Keyed("bob@example.org", " UnSubscribe "));
        server.AddMessage(Keyed("Dave Smith <dave@example.org>", "unsubscribe"));
        server.AddMessage(Keyed("com", "unsubscribe"));
        server.AddMessage(Keyed("eve@example.org", "Re: unsubscribe"));
        server.AddMessage(Keyed("eve@example.org", "unsubscribe me"));
        START_PEER(server);
        TJobHarness h;
        h.Subscriber(QStringLiteral("bob@example.org"), QStringLiteral("Bob"));
        h.Subscriber(QStringLiteral("jimbob@example.org"), QStringLiteral("Jim"));
        h.Subscriber(QStringLiteral("bob@example.org.au"), QStringLiteral("Aussie"));
        h.Subscriber(QStringLiteral("dave@example.org"), QStringLiteral("Dave"));
        h.Subscriber(QStringLiteral("eve@example.org"), QStringLiteral("Eve"));
        h.UseServer(server, QStringLiteral("57"));
        h.List().SetText(MailListRecord::SubjectKey, QStringLiteral("unsubscribe"));
        h.Check();

        QCOMPARE(h.reports.status,
                 QStringLiteral("Status: Maintain deleted 2 addresses from list, and 2 mail messages from server."));
        QCOMPARE(h.Emails(), (QStringList{"jimbob@example.org", "bob@example.org.au", "eve@example.org"}));
        QCOMPARE(h.reports.entriesRemoved, 1); // one save for the run
        QCOMPARE(testutil::readAll(h.job.MaintenanceLogPath()),
                 QByteArray("Bob  <bob@example.org>\r\nDave  <dave@example.org>\r\n"));
        QCOMPARE(h.Numbers(), (QList<int>{3, 4, 5})); // the keyed message without an address stays
        h.job.Logout();
        QVERIFY(h.Quit());
        QCOMPARE(Subjects(server.Messages()), (QStringList{"Re: unsubscribe", "unsubscribe", "unsubscribe me"}));
    }

    // The maintenance rules over listed messages, without a server (no session: the queue
    // is dropped).
    void maintenance_data()
    {
        QTest::addColumn<QString>("options");
        QTest::addColumn<QString>("toKey");
        QTest::addColumn<QString>("subjectKey");
        QTest::addColumn<QList<TMsg>>("messages");
        QTest::addColumn<QStringList>("emailsLeft");
        QTest::addColumn<QByteArray>("log");
        QTest::addColumn<QList<int>>("messagesLeft");
        QTest::addColumn<QString>("counts"); // removed, deleted

        const QList<TMsg> bob = {{"bob@example.org", "news@example.org", " UNSUBSCRIBE "}};
        const QStringList everyone = {"bob@example.org", "jimbob@example.org", "BOB@example.org", "bob@example.org.au",
                                      "carol@example.org"};
        QTest::newRow("exact address, case aside") << "7" << "" << "unsubscribe" << bob
                                                   << QStringList{"jimbob@example.org", "bob@example.org.au", "carol@example.org"}
                                                   << QByteArray("Bob  <bob@example.org>\r\nBob Two  <BOB@example.org>\r\n")
                                                   << QList<int>{} << "2 1";
        QTest::newRow("subject must be the key alone")
            << "7" << "" << "unsubscribe"
            << QList<TMsg>{{"bob@example.org", "n@x", "Re: unsubscribe"}, {"bob@example.org", "n@x", "unsubscribe now"}}
            << everyone << QByteArray() << QList<int>{1, 2} << "none";
        QTest::newRow("to key, display-name sender")
            << "6" << "leave@example.org" << ""
            << QList<TMsg>{{"Carol Jones <carol@example.org>", "Leave @Example.org", "bye"},
                           {"jimbob@example.org", "news@example.org", "bye"}}
            << QStringList{"bob@example.org", "jimbob@example.org", "BOB@example.org", "bob@example.org.au"}
            << QByteArray("Carol  <carol@example.org>\r\n") << QList<int>{2} << "1 1";
        QTest::newRow("two keyed messages in a row, both passes")
            << "67" << "leave@example.org" << "unsubscribe"
            << QList<TMsg>{{"carol@example.org", "leave@example.org", "x"},
                           {"jimbob@example.org", "n@x", "unsubscribe"},
                           {"bob@example.org.au", "n@x", "unsubscribe"},
                           {"dan@example.org", "n@x", "keep"}}
            << QStringList{"bob@example.org", "BOB@example.org"}
            << QByteArray("Carol  <carol@example.org>\r\nJim  <jimbob@example.org>\r\nAussie  <bob@example.org.au>\r\n")
            << QList<int>{4} << "3 3";
        QTest::newRow("no address: the message stays")
            << "7" << "" << "unsubscribe"
            << QList<TMsg>{{"com", "n@x", "unsubscribe"}, {"", "n@x", "unsubscribe"}}
            << everyone << QByteArray() << QList<int>{1, 2} << "none";
        QTest::newRow("sender not on the list: message deleted")
            << "7" << "" << "unsubscribe" << QList<TMsg>{{"zed@example.org", "n@x", "unsubscribe"}, {"a@b", "n@x", "hi"}}
            << everyone << QByteArray() << QList<int>{2} << "0 1";
        QTest::newRow("no key field chosen") << "5" << "leave@example.org" << "unsubscribe" << bob << everyone
                                             << QByteArray() << QList<int>{1} << "none";
        QTest::newRow("empty key") << "7" << "" << "" << bob << everyone << QByteArray() << QList<int>{1} << "none";
    }
    void maintenance()
    {
        QFETCH(QString, options);
        QFETCH(QString, toKey);
        QFETCH(QString, subjectKey);
        QFETCH(QList<TMsg>, messages);
        QFETCH(QStringList, emailsLeft);
        QFETCH(QByteArray, log);
        QFETCH(QList<int>, messagesLeft);
        QFETCH(QString, counts);
        TJobHarness h;
        for (const auto& [email, name] : {std::pair{"bob@example.org", "Bob"}, {"jimbob@example.org", "Jim"},
                                          {"BOB@example.org", "Bob Two"}, {"bob@example.org.au", "Aussie"},
                                          {"carol@example.org", "Carol"}})
            h.Subscriber(QLatin1String(email), QLatin1String(name));
        MailListRecord* list = &h.List();
        list->SetText(MailListRecord::Options, options);
        list->SetText(MailListRecord::ToKey, toKey);
        list->SetText(MailListRecord::SubjectKey, subjectKey);
        for (int i = 0; i < messages.size(); ++i)
            h.ListMessage(Raw(messages[i]), i + 1);
        h.state.AutoSaveLists = false;

        h.job.Maintain();
        QCOMPARE(h.Emails(), emailsLeft);
        QCOMPARE(testutil::readAll(h.job.MaintenanceLogPath()), log);
        QVERIFY(QFileInfo::exists(h.job.MaintenanceLogPath())); // created even when empty
        const QStringList n = counts == QLatin1String("none") ? QStringList{"0", "0"} : counts.split(u' ');
        QCOMPARE(h.reports.status, QStringLiteral("Status: Maintain deleted %1 addresses from list, and %2 mail messages from server.")
                                     .arg(n[0], n[1]));
        if (messagesLeft.isEmpty()) {
            // The last message went: the logout ran and waits for its QUIT tick.
            QCOMPARE(h.reports.logouts, QList<bool>{true});
            QVERIFY(h.inbox.MailRecords.isEmpty());
        } else {
            QCOMPARE(h.Numbers(), messagesLeft);
            QVERIFY(h.reports.logouts.isEmpty());
        }
        QVERIFY(h.inbox.DeleteQueue.isEmpty() || counts == QLatin1String("none"));
    }

    void maintenanceLogAndQueue()
    {
        TJobHarness h;
        h.Subscriber(QStringLiteral("a@example.org"), QStringLiteral("A"));
        h.Subscriber(QStringLiteral("b@example.org"), QStringLiteral("B"));
        MailListRecord* list = &h.List();
        list->SetText(MailListRecord::Options, QStringLiteral("7"));
        list->SetText(MailListRecord::SubjectKey, QStringLiteral("unsubscribe"));
        h.state.AutoSaveLists = false;

        // A run that removes and deletes nothing leaves the user's queued deletions alone.
        h.ListMessage(Raw({"x@example.org", "n@x", "hello"}), 7);
        h.inbox.DeleteQueue = QStringLiteral("7:");
        h.job.Maintain();
        QCOMPARE(h.inbox.DeleteQueue, QStringLiteral("7:"));

        // Two runs on one day share the log.
        h.ListMessage(Raw({"a@example.org", "n@x", "unsubscribe"}), 8);
        h.job.Maintain();
        QVERIFY(h.inbox.DeleteQueue.isEmpty()); // every queued number was sent
        h.ListMessage(Raw({"b@example.org", "n@x", "Unsubscribe"}), 9);
        h.job.Maintain();
        QCOMPARE(testutil::readAll(h.job.MaintenanceLogPath()), QByteArray("A  <a@example.org>\r\nB  <b@example.org>\r\n"));
        QCOMPARE(QFileInfo(h.job.MaintenanceLogPath()).fileName(),
                 QStringLiteral("Maintenance_") + QLocale(QLocale::English, QLocale::UnitedStates)
                                                      .toString(QDate::currentDate(), QStringLiteral("M-d-yy"))
                     + QStringLiteral(".txt"));
        QCOMPARE(QFileInfo(h.job.MaintenanceLogPath()).absolutePath(), QFileInfo(h.List().Text(MailListRecord::FilePath)).absolutePath());
    }

    void maintenanceLogCannotBeOpened()
    {
        TJobHarness h;
        h.Subscriber(QStringLiteral("a@example.org"), QStringLiteral("A"));
        h.List().SetText(MailListRecord::Options, QStringLiteral("7"));
        h.List().SetText(MailListRecord::SubjectKey, QStringLiteral("unsubscribe"));
        h.ListMessage(Raw({"a@example.org", "n@x", "unsubscribe"}), 1);
        QVERIFY(QDir().mkpath(h.job.MaintenanceLogPath())); // a folder where the log should be
        h.job.Maintain();
        QCOMPARE(h.reports.errors.size(), 1);
        QVERIFY(h.reports.errors.first().startsWith(QStringLiteral("Could not open the maintenance log ")));
        QCOMPARE(h.Emails(), QStringList{"a@example.org"});
        QCOMPARE(h.Numbers(), QList<int>{1});
    }

    // Without the automatic option the check lists and leaves the list alone.
    void noMaintenanceWithoutTheOption()
    {
        TDovecotServer server;
        server.AddMessage(Keyed("bob@example.org", "unsubscribe"));
        START_PEER(server);
        TJobHarness h;
        h.Subscriber(QStringLiteral("bob@example.org"), QStringLiteral("Bob"));
        h.UseServer(server, QStringLiteral("7"));
        h.List().SetText(MailListRecord::SubjectKey, QStringLiteral("unsubscribe"));
        h.Check();
        QCOMPARE(h.reports.status, QStringLiteral("Status: Successfully retrieved 1 messages."));
        QCOMPARE(h.Emails(), QStringList{"bob@example.org"});
        QCOMPARE(h.Numbers(), QList<int>{1});
    }
};

QTEST_MAIN(TestMailCheckJob)
#include "tst_mailcheckjob.moc"
