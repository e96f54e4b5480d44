// Per-server settings sections and the SMTP dialogue they switch on (EHLO, AUTH, SIZE),
// against the scripted server.
#include "NetTest.h"
#include "net/Wait.h"
#include "platform/IniFile.h"
#include "support/ScriptedServer.h"
#include "support/SmtpFixture.h"
#include "support/TestUtil.h"

#include <QFileInfo>
#include <QLoggingCategory>
#include <QTemporaryDir>
#include <QTest>

namespace {

struct TFixture : TSmtpFixture
{
    TScriptedServer server;
    QTemporaryDir dir;
    TServerSettings settings;

    TFixture() : TSmtpFixture(50)
    {
        client.SetPort(server.PortText());
        client.SetSignOn(QStringLiteral("client.example"));
        client.SetFromName(QStringLiteral("news@example.com"));
        client.RcptName() << QStringLiteral("a@example.org");
        body = {QStringLiteral("Hello")};
        settings.Present = true;
        settings.Host = client.Host();
    }
    void Apply() { client.SetServerSettings(settings); }
    // The section chooses its security (as set) and names a login.
    void Login(const QString& user, const QString& password)
    {
        settings.SecurityChosen = true;
        settings.User = user;
        settings.Password = password;
    }
    // Greeting, then an EHLO reply offering these extensions.
    TScriptedServer& Ehlo(const QList<QByteArray>& extensions)
    {
        server.Send("220 hi").Expect("EHLO client.example");
        if (extensions.isEmpty())
            return server.Send("250 mx.example");
        server.Send("250-mx.example");
        for (qsizetype i = 0; i < extensions.size(); ++i)
            server.Send((i + 1 < extensions.size() ? "250-" : "250 ") + extensions[i]);
        return server;
    }
    TScriptedServer& Message()
    {
        return server.Reply("250 sender ok").Reply("250 recipient ok").Reply("354 go").ExpectUntil(".").Send("250 queued");
    }
    bool DisplayHas(const QString& text) const
    {
        for (const QString& line : display)
            if (line.contains(text))
                return true;
        return false;
    }
};

} // namespace

class TstServerSecurity : public QObject
{
    Q_OBJECT
private slots:
    void loadSection_data();
    void loadSection();
    void saveThenLoad();
    void portText_data();
    void portText();
    void ehloThenAuth_data();
    void ehloThenAuth();
    void ehloRefusedFallsBackToHelo();
    void refusedAfterGreeting_data();
    void refusedAfterGreeting();
    void refusedBeforeConnecting_data();
    void refusedBeforeConnecting();
    void starttlsRequiredButRefused_data();
    void starttlsRequiredButRefused();
    void sectionPortUsed();
    void pop3StlsRefusedSendsNoLogin();
    void settingsFileReadAtConnect();
    void traceMasksSecrets();
};

void TstServerSecurity::loadSection_data()
{
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<int>("protocol");
    QTest::addColumn<bool>("present");
    QTest::addColumn<int>("port");
    QTest::addColumn<int>("security");
    QTest::addColumn<bool>("chosen");
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::addColumn<bool>("error");

    const int smtp = int(TMailProtocol::Smtp), pop = int(TMailProtocol::Pop3);
    const int none = int(TMailSecurity::None), starttls = int(TMailSecurity::StartTls), tls = int(TMailSecurity::Tls);
    auto row = [](const char* name, const char* ini, int protocol, bool present, int port = 0, int security = int(TMailSecurity::None),
                  bool chosen = false, const QString& user = {}, const QString& password = {}, bool error = false) {
        QTest::newRow(name) << QByteArray(ini) << protocol << present << port << security << chosen << user << password << error;
    };
    // A section that names no usable value: present, nothing taken from it, an error naming it.
    auto bad = [&](const char* name, const char* ini) { row(name, ini, smtp, true, 0, none, false, {}, {}, true); };
    // "bcd" scrambled is "UVW" (each byte less 13).
    row("no section", "[User Settings]\r\nSMTP=mx.example\r\n", smtp, false);
    row("other protocol's section", "[POP mx.example]\r\nPort=995\r\n", smtp, false);
    row("empty section", "[SMTP mx.example]\r\n", smtp, true);
    row("full, case-insensitive name",
        "[smtp MX.Example]\r\nPort=587\r\nSecurity=starttls\r\nUser=alice@example.com\r\nPassword=UVW\r\n", smtp, true, 587,
        starttls, true, QStringLiteral("alice@example.com"), QStringLiteral("bcd"));
    row("pop STLS", "[POP mx.example]\r\nSecurity=STLS\r\n", pop, true, 0, starttls, true);
    row("tls", "[POP mx.example]\r\nPort=995\r\nSecurity=TLS\r\n", pop, true, 995, tls, true);
    row("none chosen", "[SMTP mx.example]\r\nSecurity=None\r\nUser=u\r\n", smtp, true, 0, none, true, QStringLiteral("u"));
    bad("mistyped security", "[SMTP mx.example]\r\nSecurity=STARTLS\r\n");
    row("comments after port and security",
        "[SMTP mx.example]\r\nPort=587\t; submission\r\nSecurity=STARTTLS        ; None, STARTTLS or TLS\r\n"
        "User=u\r\nPassword=UV ;W\r\n", // a password is read whole: "bc-Hd" scrambled
        smtp, true, 587, starttls, true, QStringLiteral("u"), QStringLiteral("bc-Hd"));
    bad("comment hiding a bad value", "[SMTP mx.example]\r\nSecurity=STARTLS ; typo\r\n");
    bad("semicolon without a blank is part of the value", "[SMTP mx.example]\r\nSecurity=TLS;STARTTLS\r\n");
    bad("port not a number", "[SMTP mx.example]\r\nPort=submission\r\n");
    bad("port out of range", "[SMTP mx.example]\r\nPort=70000\r\n");
    bad("port zero", "[SMTP mx.example]\r\nPort=0\r\n");
}

void TstServerSecurity::loadSection()
{
    QFETCH(QByteArray, ini);
    QFETCH(int, protocol);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Quorvel.ini"));
    QVERIFY(testutil::writeAll(path, ini));
    const TServerSettings s = serversettings::Load(TIniFile(path), TMailProtocol(protocol), QStringLiteral("mx.example"));
    QTEST(s.Present, "present");
    QTEST(s.Port, "port");
    QTEST(int(s.Security), "security");
    QTEST(s.SecurityChosen, "chosen");
    QTEST(s.User, "user");
    QTEST(s.Password, "password");
    QTEST(!s.Error.isEmpty(), "error");
    if (!s.Error.isEmpty())
        QVERIFY2(s.Error.contains(QLatin1String("mx.example")), qPrintable(s.Error)); // names the section
}

void TstServerSecurity::saveThenLoad()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Quorvel.ini"));
    QVERIFY(testutil::writeAll(path, "[User Settings]\r\nSMTP=smtp.example.com\r\n[SMTP smtp.example.com]\r\nStale=1\r\n"));
    TServerSettings s;
    s.Host = QStringLiteral("smtp.example.com");
    s.Port = 587;
    s.Security = TMailSecurity::StartTls;
    s.User = QStringLiteral("alice@example.com");
    s.Password = QStringLiteral("s3cret; =\"x\" ");
    {
        TIniFile ini(path);
        serversettings::Save(ini, TMailProtocol::Smtp, s);
        QVERIFY(ini.UpdateFile());
    }
    const QByteArray raw = testutil::readAll(path);
    QVERIFY(!raw.contains("s3cret"));
    QVERIFY(!raw.contains("Stale")); // the section is written whole
    QVERIFY(raw.contains("SMTP=smtp.example.com")); // the rest of the file stays
    QCOMPARE(QFileInfo(path).permissions() & (QFile::ReadOther | QFile::ReadGroup), QFile::Permissions());
    const TServerSettings back = serversettings::Load(TIniFile(path), TMailProtocol::Smtp, s.Host);
    QVERIFY(back.Present);
    QVERIFY(back.Error.isEmpty());
    QCOMPARE(back.Port, 587);
    QCOMPARE(back.Security, TMailSecurity::StartTls);
    QCOMPARE(back.User, s.User);
    QCOMPARE(back.Password, s.Password);
}

void TstServerSecurity::portText_data()
{
    QTest::addColumn<int>("protocol");
    QTest::addColumn<int>("port");
    QTest::addColumn<int>("security");
    QTest::addColumn<QString>("expected");
    const int smtp = int(TMailProtocol::Smtp), pop = int(TMailProtocol::Pop3);
    QTest::newRow("smtp plain") << smtp << 0 << int(TMailSecurity::None) << QStringLiteral("smtp");
    QTest::newRow("smtp starttls") << smtp << 0 << int(TMailSecurity::StartTls) << QStringLiteral("587");
    QTest::newRow("smtp tls") << smtp << 0 << int(TMailSecurity::Tls) << QStringLiteral("465");
    QTest::newRow("smtp own port") << smtp << 2525 << int(TMailSecurity::Tls) << QStringLiteral("2525");
    QTest::newRow("pop plain") << pop << 0 << int(TMailSecurity::None) << QStringLiteral("pop3");
    QTest::newRow("pop stls") << pop << 0 << int(TMailSecurity::StartTls) << QStringLiteral("pop3");
    QTest::newRow("pop tls") << pop << 0 << int(TMailSecurity::Tls) << QStringLiteral("995");
}

void TstServerSecurity::portText()
{
    QFETCH(int, protocol);
    QFETCH(int, port);
    QFETCH(int, security);
    TServerSettings s;
    s.Port = port;
    s.Security = TMailSecurity(security);
    QTEST(s.PortText(TMailProtocol(protocol)), "expected");
}

void TstServerSecurity::ehloThenAuth_data()
{
    QTest::addColumn<QList<QByteArray>>("extensions");
    QTest::addColumn<QList<QByteArray>>("exchange"); // client line, server reply, ...
    QTest::addColumn<QStringList>("shown");          // what the display shows for the client lines

    const QByteArray plain = "AUTH PLAIN " + QByteArray("\0alice@example.com\0p\xC3\xA4ss", 24).toBase64();
    const QByteArray user = QByteArray("alice@example.com").toBase64();
    const QByteArray pass = QByteArray("p\xC3\xA4ss").toBase64();
    QTest::newRow("plain preferred")
        << QList<QByteArray>{"SIZE 1000", "AUTH LOGIN PLAIN", "8BITMIME"} << QList<QByteArray>{plain, "235 ok"}
        << QStringList{QStringLiteral("> AUTH PLAIN ****")};
    QTest::newRow("login only, old form")
        << QList<QByteArray>{"AUTH=LOGIN"}
        << QList<QByteArray>{"AUTH LOGIN", "334 VXNlcm5hbWU6", user, "334 UGFzc3dvcmQ6", pass, "235 ok"}
        << QStringList{QStringLiteral("> AUTH LOGIN"), QStringLiteral("> ") + QString::fromLatin1(user), QStringLiteral("> ****")};
    QTest::newRow("lower-case keywords") << QList<QByteArray>{"auth plain"} << QList<QByteArray>{plain, "235 ok"}
                                         << QStringList{QStringLiteral("> AUTH PLAIN ****")};
}

void TstServerSecurity::ehloThenAuth()
{
    QFETCH(QList<QByteArray>, extensions);
    QFETCH(QList<QByteArray>, exchange);
    QFETCH(QStringList, shown);
    TFixture f;
    f.settings.Security = TMailSecurity::None;
    f.Login(QStringLiteral("alice@example.com"), QString::fromUtf8("p\xC3\xA4ss"));
    f.Apply();
    f.Ehlo(extensions);
    for (qsizetype i = 0; i + 1 < exchange.size(); i += 2)
        f.server.Expect(exchange[i]).Send(exchange[i + 1]);
    f.Message();
    QVERIFY(f.client.Mail());
    QVERIFY2(f.server.Mismatches().isEmpty(), qPrintable(f.server.Mismatches().join(u'\n')));
    QCOMPARE(f.client.Extensions().size(), extensions.size());
    QVERIFY(f.client.Extensions()[0].startsWith(QLatin1String(extensions[0].left(4).toUpper())));
    for (const QString& s : shown)
        QVERIFY2(f.display.contains(s), qPrintable(s));
    QVERIFY(!f.DisplayHas(QString::fromLatin1(exchange[0].mid(11))) || exchange[0] == "AUTH LOGIN");
    QVERIFY(!f.DisplayHas(QString::fromLatin1(QByteArray("p\xC3\xA4ss").toBase64())));
    QCOMPARE(f.server.Lines().value(0), QByteArray("EHLO client.example"));
}

void TstServerSecurity::ehloRefusedFallsBackToHelo()
{
    TFixture f;
    f.Apply(); // a section without a user: no AUTH
    f.server.Send("220 hi").Expect("EHLO client.example").Send("502 not implemented").Expect("HELO client.example").Send("250 ok");
    f.Message();
    QVERIFY(f.client.Mail());
    QVERIFY(f.server.Mismatches().isEmpty());
    QVERIFY(f.client.Extensions().isEmpty());
    QCOMPARE(f.server.Lines().value(2), QByteArray("MAIL FROM:<news@example.com>"));
}

void TstServerSecurity::refusedAfterGreeting_data()
{
    QTest::addColumn<QList<QByteArray>>("ehlo"); // the reply to EHLO, line by line
    QTest::addColumn<QByteArray>("auth");        // the reply to AUTH, when it is sent
    QTest::addColumn<QString>("user");           // "" for a section without a login
    QTest::addColumn<bool>("attachment");        // 4500 bytes: 100 base64 lines
    QTest::addColumn<QString>("error");          // contained in ErrorMessage and shown
    QTest::addColumn<int>("clientLines");        // no HELO, MAIL FROM or password after the refusal
    QTest::addColumn<int>("sizeLimit");
    QTest::newRow("EHLO failure other than 5xx stops") << QList<QByteArray>{"421 closing"} << QByteArray() << ""
                                                      << false << "421 closing" << 1 << 0;
    QTest::newRow("wrong password shows the server's reply")
        << QList<QByteArray>{"250-mx.example", "250 AUTH PLAIN"} << QByteArray("535 5.7.8 Authentication credentials invalid")
        << "alice" << false << "< 535 5.7.8 Authentication credentials invalid" << 2 << 0;
    // "SIZE" without a number: no limit.
    QTest::newRow("no AUTH mechanism sends no password") << QList<QByteArray>{"250-mx.example", "250-AUTH CRAM-MD5", "250 SIZE"}
                                                         << QByteArray() << "alice" << false << "no AUTH PLAIN or LOGIN" << 1 << 0;
    QTest::newRow("SIZE too small for the attachment") << QList<QByteArray>{"250-mx.example", "250 SIZE 6000"} << QByteArray()
                                                       << "" << true << "6000" << 1 << 6000;
}

void TstServerSecurity::refusedAfterGreeting()
{
    QFETCH(QList<QByteArray>, ehlo);
    QFETCH(QByteArray, auth);
    QFETCH(QString, user);
    QFETCH(bool, attachment);
    QFETCH(QString, error);
    TFixture f;
    if (attachment) {
        const QString file = f.dir.filePath(QStringLiteral("big.bin"));
        QVERIFY(testutil::writeAll(file, QByteArray(4500, 'x')));
        f.client.SetEmailFiles({file});
    }
    if (!user.isEmpty())
        f.Login(user, QStringLiteral("wrong"));
    f.Apply();
    f.server.Send("220 hi").Expect("EHLO client.example");
    for (const QByteArray& line : ehlo)
        f.server.Send(line);
    if (!auth.isEmpty())
        f.server.Expect().Send(auth);
    f.server.Stall();
    QVERIFY(!(f.client.Connect() && f.client.Mail()));
    QVERIFY2(f.client.ErrorMessage().contains(error.mid(error.startsWith(u'<') ? 2 : 0)), qPrintable(f.client.ErrorMessage()));
    QVERIFY2(f.DisplayHas(error), qPrintable(f.display.join(u'\n')));
    if (!attachment)
        QCOMPARE(f.client.Stage(), 0);
    QTEST(int(f.server.Lines().size()), "clientLines");
    QTEST(int(f.client.SizeLimit()), "sizeLimit");
}

void TstServerSecurity::refusedBeforeConnecting_data()
{
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("error");
    QTest::addColumn<QString>("reason");
    QTest::newRow("password without a security choice") << "alice" << "" << "without TLS";
    QTest::newRow("unusable section") << "" << "Invalid Security 'x' in [SMTP h]" << "Invalid Security";
}

void TstServerSecurity::refusedBeforeConnecting()
{
    QFETCH(QString, user);
    QFETCH(QString, error);
    QFETCH(QString, reason);
    TFixture f; // Security None, not chosen
    f.settings.User = user;
    f.settings.Password = QStringLiteral("secret");
    f.settings.Error = error;
    f.settings.Port = f.server.Port();
    f.Apply();
    f.server.Send("220 hi").Stall();
    QVERIFY(!f.client.Mail());
    QVERIFY2(f.client.ErrorMessage().contains(reason), qPrintable(f.client.ErrorMessage()));
    QVERIFY(f.display.contains(f.client.ErrorMessage()));
    QTest::qWait(50);
    QCOMPARE(f.server.Connections(), 0); // nothing went out in clear
}

void TstServerSecurity::starttlsRequiredButRefused_data()
{
    QTest::addColumn<QList<QByteArray>>("extensions");
    QTest::addColumn<QByteArray>("reply"); // the answer to STARTTLS, when it is offered
    QTest::addColumn<QString>("reason");
    QTest::addColumn<int>("clientLines");
    QTest::newRow("not offered") << QList<QByteArray>{"AUTH PLAIN", "SIZE 100"} << QByteArray()
                                 << QStringLiteral("does not offer STARTTLS") << 1;
    QTest::newRow("offered, then refused") << QList<QByteArray>{"STARTTLS", "AUTH PLAIN"}
                                           << QByteArray("454 4.7.0 TLS not available") << QStringLiteral("454") << 2;
    // Lines in clear after the go-ahead (an injection from the network) must not be read as
    // answers once TLS runs.
    QTest::newRow("data injected after 220") << QList<QByteArray>{"STARTTLS"}
                                             << QByteArray("220 go ahead\r\n250 injected") << QStringLiteral("before the handshake") << 2;
    QTest::newRow("EHLO refused") << QList<QByteArray>{} << QByteArray() << QStringLiteral("500") << 1;
}

void TstServerSecurity::starttlsRequiredButRefused()
{
    QFETCH(QList<QByteArray>, extensions);
    QFETCH(QByteArray, reply);
    QFETCH(QString, reason);
    QFETCH(int, clientLines);
    TFixture f;
    f.settings.Security = TMailSecurity::StartTls;
    f.Login(QStringLiteral("alice"), QStringLiteral("secret"));
    f.settings.Port = f.server.Port();
    f.Apply();
    if (extensions.isEmpty())
        f.server.Send("220 hi").Expect("EHLO client.example").Send("500 no EHLO here");
    else
        f.Ehlo(extensions);
    if (!reply.isEmpty())
        f.server.Expect("STARTTLS").Send(reply);
    f.server.Stall();
    QVERIFY(!f.client.Mail());
    QVERIFY2(f.client.ErrorMessage().contains(reason), qPrintable(f.client.ErrorMessage()));
    QCOMPARE(f.client.Stage(), 0);
    QTest::qWait(20);
    QCOMPARE(f.server.Lines().size(), clientLines); // no HELO, AUTH or MAIL in clear
    QVERIFY(f.server.Mismatches().isEmpty());
}

void TstServerSecurity::pop3StlsRefusedSendsNoLogin()
{
    TWait wait;
    wait.SetInterval(50);
    TScriptedServer server;
    TPop3Client client;
    client.SetWait(&wait);
    client.SetHost(QStringLiteral("127.0.0.1"));
    client.SetUserName(QStringLiteral("alice"));
    client.SetPassWord(QStringLiteral("secret"));
    client.SetServerSettings(SecuritySection(client.Host(), server.Port(), TMailSecurity::StartTls));
    server.Send("+OK ready").Expect("STLS").Send("-ERR not here").Stall();
    QVERIFY(!client.Stat());
    QCOMPARE(client.ErrorMessage(), QStringLiteral("-ERR not here"));
    QCOMPARE(client.ProtocolState(), pop3Disconnected);
    QTest::qWait(20);
    QCOMPARE(server.Lines(), QList<QByteArray>{"STLS"}); // no USER, no PASS in clear
}

void TstServerSecurity::sectionPortUsed()
{
    TFixture f;
    f.client.SetPort(QStringLiteral("1")); // nothing listens there
    f.settings.Port = f.server.Port();
    f.Apply();
    f.Ehlo({}).Stall();
    QVERIFY2(f.client.Connect(), qPrintable(f.client.ErrorMessage()));
    QCOMPARE(f.client.Stage(), 2);
}

void TstServerSecurity::settingsFileReadAtConnect()
{
    TFixture f;
    const QString path = f.dir.filePath(QStringLiteral("Quorvel.ini"));
    f.client.SetSettingsFile(path);
    // No file yet: the plain dialogue.
    f.server.Send("220 hi").Expect("HELO client.example").Send("250 ok").Expect("QUIT").Send("221 bye");
    QVERIFY(f.client.Connect());
    QVERIFY(f.client.Quit());
    // A section for the host as it is set: EHLO on the next connection.
    QVERIFY(testutil::writeAll(path, "[SMTP 127.0.0.1]\r\nSecurity=None\r\n"));
    f.server.Send("220 hi").Expect("EHLO client.example").Send("250 ok").Stall();
    QVERIFY(f.client.Connect());
    QVERIFY(f.client.ServerSettings().Present);
    QVERIFY2(f.server.Mismatches().isEmpty(), qPrintable(f.server.Mismatches().join(u'\n')));
}

void TstServerSecurity::traceMasksSecrets()
{
    static QStringList trace;
    trace.clear();
    QLoggingCategory::setFilterRules(QStringLiteral("quorvel.net.debug=true"));
    const QtMessageHandler old = qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& m) { trace << m; });
    {
        TFixture f;
        f.Login(QStringLiteral("alice"), QStringLiteral("topsecret"));
        f.Apply();
        f.Ehlo({"AUTH LOGIN"}).Reply("334 VXNlcm5hbWU6").Reply("334 UGFzc3dvcmQ6").Reply("235 ok").Stall();
        QVERIFY(f.client.Connect());
    }
    qInstallMessageHandler(old);
    QLoggingCategory::setFilterRules(QStringLiteral("quorvel.net.debug=false"));
    const QString secret = QString::fromLatin1(QByteArray("topsecret").toBase64());
    QVERIFY(trace.size() > 5);
    for (const QString& line : std::as_const(trace))
        QVERIFY2(!line.contains(secret) && !line.contains(QLatin1String("topsecret")), qPrintable(line));
    QVERIFY(trace.filter(QStringLiteral("> ****")).size() == 1);
}

QTEST_MAIN(TstServerSecurity)
#include "tst_serversecurity.moc"
