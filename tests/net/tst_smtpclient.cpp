// The SMTP client and its MIME layout against the scripted server.
#include "NetTest.h"
#include "net/SmtpClient.h"
#include "net/Wait.h"
#include "support/ScriptedServer.h"
#include "support/SmtpFixture.h"
#include "support/TestUtil.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>

namespace {

struct TFixture : TSmtpFixture
{
    TScriptedServer server;
    QTemporaryDir dir;

    TFixture() : TSmtpFixture(50) // a "second" of countdown is 50 ms in these tests
    {
        client.SetPort(server.PortText());
        client.SetSignOn(QStringLiteral("client.example"));
        client.SetFromName(QStringLiteral("  news@example.com "));
        client.SetHdrFrom(QStringLiteral("News <news@example.com>"));
        client.SetHdrTo(QStringLiteral("Readers <news@example.com>"));
        client.SetHdrSubject(QStringLiteral("Newsletter 7"));
        client.RcptName() << QStringLiteral("a@example.org");
    }
    // Greeting and HELO answered.
    TScriptedServer& Greeted() { return server.Send("220 hi").Reply("250 hello"); }
    // Then MAIL FROM, the recipients, DATA, the message and the final reply.
    TScriptedServer& Dialogue(int recipients = 1)
    {
        Greeted().Reply("250 sender ok");
        for (int i = 0; i < recipients; ++i)
            server.Reply("250 recipient ok");
        return server.Reply("354 go ahead").ExpectUntil(".").Send("250 queued");
    }
    // One message with these body lines through the whole dialogue.
    bool Mail(const QStringList& lines)
    {
        body = lines;
        Dialogue();
        return client.Mail();
    }
    QString File(const QString& name, const QByteArray& bytes)
    {
        const QString path = dir.filePath(name);
        return testutil::writeAll(path, bytes) ? path : QString();
    }
    // The message lines as the server received them: after DATA, up to the final ".".
    QList<QByteArray> Message() const
    {
        const QList<QByteArray>& lines = server.Lines();
        const qsizetype start = lines.indexOf("DATA") + 1;
        const qsizetype end = lines.indexOf(".", start);
        return lines.mid(start, end - start);
    }
    QList<QByteArray> Header() const
    {
        const QList<QByteArray> m = Message();
        return m.mid(0, m.indexOf(QByteArray()));
    }
    QList<QByteArray> Body() const
    {
        const QList<QByteArray> m = Message();
        return m.mid(m.indexOf(QByteArray()) + 1);
    }
};

QString DateOf(const QList<QByteArray>& header)
{
    for (const QByteArray& h : header)
        if (h.startsWith("Date: "))
            return QString::fromLatin1(h.mid(6));
    return QString();
}

} // namespace

class TstSmtpClient : public QObject
{
    Q_OBJECT
private slots:
    void oneMessageDisplaysInOrder();
    void heloReplies_data();
    void heloReplies();
    void plainBody_data();
    void plainBody();
    void pausesBeforeEveryHundredthRecipient();
    void wrongReplies_data();
    void wrongReplies();
    void connectFailures_data();
    void connectFailures();
    void connectTwiceSendsNothing();
    void headerHookExtendsAndSuppresses();
    void attachments_data();
    void attachments();
    void missingAttachmentRefused();
    void abandonedMessageNeverEnds_data();
    void abandonedMessageNeverEnds();
    void recipientResults_data();
    void recipientResults();
    void longReplyLinesJoined_data();
    void longReplyLinesJoined();
    void quitFromDisplayOfFinalReply();
    void socketFailureBecomesError_data();
    void socketFailureBecomesError();
    void brokenDialogue_data();
    void brokenDialogue();
    void hostileValues_data();
    void hostileValues();
    void longHeaderLinesFolded_data();
    void longHeaderLinesFolded();
    void sanitizedHeaderLinesAreFields_data();
    void sanitizedHeaderLinesAreFields();
    void quitRsetAbort();
    void dateAndBoundaryTexts();
};

void TstSmtpClient::oneMessageDisplaysInOrder()
{
    TFixture f;
    f.client.OnHeaderLine = [](TCustomSmtpClient*, QString& msg, int size) {
        QCOMPARE(size, 1024);
        if (msg.startsWith(QLatin1String("Subject:")))
            msg += QStringLiteral("\r\nX-Mailer: Quorvel 1.3 by Harrowlin");
    };
    QVERIFY(f.Mail({QStringLiteral("Hello"), QStringLiteral("World")}));
    f.server.Reply("221 bye");
    QVERIFY(f.client.Quit());
    const QList<QByteArray> header = f.Header();
    const QString date = DateOf(header);
    QCOMPARE(f.display, (QStringList{
                            "Connected with SMTP server", "< 220 hi", "> HELO client.example", "< 250 hello",
                            "> MAIL FROM:<news@example.com>", "< 250 sender ok", "> RCPT TO:<a@example.org>",
                            "< 250 recipient ok", "> DATA", "< 354 go ahead", "> From: News <news@example.com>",
                            "> To: Readers <news@example.com>", "> Subject: Newsletter 7\r\nX-Mailer: Quorvel 1.3 by Harrowlin",
                            "> Mime-Version: 1.0", "> Content-Type: text/plain; charset=\"iso-8859-1\"", "> Date: " + date,
                            "> ", "> Hello", "> World", "> .", "< 250 queued", "> QUIT", "< 221 bye"}));
    QCOMPARE(header, (QList<QByteArray>{"From: News <news@example.com>", "To: Readers <news@example.com>", "Subject: Newsletter 7",
                                        "X-Mailer: Quorvel 1.3 by Harrowlin", "Mime-Version: 1.0",
                                        "Content-Type: text/plain; charset=\"iso-8859-1\"", "Date: " + date.toLatin1()}));
    QCOMPARE(f.Body(), (QList<QByteArray>{"Hello", "World"}));
    QCOMPARE(f.client.Stage(), 0);
}

void TstSmtpClient::heloReplies_data()
{
    QTest::addColumn<QByteArray>("reply"); // the server's answer to HELO, as sent
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("last");     // LastResponse, and ErrorMessage after a failure
    QTest::addColumn<bool>("shown");       // every reply line is displayed
    QTest::newRow("three lines") << QByteArray("250-mail.example\r\n250-SIZE 1000\r\n250 HELP\r\n") << true << "250 HELP" << true;
    QTest::newRow("bare three digits end it") << QByteArray("250-first\r\n250\r\n") << true << "250" << true;
    QTest::newRow("last line decides") << QByteArray("250-fine so far\r\n550 but no\r\n") << false << "550 but no" << true;
    QTest::newRow("garbage") << QByteArray("hello there\r\n") << false << "hello there" << true;
    QTest::newRow("binary") << QByteArray("\x01\x02\x03\r\n") << false << "\x01\x02\x03" << true;
    QTest::newRow("endless multi-line reply") << QByteArray("250-more and more\r\n").repeated(1500) << false << "554 reply too long" << false;
    QTest::newRow("endless line") << QByteArray(500000, '2') << false << "554 reply too long" << false;
}

void TstSmtpClient::heloReplies()
{
    QFETCH(QByteArray, reply);
    QFETCH(bool, ok);
    QFETCH(QString, last);
    QFETCH(bool, shown);
    TFixture f;
    f.server.Send("220 hi").Expect().SendRaw(reply).Stall();
    QCOMPARE(f.client.Connect(), ok);
    QCOMPARE(f.client.LastResponse(), last);
    if (shown)
        for (const QByteArray& l : reply.trimmed().split('\n'))
            QVERIFY(f.display.contains(QStringLiteral("< ") + QString::fromLatin1(l.trimmed())));
    QCOMPARE(f.client.Stage(), ok ? 2 : 0);
    if (ok)
        return;
    QCOMPARE(f.client.ErrorMessage(), last);
    QCOMPARE(f.client.Socket()->State(), wsClosed);
    f.client.Mail(); // a later call neither hangs nor crashes
}

void TstSmtpClient::plainBody_data()
{
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QList<QByteArray>>("wire");
    QTest::addColumn<QString>("charset"); // "" for the default
    QTest::newRow("lone dot") << QStringList{"."} << QList<QByteArray>{".."} << "";
    QTest::newRow("leading dots") << QStringList{".x", "..", "..."} << QList<QByteArray>{"..x", "...", "...."} << "";
    QTest::newRow("dot elsewhere") << QStringList{"a.b", "end."} << QList<QByteArray>{"a.b", "end."} << "";
    QTest::newRow("empty lines") << QStringList{"", "x", ""} << QList<QByteArray>{"", "x", ""} << "";
    QTest::newRow("8-bit text") << QStringList{QStringLiteral("caf\u00e9 \u20ac")} << QList<QByteArray>{"caf\xe9 \x80"} << "";
    QTest::newRow("charset") << QStringList{"only text"} << QList<QByteArray>{"only text"} << "windows-1252";
}

void TstSmtpClient::plainBody()
{
    QFETCH(QStringList, lines);
    QFETCH(QList<QByteArray>, wire);
    QFETCH(QString, charset);
    TFixture f;
    if (!charset.isEmpty())
        f.client.SetCharSet(charset);
    QVERIFY(f.Mail(lines));
    QCOMPARE(f.Body(), wire); // no preamble without attachments
    const QString type = QStringLiteral("Content-Type: text/plain; charset=\"%1\"").arg(charset.isEmpty() ? "iso-8859-1" : charset);
    QVERIFY(f.Header().contains(type.toLatin1()));
    QCOMPARE(f.client.Boundary(), QString());
}

void TstSmtpClient::pausesBeforeEveryHundredthRecipient()
{
    TFixture f;
    f.client.SetRcptPause(150);
    f.client.RcptName().clear();
    for (int i = 1; i <= 250; ++i)
        f.client.RcptName() << QStringLiteral("r%1@example.org").arg(i);
    f.Dialogue(250);
    QElapsedTimer clock;
    clock.start();
    QList<qint64> at; // when each RCPT line was shown
    qint64 mailReply = -1;
    f.client.OnDisplay = [&](TCustomSmtpClient*, const QString& m) {
        if (m.startsWith(QLatin1String("> RCPT TO:")))
            at << clock.elapsed();
        if (m == QLatin1String("< 250 sender ok"))
            mailReply = clock.elapsed();
    };
    QVERIFY(f.client.Mail());
    QCOMPARE(at.size(), 250);
    QVERIFY(at[0] - mailReply >= 150);
    QVERIFY(at[100] - at[99] >= 150);
    QVERIFY(at[200] - at[199] >= 150);
    // Exactly three pauses: the gaps before other recipients carry none, and the pause
    // total is three pauses, not four or 250.
    int paused = 0;
    for (int i = 1; i < at.size(); ++i)
        paused += at[i] - at[i - 1] >= 150 ? 1 : 0;
    QCOMPARE(paused, 2);
    QVERIFY(f.client.PausedMs() >= 450);
    QVERIFY(f.client.PausedMs() < 600);
    QCOMPARE(f.server.Lines().count("DATA"), 1);
}

void TstSmtpClient::wrongReplies_data()
{
    QTest::addColumn<QByteArray>("mailFrom");
    QTest::addColumn<QByteArray>("data");  // sent after a "250 ok" to RCPT, when given
    QTest::addColumn<QByteArray>("final"); // after the message, when given
    QTest::addColumn<QString>("error");
    QTest::addColumn<int>("stage");        // a refusal keeps the connection; a reply out of step closes it
    QTest::newRow("sender refused") << QByteArray("501 bad sender") << QByteArray() << QByteArray() << "501 bad sender" << 2;
    QTest::newRow("data refused") << QByteArray("250 ok") << QByteArray("503 no valid recipients") << QByteArray()
                                  << "503 no valid recipients" << 2;
    QTest::newRow("message refused") << QByteArray("250 ok") << QByteArray("354 go") << QByteArray("552 too big")
                                     << "552 too big" << 2;
    // A failed message always says why: an empty line where a reply belongs is no reason the
    // user could read.
    QTest::newRow("empty reply to MAIL FROM") << QByteArray("") << QByteArray() << QByteArray() << "554 empty reply" << 0;
    QTest::newRow("blank reply to MAIL FROM") << QByteArray("   ") << QByteArray() << QByteArray() << "554 empty reply" << 0;
    QTest::newRow("empty reply to DATA") << QByteArray("250 ok") << QByteArray("") << QByteArray() << "554 empty reply" << 0;
}

void TstSmtpClient::wrongReplies()
{
    QFETCH(QByteArray, mailFrom);
    QFETCH(QByteArray, data);
    QFETCH(QByteArray, final);
    QFETCH(QString, error);
    QFETCH(int, stage);
    TFixture f;
    f.body = {QStringLiteral("x")};
    f.Greeted().Reply(mailFrom);
    if (mailFrom.startsWith("250"))
        f.server.Reply("250 ok").Reply(data);
    if (!final.isEmpty())
        f.server.ExpectUntil(".").Send(final);
    f.server.Stall();
    QVERIFY(!f.client.Mail());
    QCOMPARE(f.client.ErrorMessage(), error);
    QVERIFY(f.display.contains(QStringLiteral("< ") + error));
    QCOMPARE(f.client.Stage(), stage);
    QCOMPARE(f.client.Socket()->State(), stage ? wsConnected : wsClosed);
}

void TstSmtpClient::connectFailures_data()
{
    QTest::addColumn<QString>("host");
    QTest::addColumn<bool>("withWait");
    QTest::addColumn<QByteArray>("greeting");
    QTest::addColumn<QString>("error");
    QTest::newRow("no wait object") << "127.0.0.1" << false << QByteArray() << "No wait object";
    QTest::newRow("no host") << "" << true << QByteArray() << "No host specified";
    QTest::newRow("unknown host") << "no-such-host.invalid" << true << QByteArray()
                                  << "SetAddr: Cannot convert host address 'no-such-host.invalid'";
    QTest::newRow("busy greeting") << "127.0.0.1" << true << QByteArray("421 busy, come back later") << "421 busy, come back later";
}

void TstSmtpClient::connectFailures()
{
    QFETCH(QString, host);
    QFETCH(bool, withWait);
    QFETCH(QByteArray, greeting);
    QFETCH(QString, error);
    TFixture f;
    if (!withWait)
        f.client.SetWait(nullptr);
    f.client.SetHost(host);
    if (!greeting.isEmpty())
        f.server.Send(greeting).Stall();
    QVERIFY(!f.client.Connect());
    QCOMPARE(f.client.ErrorMessage(), error);
    QCOMPARE(f.client.Stage(), 0);
    QVERIFY(!f.client.Mail()); // Mail connects first and fails the same way
}

void TstSmtpClient::connectTwiceSendsNothing()
{
    TFixture f;
    f.Greeted().Stall();
    QVERIFY(f.client.Connect());
    const qsizetype shown = f.display.size();
    QVERIFY(f.client.Connect());
    QCOMPARE(f.display.size(), shown);
    QCOMPARE(f.server.Lines().size(), 1);
    // An empty sign-on name greets with the host's fully qualified name, or (a bare name such
    // as "vm" being refused by servers that check) the connection's address as a literal.
    TFixture g;
    g.client.SetSignOn(QString());
    g.Greeted().Stall();
    QVERIFY(g.client.Connect());
    const QString name = g.client.GreetingName();
    QVERIFY2(name.contains(u'.') && (name.startsWith(u'[') ? name.endsWith(u']') : !name.endsWith(u'.')), qPrintable(name));
    QCOMPARE(g.server.Lines().value(0), "HELO " + name.toLatin1());
}

void TstSmtpClient::headerHookExtendsAndSuppresses()
{
    TFixture f;
    QStringList seenByOnHeaders;
    f.client.OnHeaders = [&](TCustomSmtpClient*, QStringList& h) { seenByOnHeaders = h; };
    f.client.OnHeaderLine = [](TCustomSmtpClient*, QString& msg, int) {
        if (msg.startsWith(QLatin1String("Mime-Version")))
            msg.clear(); // suppressed
        else if (msg.startsWith(QLatin1String("To:")))
            msg += QStringLiteral("\r\nReply-To: desk@example.com\r\nX-List: 7");
    };
    QVERIFY(f.Mail({QStringLiteral("b")}));
    QCOMPARE(seenByOnHeaders.size(), 6);
    const QList<QByteArray> h = f.Header();
    QCOMPARE(h.size(), 7);
    QCOMPARE(h.mid(1, 3), (QList<QByteArray>{"To: Readers <news@example.com>", "Reply-To: desk@example.com", "X-List: 7"}));
    QVERIFY(!h.join('\n').contains("Mime-Version"));
}

void TstSmtpClient::attachments_data()
{
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QList<QByteArray>>("contents");
    auto bytes = [](int size) {
        QByteArray b(size, Qt::Uninitialized);
        for (int i = 0; i < size; ++i)
            b[i] = char(i * 37 + 11);
        return b;
    };
    QTest::newRow("45 bytes: one base64 line") << QStringList{"report 2026.bin"}
                                               << QList<QByteArray>{"0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHI"};
    QTest::newRow("46 bytes") << QStringList{"f.dat"} << QList<QByteArray>{bytes(46)};
    QTest::newRow("empty") << QStringList{"f.dat"} << QList<QByteArray>{QByteArray()};
    QTest::newRow("100 bytes") << QStringList{"f.dat"} << QList<QByteArray>{bytes(100)};
    QTest::newRow("90 bytes") << QStringList{"f.dat"} << QList<QByteArray>{bytes(90)};
    QTest::newRow("two files") << QStringList{"one.txt", "two.bin"}
                               << QList<QByteArray>{QByteArray(5000, 'a'), QByteArray("\x00\xff\x10", 3)};
}

void TstSmtpClient::attachments()
{
    QFETCH(QStringList, names);
    QFETCH(QList<QByteArray>, contents);
    TFixture f;
    QStringList files, padded;
    for (qsizetype i = 0; i < names.size(); ++i) {
        files << f.File(names[i], contents[i]);
        padded << QStringLiteral("  ") + files.last() + QStringLiteral(" ");
    }
    f.client.SetEmailFiles(padded << QString());
    QCOMPARE(f.client.EmailFiles(), files); // trimmed, empty entries dropped
    QVERIFY(f.Mail({QStringLiteral("Dear reader,"), QStringLiteral(".signed")}));
    const QByteArray b = f.client.Boundary().toLatin1();
    QVERIFY(b.startsWith("= Multipart Boundary "));
    const QList<QByteArray> header = f.Header();
    QCOMPARE(header[4], QByteArray("Content-Type: multipart/mixed;"));
    QCOMPARE(header[5], "\tboundary=\"" + b + "\"");
    QList<QByteArray> expected{"This is a multipart MIME message.", "", "--" + b,
                               "Content-Type: text/plain; charset=\"iso-8859-1\"", "Content-Transfer-Encoding: 7bit", "",
                               "Dear reader,", "..signed"};
    for (qsizetype i = 0; i < names.size(); ++i) {
        // An empty line before each part; base64 in lines of 60 characters (45 bytes).
        const QByteArray name = names[i].toLatin1();
        expected << "" << "--" + b << "Content-Type: application/octet-stream;" << "\tname=\"" + name + "\""
                 << "Content-Transfer-Encoding: base64" << "Content-Disposition: attachment;" << "\tfilename=\"" + name + "\"" << "";
        qsizetype at = 0;
        do {
            expected << contents[i].mid(at, 45).toBase64();
            at += 45;
        } while (at < contents[i].size());
    }
    expected << "" << "--" + b + "--";
    QCOMPARE(f.Body(), expected);
}

void TstSmtpClient::missingAttachmentRefused()
{
    TFixture f;
    const QString here = f.File(QStringLiteral("here.txt"), "x");
    const QString gone = f.dir.filePath(QStringLiteral("gone.txt"));
    try {
        f.client.SetEmailFiles({here, gone, here});
        QFAIL("no exception");
    } catch (const SmtpException& e) {
        QCOMPARE(e.Message(), QStringLiteral("File not found '") + gone + u'\'');
    }
    QCOMPARE(f.client.EmailFiles(), QStringList{here});
    QVERIFY_THROWS_EXCEPTION(SmtpException, f.client.SetEmailFiles({f.dir.path()})); // a folder is no file
}

void TstSmtpClient::abandonedMessageNeverEnds_data()
{
    QTest::addColumn<bool>("attachment");
    QTest::addColumn<bool>("quit"); // "Cancel Send" while line 2 goes out; else the body provider throws at line 3
    QTest::newRow("provider throws") << false << false;
    QTest::newRow("provider throws, with attachment") << true << false;
    QTest::newRow("Quit while sending the message") << false << true;
}

// A message cut short is never ended with ".": the server throws it away. It ends at once,
// not by the wait running out, and nothing more (no QUIT) is written into the message.
void TstSmtpClient::abandonedMessageNeverEnds()
{
    QFETCH(bool, attachment);
    QFETCH(bool, quit);
    TFixture f;
    if (attachment)
        f.client.SetEmailFiles({f.File(QStringLiteral("a.bin"), QByteArray(100, 'a'))});
    f.client.OnGetData = [&](TCustomSmtpClient*, int n, QString& line, int, bool& more) {
        if (n == 3 && !quit)
            throw std::runtime_error("digest gone");
        line = QStringLiteral("line %1").arg(n);
        more = n <= 3; // three lines, unless cut short
    };
    bool quitResult = false, quitCalled = false;
    f.client.OnDisplay = [&](TCustomSmtpClient* c, const QString& m) {
        f.display << m;
        if (quit && m == QLatin1String("> line 2") && !quitCalled) {
            quitCalled = true;
            QVERIFY(c->SendingData());
            quitResult = c->Quit();
        }
    };
    int timeouts = 0;
    f.wait.OnTimeout = [&](TCustomWait*) { ++timeouts; };
    f.Greeted().Reply("250 ok").Reply("250 ok").Reply("354 go").Stall();
    QVERIFY(!f.client.Mail());
    QCOMPARE(quitResult, quit);
    QCOMPARE(f.client.Stage(), 0);
    QCOMPARE(timeouts, 0);
    QVERIFY(!f.display.contains(QStringLiteral("< 554 receive timeout")));
    QTRY_VERIFY(f.server.ClientClosed());
    QVERIFY(f.server.Lines().contains("DATA"));
    QVERIFY(!f.server.Lines().contains("QUIT"));
    QVERIFY(!f.server.Lines().contains("."));
    QVERIFY(!f.server.Lines().contains("line 3"));
    if (!quit)
        QVERIFY(!f.client.ErrorMessage().isEmpty());
}

void TstSmtpClient::brokenDialogue_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("error");
    QTest::addColumn<bool>("shown"); // displayed as the server's reply
    QTest::newRow("hang-up after the recipients") << "hang-up" << "554 not connected" << true;
    QTest::newRow("no reply to RCPT") << "silence" << "554 receive timeout" << true;
    QTest::newRow("server stops reading") << "deaf" << "554 send timeout" << false;
    QTest::newRow("attachment vanished") << "vanished" << "Cannot read attachment '%1'" << false;
}

void TstSmtpClient::brokenDialogue()
{
    QFETCH(QString, fault);
    QFETCH(QString, error);
    QFETCH(bool, shown);
    TFixture f;
    f.client.SetTimeOut(3);
    f.body = {QStringLiteral("text")};
    int n = 0;
    if (fault == QLatin1String("hang-up")) {
        f.Greeted().Reply("250 ok").Reply("250 ok").Close(); // DATA and the rest run out as "not connected"
    } else if (fault == QLatin1String("silence")) {
        f.client.RcptName() = QStringList{"a@x.org", "b@x.org"};
        f.Greeted().Reply("250 ok").Expect().Stall();
    } else {
        f.Greeted().Reply("250 ok").Reply("250 ok").Reply("354 go");
        if (fault == QLatin1String("deaf")) {
            // The client's output backs up; the wait for it to leave is bounded by TimeOut.
            f.server.Deafen();
            f.client.SetTimeOut(2);
            f.wait.SetInterval(1000);
            f.client.OnGetData = [&](TCustomSmtpClient*, int, QString& line, int, bool& more) {
                more = ++n <= 200000; // about 180 MB: more than the system buffers hold
                line = QString(900, u'z');
            };
        } else {
            const QString file = f.File(QStringLiteral("vanishing.txt"), "soon gone");
            f.client.SetEmailFiles({file});
            QVERIFY(QFile::remove(file));
            error = error.arg(file);
        }
        f.server.Stall();
    }
    QVERIFY(!f.client.Mail());
    QVERIFY(f.server.Finished()); // the fault was reached
    QCOMPARE(f.client.ErrorMessage(), error);
    if (shown)
        QVERIFY(f.display.contains(QStringLiteral("< ") + error));
    QCOMPARE(f.client.Stage(), 0);
    QCOMPARE(f.client.Socket()->State(), wsClosed);
    if (fault != QLatin1String("deaf")) // a server that reads nothing cannot see the close
        QTRY_VERIFY(f.server.ClientClosed());
    QVERIFY(!f.server.Lines().contains(".")); // the server never saw a complete message
    QVERIFY(n < 200000); // with a deaf server: given up before the end
    // Nothing after a timed-out command reaches the server: no late reply can be taken for the
    // answer to a later command.
    if (fault == QLatin1String("silence"))
        QCOMPARE(f.server.Lines().last(), QByteArray("RCPT TO:<a@x.org>"));
    QVERIFY(f.client.Rset()); // not connected: nothing to do
    QVERIFY(f.client.Quit());
}

void TstSmtpClient::hostileValues_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("value");
    QTest::newRow("recipient") << "rcpt" << "victim@x.org>\r\nRCPT TO:<evil@x.org";
    QTest::newRow("sender") << "from" << "a@x.org>\r\nRCPT TO:<evil@x.org";
    QTest::newRow("subject") << "subject" << "Hello\r\nBcc: evil@x.org";
    QTest::newRow("subject with bare LF and blank line") << "subject" << "Hi\n\nBcc: evil@x.org\n";
    QTest::newRow("To from a memo") << "to" << "one@x.org\r\ntwo@x.org\r\n\r\nthree@x.org";
    QTest::newRow("header From") << "hdrfrom" << "me@x.org\rBcc: evil@x.org";
    QTest::newRow("body line") << "body" << "text\r\n.\r\nMAIL FROM:<evil@x.org>";
    QTest::newRow("sign-on") << "signon" << "host\r\nMAIL FROM:<evil@x.org>";
    QTest::newRow("charset") << "charset" << "utf-8\"\r\nBcc: evil@x.org";
}

void TstSmtpClient::hostileValues()
{
    QFETCH(QString, field);
    QFETCH(QString, value);
    TFixture f;
    f.body = {QStringLiteral("plain")};
    const QHash<QString, std::function<void()>> assign{
        {"rcpt", [&] { f.client.RcptName() = QStringList{value, QStringLiteral("ok@x.org")}; }},
        {"from", [&] { f.client.SetFromName(value); }},
        {"subject", [&] { f.client.SetHdrSubject(value); }},
        {"to", [&] { f.client.SetHdrTo(value); }},
        {"hdrfrom", [&] { f.client.SetHdrFrom(value); }},
        {"body", [&] { f.body = {value, QStringLiteral("after")}; }},
        {"signon", [&] { f.client.SetSignOn(value); }},
        {"charset", [&] { f.client.SetCharSet(value); }}};
    assign.value(field)();
    f.Greeted().Reply("250 ok").Reply("250 ok").Reply("354 go").ExpectUntil(".").Send("250 queued");
    const bool ok = f.client.Mail();
    QCoreApplication::processEvents();
    const QList<QByteArray> lines = f.server.Lines();
    // Nothing hostile ever became a command of its own (message lines are data, not commands).
    const qsizetype dataAt = lines.indexOf("DATA");
    const QList<QByteArray> commands = dataAt < 0 ? lines : lines.mid(0, dataAt + 1) + lines.mid(lines.indexOf(".", dataAt));
    for (const QByteArray& l : commands) {
        QVERIFY2(!l.startsWith("RCPT TO:<evil"), l.constData());
        QVERIFY2(!l.startsWith("MAIL FROM:<evil"), l.constData());
    }
    QVERIFY(lines.count("MAIL FROM:<news@example.com>") <= 1);
    if (field == QLatin1String("from") || field == QLatin1String("signon")) {
        QVERIFY(!ok);
        QVERIFY(!f.client.ErrorMessage().isEmpty());
        QVERIFY(!lines.contains("DATA"));
        return;
    }
    QVERIFY(ok);
    if (field == QLatin1String("rcpt")) {
        QCOMPARE(lines.count("RCPT TO:<ok@x.org>"), 1);
        QCOMPARE(std::count_if(lines.begin(), lines.end(), [](const QByteArray& l) { return l.startsWith("RCPT"); }), 1);
        QVERIFY(f.client.ErrorMessage().startsWith(QLatin1String("Recipient refused")));
    }
    // The header: every line a field of its own or a continuation, no field smuggled in.
    const QList<QByteArray> header = f.Header();
    QStringList fields;
    for (const QByteArray& h : header) {
        QVERIFY2(!h.isEmpty(), "blank line inside the header");
        if (h.startsWith(' ') || h.startsWith('\t'))
            continue;
        fields << QString::fromLatin1(h.left(h.indexOf(':')));
    }
    QCOMPARE(fields, (QStringList{"From", "To", "Subject", "Mime-Version", "Content-Type", "Date"}));
    QCOMPARE(f.Message().count("."), 0); // one terminator, never inside the data
    if (field == QLatin1String("to"))
        QCOMPARE(header.mid(1, 3), (QList<QByteArray>{"To: one@x.org,", "\ttwo@x.org,", "\tthree@x.org"}));
    if (field == QLatin1String("subject") && value.startsWith(QLatin1String("Hello")))
        QCOMPARE(header.mid(2, 2), (QList<QByteArray>{"Subject: Hello", "\tBcc: evil@x.org"}));
    if (field == QLatin1String("body"))
        QCOMPARE(f.Body(), (QList<QByteArray>{"text", "..", "MAIL FROM:<evil@x.org>", "after"}));
}

void TstSmtpClient::longHeaderLinesFolded_data()
{
    QTest::addColumn<QString>("subject");
    QString words;
    while (words.size() < 1500)
        words += QStringLiteral("word%1 ").arg(words.size());
    QTest::newRow("1500 characters of words") << words.trimmed();
    QTest::newRow("2000 characters, no space") << QString(2000, u'w');
    QTest::newRow("exactly 1024") << QString(1024 - 9, u'k');
}

void TstSmtpClient::longHeaderLinesFolded()
{
    QFETCH(QString, subject);
    TFixture f;
    f.client.SetHdrSubject(subject);
    QVERIFY(f.Mail({QStringLiteral("b")}));
    QByteArray unfolded;
    bool inSubject = false;
    for (const QByteArray& h : f.Header()) {
        QVERIFY2(h.size() <= 998, QByteArray::number(h.size()).constData());
        if (h.startsWith("Subject: ")) {
            inSubject = true;
            unfolded = h.mid(9);
        } else if (inSubject && (h.startsWith(' ') || h.startsWith('\t'))) {
            unfolded += h;
        } else {
            inSubject = false;
        }
    }
    if (subject.contains(u' '))
        QCOMPARE(QString::fromLatin1(unfolded), subject); // folded at white space: nothing lost or added
    else
        QCOMPARE(QString::fromLatin1(unfolded).remove(u' '), subject); // a hard fold adds one space
}

void TstSmtpClient::sanitizedHeaderLinesAreFields_data()
{
    QTest::addColumn<QString>("buffer");
    const QString x995(995, u'x');
    QTest::newRow("only blanks after the last fold point") << QStringLiteral("A: ") + x995 + QStringLiteral("   ");
    QTest::newRow("only tabs after the last fold point") << QStringLiteral("A: ") + x995 + QStringLiteral("\t\t\t\t");
    QTest::newRow("blank run longer than a line") << QStringLiteral("Subject: a") + QString(2000, u' ') + QStringLiteral("b");
    QTest::newRow("blank run across the limit") << QStringLiteral("Subject: ") + QString(980, u'y') + QString(30, u' ') + QStringLiteral("z");
    QTest::newRow("stray line of blanks then text")
        << QStringLiteral("To: a@x.org\r\n") + QString(1500, u'\t') + QStringLiteral("b@x.org\r\nFrom: c@x.org");
    QTest::newRow("blank run after the name") << QStringLiteral("X-Long:") + QString(1200, u' ') + QStringLiteral("v");
}

// Every physical line is a field or a continuation that carries text: a line of only white
// space reads as the end of the header to a lenient receiver. Unfolding gives the text back
// (white space runs may shrink).
void TstSmtpClient::sanitizedHeaderLinesAreFields()
{
    QFETCH(QString, buffer);
    const QString out = TCustomSmtpClient::SanitizeHeader(buffer);
    const QStringList lines = out.split(QStringLiteral("\r\n"));
    for (const QString& line : lines) {
        QVERIFY2(!line.trimmed().isEmpty(), qPrintable(QStringLiteral("white-space-only line of %1").arg(line.size())));
        QVERIFY2(line.size() <= TCustomSmtpClient::HeaderLineLimit, qPrintable(QString::number(line.size())));
        QVERIFY(!line.contains(u'\r') && !line.contains(u'\n'));
    }
    QVERIFY(!lines.first().startsWith(u' ') && !lines.first().startsWith(u'\t'));
    QCOMPARE(lines.join(u' ').simplified(), buffer.simplified());
}

void TstSmtpClient::quitRsetAbort()
{
    TFixture f;
    QVERIFY(f.client.Quit()); // not connected: true, nothing sent
    QVERIFY(f.client.Rset());
    f.Greeted().Reply("250 reset").Reply("500 what").Reply("221 bye");
    QVERIFY(f.client.Connect());
    QVERIFY(f.client.Rset());
    QCOMPARE(f.client.Stage(), 2);
    QVERIFY(!f.client.Rset());
    QCOMPARE(f.client.Stage(), 2);
    QVERIFY(f.client.Quit());
    QCOMPARE(f.client.Stage(), 0);

    TFixture g;
    g.Greeted().Stall();
    QVERIFY(g.client.Connect());
    QVERIFY(g.client.Abort());
    QCOMPARE(g.client.Stage(), 0);
    QTRY_VERIFY(g.server.ClientClosed());
    QCOMPARE(g.server.Lines().size(), 1); // no command sent

    TFixture h; // a QUIT the server does not acknowledge still closes
    h.Greeted().Reply("500 no").Stall();
    QVERIFY(h.client.Connect());
    QVERIFY(!h.client.Quit());
    QCOMPARE(h.client.Stage(), 0);
    QCOMPARE(h.client.Socket()->State(), wsClosed);
}

void TstSmtpClient::dateAndBoundaryTexts()
{
    const QDateTime when(QDate(2026, 12, 5), QTime(13, 50, 36));
    QCOMPARE(TCustomSmtpClient::DateText(when), QStringLiteral("Sat, 5 Dec 2026 13:50:36"));
    QCOMPARE(TCustomSmtpClient::DateText(QDateTime(QDate(2027, 1, 11), QTime(7, 5, 9))),
             QStringLiteral("Mon, 11 Jan 2027 07:05:09"));
    QCOMPARE(TSmtpClient::MakeBoundary(when), QStringLiteral("= Multipart Boundary Dec05261350"));
}

void TstSmtpClient::recipientResults_data()
{
    QTest::addColumn<QStringList>("recipients");
    QTest::addColumn<QList<QByteArray>>("replies"); // one per RCPT that reaches the wire
    QTest::addColumn<QString>("states");            // A accepted, D deferred, R refused
    QTest::addColumn<QList<QByteArray>>("sent");    // the RCPT lines the server saw
    QTest::addColumn<QString>("error");             // the first refusal stays the message's error
    QTest::addColumn<bool>("taken");                // DATA sent and the message queued
    // A deferral ends the transaction: no further RCPT goes into it (N: not attempted).
    QTest::newRow("all kinds") << QStringList{"a@x.org", "b@x.org", "c@x.org", "d@x.org", "e@x.org"}
                               << QList<QByteArray>{"250 ok", "550 no user", "251 forwarded", "452 too many recipients"}
                               << "ARADN"
                               << QList<QByteArray>{"RCPT TO:<a@x.org>", "RCPT TO:<b@x.org>", "RCPT TO:<c@x.org>",
                                                    "RCPT TO:<d@x.org>"}
                               << "550 no user" << true;
    QTest::newRow("refused ones do not stop the message")
        << QStringList{"bad@x.org", "good@x.org", "worse@x.org"}
        << QList<QByteArray>{"550 no such user", "251 forwarded", "553 mailbox name not allowed"} << "RAR"
        << QList<QByteArray>{"RCPT TO:<bad@x.org>", "RCPT TO:<good@x.org>", "RCPT TO:<worse@x.org>"} << "550 no such user"
        << true;
    QTest::newRow("parameters smuggled") << QStringList{"a@x.org> NOTIFY=NEVER", "<b@x.org>", "c @x.org", "d@x.org"}
                                         << QList<QByteArray>{"250 ok"} << "RRRA"
                                         << QList<QByteArray>{"RCPT TO:<d@x.org>"}
                                         << "Recipient refused, not a plain address: a@x.org> NOTIFY=NEVER" << true;
    // Nobody taken: no DATA (it would only be refused); RSET keeps the session usable.
    QTest::newRow("temporary failure") << QStringList{"a@x.org", "b@x.org"} << QList<QByteArray>{"451 busy"} << "DN"
                                       << QList<QByteArray>{"RCPT TO:<a@x.org>"} << "451 busy" << false;
    QTest::newRow("all refused") << QStringList{"a@x.org", "b@x.org"} << QList<QByteArray>{"553 not here", "554 nor here"}
                                 << "RR" << QList<QByteArray>{"RCPT TO:<a@x.org>", "RCPT TO:<b@x.org>"} << "553 not here"
                                 << false;
}

void TstSmtpClient::recipientResults()
{
    QFETCH(QStringList, recipients);
    QFETCH(QList<QByteArray>, replies);
    QFETCH(QString, states);
    QFETCH(QList<QByteArray>, sent);
    TFixture f;
    f.client.RcptName() = recipients;
    QFETCH(bool, taken);
    f.Greeted().Reply("250 sender ok");
    for (const QByteArray& r : replies)
        f.server.Reply(r);
    if (taken)
        f.server.Expect("DATA").Send("354 go").ExpectUntil(".").Send("250 queued");
    else
        f.server.Expect("RSET").Send("250 reset");
    f.body = {QStringLiteral("x")};
    QCOMPARE(f.client.Mail(), taken);
    QCOMPARE(int(f.client.LastStep()), int(taken ? TMailStep::Done : TMailStep::Recipients));
    QString got;
    for (const TRcptResult& r : f.client.RcptResults())
        got += QStringLiteral("ARDN")[int(r.State)];
    QCOMPARE(got, states);
    QCOMPARE(f.client.RcptResults().size(), recipients.size());
    QList<QByteArray> rcpt;
    for (const QByteArray& l : f.server.Lines())
        if (l.startsWith("RCPT"))
            rcpt << l;
    QCOMPARE(rcpt, sent);
    QVERIFY(f.server.Mismatches().isEmpty());
    QTEST(f.client.ErrorMessage(), "error");
}

void TstSmtpClient::longReplyLinesJoined_data()
{
    QTest::addColumn<int>("length");
    QTest::newRow("just over a piece") << 255;
    QTest::newRow("300 characters") << 300;
    QTest::newRow("three pieces") << 700;
}

void TstSmtpClient::longReplyLinesJoined()
{
    QFETCH(int, length);
    TFixture f;
    const QString refusal = QStringLiteral("550 ") + QString(length - 4, u'r');
    const QString helo = QStringLiteral("250-") + QString(length - 4, u'h');
    f.client.RcptName() = QStringList{"bad@x.org", "good@x.org"};
    // Every exchange answered exactly: a cut reply would put the dialogue out of step.
    f.server.Send("220 hi").Expect("HELO client.example").Send(helo.toLatin1()).Send("250 hello")
        .Expect("MAIL FROM:<news@example.com>").Send("250 ok")
        .Expect("RCPT TO:<bad@x.org>").Send(refusal.toLatin1())
        .Expect("RCPT TO:<good@x.org>").Send("250 ok")
        .Expect("DATA").Send("354 go").ExpectUntil(".").Send("250 queued");
    f.body = {QStringLiteral("x")};
    QVERIFY(f.client.Mail());
    QVERIFY2(f.server.Mismatches().isEmpty(), qPrintable(f.server.Mismatches().join(u'\n')));
    QCOMPARE(f.client.ErrorMessage(), refusal);
    QCOMPARE(f.client.RcptResults().value(0).Reply, refusal);
    QVERIFY(f.display.contains(QStringLiteral("< ") + refusal));
    QVERIFY(f.display.contains(QStringLiteral("< ") + helo));
}

void TstSmtpClient::quitFromDisplayOfFinalReply()
{
    TFixture f;
    f.body = {QStringLiteral("x")};
    bool quitResult = false;
    f.client.OnDisplay = [&](TCustomSmtpClient* c, const QString& m) {
        f.display << m;
        if (m == QLatin1String("< 250 queued"))
            quitResult = c->Quit(); // what the send engine does on success
    };
    f.Dialogue().Expect("QUIT").Send("221 bye");
    QVERIFY(f.client.Mail());
    QVERIFY(quitResult);
    QVERIFY(f.server.Mismatches().isEmpty());
    QCOMPARE(f.client.Stage(), 0);
}

void TstSmtpClient::socketFailureBecomesError_data()
{
    QTest::addColumn<QString>("breakAt"); // the display line at which the connection breaks
    QTest::addColumn<bool>("connectOnly");
    QTest::newRow("HELO") << "> HELO client.example" << true;
    QTest::newRow("MAIL FROM") << "> MAIL FROM:<news@example.com>" << false;
    QTest::newRow("RCPT TO") << "> RCPT TO:<a@example.org>" << false;
    QTest::newRow("body") << "> line 1" << false;
}

void TstSmtpClient::socketFailureBecomesError()
{
    QFETCH(QString, breakAt);
    QFETCH(bool, connectOnly);
    TFixture f;
    f.body = {QStringLiteral("line 1")};
    f.client.OnDisplay = [&](TCustomSmtpClient* c, const QString& m) {
        if (m == breakAt)
            BreakSocket(c->Socket());
    };
    f.Dialogue();
    bool ok = true;
    try {
        ok = connectOnly ? f.client.Connect() : f.client.Mail();
    } catch (const ESocketException& e) {
        QFAIL(qPrintable(QStringLiteral("escaped: ") + e.Message()));
    }
    QVERIFY(!ok);
    QVERIFY2(f.client.ErrorMessage().startsWith(QLatin1String("Error ")), qPrintable(f.client.ErrorMessage()));
    QCOMPARE(f.client.Stage(), 0);
    QCOMPARE(f.client.Socket()->State(), wsClosed);
    QVERIFY(f.client.Quit());
}

QTEST_MAIN(TstSmtpClient)
#include "tst_smtpclient.moc"
