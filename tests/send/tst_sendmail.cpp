// Sending through the main window (offscreen) to real and scripted SMTP peers: the message as
// stored byte for byte, envelope, archive, logs, status texts, failures, and the digest panel.
#include "SendWindow.h"
#include "app/GeneralPropertiesPanel.h"
#include "lists/ListPanel.h"
#include "platform/IniFile.h"
#include "send/DigestPanel.h"
#include "send/MessageEncoding.h"
#include "support/MailPeers.h"
#include "support/Peers.h"
#include "support/ScriptedServer.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProcess>
#include <QProgressBar>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTest>
#include <QTimer>

namespace {
// The Date and Message-ID values vary; the rest of the message is compared byte for byte.
QByteArray Normalised(QByteArray message)
{
    static const QRegularExpression date(QStringLiteral("\r\nDate: (Sun|Mon|Tue|Wed|Thu|Fri|Sat), [1-9]\\d? [A-Z][a-z]{2} \\d{4} "
                                                        "\\d\\d:\\d\\d:\\d\\d [+-]\\d{4}\r\nMessage-ID: <[0-9a-z.]+@[a-z0-9.-]+>\r\n"));
    QString s = QString::fromLatin1(message);
    s.replace(date, QStringLiteral("\r\nDate: *\r\nMessage-ID: *\r\n"));
    return s.toLatin1();
}
} // namespace

class TestSendMail : public QObject, private TSendWindow
{
    Q_OBJECT
private:
    bool gaugeVisible() const { return m_form->findChild<QProgressBar*>(QStringLiteral("Gauge1"))->isVisible(); }
    bool cancelEnabled() { return m_form->Action(QStringLiteral("CancelSend1"))->isEnabled(); }

private slots:
    void init() { InitWindowHome(); }
    void cleanup() { ResetWindow(); }

    // The list page: the digest composition for several flag combinations, the header order,
    // the envelope, the To header and the archive.
    void listSendByteForByte_data()
    {
        QTest::addColumn<QString>("options");
        QTest::addColumn<QByteArray>("body");
        const QByteArray text = "Dear reader,\r\n.a line with a dot\r\nThe score was 250 to 550.\r\n\r\nBye\r\n";
        QTest::newRow("header, footer, signature, archive")
            << "1234" << "== Header ==\r\n\r\n" + text + "\r\n-- \r\nThe Editor\r\n\r\nFooter line 1\r\nFooter line 2\r\n\r\n";
        QTest::newRow("nothing extra") << "" << text + "\r\n";
        QTest::newRow("signature only") << "3" << text + "\r\n-- \r\nThe Editor\r\n\r\n";
        QTest::newRow("header and footer") << "12" << "== Header ==\r\n\r\n" + text + "\r\nFooter line 1\r\nFooter line 2\r\n\r\n";
    }
    void listSendByteForByte()
    {
        QFETCH(QString, options);
        QFETCH(QByteArray, body);
        TAiosmtpdServer server;
        START_PEER(server);
        makeList({options});
        start(server.Port());
        write(QStringLiteral("Issue 1"), QStringLiteral("Dear reader,\n.a line with a dot\nThe score was 250 to 550.\n\nBye"));
        sendToList({0, 2});
        QCOMPARE(status(), QStringLiteral("Status: Mail was successfully sent. (2 of 2 sent)"));

        const QList<TAiosmtpdServer::Message> got = server.Messages();
        QCOMPARE(got.size(), 1);
        QCOMPARE(got[0].from, QStringLiteral("news@example.com"));
        QCOMPARE(got[0].rcpt, (QStringList{"ann@example.org", "cy@example.org"}));
        const QByteArray expected = "From: news@example.com\r\nTo: readers@example.com\r\nSubject: Issue 1\r\n"
                                    "X-Mailer: Quorvel 1.3 by Harrowlin\r\nMime-Version: 1.0\r\n"
                                    "Content-Type: text/plain; charset=\"iso-8859-1\"\r\nDate: *\r\nMessage-ID: *\r\n\r\n"
                                    + body;
        QCOMPARE(Normalised(got[0].content), expected);

        // The panel closes once the send has returned; the gauge is gone, Cancel Send stays.
        QTRY_VERIFY(!m_form->SendPanel()->isVisible());
        QVERIFY(!gaugeVisible());
        QVERIFY(cancelEnabled());
        QVERIFY(!m_form->SendPanel()->SendToBtn()->isEnabled());
        QCOMPARE(m_form->SendPanel()->SendToModel()->Count(), 0);

        const QStringList archives = QDir(home("News/Sent Mail")).entryList(QDir::Files);
        if (options.contains(u'4')) {
            QCOMPARE(archives, QStringList{"Issue 1.txt"});
            const QByteArray a = testutil::readAll(home("News/Sent Mail/Issue 1.txt"));
            QVERIFY(a.startsWith("Subject: Issue 1\r\nDate: "));
            QVERIFY(a.endsWith("\r\nFrom: news@example.com\r\nTo: ann@example.org,cy@example.org,\r\n\r\n"
                               "Dear reader,\r\n.a line with a dot\r\nThe score was 250 to 550.\r\n\r\nBye\r\n"));
        } else {
            QVERIFY(archives.isEmpty());
        }
        // The digest pane shows the message as mailed: no subject line.
        QCOMPARE(m_form->DigestPanel()->Lines().value(0), options.contains(u'1') ? QStringLiteral("== Header ==")
                                                                                  : QStringLiteral("Dear reader,"));
    }

    // The address page: typed addresses, a chosen server, BCC and the general properties.
    void addressPage_data()
    {
        QTest::addColumn<bool>("bcc");
        QTest::addColumn<bool>("useGeneral");
        QTest::newRow("plain") << false << false;
        QTest::newRow("bcc") << true << false;
        QTest::newRow("general properties") << false << true;
    }
    void addressPage()
    {
        QFETCH(bool, bcc);
        QFETCH(bool, useGeneral);
        TAiosmtpdServer server;
        START_PEER(server);
        TGeneralSettings g;
        g.Email = QStringLiteral("me@example.com");
        g.SMTP = QStringLiteral("127.0.0.1");
        g.HeaderFile = writeFile("gheader.txt", "General header\r\n");
        g.IncludeHeader = true;
        g.SaveLetters = true;
        makeList({"123"}, g);
        start(server.Port());
        write(QStringLiteral("Hello"), QStringLiteral("Text"));
        TSendMailPanel& p = openPanel();
        QCOMPARE(p.FromSendToEDT()->text(), QStringLiteral("news@example.com")); // the list's reply address
        QCOMPARE(p.ServersCB()->currentText(), QStringLiteral("127.0.0.1"));
        QCOMPARE(p.ServersCB()->count(), 1); // the general and the list server are one
        if (useGeneral) {
            p.UseUserOptionsCB()->click();
            QCOMPARE(p.FromSendToEDT()->text(), QStringLiteral("me@example.com"));
        }
        p.BCCCB()->setChecked(bcc);
        p.SendToMemo()->setPlainText(QStringLiteral("one@example.org, two@example.org"));
        QVERIFY(p.SendToBtn()->isEnabled());
        p.SendToBtn()->click();
        QCOMPARE(status(), QStringLiteral("Status: Mail was successfully sent. (2 of 2 sent)"));
        const QList<TAiosmtpdServer::Message> got = server.Messages();
        QCOMPARE(got.size(), 1);
        QCOMPARE(got[0].rcpt, (QStringList{"one@example.org", "two@example.org"}));
        QCOMPARE(got[0].from, useGeneral ? QStringLiteral("me@example.com") : QStringLiteral("news@example.com"));
        QCOMPARE(HeaderValue(got[0].content, "To"), bcc ? QByteArray("undisclosed-recipients:;") : QByteArray("one@example.org, two@example.org"));
        const QByteArray body = Body(got[0].content);
        QCOMPARE(body, useGeneral ? QByteArray("General header\r\n\r\nText\r\n\r\n")
                                  : QByteArray("== Header ==\r\n\r\nText\r\n\r\n-- \r\nThe Editor\r\n\r\nFooter line 1\r\nFooter line 2\r\n\r\n"));
        // "Save Letters" with the list's flag 4 off: the general archive in every case.
        QCOMPARE(QDir(home("User/Sent Mail")).entryList(QDir::Files), QStringList{"Hello.txt"});
        QVERIFY(testutil::readAll(home("User/Sent Mail/Hello.txt")).contains("\r\nTo: one@example.org, two@example.org,\r\n"));
    }

    // Send with a field missing: a message naming what is missing, no connection, and the
    // panel keeps what was typed for a correction. The list page needs the list's server.
    void missingFields_data()
    {
        QTest::addColumn<bool>("listPage");
        QTest::addColumn<QString>("server");
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("memo");
        QTest::addColumn<QString>("message");
        const QString one = QStringLiteral("one@example.org");
        QTest::newRow("server") << false << "" << "me@x.org" << one << "You must provide a SMTP server!";
        QTest::newRow("sender") << false << "127.0.0.1" << "" << one << "You must provide your E-mail address (From)!";
        QTest::newRow("both") << false << "" << "" << one << "You must provide a SMTP server and your E-mail address (From)!";
        QTest::newRow("recipient") << false << "" << "" << "" << "You must supply atleast one recipient!";
        QTest::newRow("list without server") << true << "" << "" << ""
                                             << "You must provide a SMTP Server address and your E-mail address!";
    }
    void missingFields()
    {
        QFETCH(bool, listPage);
        QFETCH(QString, server);
        QFETCH(QString, from);
        QFETCH(QString, memo);
        QFETCH(QString, message);
        TScriptedServer peer;
        makeList({"", "", "", ""});
        start(peer.Port());
        write(QStringLiteral("Hello"), QStringLiteral("Text"));
        TSendMailPanel& p = openPanel();
        p.ServersCB()->setEditText(server);
        p.FromSendToEDT()->setText(from);
        p.SendToMemo()->setPlainText(memo);
        if (listPage)
            p.PageControl3()->setCurrentWidget(p.SendListTS());
        p.SendToBtn()->setEnabled(true); // an empty memo disables it
        p.SendToBtn()->click();
        QCOMPARE(m_dialogs->texts(), QStringList{message});
        QVERIFY(!gaugeVisible());
        QVERIFY(!cancelEnabled());
        QCOMPARE(peer.Connections(), 0);
        QVERIFY(p.isVisible());
        QCOMPARE(p.SendToMemo()->toPlainText(), memo);
    }

    // Scripted servers: a refused recipient, a refused message and a lost connection are
    // reported with the server's reply, and the logs are written.
    void failures_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("status");
        QTest::addColumn<bool>("dataSent");
        QTest::newRow("550 recipient") << 0 << "Status: Error - 5.1.1 No such user" << false;
        QTest::newRow("554 after the data") << 1 << "Status: Error - 5.7.1 Message refused as spam" << true;
        QTest::newRow("451 after the data") << 2 << "Status: Error - Try again later" << true;
    }
    void failures()
    {
        QFETCH(int, kind);
        QFETCH(QString, status);
        QFETCH(bool, dataSent);
        TScriptedServer peer;
        peer.Send("220 ready").Reply("250 hello").Reply("250 sender ok");
        if (kind == 0) {
            peer.Reply("550 5.1.1 No such user").Reply("221 bye");
        } else {
            peer.Reply("250 ok").Reply("354 go").ExpectUntil(".");
            peer.Send(kind == 1 ? "554 5.7.1 Message refused as spam" : "451 Try again later").Reply("221 bye");
        }
        makeList({""});
        start(peer.Port());
        write(QStringLiteral("Hello"), QStringLiteral("Text with 250 in it"));
        sendToList({0});
        QCOMPARE(this->status(), status + QStringLiteral(" (0 of 1 sent)"));
        QVERIFY(m_form->SendPanel()->isVisible()); // the user closes it
        QVERIFY(!gaugeVisible());
        QVERIFY(m_form->SendPanel()->SendToModel()->Checked(0)); // not sent: still checked
        QVERIFY(cancelEnabled());
        QCOMPARE(peer.Lines().contains("DATA"), dataSent);
        // A refusal inside the envelope hangs up at once (no recipient gets the message); after
        // the data the session ends with QUIT.
        if (dataSent)
            QTRY_VERIFY(peer.Lines().contains("QUIT"));
        else
            QTRY_VERIFY(peer.ClientClosed());
        const QByteArray log = testutil::readAll(home("MailDialog.txt"));
        QVERIFY(log.contains(status.mid(16).toLatin1() + "\r\n"));
        QVERIFY(log.contains("\r\nFinished: "));
        QVERIFY(QFileInfo::exists(home("Timeout.txt")));
        // Cancel closes the panel and tidies up.
        m_form->SendPanel()->CancelSendToBtn()->click();
        QVERIFY(!m_form->SendPanel()->isVisible());
        QVERIFY(!gaugeVisible());
        QVERIFY(!cancelEnabled());
    }

    // The key the menu shows for "Cancel Send" gets through while the send waits for a slow
    // server; the ones who got the message are unchecked, and Send again reaches exactly the rest.
    void cancelBySlowServerThenSendAgain_data()
    {
        QTest::addColumn<bool>("byClick");
        QTest::newRow("Esc") << false;
        QTest::newRow("the panel's Cancel, clicked in the window") << true;
    }
    void cancelBySlowServerThenSendAgain()
    {
        QFETCH(bool, byClick);
        TScriptedServer peer;
        peer.Send("220 ready").Reply("250 hello");
        peer.Reply("250 sender ok").Reply("250 ok").Reply("452 4.5.3 Too many recipients");
        peer.Reply("354 go").ExpectUntil(".").Send("250 queued 1");
        peer.Reply("250 sender ok").Expect().Delay(20000).Send("250 ok");
        makeList({""});
        start(peer.Port());
        m_form->GeneralPanel()->se_Timeout()->setValue(60);
        write(QStringLiteral("Hello"), QStringLiteral("Text"));
        QElapsedTimer clock;
        TSendMailPanel& p = openPanel();
        QTimer::singleShot(500, m_form.get(), [&] {
            clock.start();
            if (byClick) {
                QWidget* cancel = p.CancelSendToBtn();
                QTest::mouseClick(m_form->windowHandle(), Qt::LeftButton, {},
                                  cancel->mapTo(m_form.get(), cancel->rect().center()));
            } else {
                QTest::keyClick(m_form.get(), Qt::Key_Escape);
            }
        });
        p.PageControl3()->setCurrentWidget(p.SendListTS());
        for (int i = 0; i < 3; ++i)
            p.SendToModel()->SetChecked(i, true);
        p.SendToBtn()->click();
        QVERIFY(clock.isValid());
        QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(status(), QStringLiteral("Status: Send canceled. (1 of 3 sent)"));
        QVERIFY(p.isVisible());
        QVERIFY(!cancelEnabled());
        QVERIFY(!gaugeVisible());
        QCOMPARE((QList<bool>{p.SendToModel()->Checked(0), p.SendToModel()->Checked(1), p.SendToModel()->Checked(2)}),
                 (QList<bool>{false, true, true}));

        TScriptedServer again;
        again.Send("220 ready").Reply("250 hello").Reply("250 sender ok").Reply("250 ok").Reply("250 ok");
        again.Reply("354 go").ExpectUntil(".").Send("250 queued 2").Reply("221 bye");
        m_form->SmtpClient1()->SetPort(again.PortText());
        p.SendToBtn()->click();
        QCOMPARE(status(), QStringLiteral("Status: Mail was successfully sent. (2 of 2 sent)"));
        QCOMPARE(again.Lines().count("RCPT TO:<ann@example.org>"), 0);
        QCOMPARE(again.Lines().count("RCPT TO:<bob@example.net>"), 1);
        QCOMPARE(again.Lines().count("RCPT TO:<cy@example.org>"), 1);
    }

    // Closing the window while a send runs waits until the send has ended.
    void closeWaitsForSend()
    {
        TScriptedServer peer;
        bool visibleAfterClose = false;
        peer.Send("220 ready").Reply("250 hello").Reply("250 sender ok").Expect();
        peer.Call([&] {
            m_dialogs->answers << TDialogService::mbNo; // the unsaved newsletter is discarded
            m_form->close();
            visibleAfterClose = m_form->isVisible();
        });
        peer.Send("250 ok").Reply("354 go").ExpectUntil(".").Send("250 queued").Reply("221 bye");
        makeList({""});
        start(peer.Port());
        write(QStringLiteral("Hello"), QStringLiteral("Text"));
        sendToList({0});
        QVERIFY(visibleAfterClose);
        QCOMPARE(status(), QStringLiteral("Status: Mail was successfully sent. (1 of 1 sent)"));
        QTRY_VERIFY(!m_form->isVisible());
    }

    void connectFailure()
    {
        makeList({""});
        start(mailpeers::FreePort());
        write(QStringLiteral("Hello"), QStringLiteral("Text"));
        sendToList({0});
        QVERIFY2(status().startsWith(QLatin1String("Status: Error - Can't connect to host '127.0.0.1'"))
                     && status().endsWith(QLatin1String(" (0 of 1 sent)")),
                 qPrintable(status()));
        QVERIFY(!gaugeVisible());
    }

    // Every character arrives: 8-bit text, characters beyond Latin-1 and a line longer than
    // SMTP carries go out quoted-printable in the character set they need.
    void eightBitAndLongLines_data()
    {
        QTest::addColumn<QString>("subject");
        QTest::addColumn<QString>("body");
        QTest::addColumn<QByteArray>("charset");
        QTest::newRow("latin-1") << QStringLiteral("Gr\u00fc\u00dfe") << QStringLiteral("Caf\u00e9 cr\u00e8me\n= sign") << QByteArray("iso-8859-1");
        QTest::newRow("euro") << QStringLiteral("5 \u20ac only") << QStringLiteral("Price: 5 \u20ac\n\u201cQuoted\u201d") << QByteArray("utf-8");
        QTest::newRow("2000-character line") << QStringLiteral("Long") << QString(QStringLiteral("0123456789")).repeated(200) + "\nshort"
                                             << QByteArray("iso-8859-1");
    }
    void eightBitAndLongLines()
    {
        QFETCH(QString, subject);
        QFETCH(QString, body);
        QFETCH(QByteArray, charset);
        TAiosmtpdServer server;
        START_PEER(server);
        makeList({""});
        start(server.Port());
        write(subject, body);
        sendToList({0});
        QCOMPARE(status(), QStringLiteral("Status: Mail was successfully sent. (1 of 1 sent)"));
        const QList<TAiosmtpdServer::Message> got = server.Messages();
        QCOMPARE(got.size(), 1);
        const QByteArray& m = got[0].content;
        for (char c : m)
            QVERIFY(uchar(c) < 128); // nothing raw 8-bit on a HELO connection
        QCOMPARE(HeaderValue(m, "Content-Type"), "text/plain; charset=\"" + charset + "\"");
        QCOMPARE(HeaderValue(m, "Content-Transfer-Encoding"), QByteArray("quoted-printable"));
        QCOMPARE(msgenc::DecodeWords(QString::fromLatin1(HeaderValue(m, "Subject"))), subject);
        QVERIFY(m.contains("\r\nX-Mailer: Quorvel 1.3 by Harrowlin\r\nMime-Version: 1.0\r\n"));
        QStringList wire = QString::fromLatin1(Body(m)).split(QStringLiteral("\r\n"));
        wire.removeLast();
        for (const QString& l : wire)
            QVERIFY(l.size() <= 76);
        const QByteArray decoded = msgenc::DecodeQuotedPrintable(wire);
        const QString text = charset == "utf-8" ? QString::fromUtf8(decoded) : QString::fromLatin1(decoded);
        QCOMPARE(text, QString(body).replace(u'\n', QStringLiteral("\r\n")) + QStringLiteral("\r\n"));
    }

    // With automatic maintenance the list sends offer an unsubscribe; address sends never do.
    // The reply address's domain has a signing section in "Quorvel.ini": the list send goes out
    // signed, the unsubscribe header signed too; with its key file gone the send stops before
    // connecting and says why.
    void listUnsubscribeAndDkim()
    {
        TAiosmtpdServer server;
        START_PEER(server);
        makeList({.options = QStringLiteral("57"), .subjectKey = QStringLiteral("remove me")});
        start(server.Port());
        write(QStringLiteral("Hi"), QStringLiteral("Text"));
        TSendMailPanel& p = openPanel();
        p.PageControl3()->setCurrentWidget(p.AddressTS());
        p.ServersCB()->setEditText(QStringLiteral("127.0.0.1"));
        p.SendToMemo()->setPlainText(QStringLiteral("one@example.org"));
        p.SendToBtn()->click();
        QTRY_VERIFY(!m_form->SendPanel()->isVisible());

        QProcess openssl;
        openssl.start(QStringLiteral("openssl"), {QStringLiteral("genpkey"), QStringLiteral("-algorithm"), QStringLiteral("RSA"),
                                                  QStringLiteral("-pkeyopt"), QStringLiteral("rsa_keygen_bits:1024"),
                                                  QStringLiteral("-out"), home(QStringLiteral("news.pem"))});
        QVERIFY(openssl.waitForFinished(60000) && openssl.exitCode() == 0);
        {
            TIniFile ini(settingsfile::FileName());
            ini.WriteString(QStringLiteral("DKIM example.com"), QStringLiteral("Selector"), QStringLiteral("s1"));
            ini.WriteString(QStringLiteral("DKIM example.com"), QStringLiteral("KeyFile"), QStringLiteral("news.pem"));
            QVERIFY(ini.UpdateFile());
        }
        sendToList({0, 1});
        QTRY_VERIFY(!m_form->SendPanel()->isVisible());
        const QList<TAiosmtpdServer::Message> got = server.Messages();
        QCOMPARE(got.size(), 2);
        QVERIFY(!got[0].content.contains("List-Unsubscribe"));
        const QByteArray& listSend = got[1].content;
        QCOMPARE(HeaderValue(listSend, "List-Unsubscribe"), QByteArray("<mailto:news@example.com?subject=remove%20me>"));
        QVERIFY(listSend.contains("\r\nMessage-ID: <"));
        const QByteArray signature = HeaderValue(listSend, "DKIM-Signature");
        QVERIFY2(listSend.startsWith("DKIM-Signature: v=1; a=rsa-sha256; c=relaxed/relaxed; d=example.com; s=s1;"),
                 listSend.left(200).constData());
        QVERIFY2(signature.contains("List-Unsubscribe"), signature.constData());

        QVERIFY(QFile::remove(home(QStringLiteral("news.pem"))));
        write(QStringLiteral("Hi again"), QStringLiteral("Text"));
        sendToList({0});
        QTRY_VERIFY(status().contains(QLatin1String("nothing was sent")));
        QVERIFY2(status().startsWith(QStringLiteral("Status: Error - The DKIM key \"%1\" of [DKIM example.com] cannot be read")
                                         .arg(QDir::cleanPath(home(QStringLiteral("news.pem"))))),
                 qPrintable(status()));
        QVERIFY(status().endsWith(QLatin1String("(0 of 1 sent)")));
        QCOMPARE(server.Messages().size(), 2);
    }

    // The panel: lists, entries, toggle, server list, sender.
    void panelOpening()
    {
        TGeneralSettings g;
        g.SMTP = QStringLiteral("MAIL.example.com");
        g.Email = QStringLiteral("me@example.com");
        makeList({"", "", "", "mail.EXAMPLE.com"}, g);
        start(1);
        write(QStringLiteral("S"), QStringLiteral("Text"));
        m_form->ListPanel()->ListsLB()->setCurrentRow(-1);
        TSendMailPanel& p = openPanel();
        QVERIFY(p.isVisible());
        QCOMPARE(p.height(), TSendMailPanel::kHeight);
        QCOMPARE(m_form->ListPanel()->ListsLB()->currentRow(), 0);
        QCOMPARE(p.ListsCB()->count(), 1);
        QCOMPARE(p.ServersCB()->count(), 1);
        QCOMPARE(p.ServersCB()->currentText(), QStringLiteral("MAIL.example.com"));
        QCOMPARE(p.SendToModel()->Count(), 3);
        QCOMPARE(p.SendToModel()->Item(1), QStringLiteral("Bob Baker  <bob@example.net>"));
        QVERIFY(p.CheckAllBtn()->isEnabled());
        p.SendToModel()->SetChecked(0, true);
        p.CheckAllBtn()->click();
        QCOMPARE(p.CheckedAddresses(), (QStringList{"bob@example.net", "cy@example.org"}));
        p.SendToMemo()->setPlainText(QStringLiteral("x"));
        p.SendToMemo()->clear();
        QVERIFY(!p.SendToBtn()->isEnabled());
        p.PageControl3()->setCurrentWidget(p.SendListTS());
        p.AddReplyAddress(QStringLiteral("a@x.org"));
        p.AddReplyAddress(QStringLiteral("b@x.org"));
        QCOMPARE(p.SendToMemo()->toPlainText(), QStringLiteral("a@x.org\nb@x.org"));
        QVERIFY(p.AddressPageActive());
        QVERIFY(p.SendToBtn()->isEnabled());
        p.CancelSendToBtn()->click();
        QVERIFY(!p.isVisible());
        QCOMPARE(p.ServersCB()->count(), 0);
        QCOMPARE(p.FromSendToEDT()->text(), QString());
    }

    void panelWithoutLists()
    {
        TSettingsData d;
        d.General.Email = QStringLiteral("me@example.com");
        QString error;
        QVERIFY(settingsfile::Save(settingsfile::FileName(), d, &error));
        start(1);
        write(QStringLiteral("S"), QStringLiteral("Text"));
        TSendMailPanel& p = openPanel();
        QCOMPARE(p.ListsCB()->count(), 0);
        QCOMPARE(p.SendToModel()->Count(), 0);
        QVERIFY(!p.CheckAllBtn()->isEnabled());
        QVERIFY(!p.SendToBtn()->isEnabled());
        QCOMPARE(p.FromSendToEDT()->text(), QStringLiteral("me@example.com"));
        p.SendToMemo()->setPlainText(QStringLiteral("a@b.c"));
        QVERIFY(p.SendToBtn()->isEnabled());
    }

    // Choosing another list on the list page opens it and refills the check list; the list
    // page sends with that list's own server and reply address.
    void listChange()
    {
        TAiosmtpdServer server;
        START_PEER(server);
        makeList({.name = QStringLiteral("Alpha"), .people = 1});
        makeList({.reply = QStringLiteral("beta@example.com"), .name = QStringLiteral("Beta"), .people = 2});
        start(server.Port());
        write(QStringLiteral("S"), QStringLiteral("Text"));
        TSendMailPanel& p = openPanel();
        QCOMPARE(p.ListsCB()->count(), 2);
        QCOMPARE(p.SendToModel()->Count(), 1);
        p.PageControl3()->setCurrentWidget(p.SendListTS());
        p.ListsCB()->setCurrentIndex(1);
        p.ListsCBChange();
        QCOMPARE(m_form->ListPanel()->ListsLB()->currentRow(), 1);
        QCOMPARE(p.SendToModel()->Count(), 2);
        p.SendToModel()->SetChecked(1, true);
        p.SendToBtn()->click();
        QCOMPARE(status(), QStringLiteral("Status: Mail was successfully sent. (1 of 1 sent)"));
        QCOMPARE(server.Messages().value(0).from, QStringLiteral("beta@example.com"));
        QCOMPARE(server.Messages().value(0).rcpt, QStringList{"bob@example.net"});
    }

    // The digest panel compiles for viewing, prints, and stores its font as the default.
    void digestViewAndPrint()
    {
        makeList({"123"});
        start(1);
        write(QStringLiteral("Weekly digest"), QStringLiteral("First body line\nSecond body line"));
        m_form->ListPanel()->OpenList(0);
        m_form->ListPanel()->ListsLB()->setCurrentRow(0);
        m_form->ViewDigestLBLClick();
        QTextEdit* pane = m_form->DigestPanel()->DigestRE();
        QCOMPARE(pane->toPlainText().split(u'\n').mid(0, 7),
                 (QStringList{"Subject: Weekly digest", "", "== Header ==", "", "First body line", "Second body line", ""}));
        QVERIFY(pane->isReadOnly());
        QVERIFY(m_form->DigestPanel()->DigestPrintBtn()->isEnabled());
        QCOMPARE(status(), QStringLiteral("Status: Compiling digest..."));

        // "Digest..." on the open panel does not compile again.
        write(QStringLiteral("Changed"), QStringLiteral("Changed body"));
        m_form->Action(QStringLiteral("Digest1"))->trigger();
        QVERIFY(pane->toPlainText().startsWith(QLatin1String("Subject: Weekly digest")));
        QCOMPARE(m_form->ActiveEditor(), QStringLiteral("Digest"));
        write(QStringLiteral("Weekly digest"), QStringLiteral("First body line\nSecond body line"));

        const QString pdf = home("digest.pdf");
        m_dialogs->printToPdf = pdf;
        m_form->DigestPanel()->DigestPrintBtn()->click();
        QProcess p;
        p.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
        QVERIFY(p.waitForFinished(30000));
        const QString text = QString::fromUtf8(p.readAllStandardOutput());
        for (const char* s : {"Weekly digest", "== Header ==", "First body line", "Second body line", "The Editor", "Footer line 2"})
            QVERIFY2(text.contains(QLatin1String(s)), s);

        QFont f(QStringLiteral("Courier New"), 13);
        f.setBold(true);
        m_form->DigestPanel()->SetDigestFont(f, QColor(0x11, 0x22, 0x33));
        m_form->ViewDigestLBLClick();
        m_form->ViewDigestLBLClick(); // reopened: compiled again in the new font
        QCOMPARE(pane->document()->defaultFont().family(), QStringLiteral("Courier New"));
        QCOMPARE(pane->document()->defaultFont().pointSize(), 13);
        m_form->DigestPanel()->SpeedButton7()->click();
        TIniFile ini(settingsfile::FileName());
        QCOMPARE(ini.ReadString(QStringLiteral("Digest Font"), QStringLiteral("Name"), QString()), QStringLiteral("Courier New"));
        QCOMPARE(ini.ReadString(QStringLiteral("Digest Font"), QStringLiteral("Size"), QString()), QStringLiteral("13"));
        QCOMPARE(m_form->State().DigestFont.Name, QStringLiteral("Courier New"));
    }
};

QTEST_MAIN(TestSendMail)
#include "tst_sendmail.moc"
