// List maintenance rules over listed messages (no server: the deletions fail quietly), and
// reply, forward, save and print of the message shown.
#include "inbox/InboxHarness.h"
#include "support/TestUtil.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTest>
#include <QTextCursor>
#include <QToolButton>

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

class TestMailActions : public QObject
{
    Q_OBJECT
public:
    static void initMain() { qputenv("LC_ALL", "C"); }

private slots:
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
        QTest::newRow("exact address, case aside") << "7" << "" << "unsubscribe" << bob
                                                   << QStringList{"jimbob@example.org", "bob@example.org.au", "carol@example.org"}
                                                   << QByteArray("Bob  <bob@example.org>\r\nBob Two  <BOB@example.org>\r\n")
                                                   << QList<int>{} << "2 1";
        QTest::newRow("subject must be the key alone")
            << "7" << "" << "unsubscribe"
            << QList<TMsg>{{"bob@example.org", "n@x", "Re: unsubscribe"}, {"bob@example.org", "n@x", "unsubscribe now"}}
            << QStringList{"bob@example.org", "jimbob@example.org", "BOB@example.org", "bob@example.org.au", "carol@example.org"}
            << QByteArray() << QList<int>{1, 2} << "none";
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
            << QStringList{"bob@example.org", "jimbob@example.org", "BOB@example.org", "bob@example.org.au", "carol@example.org"}
            << QByteArray() << QList<int>{1, 2} << "none";
        QTest::newRow("sender not on the list: message deleted")
            << "7" << "" << "unsubscribe" << QList<TMsg>{{"zed@example.org", "n@x", "unsubscribe"}, {"a@b", "n@x", "hi"}}
            << QStringList{"bob@example.org", "jimbob@example.org", "BOB@example.org", "bob@example.org.au", "carol@example.org"}
            << QByteArray() << QList<int>{2} << "0 1";
        QTest::newRow("no key field chosen") << "5" << "leave@example.org" << "unsubscribe" << bob
                                             << QStringList{"bob@example.org", "jimbob@example.org", "BOB@example.org",
                                                            "bob@example.org.au", "carol@example.org"}
                                             << QByteArray() << QList<int>{1} << "none";
        QTest::newRow("empty key") << "7" << "" << "" << bob
                                   << QStringList{"bob@example.org", "jimbob@example.org", "BOB@example.org",
                                                  "bob@example.org.au", "carol@example.org"}
                                   << QByteArray() << QList<int>{1} << "none";
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
        TInboxHarness h;
        for (const auto& [email, name] : {std::pair{"bob@example.org", "Bob"}, {"jimbob@example.org", "Jim"},
                                          {"BOB@example.org", "Bob Two"}, {"bob@example.org.au", "Aussie"},
                                          {"carol@example.org", "Carol"}})
            h.Subscriber(QLatin1String(email), QLatin1String(name));
        MailListRecord* list = h.state.CurrentList;
        list->SetText(MailListRecord::Options, options);
        list->SetText(MailListRecord::ToKey, toKey);
        list->SetText(MailListRecord::SubjectKey, subjectKey);
        for (int i = 0; i < messages.size(); ++i)
            h.List(Raw(messages[i]), i + 1);
        h.state.AutoSaveLists = false;

        h.panel->MaintainBtnClick();
        QCOMPARE(h.Emails(), emailsLeft);
        QCOMPARE(testutil::readAll(h.panel->MaintenanceLogPath()), log);
        QVERIFY(QFileInfo::exists(h.panel->MaintenanceLogPath())); // created even when empty
        const QStringList n = counts == QLatin1String("none") ? QStringList{"0", "0"} : counts.split(u' ');
        QCOMPARE(h.shell.status, QStringLiteral("Status: Maintain deleted %1 addresses from list, and %2 mail messages from server.")
                                     .arg(n[0], n[1]));
        if (messagesLeft.isEmpty()) {
            // The last message went: the logout ran and waits for its QUIT tick.
            QVERIFY(h.panel->QuitTimer1()->isActive());
            QCOMPARE(h.Grid()->rowCount(), 1);
        } else {
            QCOMPARE(h.Numbers(), messagesLeft);
            QCOMPARE(h.Grid()->rowCount(), messagesLeft.size());
        }
        QVERIFY(h.inbox.DeleteQueue.isEmpty() || counts == QLatin1String("none"));
    }

    void maintenanceLogAndQueue()
    {
        TInboxHarness h;
        h.Subscriber(QStringLiteral("a@example.org"), QStringLiteral("A"));
        h.Subscriber(QStringLiteral("b@example.org"), QStringLiteral("B"));
        MailListRecord* list = h.state.CurrentList;
        list->SetText(MailListRecord::Options, QStringLiteral("7"));
        list->SetText(MailListRecord::SubjectKey, QStringLiteral("unsubscribe"));
        h.state.AutoSaveLists = false;

        // A run that removes and deletes nothing leaves the user's queued deletions alone.
        h.List(Raw({"x@example.org", "n@x", "hello"}), 7);
        h.inbox.DeleteQueue = QStringLiteral("7:");
        h.panel->ListMaintenance();
        QCOMPARE(h.inbox.DeleteQueue, QStringLiteral("7:"));

        // Two runs on one day share the log.
        h.List(Raw({"a@example.org", "n@x", "unsubscribe"}), 8);
        h.panel->ListMaintenance();
        QVERIFY(h.inbox.DeleteQueue.isEmpty()); // every queued number was sent
        h.List(Raw({"b@example.org", "n@x", "Unsubscribe"}), 9);
        h.panel->ListMaintenance();
        QCOMPARE(testutil::readAll(h.panel->MaintenanceLogPath()), QByteArray("A  <a@example.org>\r\nB  <b@example.org>\r\n"));
        QCOMPARE(QFileInfo(h.panel->MaintenanceLogPath()).fileName(),
                 QStringLiteral("Maintenance_") + QLocale(QLocale::English, QLocale::UnitedStates)
                                                      .toString(QDate::currentDate(), QStringLiteral("M-d-yy"))
                     + QStringLiteral(".txt"));
        QCOMPARE(QFileInfo(h.panel->MaintenanceLogPath()).absolutePath(), QFileInfo(h.CurrentPath()).absolutePath());
    }

    void maintenanceSavesTheListOnce()
    {
        TInboxHarness h;
        for (int i = 0; i < 50; ++i)
            h.Subscriber(QStringLiteral("s%1@example.org").arg(i), QStringLiteral("S%1").arg(i));
        MailListRecord* list = h.state.CurrentList;
        list->SetText(MailListRecord::Options, QStringLiteral("7"));
        list->SetText(MailListRecord::SubjectKey, QStringLiteral("unsubscribe"));
        for (int i = 0; i < 5; ++i)
            h.List(Raw({QStringLiteral("s%1@example.org").arg(i * 3).toLatin1(), "n@x", "unsubscribe"}), i + 1);
        h.List(Raw({"keep@example.org", "n@x", "hello"}), 6);
        h.state.AutoSaveLists = true;
        h.shell.statusHistory.clear();
        h.panel->ListMaintenance();
        QCOMPARE(h.shell.statusHistory.count(QStringLiteral("Status: Saving list...")), 1);
        QCOMPARE(h.state.ListEntries.Count(), 45);
        QCOMPARE(TListsHarness::FileEmails(h.CurrentPath()), h.Emails());
    }

    void maintenanceLogCannotBeOpened()
    {
        TInboxHarness h;
        h.Subscriber(QStringLiteral("a@example.org"), QStringLiteral("A"));
        h.state.CurrentList->SetText(MailListRecord::Options, QStringLiteral("7"));
        h.state.CurrentList->SetText(MailListRecord::SubjectKey, QStringLiteral("unsubscribe"));
        h.List(Raw({"a@example.org", "n@x", "unsubscribe"}), 1);
        QVERIFY(QDir().mkpath(h.panel->MaintenanceLogPath())); // a folder where the log should be
        h.panel->ListMaintenance();
        QCOMPARE(h.dialogs.messages.size(), 1);
        QVERIFY(h.dialogs.texts().first().startsWith(QStringLiteral("Could not open the maintenance log ")));
        QCOMPARE(h.Emails(), QStringList{"a@example.org"});
        QCOMPARE(h.Numbers(), QList<int>{1});
    }

    void reply_data()
    {
        QTest::addColumn<QByteArray>("message");
        QTest::addColumn<bool>("selectAll");
        QTest::addColumn<QString>("subject");
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("letterStart");

        QTest::newRow("reply-to wins") << QByteArray("Reply-To: list@example.org\r\nFrom: bob@example.org\r\nSubject: news\r\n\r\nhi\r\n")
                                       << false << "Re: news" << "list@example.org" << "";
        QTest::newRow("display name") << QByteArray("From: Bob Smith <bob@example.org>\r\nSubject: Re: news\r\n\r\nhi\r\n")
                                      << false << "Re: Re: news" << "bob@example.org" << "";
        QTest::newRow("comment") << QByteArray("From: bob@example.org (Bob)\r\nSubject: s\r\n\r\nhi\r\n") << false << "Re: s"
                                 << "bob@example.org" << "";
        QTest::newRow("late reply-to unseen")
            << QByteArray("From: bob@example.org\r\nSubject: s\r\nReply-To: late@example.org\r\n\r\nhi\r\n") << false << "Re: s"
            << "bob@example.org" << "";
        QTest::newRow("no date, whole message quoted")
            << QByteArray("From: bob@example.org\r\nSubject: s\r\n\r\nhi\r\n") << true << "Re: s" << "bob@example.org"
            << "In a message dated , you wrote:\n\n<<From: bob@example.org\nSubject: s\n\nhi\n\n\n"
               "__________________________________________________\nFrom: bob@example.org\nSubject: s\n>>";
        QTest::newRow("dated, encoded subject")
            << QByteArray("Date: Mon, 7 Dec 2026\r\nFrom: bob@example.org\r\nSubject: =?utf-8?Q?Gr=C3=BC=C3=9Fe?=\r\n\r\nhi\r\n")
            << true << QStringLiteral("Re: Gr\u00fc\u00dfe") << "bob@example.org" << "In a message dated Mon, 7 Dec 2026, you wrote:\n\n<<";
        QTest::newRow("a character split over two encoded words")
            << QByteArray("From: bob@example.org\r\nSubject: =?UTF-8?B?UsM=?= =?UTF-8?B?vGNrYmxpY2s=?=\r\n\r\nhi\r\n")
            << false << QStringLiteral("Re: R\u00fcckblick") << "bob@example.org" << "";
        QTest::newRow("raw UTF-8 subject")
            << QByteArray("From: Zo\xc3\xab <zoe@example.org>\r\nSubject: Caf\xc3\xa9\r\n\r\nhi\r\n") << false
            << QStringLiteral("Re: Caf\u00e9") << "zoe@example.org" << "";
        QTest::newRow("nothing") << QByteArray("X-A: 1\r\n\r\nhi\r\n") << false << "Re: " << "" << "";
    }
    void reply()
    {
        QFETCH(QByteArray, message);
        QFETCH(bool, selectAll);
        QFETCH(QString, subject);
        QFETCH(QString, address);
        QFETCH(QString, letterStart);
        TInboxHarness h;
        h.letter->setPlainText(QStringLiteral("old text"));
        h.List(message, 1);
        h.Read(0);
        if (selectAll)
            h.panel->MessageRE()->selectAll();
        h.panel->ReplyBtnClick();
        QCOMPARE(h.subject->text(), subject);
        QCOMPARE(h.replyAddresses, QStringList{address});
        QCOMPARE(h.newsletterOpened, 1);
        QVERIFY(h.shell.Action(QStringLiteral("InsertDate1"))->isEnabled());
        QVERIFY(h.shell.Action(QStringLiteral("InsertTime1"))->isEnabled());
        const QString letter = h.letter->toPlainText();
        if (letterStart.isEmpty())
            QVERIFY(letter.isEmpty());
        else
            QVERIFY2(letter.startsWith(letterStart), qPrintable(letter));
        if (selectAll)
            QVERIFY(letter.endsWith(QStringLiteral(">>")));
        // Replying again adds a second address line.
        h.panel->ReplyBtnClick();
        QCOMPARE(h.replyAddresses.size(), 2);
    }

    void forward()
    {
        TInboxHarness h;
        h.List("From: bob@example.org\r\nSubject: Fwd: news\r\n\r\nhi\r\n", 1);
        h.Read(0);
        h.letter->setPlainText(QStringLiteral("old"));
        h.panel->ForwardBtnClick();
        QCOMPARE(h.subject->text(), QStringLiteral("Fwd: Fwd: news"));
        QCOMPARE(h.letter->toPlainText(), QStringLiteral("\n") + mailtext::Separator() + QStringLiteral("\n\n")
                                              + h.panel->MessageRE()->toPlainText());
        QCOMPARE(h.letter->textCursor().position(), 0);
        QCOMPARE(h.newsletterOpened, 1);
        QVERIFY(h.replyAddresses.isEmpty());
    }

    void save()
    {
        TInboxHarness h;
        h.List("From: bob@example.org\r\nSubject: a/b: c?\r\n\r\ncaf\xe9\r\n", 1);
        h.Read(0);
        h.dialogs.saveFiles.enqueue(QString()); // cancelled
        h.panel->SaveMailBtnClick();
        QCOMPARE(h.dialogs.saveRequests.last().fileName, QStringLiteral("ab c"));
        const QString path = h.Home() + QStringLiteral("saved.txt");
        h.Write(QStringLiteral("saved.txt"), "old content that is longer than the message");
        h.dialogs.saveFiles.enqueue(path);
        h.panel->SaveMailBtnClick();
        QCOMPARE(testutil::readAll(path), QByteArray("From: bob@example.org\r\nSubject: a/b: c?\r\n\r\ncaf\xe9\r\n\r\n\r\n")
                                              + QByteArray(50, '_') + "\r\nFrom: bob@example.org\r\nSubject: a/b: c?\r\n\r\n");
        // A folder that does not exist: the error box, no file.
        h.dialogs.saveFiles.enqueue(h.Home() + QStringLiteral("missing/x.txt"));
        h.panel->SaveMailBtnClick();
        QVERIFY(h.dialogs.texts().last().startsWith(QStringLiteral("Could not save the message to ")));
    }

    void print()
    {
        const QString pdftotext = QStandardPaths::findExecutable(QStringLiteral("pdftotext"));
        if (pdftotext.isEmpty()) {
            if (qEnvironmentVariableIsSet("CI") || qEnvironmentVariableIsSet("QUORVEL_REQUIRE_PEERS"))
                QFAIL("pdftotext missing");
            QSKIP("pdftotext missing");
        }
        TInboxHarness h;
        h.List("From: bob@example.org\r\nSubject: Printed news\r\n\r\nThe body line\r\n", 1);
        h.Read(0);
        h.panel->PrintMailBtnClick(); // dialog cancelled
        QCOMPARE(h.dialogs.printRequests, 1);
        const QString pdf = h.Home() + QStringLiteral("out.pdf");
        h.dialogs.printToPdf = pdf;
        h.panel->PrintMailBtnClick();
        QProcess p;
        p.start(pdftotext, {pdf, QStringLiteral("-")});
        QVERIFY(p.waitForFinished(30000));
        const QString text = QString::fromUtf8(p.readAllStandardOutput());
        QVERIFY2(text.contains(QStringLiteral("Printed news")), qPrintable(text));
        QVERIFY(text.contains(QStringLiteral("The body line")));
        QVERIFY(text.contains(QStringLiteral("From: bob@example.org")));
    }

    void buttonsFollowThePaneAndTheGrid()
    {
        TInboxHarness h;
        h.panel->NewMailButtonsUpdate();
        for (const char* n : {"DeleteMailBtn", "MaintainBtn", "CloseNewMailBtn", "ReplyBtn", "SaveMailBtn"})
            QVERIFY2(!h.panel->Button(QLatin1String(n))->isEnabled(), n);
        h.List("From: bob@example.org\r\nSubject: s\r\n\r\nhi\r\n", 1);
        h.panel->NewMailButtonsUpdate();
        for (const char* n : {"DeleteMailBtn", "MaintainBtn", "CloseNewMailBtn"})
            QVERIFY2(h.panel->Button(QLatin1String(n))->isEnabled(), n);
        h.Read(0);
        for (const char* n : {"ReplyBtn", "ForwardBtn", "SaveMailBtn", "PrintMailBtn"})
            QVERIFY2(h.panel->Button(QLatin1String(n))->isEnabled(), n);
        // A message without a Date or Subject is still a message.
        h.List("From: x@example.org\r\n\r\nhi\r\n", 2);
        h.Grid()->setCurrentCell(0, 0);
        h.panel->DeleteMailBtnClick();
        QCOMPARE(h.Numbers(), QList<int>{2});
        QVERIFY(h.panel->Button(QStringLiteral("DeleteMailBtn"))->isEnabled());
        QVERIFY(!h.panel->QuitTimer1()->isActive());
    }
};

QTEST_MAIN(TestMailActions)
#include "tst_mailactions.moc"
