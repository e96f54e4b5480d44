// The maintenance's one list save from the window, and reply, forward, save and print of the
// message shown. (The maintenance rules are tested on the mail check job.)
#include "inbox/CheckSamples.h"
#include "inbox/InboxHarness.h"
#include "support/Peers.h"
#include "support/TestUtil.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTest>
#include <QTextCursor>
#include <QToolButton>

using samples::Keyed;

class TestMailActions : public QObject
{
    Q_OBJECT
public:
    static void initMain() { qputenv("LC_ALL", "C"); }

private slots:
    void maintenanceSavesTheListOnce()
    {
        TInboxHarness h;
        for (int i = 0; i < 50; ++i)
            h.Subscriber(QStringLiteral("s%1@example.org").arg(i), QStringLiteral("S%1").arg(i));
        MailListRecord* list = h.state.CurrentList;
        list->SetText(MailListRecord::Options, QStringLiteral("7"));
        list->SetText(MailListRecord::SubjectKey, QStringLiteral("unsubscribe"));
        for (int i = 0; i < 5; ++i)
            h.List(Keyed(QStringLiteral("s%1@example.org").arg(i * 3).toLatin1(), "unsubscribe"), i + 1);
        h.List(Keyed("keep@example.org", "hello"), 6);
        h.state.AutoSaveLists = true;
        h.shell.statusHistory.clear();
        h.panel->ListMaintenance();
        QCOMPARE(h.shell.statusHistory.count(QStringLiteral("Status: Saving list...")), 1);
        QCOMPARE(h.state.ListEntries.Count(), 45);
        QCOMPARE(TListsHarness::FileEmails(h.CurrentPath()), h.Emails());
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
        REQUIRE_PEER(!pdftotext.isEmpty(), QStringLiteral("pdftotext missing"));
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
