// The rules of retrieved messages without a server: record fields, the Inbox file's lines and
// name, addresses, MIME text, the deletion queue.
#include "inbox/BounceSamples.h"
#include "inbox/MailText.h"
#include "platform/Cp1252.h"
#include "support/TestUtil.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

namespace {
QStringList Lines(const char* crlfText)
{
    QString t = QString::fromLatin1(crlfText);
    if (t.endsWith(QLatin1String("\r\n")))
        t.chop(2);
    return t.split(QStringLiteral("\r\n"));
}

const char* const kMime =
    "From: =?utf-8?B?SsO8cmdlbg==?= <juergen@example.org>\r\n"
    "To: news@example.org\r\n"
    "Subject: =?utf-8?Q?Gr=C3=BC=C3=9Fe_aus_K=C3=B6ln?=\r\n"
    "Date: Mon, 7 Dec 2026 10:00:00 +0100\r\n"
    "MIME-Version: 1.0\r\n"
    "Content-Type: multipart/mixed; boundary=\"outer\"\r\n"
    "\r\n"
    "This is a multi-part message in MIME format.\r\n"
    "--outer\r\n"
    "Content-Type: multipart/alternative; boundary=\"alt\"\r\n"
    "\r\n"
    "--alt\r\n"
    "Content-Type: text/plain; charset=utf-8\r\n"
    "Content-Transfer-Encoding: quoted-printable\r\n"
    "\r\n"
    "Sch=C3=B6ne Gr=C3=BC=C3=9Fe,\r\n"
    "a long soft=\r\n"
    " break line\r\n"
    "--alt\r\n"
    "Content-Type: text/html; charset=utf-8\r\n"
    "Content-Transfer-Encoding: base64\r\n"
    "\r\n"
    "PGI+SFRNTDwvYj4=\r\n"
    "--alt--\r\n"
    "--outer\r\n"
    "Content-Type: application/pdf; name=\"report.pdf\"\r\n"
    "Content-Disposition: attachment; filename=\"report.pdf\"\r\n"
    "Content-Transfer-Encoding: base64\r\n"
    "\r\n"
    "JVBERi0xLjQK\r\n"
    "--outer--\r\n";
} // namespace

class TestMailText : public QObject
{
    Q_OBJECT
public:
    static void initMain() { qputenv("LC_ALL", "C"); }

private slots:
    void recordFields_data()
    {
        QTest::addColumn<QString>("message");
        QTest::addColumn<QStringList>("fields"); // From, To, Subject, Date
        QTest::newRow("plain") << "From: Bob Smith <bob@example.org>\r\nTo: news@example.org\r\nSubject:  Hi there  \r\n"
                                  "Date:   Mon, 7 Dec 2026\r\n\r\nbody\r\n"
                               << QStringList{"BobSmith<bob@example.org>", "news@example.org", "Hi there", "Mon, 7 Dec 2026"};
        QTest::newRow("reply-to is not to") << "Reply-To: other@example.org\r\nTo: a@example.org\r\n\r\n"
                                            << QStringList{"", "a@example.org", "", ""};
        QTest::newRow("body lines never count") << "From: a@example.org\r\n\r\nSubject: in body\r\nTo: x@y\r\nDate: no\r\n"
                                                << QStringList{"a@example.org", "", "", ""};
        QTest::newRow("field name at the start only") << "X-Original-From: spoof@example.org\r\nFrom: real@example.org\r\n\r\n"
                                                      << QStringList{"real@example.org", "", "", ""};
        QTest::newRow("folded and lower case") << "subject: a long\r\n\tsubject\r\nFROM: x@example.org\r\n\r\n"
                                               << QStringList{"x@example.org", "", "a long\tsubject", ""};
        QTest::newRow("encoded words") << "From: =?utf-8?B?SsO8cmdlbg==?= <j@example.org>\r\n"
                                          "Subject: =?iso-8859-1?Q?caf=E9?= ok\r\n\r\n"
                                       << QStringList{QStringLiteral("J\u00fcrgen<j@example.org>"), "", QStringLiteral("caf\u00e9 ok"), ""};
        QTest::newRow("first of two") << "Subject: one\r\nSubject: two\r\n\r\n" << QStringList{"", "", "one", ""};
    }
    void recordFields()
    {
        QFETCH(QString, message);
        QFETCH(QStringList, fields);
        TMailRecord r;
        mailtext::FillRecord(r, Lines(message.toLatin1().constData()));
        QCOMPARE((QStringList{r.From, r.To, r.Subject, r.Date}), fields);
    }

    void longValuesAreCut()
    {
        TMailRecord r;
        mailtext::FillRecord(r, {QStringLiteral("Subject: ") + QString(400, u'x'), QString()});
        QCOMPARE(r.Subject.size(), 255);
    }

    void inboxFileLayout()
    {
        const QStringList message = Lines("Return-Path: <bob@example.org>\r\n"
                                          "From: Bob <bob@example.org>\r\n"
                                          "To: news@example.org\r\n"
                                          "Cc: c1@example.org\r\n"
                                          "Cc: c2@example.org\r\n"
                                          "Bcc: b@example.org\r\n"
                                          "Reply-To: Bob In Town <r@example.org>\r\n"
                                          "Subject: Hello\r\n"
                                          " again\r\n"
                                          "Date: Mon, 7 Dec 2026\r\n"
                                          "To: second@example.org\r\n"
                                          "\r\n"
                                          "Dear all,\r\n"
                                          "To: whom it may concern\r\n"
                                          "Subject: not a header\r\n"
                                          "\r\n"
                                          "Bye\r\n");
        // The readable header and the body as sent on top; below the separator the header as
        // received, line for line.
        const QStringList expected = Lines("From: Bob <bob@example.org>\r\n"
                                           "To: news@example.org\r\n"
                                           "Cc: c1@example.org\r\n"
                                           "Bcc: b@example.org\r\n"
                                           "Reply-To: Bob In Town <r@example.org>\r\n"
                                           "Subject: Hello again\r\n"
                                           "Date: Mon, 7 Dec 2026\r\n"
                                           "To: second@example.org\r\n")
                                     + message.mid(11) + QStringList{"", "", QString(50, u'_')} + message.mid(0, 11)
                                     << QString();
        QCOMPARE(mailtext::InboxLines(message), expected);
    }

    void inboxFileEdges_data()
    {
        QTest::addColumn<QStringList>("message");
        QTest::addColumn<QStringList>("expected");
        const QString sep = mailtext::Separator();
        QTest::newRow("no empty line: all header")
            << QStringList{"Subject: s", "X-A: 1"} << QStringList{"Subject: s", "", "", sep, "Subject: s", "X-A: 1"};
        QTest::newRow("empty body") << QStringList{"Subject: s", ""}
                                    << QStringList{"Subject: s", "", "", "", sep, "Subject: s", ""};
        QTest::newRow("reply-to without In is left out")
            << QStringList{"Reply-To: r@example.org", "", "b"}
            << QStringList{"", "b", "", "", sep, "Reply-To: r@example.org", ""};
        QTest::newRow("encoded subject readable above, raw below")
            << QStringList{"Subject: =?utf-8?Q?Gr=C3=BC=C3=9Fe?=", "", "b"}
            << QStringList{QStringLiteral("Subject: Gr\u00fc\u00dfe"), "", "b", "", "", sep, "Subject: =?utf-8?Q?Gr=C3=BC=C3=9Fe?=", ""};
    }
    void inboxFileEdges()
    {
        QFETCH(QStringList, message);
        QFETCH(QStringList, expected);
        QCOMPARE(mailtext::InboxLines(message), expected);
    }

    void addresses_data()
    {
        QTest::addColumn<QString>("sender");
        QTest::addColumn<QString>("address");
        QTest::newRow("bare") << "bob@example.org" << "bob@example.org";
        QTest::newRow("display name") << "Bob Smith <bob@example.org>" << "bob@example.org";
        QTest::newRow("blanks removed") << "BobSmith<bob@example.org>" << "bob@example.org";
        QTest::newRow("comment") << "bob@example.org (Bob)" << "bob@example.org";
        QTest::newRow("quoted name with colon") << "\"Smith: Bob\" <bob@example.org>" << "bob@example.org";
        QTest::newRow("second at") << "a@b@c" << "a@b";
        QTest::newRow("no at") << "com" << "";
        QTest::newRow("empty") << "" << "";
        QTest::newRow("short") << "x@com" << "x@com";
    }
    void addresses()
    {
        QFETCH(QString, sender);
        QFETCH(QString, address);
        QCOMPARE(mailtext::AddressOf(sender), address);
    }

    void mimeNeeded_data()
    {
        QTest::addColumn<QString>("header");
        QTest::addColumn<bool>("needed");
        QTest::newRow("none") << "Subject: x" << false;
        QTest::newRow("plain ascii 7bit") << "Content-Type: text/plain; charset=us-ascii\r\nContent-Transfer-Encoding: 7bit" << false;
        QTest::newRow("plain latin1 8bit") << "Content-Type: text/plain; charset=\"ISO-8859-1\"\r\nContent-Transfer-Encoding: 8bit" << false;
        QTest::newRow("plain utf-8") << "Content-Type: text/plain; charset=utf-8" << true;
        QTest::newRow("quoted-printable") << "Content-Transfer-Encoding: quoted-printable" << true;
        QTest::newRow("html") << "Content-Type: text/html" << true;
        QTest::newRow("multipart") << "Content-Type: multipart/alternative; boundary=x" << true;
    }
    void mimeNeeded()
    {
        QFETCH(QString, header);
        QFETCH(bool, needed);
        QCOMPARE(mailtext::NeedsMimeDecoding(mailtext::HeaderFields(header.split(QStringLiteral("\r\n")))), needed);
    }

    void mimeReadable()
    {
        const QStringList message = Lines(kMime);
        const QStringList file = mailtext::InboxLines(message);
        const QStringList expectedTop = {QStringLiteral("From: J\u00fcrgen <juergen@example.org>"),
                                         QStringLiteral("To: news@example.org"),
                                         QStringLiteral("Subject: Gr\u00fc\u00dfe aus K\u00f6ln"),
                                         QStringLiteral("Date: Mon, 7 Dec 2026 10:00:00 +0100"),
                                         QString(),
                                         QStringLiteral("Sch\u00f6ne Gr\u00fc\u00dfe,"),
                                         QStringLiteral("a long soft break line"),
                                         QString(),
                                         QStringLiteral("Attachment: report.pdf (application/pdf)"),
                                         QString(),
                                         QString(),
                                         mailtext::Separator()};
        QCOMPARE(file.mid(0, expectedTop.size()), expectedTop);
        // The header as received follows, untouched.
        QCOMPARE(file.mid(expectedTop.size()), mailtext::ReceivedHeaderLines(message));
        TMailRecord r;
        mailtext::FillRecord(r, message);
        QCOMPARE(r.Subject, QStringLiteral("Gr\u00fc\u00dfe aus K\u00f6ln"));
        QCOMPARE(r.From, QStringLiteral("J\u00fcrgen<juergen@example.org>"));
    }

    void mimeBodies_data()
    {
        QTest::addColumn<QByteArray>("message");
        QTest::addColumn<QStringList>("body");
        QTest::newRow("html only, base64")
            << QByteArray("Content-Type: text/html; charset=utf-8\r\nContent-Transfer-Encoding: base64\r\n\r\n"
                          "PHA+SGVsbG8gPGI+V29ybGQ8L2I+PC9wPjxwPlNlY29uZDwvcD4=\r\n")
            << QStringList{"Hello World", "Second"};
        QTest::newRow("latin-1 quoted-printable")
            << QByteArray("Content-Type: text/plain; charset=iso-8859-1\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\n"
                          "caf=E9 =3D ok\r\n")
            << QStringList{QStringLiteral("caf\u00e9 = ok")};
        QTest::newRow("utf-8 8bit") << QByteArray("Content-Type: text/plain; charset=utf-8\r\n\r\nna\xc3\xafve\r\n")
                                    << QStringList{QStringLiteral("na\u00efve")};
    }
    void mimeBodies()
    {
        QFETCH(QByteArray, message);
        QFETCH(QStringList, body);
        QCOMPARE(mailtext::ReadableBody(message), body);
    }

    // Real-world shapes that lost their text or showed it garbled: the record and the readable
    // top of the Inbox file (up to the separator).
    void oddMessages_data()
    {
        QTest::addColumn<QByteArray>("message");
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("subject");
        QTest::addColumn<QStringList>("top");
        QTest::newRow("text without a subtype")
            << QByteArray("Subject: s\r\nContent-Type: text\r\n\r\nHello plain\r\n") << "" << "s"
            << QStringList{"Subject: s", "", "Hello plain"};
        QTest::newRow("text without a subtype, base64")
            << QByteArray("Subject: s\r\nContent-Type: text; charset=utf-8\r\nContent-Transfer-Encoding: base64\r\n\r\n"
                          "SGVsbG8gYmFzZTY0\r\n")
            << "" << "s" << QStringList{"Subject: s", "", "Hello base64"};
        QTest::newRow("multipart without a boundary")
            << QByteArray("Subject: s\r\nContent-Type: multipart/mixed\r\n\r\nJust text\r\nmore\r\n") << "" << "s"
            << QStringList{"Subject: s", "", "Just text", "more"};
        QTest::newRow("multipart whose boundary never comes")
            << QByteArray("Subject: s\r\nContent-Type: multipart/alternative; boundary=\"=_Part_1\"\r\n\r\n"
                          "Written by hand\r\n--=_Par\r\n")
            << "" << "s" << QStringList{"Subject: s", "", "Written by hand", "--=_Par"};
        QTest::newRow("character split over two encoded words")
            << QByteArray("From: =?UTF-8?B?UsM=?= =?UTF-8?B?vGNrYmxpY2s=?= <r@example.org>\r\n"
                          "Subject: =?UTF-8?B?UsM=?= =?UTF-8?B?vGNrYmxpY2s=?=\r\n\r\nb\r\n")
            << QStringLiteral("R\u00fcckblick<r@example.org>") << QStringLiteral("R\u00fcckblick")
            << QStringList{QStringLiteral("From: R\u00fcckblick <r@example.org>"), QStringLiteral("Subject: R\u00fcckblick"),
                           "", "b"};
        QTest::newRow("raw UTF-8 header values")
            << QByteArray("From: Zo\xc3\xab <zoe@example.org>\r\nSubject: Caf\xc3\xa9 \xe2\x82\xac" "5\r\n\r\nb\r\n")
            << QStringLiteral("Zo\u00eb<zoe@example.org>") << QStringLiteral("Caf\u00e9 \u20ac5")
            << QStringList{QStringLiteral("From: Zo\u00eb <zoe@example.org>"), QStringLiteral("Subject: Caf\u00e9 \u20ac5"),
                           "", "b"};
        QTest::newRow("Windows-1252 header values stay")
            << QByteArray("Subject: Caf\xe9 \x80\r\n\r\nb\r\n") << "" << QStringLiteral("Caf\u00e9 \u20ac")
            << QStringList{QStringLiteral("Subject: Caf\u00e9 \u20ac"), "", "b"};
        QTest::newRow("no empty line after the header")
            << QByteArray("From: a@example.org\r\nSubject: s\r\nHello there\r\nTo: you\r\n") << "a@example.org" << "s"
            << QStringList{"From: a@example.org", "Subject: s", "", "Hello there", "To: you"};
        QTest::newRow("no header") << QByteArray("Hello,\r\nthis is me: Ann\r\n\r\nbody\r\n") << "" << ""
                                   << QStringList{"", "Hello,", "this is me: Ann", "", "body"};
    }
    void oddMessages()
    {
        QFETCH(QByteArray, message);
        QFETCH(QString, from);
        QFETCH(QString, subject);
        QFETCH(QStringList, top);
        QStringList lines; // as the socket hands them over: one character per byte, Windows-1252
        for (const QByteArray& l : message.chopped(2).split('\n'))
            lines << cp1252::decode(l.endsWith('\r') ? l.chopped(1) : l);
        TMailRecord r;
        mailtext::FillRecord(r, lines);
        QCOMPARE(r.From, from);
        QCOMPARE(r.Subject, subject);
        const QStringList file = mailtext::InboxLines(lines);
        const qsizetype sep = file.indexOf(mailtext::Separator());
        QVERIFY(sep >= 2);
        QCOMPARE(file.mid(0, sep - 2), top);
    }

    // Each report's recipients as "address status diagnostic".
    void bounceReports_data()
    {
        QTest::addColumn<QByteArray>("message");
        QTest::addColumn<QStringList>("reports");
        const QByteArray unknown = "550 5.1.1 <gone@example.com>: Recipient address rejected: User unknown";
        QTest::newRow("delivery status, permanent")
            << bounces::Dsn("gone@example.com", "failed", "5.1.1", unknown)
            << QStringList{"gone@example.com 5.1.1 " + QString::fromLatin1(unknown)};
        QTest::newRow("delivery status, delayed")
            << bounces::Dsn("slow@example.com", "delayed", "4.4.1", "connect to mail.example.com: Connection timed out")
            << QStringList{"slow@example.com 4.4.1 connect to mail.example.com: Connection timed out"};
        QTest::newRow("delivery status, no status field")
            << QByteArray(bounces::Dsn("gone@example.com", "failed", "x", "gone")).replace("Status: x\r\n", "")
            << QStringList{"gone@example.com 5.0.0 gone"};
        QTest::newRow("exim") << bounces::Exim("gone@example.com")
                              << QStringList{"gone@example.com 5.1.1 host mail.example.com [192.0.2.25] SMTP error from "
                                             "remote mail server after RCPT TO:<gone@example.com>: " + QString::fromLatin1(unknown)};
        QTest::newRow("gmail text") << bounces::Gmail("off@example.com")
                                    << QStringList{"off@example.com 5.2.1 550 5.2.1 The email account that you tried to "
                                                   "reach is disabled."};
        QTest::newRow("postfix text") << bounces::PostfixText("full@example.com")
                                      << QStringList{"full@example.com 5.2.2 host mail.example.com[192.0.2.25] said: 552 "
                                                     "5.2.2 Mailbox full (in reply to RCPT TO command)"};
        QTest::newRow("ordinary mail naming an address")
            << QByteArray("From: bob@example.org\r\nSubject: new address\r\n\r\nWrite to me at\r\n  gone@example.com\r\n")
            << QStringList{};
    }
    void bounceReports()
    {
        QFETCH(QByteArray, message);
        QFETCH(QStringList, reports);
        QStringList got;
        for (const mailtext::TBounce& b : mailtext::Bounces(message))
            got << (b.Recipient + u' ' + b.Status + u' ' + b.Diagnostic).trimmed();
        QCOMPARE(got, reports);
    }

    void plainBodyStaysAsReceived()
    {
        const QStringList message = {QStringLiteral("Subject: s"), QString(), QStringLiteral("caf\u00e9 =3D not decoded"),
                                     QStringLiteral("  indented")};
        QCOMPARE(mailtext::BodyLines(message), message.mid(2));
    }

    void inboxNames()
    {
        QCOMPARE(mailtext::InboxBaseName(QDateTime(QDate(2026, 12, 5), QTime(13, 54, 54)), 3),
                 QStringLiteral("26-12-5_135454_3.txt"));
        QCOMPARE(mailtext::InboxBaseName(QDateTime(QDate(2027, 1, 31), QTime(9, 5, 7)), 12),
                 QStringLiteral("27-1-31_090507_12.txt"));
    }

    void newFilesNeverReplaceOthers()
    {
        QTemporaryDir dir;
        QString error;
        const QString a = mailtext::WriteNewFile(dir.path(), QStringLiteral("26-12-5_135454_1.txt"), "first", &error);
        const QString b = mailtext::WriteNewFile(dir.path(), QStringLiteral("26-12-5_135454_1.txt"), "second", &error);
        const QString c = mailtext::WriteNewFile(dir.path(), QStringLiteral("26-12-5_135454_1.txt"), "third", &error);
        QCOMPARE(QFileInfo(a).fileName(), QStringLiteral("26-12-5_135454_1.txt"));
        QCOMPARE(QFileInfo(b).fileName(), QStringLiteral("26-12-5_135454_1_2.txt"));
        QCOMPARE(QFileInfo(c).fileName(), QStringLiteral("26-12-5_135454_1_3.txt"));
        QCOMPARE(testutil::readAll(a), QByteArray("first"));
        QCOMPARE(testutil::readAll(b), QByteArray("second"));
        // A folder that does not exist: an error, no path.
        QVERIFY(mailtext::WriteNewFile(dir.path() + QStringLiteral("/missing"), QStringLiteral("x.txt"), "x", &error).isEmpty());
        QVERIFY(error.contains(QStringLiteral("missing")));
    }

    void fileBytes()
    {
        QCOMPARE(mailtext::FileBytes({QStringLiteral("caf\u00e9"), QString()}), QByteArray("caf\xe9\r\n\r\n"));
        QCOMPARE(mailtext::FileBytes({QStringLiteral("\u65e5\u672c \u00e9")}), QByteArray("\xe6\x97\xa5\xe6\x9c\xac \xc3\xa9\r\n"));
    }

    void fileNamesAndQueue()
    {
        QString queue;
        for (int n : {2, 5, 2})
            mailtext::QueueAppend(queue, n);
        QCOMPARE(queue, QStringLiteral("2:5:2:"));
        QList<int> taken;
        int n = 0;
        while (mailtext::QueueTake(queue, &n))
            taken << n;
        QCOMPARE(taken, (QList<int>{2, 5, 2}));
        QVERIFY(queue.isEmpty());
    }
};

QTEST_MAIN(TestMailText)
#include "tst_mailtext.moc"
