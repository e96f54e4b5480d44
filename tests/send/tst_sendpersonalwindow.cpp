// Personalised sends, the server's limits and "Send test" through the main window (offscreen),
// stored by aiosmtpd: each subscriber's own message, the digest as the first one gets it, an
// unknown field stopping the send, and a test send that changes nothing.
#include "SendWindow.h"
#include "send/DigestPanel.h"
#include "send/MimeCheck.h"
#include "support/FakeDialogs.h"
#include "support/MailPeers.h"
#include "support/Peers.h"

#include <QTest>
#include <QTimer>

class TestSendPersonalWindow : public QObject, private TSendWindow
{
    Q_OBJECT
private:
    // "News" with options `options`, a footer naming the subscriber's address, three
    // subscribers with street and phone.
    void makeList(const QString& options)
    {
        TSendWindow::makeList({.options = options, .header = {}, .sig = {}, .footer = "Sent to {Email}\r\n"});
    }

    // The server's section in the settings file (which also names the lists).
    void addSection(const QByteArray& keys)
    {
        const QString ini = settingsfile::FileName();
        QByteArray text = testutil::readAll(ini);
        const qsizetype old = text.indexOf("[SMTP 127.0.0.1]");
        if (old >= 0)
            text.truncate(old);
        testutil::writeAll(ini, text + "\r\n[SMTP 127.0.0.1]\r\n" + keys);
    }

private slots:
    void init() { InitWindowHome(); }
    void cleanup() { ResetWindow(); }

    // Each checked subscriber gets a message of their own: envelope, To, Subject, body and
    // footer filled from their record; the digest showed the first one's.
    void personalisedListSend()
    {
        TAiosmtpdServer server;
        START_PEER(server);
        makeList(QStringLiteral("2"));
        start(server.Port());
        write(QStringLiteral("News for {Name}"), QStringLiteral("Dear {Name},\nat {Address1} ({Phone}); {{braces}"));
        sendToList({1, 2});
        QCOMPARE(m_form->Status(), QStringLiteral("Status: Mail was successfully sent. (2 of 2 sent)"));
        const QList<TAiosmtpdServer::Message> got = server.Messages();
        QCOMPARE(got.size(), 2);
        QCOMPARE(got[0].rcpt, QStringList{"bob@example.net"});
        QCOMPARE(got[1].rcpt, QStringList{"cy@example.org"});
        QCOMPARE(HeaderValue(got[0].content, "To"), QByteArray("Bob Baker <bob@example.net>"));
        QCOMPARE(HeaderValue(got[1].content, "Subject"), QByteArray("News for Cy Cole"));
        QCOMPARE(Body(got[0].content), QByteArray("Dear Bob Baker,\r\nat  (); {braces}\r\n\r\nSent to bob@example.net\r\n\r\n"));
        QCOMPARE(Body(got[1].content), QByteArray("Dear Cy Cole,\r\nat 3 Elm St (555-3); {braces}\r\n\r\nSent to cy@example.org\r\n\r\n"));
        QVERIFY(HeaderValue(got[0].content, "Message-ID") != HeaderValue(got[1].content, "Message-ID"));
        QCOMPARE(m_form->DigestPanel()->Lines().value(0), QStringLiteral("Dear Bob Baker,"));
        // Complete: no record is left beside the list.
        QVERIFY(!QFile::exists(home("News/News send record.txt")));
    }

    // Formatted and personalised: each subscriber's HTML part and text part are filled in from
    // their record, the field's bold kept in the HTML.
    void formattedPersonalisedListSend()
    {
        TAiosmtpdServer server;
        START_PEER(server);
        makeList(QStringLiteral("29"));
        start(server.Port());
        m_form->Newsletter()->SubjectEDT()->setText(QStringLiteral("News for {Name}"));
        m_form->Newsletter()->LetterRE()->setHtml(QStringLiteral("<p>Dear <b>{Name}</b> &amp; {{co}</p>"));
        sendToList({0, 1});
        QCOMPARE(m_form->Status(), QStringLiteral("Status: Mail was successfully sent. (2 of 2 sent)"));
        const QList<TAiosmtpdServer::Message> got = server.Messages();
        QCOMPARE(got.size(), 2);
        QString error;
        const QList<mimecheck::TMessage> read = mimecheck::Describe({got[0].content, got[1].content}, &error);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        const char* const names[] = {"Ann Able", "Bob Baker"};
        for (int i = 0; i < 2; ++i) {
            QCOMPARE(mimecheck::Faults(read[i]), QStringList());
            const QString name = QLatin1String(names[i]);
            QCOMPARE(HeaderValue(got[i].content, "Subject"), (QStringLiteral("News for ") + name).toLatin1());
            const mimecheck::TPart* text = read[i].Find(QStringLiteral("text/plain"));
            const mimecheck::TPart* html = read[i].Find(QStringLiteral("text/html"));
            QVERIFY(text && html);
            QVERIFY2(text->Bytes.startsWith("Dear " + name.toLatin1() + " & {co}"), text->Bytes.constData());
            QVERIFY2(html->Html[QStringLiteral("text")].toString().contains(QStringLiteral("Dear ") + name + QStringLiteral(" & {co}")),
                     qPrintable(html->Html[QStringLiteral("text")].toString()));
            QVERIFY(!html->Bytes.contains("{Name}"));
            // The name sits in the bold run the field was written in.
            const qsizetype at = html->Bytes.indexOf(name.toLatin1(), html->Bytes.indexOf("<body"));
            const qsizetype run = html->Bytes.lastIndexOf("<span", at);
            QVERIFY2(run >= 0 && html->Bytes.mid(run, at - run).contains("font-weight"), html->Bytes.constData());
        }
    }

    // A field the program does not know stops the send before connecting, naming it.
    void unknownFieldStopsTheSend()
    {
        TAiosmtpdServer server;
        START_PEER(server);
        makeList(QString());
        start(server.Port());
        write(QStringLiteral("News"), QStringLiteral("Dear {Nmae},"));
        sendToList({0});
        QCOMPARE(m_dialogs->messages.size(), 1);
        QVERIFY2(m_dialogs->messages[0].text.startsWith(QLatin1String("The newsletter has an unknown field {Nmae}")),
                 qPrintable(m_dialogs->messages[0].text));
        QVERIFY(server.Messages().isEmpty());
        QVERIFY(!m_form->SmtpClient1()->Stage());
        QVERIFY(m_form->SendPanel()->SendToModel()->Checked(0));
    }

    // "Send test": the first checked subscriber's message, to the list's reply address only,
    // "[Test] " before the subject; nobody unchecked, no archive, no record, the panel stays.
    void sendTestChangesNothing()
    {
        TAiosmtpdServer server;
        START_PEER(server);
        makeList(QStringLiteral("4"));
        start(server.Port());
        write(QStringLiteral("News for {Name}"), QStringLiteral("Dear {Name},"));
        TSendMailPanel& p = listPage({1, 2});
        QVERIFY(p.SendTestBtn()->isEnabled());
        p.SendTestBtn()->click();
        QCOMPARE(m_form->Status(), QStringLiteral("Status: Test mail was sent to news@example.com."));
        const QList<TAiosmtpdServer::Message> got = server.Messages();
        QCOMPARE(got.size(), 1);
        QCOMPARE(got[0].rcpt, QStringList{"news@example.com"});
        QCOMPARE(HeaderValue(got[0].content, "Subject"), QByteArray("[Test] News for Bob Baker"));
        QCOMPARE(HeaderValue(got[0].content, "To"), QByteArray("news@example.com"));
        QVERIFY(Body(got[0].content).startsWith("Dear Bob Baker,\r\n"));
        QVERIFY(p.isVisible());
        QVERIFY(p.SendToModel()->Checked(1) && p.SendToModel()->Checked(2));
        QVERIFY(QDir(home("News/Sent Mail")).entryList(QDir::Files).isEmpty());
        QVERIFY(!QFile::exists(home("News/News send record.txt")));
        // The real send goes on from there, to exactly the checked ones.
        p.SendToBtn()->click();
        QCOMPARE(m_form->Status(), QStringLiteral("Status: Mail was successfully sent. (2 of 2 sent)"));
        QCOMPARE(server.Messages().size(), 3);
    }

    // The server's section limits recipients per message: the one newsletter goes in
    // batches (no field: every batch the same text).
    void recipientsPerMessageFromTheSection()
    {
        TAiosmtpdServer server;
        START_PEER(server);
        makeList(QString());
        addSection("Security=None\r\nMaxRecipientsPerMessage=2\r\n");
        start(server.Port());
        write(QStringLiteral("News"), QStringLiteral("Dear reader,"));
        sendToList({0, 1, 2});
        QCOMPARE(m_form->Status(), QStringLiteral("Status: Mail was successfully sent. (3 of 3 sent)"));
        const QList<TAiosmtpdServer::Message> got = server.Messages();
        QCOMPARE(got.size(), 2);
        QCOMPARE(got[0].rcpt, (QStringList{"ann@example.org", "bob@example.net"}));
        QCOMPARE(got[1].rcpt, QStringList{"cy@example.org"});
        QCOMPARE(Body(got[0].content), Body(got[1].content));
        QVERIFY(!QFile::exists(home("News/News send record.txt")));

        // A limit that cannot be read stops the send before connecting.
        addSection("MaxMessagesPerHour=many\r\n");
        sendToList({0});
        QCOMPARE(m_dialogs->messages.size(), 1);
        QVERIFY2(m_dialogs->messages[0].text.startsWith(QLatin1String("Invalid MaxMessagesPerHour 'many'")),
                 qPrintable(m_dialogs->messages[0].text));
        QCOMPARE(server.Messages().size(), 2);
    }

    // Closing the window while the send waits an hour for the server's limit ends the send
    // (as Cancel Send does) instead of keeping the window for the hour; the record stays.
    void closeDuringTheHourlyWait()
    {
        TAiosmtpdServer server;
        START_PEER(server);
        makeList(QString());
        addSection("Security=None\r\nMaxMessagesPerHour=1\r\n");
        start(server.Port());
        write(QStringLiteral("News for {Name}"), QStringLiteral("Dear {Name},"));
        TSendMailPanel& p = listPage({0, 1});
        m_dialogs->answers.enqueue(TDialogService::mbNo); // do not save the newsletter
        QTimer::singleShot(500, m_form.get(), [this] { m_form->close(); });
        p.SendToBtn()->click();
        QCOMPARE(m_form->Status(), QStringLiteral("Status: Send canceled. (1 of 2 sent)"));
        QCOMPARE(server.Messages().size(), 1);
        QVERIFY(QFile::exists(home("News/News send record.txt")));
    }
};

QTEST_MAIN(TestSendPersonalWindow)
#include "tst_sendpersonalwindow.moc"
