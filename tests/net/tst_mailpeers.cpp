// The mail clients against real servers started here: aiosmtpd (SMTP) and Dovecot (POP3).
#include "NetTest.h"
#include "net/SmtpClient.h"
#include "net/Wait.h"
#include "support/MailPeers.h"
#include "support/TestUtil.h"

#include <QDateTime>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

namespace {

QByteArray HeaderValue(const QByteArray& message, const QByteArray& name)
{
    const QRegularExpression re(QStringLiteral("^%1: (.*)\\r$").arg(QString::fromLatin1(name)),
                                QRegularExpression::MultilineOption);
    return re.match(QString::fromLatin1(message)).captured(1).toLatin1();
}

QByteArray RandomBytes(int size, quint32 seed)
{
    QRandomGenerator gen(seed);
    QByteArray b(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        b[i] = char(gen.bounded(256));
    return b;
}

} // namespace

class TstMailPeers : public QObject
{
    Q_OBJECT
private slots:
    void smtpPlainMessageByteForByte();
    void smtpAttachmentsDecodeToTheFiles();
    void smtpHostileValuesStayWellFormed();
    void smtpServerFaults_data();
    void smtpServerFaults();
    void pop3RetrieveEveryMessageExactly();
};

void TstMailPeers::smtpPlainMessageByteForByte()
{
    TAiosmtpdServer server;
    START_PEER(server);
    TSmtpSetup s(server.Port());
    s.client.RcptName() << QStringLiteral("one@example.org") << QStringLiteral(" two@example.org ")
                        << QStringLiteral("three@example.net");
    s.body = {QStringLiteral("Dear reader,"), QStringLiteral("."), QStringLiteral("..two dots"), QStringLiteral(".one dot"),
              QString(), QStringLiteral("caf\u00e9 \u20ac 8-bit"), QStringLiteral("last line.")};
    s.client.OnHeaderLine = [](TCustomSmtpClient*, QString& msg, int) {
        if (msg.startsWith(QLatin1String("Subject:")))
            msg += QStringLiteral("\r\nX-Mailer: Quorvel 1.3 by Harrowlin");
    };
    const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
    QVERIFY2(s.client.Mail(), qPrintable(s.client.ErrorMessage()));
    QVERIFY(s.client.Quit());
    const QList<TAiosmtpdServer::Message> got = server.Messages();
    QCOMPARE(got.size(), 1);
    const TAiosmtpdServer::Message& m = got.first();
    QCOMPARE(m.from, QStringLiteral("news@example.com"));
    QCOMPARE(m.rcpt, (QStringList{"one@example.org", "two@example.org", "three@example.net"}));

    const QByteArray date = HeaderValue(m.content, "Date");
    static const QRegularExpression form(QStringLiteral("^(Sun|Mon|Tue|Wed|Thu|Fri|Sat), [1-9]\\d? "
                                                        "(Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) \\d{4} \\d\\d:\\d\\d:\\d\\d$"));
    QVERIFY2(form.match(QString::fromLatin1(date)).hasMatch(), date.constData());
    const QDateTime sent = QLocale(QLocale::English).toDateTime(QString::fromLatin1(date), QStringLiteral("ddd, d MMM yyyy HH:mm:ss"));
    QVERIFY(sent.isValid());
    QVERIFY(sent >= before && sent <= QDateTime::currentDateTime().addSecs(1));
    const QByteArray expected = "From: Newsletter <news@example.com>\r\nTo: Readers <news@example.com>\r\n"
                                "Subject: Newsletter 7: tests & more\r\nX-Mailer: Quorvel 1.3 by Harrowlin\r\n"
                                "Mime-Version: 1.0\r\nContent-Type: text/plain; charset=\"iso-8859-1\"\r\nDate: "
        + date + "\r\n\r\nDear reader,\r\n.\r\n..two dots\r\n.one dot\r\n\r\ncaf\xe9 \x80 8-bit\r\nlast line.\r\n";
    QCOMPARE(m.content, expected);
}

void TstMailPeers::smtpAttachmentsDecodeToTheFiles()
{
    TAiosmtpdServer server;
    START_PEER(server);
    QTemporaryDir dir;
    const QList<QPair<QString, QByteArray>> files{{QStringLiteral("random.bin"), RandomBytes(300 * 1024 + 17, 7)},
                                                  {QStringLiteral("small.txt"), QByteArray("forty-six bytes of text, for the padding case!")},
                                                  {QStringLiteral("empty.dat"), QByteArray()}};
    QStringList paths;
    for (const auto& [name, bytes] : files) {
        QVERIFY(testutil::writeAll(dir.filePath(name), bytes));
        paths << dir.filePath(name);
    }
    TSmtpSetup s(server.Port());
    s.client.RcptName() << QStringLiteral("one@example.org");
    s.client.SetEmailFiles(paths);
    s.body = {QStringLiteral("Three files attached."), QStringLiteral(".")};
    QVERIFY2(s.client.Mail(), qPrintable(s.client.ErrorMessage()));
    QVERIFY(s.client.Quit());
    const QList<TAiosmtpdServer::Message> got = server.Messages();
    QCOMPARE(got.size(), 1);
    const QByteArray content = got.first().content;
    const QByteArray boundary = s.client.Boundary().toLatin1();
    QVERIFY(content.contains("Content-Type: multipart/mixed;\r\n\tboundary=\"" + boundary + "\"\r\n"));
    const qsizetype bodyAt = content.indexOf("\r\n\r\n") + 4;
    const QList<QByteArray> lines = content.mid(bodyAt).split('\n');
    QList<QByteArray> parts; // each part: its lines joined with LF
    QList<QByteArray> current;
    bool closed = false;
    for (QByteArray line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
        if (line == "--" + boundary || line == "--" + boundary + "--") {
            if (!current.isEmpty() || !parts.isEmpty() || closed)
                parts << current.join('\n');
            current.clear();
            closed = line.endsWith("--");
            continue;
        }
        current << line;
    }
    QVERIFY(closed);
    QCOMPARE(parts.size(), 5); // preamble, text, three files
    QCOMPARE(parts[0], QByteArray("This is a multipart MIME message.\n"));
    QCOMPARE(parts[1], QByteArray("Content-Type: text/plain; charset=\"iso-8859-1\"\nContent-Transfer-Encoding: 7bit\n\n"
                                  "Three files attached.\n.\n"));
    for (int i = 0; i < 3; ++i) {
        const QList<QByteArray> p = parts[i + 2].split('\n');
        const QByteArray name = files[i].first.toLatin1();
        QCOMPARE(p.mid(0, 6), (QList<QByteArray>{"Content-Type: application/octet-stream;", "\tname=\"" + name + "\"",
                                                 "Content-Transfer-Encoding: base64", "Content-Disposition: attachment;",
                                                 "\tfilename=\"" + name + "\"", ""}));
        QByteArray decoded;
        for (qsizetype k = 6; k < p.size(); ++k) {
            QVERIFY(p[k].size() <= 60);
            decoded += QByteArray::fromBase64(p[k]);
        }
        QCOMPARE(decoded, files[i].second);
    }
}

void TstMailPeers::smtpHostileValuesStayWellFormed()
{
    TAiosmtpdServer server;
    START_PEER(server);
    TSmtpSetup s(server.Port());
    s.client.RcptName() << QStringLiteral("good@example.org") << QStringLiteral("x@example.org>\r\nRCPT TO:<evil@example.net");
    s.client.SetHdrTo(QStringLiteral("first@example.org\r\nsecond@example.org"));
    s.client.SetHdrSubject(QStringLiteral("Hello\r\nBcc: evil@example.net\r\n\r\nInjected body"));
    QString longSubjectTail;
    while (longSubjectTail.size() < 1200)
        longSubjectTail += QStringLiteral(" word");
    s.client.OnHeaderLine = [&](TCustomSmtpClient*, QString& msg, int) {
        if (msg.startsWith(QLatin1String("From:")))
            msg += QStringLiteral("\r\nX-Long:") + longSubjectTail; // a 1200-character field
    };
    s.body = {QStringLiteral("line\r\n.\r\nQUIT"), QStringLiteral("end")};
    QVERIFY2(s.client.Mail(), qPrintable(s.client.ErrorMessage()));
    QVERIFY(s.client.Quit());
    const QList<TAiosmtpdServer::Message> got = server.Messages();
    QCOMPARE(got.size(), 1);
    QCOMPARE(got.first().rcpt, QStringList{"good@example.org"});
    const QByteArray content = got.first().content;
    const QByteArray header = content.left(content.indexOf("\r\n\r\n") + 2);
    QStringList fields;
    for (const QByteArray& line : header.chopped(1).split('\n')) {
        QVERIFY(line.endsWith('\r'));
        QVERIFY(line.size() <= 999);
        if (!line.startsWith(' ') && !line.startsWith('\t'))
            fields << QString::fromLatin1(line.left(line.indexOf(':')));
    }
    QCOMPARE(fields, (QStringList{"From", "X-Long", "To", "Subject", "Mime-Version", "Content-Type", "Date"}));
    QVERIFY(header.contains("To: first@example.org,\r\n\tsecond@example.org\r\n"));
    QVERIFY(header.contains("Subject: Hello\r\n\tBcc: evil@example.net\r\n\tInjected body\r\n"));
    const QByteArray xLong = header.mid(header.indexOf("X-Long:"));
    QCOMPARE(QString::fromLatin1(xLong.left(xLong.indexOf("\r\nTo:")).replace("\r\n", "")),
             QStringLiteral("X-Long:") + longSubjectTail);
    QVERIFY(content.endsWith("\r\n\r\nline\r\n.\r\nQUIT\r\nend\r\n")); // data, after unstuffing
}

void TstMailPeers::smtpServerFaults_data()
{
    QTest::addColumn<QStringList>("options"); // smtp-sink's scripted faults
    QTest::addColumn<bool>("connects");
    QTest::addColumn<QString>("error");       // start of ErrorMessage
    QTest::addColumn<int>("stage");           // after Mail
    QTest::newRow("421 and hang-up at RCPT") << QStringList{"-Q", "RCPT"} << true << "421" << 0;
    QTest::newRow("hang-up at DATA") << QStringList{"-q", "DATA"} << true << "554 not connected" << 0;
    QTest::newRow("550 after DATA") << QStringList{"-A", "0"} << true << "550" << 2;
    QTest::newRow("MAIL refused") << QStringList{"-r", "MAIL"} << true << "4" << 2;
    QTest::newRow("silent HELO") << QStringList{"-W", "HELO:30"} << false << "554 receive timeout" << 0;
}

void TstMailPeers::smtpServerFaults()
{
    QFETCH(QStringList, options);
    QFETCH(bool, connects);
    QFETCH(QString, error);
    QFETCH(int, stage);
    TSmtpSink server;
    START_PEER(server, options);
    TSmtpSetup s(server.Port());
    s.client.SetTimeOut(2);
    s.client.RcptName() << QStringLiteral("one@example.org") << QStringLiteral("two@example.org");
    s.body = {QStringLiteral("short message")};
    QCOMPARE(s.client.Connect(), connects);
    QVERIFY(!s.client.Mail());
    QVERIFY2(s.client.ErrorMessage().startsWith(error), qPrintable(s.client.ErrorMessage()));
    if (connects)
        QCOMPARE(s.client.Stage(), stage);
    s.client.Quit();
    QCOMPARE(s.client.Stage(), 0);
    QCOMPARE(s.client.Socket()->State(), wsClosed);
}

void TstMailPeers::pop3RetrieveEveryMessageExactly()
{
    TDovecotServer server;
    QList<QByteArray> messages;
    messages << QByteArray("From: a@example.org\r\nSubject: plain\r\n\r\nHello\r\nWorld\r\n");
    messages << QByteArray("From: a@example.org\r\nSubject: dots\r\n\r\n.\r\n..\r\n.x\r\n...\r\nend.\r\n");
    messages << QByteArray("From: a@example.org\r\nSubject: 8-bit\r\n\r\ncaf\xe9 na\xefve \x80 \x81 \xff\r\n");
    QByteArray longLines = "From: a@example.org\r\nSubject: long lines\r\n\r\n";
    longLines += QByteArray(2100, 'L') + "\r\n";                              // in nine pieces
    longLines += QByteArray(254, 'a') + "..b" + QByteArray(100, 'c') + "\r\n"; // dots where a piece begins
    longLines += QByteArray(254, 'd') + ".\r\n";                              // a lone dot after a cut
    longLines += QByteArray(254, 'e') + "\r\n";                               // exactly one piece long
    longLines += "." + QByteArray(1200, 'f') + "\r\n";                        // stuffed and long
    messages << longLines;
    messages << QByteArray("From: a@example.org\r\nSubject: empty body\r\n\r\n");
    qint64 total = 0;
    for (const QByteArray& m : messages) {
        server.AddMessage(m);
        total += m.size();
    }
    START_PEER(server);

    TPop3Setup p(QStringLiteral("127.0.0.1"), QString::number(server.Port()), server.User(), server.Password());
    TPop3Client& client = p.client;
    QVERIFY2(client.Stat(), qPrintable(client.LastResponse() + u' ' + client.ErrorMessage() + u'\n' + server.Log()));
    QCOMPARE(client.MsgCount(), messages.size());
    QCOMPARE(client.MsgSize(), int(total));
    for (int i = 1; i <= messages.size(); ++i) {
        client.SetMsgNum(i);
        QVERIFY2(client.Retr(), qPrintable(client.ErrorMessage()));
        QCOMPARE(p.text, messages[i - 1]);
    }
    client.SetMsgNum(2);
    QVERIFY(client.Dele());
    client.SetMsgNum(4);
    QVERIFY(client.Dele());
    QVERIFY(client.Quit());
    QCOMPARE(client.ProtocolState(), pop3Disconnected);

    // Exactly the deleted ones are gone.
    QList<QByteArray> left = server.Messages();
    std::sort(left.begin(), left.end());
    QList<QByteArray> expected{messages[0], messages[2], messages[4]};
    std::sort(expected.begin(), expected.end());
    QCOMPARE(left, expected);
    QVERIFY(client.Stat());
    QCOMPARE(client.MsgCount(), 3);
    QVERIFY(client.Quit());
}

QTEST_MAIN(TstMailPeers)
#include "tst_mailpeers.moc"
