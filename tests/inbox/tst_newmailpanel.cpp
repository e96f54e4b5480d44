// The New Mail panel over the mail check against a real Dovecot: what the window shows of it
// (the panel opening and closing, grid rows, buttons, the pane, the QUIT tick). What the check
// does is tested on the job itself (tst_mailcheckjob).
#include "inbox/CheckSamples.h"
#include "inbox/InboxHarness.h"
#include "support/TestUtil.h"

#include <QTest>
#include <QToolButton>

using namespace samples;

class TestNewMailPanel : public QObject
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
        TInboxHarness h;
        h.UseServer(server);
        h.frame->resize(24, 85); // collapsed: the check opens it
        h.shell.statusHistory.clear();
        h.shell.sounds.clear();
        h.panel->CheckMail1Click();

        QCOMPARE(h.toggles, 1);
        QCOMPARE(h.Grid()->rowCount(), 3);
        QCOMPARE(h.Row(0), (QStringList{"AliceExample<alice@example.org>", "Hello", "Mon, 7 Dec 2026 10:00:00 +0000"}));
        QCOMPARE(h.Row(1), (QStringList{"bob@example.org", "Second", "Tue, 8 Dec 2026 11:00:00 +0000"}));
        QCOMPARE(h.Row(2), (QStringList{"carol@example.org", "Third", "Wed, 9 Dec 2026 12:00:00 +0000"}));
        // The job's status lines reach the status bar.
        QCOMPARE(h.shell.statusHistory.first(), QStringLiteral("Status: Checking for new mail..."));
        QCOMPARE(h.shell.statusHistory.last(), QStringLiteral("Status: Successfully retrieved 3 messages."));
        QVERIFY(!h.shell.statusTimerRunning);
        QCOMPARE(h.shell.sounds, QStringList{}); // the toggle (the main window's) plays it
        QCOMPARE(h.Grid()->currentRow(), 0);

        // Buttons: listed mail can be deleted, maintained and closed; no second check now.
        for (const char* n : {"DeleteMailBtn", "MaintainBtn", "CloseNewMailBtn"})
            QVERIFY2(h.panel->Button(QLatin1String(n))->isEnabled(), n);
        QVERIFY(!h.panel->Button(QStringLiteral("ConnectBtn"))->isEnabled());
        QVERIFY(!h.panel->Button(QStringLiteral("ReplyBtn"))->isEnabled());
        h.shell.statusHistory.clear();
        h.panel->CheckMail1Click(); // a session is open: nothing
        QVERIFY(h.shell.statusHistory.isEmpty());

        // Closing collapses the panel; after the QUIT tick the grid is one empty row.
        h.panel->CloseNewMailBtnClick();
        QCOMPARE(h.toggles, 2);
        QVERIFY(h.Quit());
        QCOMPARE(h.Grid()->rowCount(), 1);
        QCOMPARE(h.Row(0), (QStringList{"", "", ""}));
        QVERIFY(h.panel->Button(QStringLiteral("ConnectBtn"))->isEnabled() || !h.lists->ListsLB()->currentItem());
    }

    void readAndClose_data()
    {
        QTest::addColumn<QString>("options");
        QTest::newRow("delete after reading") << "8";
        QTest::newRow("keep") << "";
    }
    void readAndClose()
    {
        QFETCH(QString, options);
        TDovecotServer server;
        AddThree(server);
        START_PEER(server);
        TInboxHarness h;
        h.UseServer(server, options);
        h.panel->CheckMail1Click();
        h.Read(1);
        QCOMPARE(h.shell.status, QStringLiteral("Status: Displaying message 2..."));
        const QString shown = h.panel->MessageRE()->toPlainText();
        QVERIFY(shown.startsWith(QStringLiteral("From: bob@example.org\n")));
        QVERIFY(shown.contains(QString(300, u'x') + QString(300, u'y') + u'\n'));
        for (const char* n : {"ReplyBtn", "ForwardBtn", "SaveMailBtn", "PrintMailBtn"})
            QVERIFY(h.panel->Button(QLatin1String(n))->isEnabled());
        QCOMPARE(h.inbox.DeleteQueue, options.isEmpty() ? QString() : QStringLiteral("2:"));
        h.panel->CloseNewMailBtnClick();
        QVERIFY(h.Quit());
        QVERIFY(h.panel->MessageRE()->toPlainText().isEmpty());
        QVERIFY(!h.panel->Button(QStringLiteral("ReplyBtn"))->isEnabled());
    }

    void deleteThenClose()
    {
        TDovecotServer server;
        AddThree(server);
        START_PEER(server);
        TInboxHarness h;
        h.UseServer(server);
        h.panel->CheckMail1Click();
        h.Read(0);
        h.panel->DeleteMailBtnClick();
        QCOMPARE(h.Grid()->rowCount(), 2);
        QCOMPARE(h.Row(0)[1], QStringLiteral("Second"));
        QVERIFY(h.panel->MessageRE()->toPlainText().isEmpty());
        h.panel->CloseNewMailBtnClick();
        QCOMPARE(h.toggles, 1);
        QVERIFY(h.Quit());
    }

    void deletingTheOnlyMessageLogsOut()
    {
        TDovecotServer server;
        server.AddMessage(kCarol);
        START_PEER(server);
        TInboxHarness h;
        h.UseServer(server);
        h.panel->CheckMail1Click();
        QCOMPARE(h.Grid()->rowCount(), 1);
        h.Grid()->setCurrentCell(0, 0);
        h.panel->DeleteMailBtnClick();
        QCOMPARE(h.Row(0), (QStringList{"", "", ""}));
        QVERIFY(!h.panel->Button(QStringLiteral("DeleteMailBtn"))->isEnabled());
        QCOMPARE(h.toggles, 1); // the logout closes the panel
        QVERIFY(h.panel->QuitTimer1()->isActive());
        QVERIFY(h.Quit());
    }

    void emptyMailbox()
    {
        TDovecotServer server;
        START_PEER(server);
        TInboxHarness h;
        h.UseServer(server);
        h.panel->CheckMail1Click();
        QCOMPARE(h.toggles, 1); // closed
        QVERIFY(h.panel->QuitTimer1()->isActive());
        QCOMPARE(h.panel->QuitTimer1()->interval(), 1000);
        QVERIFY(h.pop3.ProtocolState() != pop3Disconnected);
        QTRY_COMPARE_WITH_TIMEOUT(h.pop3.ProtocolState(), pop3Disconnected, 5000); // the real tick
    }

    void refusedPassword()
    {
        TDovecotServer server;
        server.AddMessage(kCarol);
        START_PEER(server);
        TInboxHarness h;
        h.UseServer(server, QString(), QStringLiteral("wrong"));
        h.panel->CheckMail1Click();
        QCOMPARE(h.toggles, 0); // the open panel stays for another try
        QVERIFY(h.Grid()->isEnabled());
        QVERIFY(h.panel->QuitTimer1()->isActive());
        QVERIFY(h.Quit());
        QVERIFY(h.shell.statusTimerRunning);
    }

    void unreachableServer()
    {
        TInboxHarness h;
        const quint16 port = mailpeers::FreePort();
        h.state.CurrentList->SetText(MailListRecord::PopServer, QStringLiteral("127.0.0.1:") + QString::number(port));
        h.panel->CheckMail1Click();
        QCOMPARE(h.toggles, 1); // the open panel closes
        QVERIFY(h.panel->Button(QStringLiteral("ConnectBtn"))->isEnabled() || !h.lists->ListsLB()->currentItem());
        QVERIFY(!h.panel->Button(QStringLiteral("CloseNewMailBtn"))->isEnabled());
        QVERIFY(h.panel->QuitTimer1()->isActive());
        QVERIFY(h.Quit());
    }

    void noListOrNoServer()
    {
        TInboxHarness none{QString()};
        none.panel->CheckMail1Click();
        QCOMPARE(none.dialogs.texts(),
                 QStringList{"Open a mail list first: mail is checked on the POP server of the open list."});
        TInboxHarness h;
        h.shell.statusHistory.clear();
        h.panel->CheckMail1Click();
        QCOMPARE(h.dialogs.texts(), QStringList{"You must specify a POP server to retrieve mail from."});
        QCOMPARE(h.popPageOpened, 1);
        QVERIFY(h.shell.statusHistory.isEmpty());
    }

    void mimeMessageShownReadably()
    {
        TDovecotServer server;
        server.AddMessage("From: =?utf-8?B?SsO8cmdlbg==?= <juergen@example.org>\r\n"
                          "Subject: =?utf-8?Q?Gr=C3=BC=C3=9Fe?=\r\n"
                          "Date: Mon, 7 Dec 2026\r\n"
                          "MIME-Version: 1.0\r\n"
                          "Content-Type: multipart/alternative; boundary=\"b\"\r\n"
                          "\r\n"
                          "--b\r\n"
                          "Content-Type: text/plain; charset=utf-8\r\n"
                          "Content-Transfer-Encoding: base64\r\n"
                          "\r\n"
                          "U2Now7ZuZSBHcsO8w59lCg==\r\n"
                          "--b\r\n"
                          "Content-Type: text/html; charset=utf-8\r\n"
                          "\r\n"
                          "<p>HTML</p>\r\n"
                          "--b--\r\n");
        START_PEER(server);
        TInboxHarness h;
        h.UseServer(server);
        h.panel->CheckMail1Click();
        QCOMPARE(h.Row(0)[0], QStringLiteral("J\u00fcrgen<juergen@example.org>"));
        QCOMPARE(h.Row(0)[1], QStringLiteral("Gr\u00fc\u00dfe"));
        h.Read(0);
        const QStringList shown = h.panel->MessageRE()->toPlainText().split(u'\n');
        QCOMPARE(shown.mid(0, 5), (QStringList{QStringLiteral("From: J\u00fcrgen <juergen@example.org>"),
                                               QStringLiteral("Subject: Gr\u00fc\u00dfe"), "Date: Mon, 7 Dec 2026", "",
                                               QStringLiteral("Sch\u00f6ne Gr\u00fc\u00dfe")}));
        QVERIFY(!shown.contains(QStringLiteral("<p>HTML</p>")));
    }

    // Attachments and a forwarded message: the whole message is kept beside the Inbox file, the
    // pane shows the forwarded text, and each attachment saves as it was sent.
    void attachmentsKeptAndSaved()
    {
        QByteArray pdf = "%PDF-1.4\n";
        for (int i = 0; pdf.size() < 300000; ++i)
            pdf += char((qint64(i) * 7919) % 256);
        QByteArray encoded;
        const QByteArray b64 = pdf.toBase64();
        for (qsizetype i = 0; i < b64.size(); i += 76)
            encoded += b64.mid(i, 76) + "\r\n";
        const QByteArray inner = "From: Carol <carol@example.org>\r\nTo: bob@example.org\r\nSubject: Original news\r\n"
                                 "Date: Sun, 6 Dec 2026 09:00:00 +0000\r\n\r\nThe forwarded text.\r\n";
        const QByteArray message = "From: bob@example.org\r\nTo: news@example.org\r\nSubject: Report\r\n"
                                   "Date: Mon, 7 Dec 2026\r\nMIME-Version: 1.0\r\n"
                                   "Content-Type: multipart/mixed; boundary=\"zz\"\r\n\r\n"
                                   "--zz\r\nContent-Type: text/plain; charset=us-ascii\r\n\r\nSee attached.\r\n"
                                   "--zz\r\nContent-Type: application/pdf; name=\"report.pdf\"\r\n"
                                   "Content-Disposition: attachment; filename=\"report.pdf\"\r\n"
                                   "Content-Transfer-Encoding: base64\r\n\r\n"
                                   + encoded + "--zz\r\nContent-Type: message/rfc822\r\n\r\n" + inner + "--zz--\r\n";
        TDovecotServer server;
        server.AddMessage(message);
        START_PEER(server);
        TInboxHarness h;
        h.UseServer(server);
        h.panel->CheckMail1Click();
        QCOMPARE(testutil::readAll(mailtext::WholeMessagePath(h.inbox.MailRecords[0].FileName)), server.Messages().value(0));

        h.Read(0);
        const QStringList shown = h.panel->MessageRE()->toPlainText().split(u'\n');
        QCOMPARE(shown.mid(4, 13), (QStringList{"", "See attached.", "", "---------- Forwarded message ----------",
                                                "From: Carol <carol@example.org>",
                                                "Date: Sun, 6 Dec 2026 09:00:00 +0000", "Subject: Original news",
                                                "To: bob@example.org", "", "The forwarded text.", "",
                                                "Attachment: report.pdf (application/pdf)",
                                                "Attachment: Original news.eml (message/rfc822)"}));
        QToolButton* save = h.panel->Button(QStringLiteral("SaveAttachmentBtn"));
        QVERIFY(save->isEnabled());

        const QString pdfPath = h.Home() + QStringLiteral("saved.pdf");
        h.dialogs.saveFiles.enqueue(pdfPath);
        h.panel->SaveAttachment(0);
        QCOMPARE(h.dialogs.saveRequests.last().fileName, QStringLiteral("report.pdf")); // the name proposed
        QCOMPARE(testutil::readAll(pdfPath), pdf);
        const QString emlPath = h.Home() + QStringLiteral("forwarded.eml");
        h.dialogs.saveFiles.enqueue(emlPath);
        h.panel->SaveAttachment(1);
        QVERIFY(testutil::readAll(emlPath).contains("Subject: Original news"));
        QVERIFY(testutil::readAll(emlPath).contains("The forwarded text."));

        // A message without attachments leaves the button off.
        h.panel->MessageRE()->clear();
        QVERIFY(!save->isEnabled());
    }

    void purgeInbox()
    {
        TInboxHarness h;
        for (int i = 0; i < 7; ++i)
            h.Write(QStringLiteral("Inbox/%1.txt").arg(i), "x");
        QDir().mkpath(h.Home() + QStringLiteral("Inbox/sub"));
        h.dialogs.answers.enqueue(TDialogService::mbNo);
        h.panel->PurgeInbox1Click();
        QCOMPARE(h.Entries(QStringLiteral("Inbox")).size(), 8);
        h.panel->PurgeInbox1Click();
        QCOMPARE(h.dialogs.texts().last(), QStringLiteral("Are you sure you want to purge the Inbox?"));
        QCOMPARE(h.shell.status, QStringLiteral("Status: Removed 7 files from the Inbox."));
        QCOMPARE(h.Entries(QStringLiteral("Inbox")), QStringList{"sub"});
    }

    // The maintenance after the check saves the list (automatic saving) and the grid keeps the
    // rows left.
    void automaticMaintenanceAfterTheCheck()
    {
        TDovecotServer server;
        server.AddMessage(Keyed("bob@example.org", "unsubscribe"));
        server.AddMessage(Keyed("eve@example.org", "Re: unsubscribe"));
        START_PEER(server);
        TInboxHarness h;
        h.Add(QStringLiteral("bob@example.org"), QStringLiteral("Bob"));
        h.Add(QStringLiteral("eve@example.org"), QStringLiteral("Eve"));
        h.UseServer(server, QStringLiteral("57"));
        h.state.CurrentList->SetText(MailListRecord::SubjectKey, QStringLiteral("unsubscribe"));
        h.state.AutoSaveLists = true;
        h.shell.statusHistory.clear();
        h.panel->CheckMail1Click();
        QCOMPARE(h.shell.statusHistory.count(QStringLiteral("Status: Saving list...")), 1);
        QCOMPARE(TListsHarness::FileEmails(h.CurrentPath()), QStringList{"eve@example.org"});
        QCOMPARE(h.Grid()->rowCount(), 1);
        QCOMPARE(h.Row(0)[1], QStringLiteral("Re: unsubscribe"));
    }
};

QTEST_MAIN(TestNewMailPanel)
#include "tst_newmailpanel.moc"
