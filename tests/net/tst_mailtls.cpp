// The mail clients over TLS against real servers (aiosmtpd with STARTTLS or TLS from the first
// byte and AUTH required; Dovecot with STLS or TLS), with a certificate authority made at test
// time.
#include "NetTest.h"
#include "net/SmtpClient.h"
#include "net/Wait.h"
#include "support/Peers.h"
#include "support/SmtpFixture.h"
#include "support/TlsPeers.h"

#include <QRegularExpression>
#include <QTest>

namespace {

struct TClient : TSmtpFixture
{
    TServerSettings settings;

    TClient(quint16 port, TMailSecurity security)
    {
        client.SetHost(QStringLiteral("localhost")); // the name the certificate carries
        client.SetPort(QStringLiteral("1"));        // the section's port must win
        client.SetSignOn(QStringLiteral("client.example"));
        client.SetFromName(QStringLiteral("news@example.com"));
        client.RcptName() << QStringLiteral("a@example.org") << QStringLiteral("b@example.org");
        client.SetHdrFrom(QStringLiteral("news@example.com"));
        client.SetHdrTo(QStringLiteral("readers@example.org"));
        client.SetHdrSubject(QStringLiteral("Over TLS"));
        body = {QStringLiteral("line 1"), QStringLiteral(".dot"), QStringLiteral("line 3")};
        settings = SecuritySection(client.Host(), port, security);
        settings.User = QStringLiteral("alice");
        settings.Password = QStringLiteral("wonderland");
    }
    bool Send()
    {
        client.SetServerSettings(settings);
        const bool ok = client.Mail();
        client.Quit();
        return ok;
    }
};

} // namespace

class TstMailTls : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void sendsOverEachMode_data();
    void sendsOverEachMode();
    void wrongPasswordShowsServerReply();
    void untrustedCertificateRefusedThenTrustedByFingerprint();
    void pop3RetrievesOverEachMode_data();
    void pop3RetrievesOverEachMode();

private:
    TTestCertificates m_certs;
    bool m_haveCerts = false;
};

void TstMailTls::initTestCase()
{
    QString why;
    m_haveCerts = m_certs.Make(&why);
    if (!m_haveCerts && PeersRequired())
        QFAIL(qPrintable(why));
}

// Every test trusts the test authority unless it says otherwise.
void TstMailTls::init()
{
    if (!m_haveCerts)
        QSKIP("openssl tool not available");
    qputenv("SSL_CERT_FILE", m_certs.CaFile().toLocal8Bit());
}

void TstMailTls::sendsOverEachMode_data()
{
    QTest::addColumn<int>("mode");
    QTest::newRow("starttls") << int(TTlsSmtpServer::Mode::StartTls);
    QTest::newRow("tls") << int(TTlsSmtpServer::Mode::Tls);
}

void TstMailTls::sendsOverEachMode()
{
    QFETCH(int, mode);
    TTlsSmtpServer server;
    START_PEER(server, TTlsSmtpServer::Mode(mode), m_certs);
    const bool starttls = TTlsSmtpServer::Mode(mode) == TTlsSmtpServer::Mode::StartTls;
    TClient c(server.Port(), starttls ? TMailSecurity::StartTls : TMailSecurity::Tls);
    QVERIFY2(c.Send(), qPrintable(c.client.ErrorMessage() + u'\n' + c.display.join(u'\n') + server.Output()));
    const QList<QByteArray> messages = server.Messages();
    QCOMPARE(messages.size(), 1);
    QVERIFY(messages[0].contains("Subject: Over TLS\r\n"));
    QVERIFY(messages[0].contains("\r\n\r\nline 1\r\n.dot\r\nline 3\r\n"));
    QVERIFY(c.display.contains(QStringLiteral("TLS started with 'localhost'")));
    QVERIFY(c.display.contains(QStringLiteral("> AUTH PLAIN ****")));
    // With STARTTLS, the greeting is repeated over TLS; nothing but EHLO and STARTTLS before it.
    const QStringList sent = c.display.filter(QRegularExpression(QStringLiteral("^> ")));
    QCOMPARE(sent.value(0), QStringLiteral("> EHLO client.example"));
    if (starttls) {
        QCOMPARE(sent.value(1), QStringLiteral("> STARTTLS"));
        QCOMPARE(sent.value(2), QStringLiteral("> EHLO client.example"));
    }
    QCOMPARE(c.client.RcptResults().size(), 2);
}

void TstMailTls::wrongPasswordShowsServerReply()
{
    TTlsSmtpServer server;
    START_PEER(server, TTlsSmtpServer::Mode::StartTls, m_certs);
    TClient c(server.Port(), TMailSecurity::StartTls);
    c.settings.Password = QStringLiteral("looking-glass");
    QVERIFY(!c.Send());
    QVERIFY2(c.client.ErrorMessage().startsWith(QLatin1String("535")), qPrintable(c.client.ErrorMessage()));
    QVERIFY(server.Messages().isEmpty());
    for (const QString& line : std::as_const(c.display))
        QVERIFY2(!line.contains(QLatin1String("looking-glass")), qPrintable(line));
}

void TstMailTls::untrustedCertificateRefusedThenTrustedByFingerprint()
{
    qunsetenv("SSL_CERT_FILE"); // the system's store knows nothing of the test CA
    TTlsSmtpServer server;
    START_PEER(server, TTlsSmtpServer::Mode::StartTls, m_certs);
    TClient c(server.Port(), TMailSecurity::StartTls);
    QVERIFY(!c.Send());
    const QString error = c.client.ErrorMessage();
    QVERIFY2(error.contains(QLatin1String("'localhost'")) && error.contains(QLatin1String("not trusted")), qPrintable(error));
    QVERIFY(c.display.contains(error));
    QVERIFY(c.display.filter(QStringLiteral("AUTH")).isEmpty()); // the password never went out
    QVERIFY(server.Messages().isEmpty());

    const QRegularExpressionMatch m = QRegularExpression(QStringLiteral("fingerprint ([0-9A-F:]{95})")).match(error);
    QVERIFY2(m.hasMatch(), qPrintable(error));
    // Kept for the settings dialog to offer, never trusted by itself.
    QCOMPARE(serversettings::RefusedCertificate(QStringLiteral("LOCALHOST")), m.captured(1));
    TClient wrong(server.Port(), TMailSecurity::StartTls);
    wrong.settings.Fingerprint = QString(m.captured(1)).replace(0, 2, QStringLiteral("00") == m.captured(1).left(2) ? QStringLiteral("11") : QStringLiteral("00"));
    QVERIFY(!wrong.Send());
    TClient trusted(server.Port(), TMailSecurity::StartTls);
    trusted.settings.Fingerprint = m.captured(1).toLower();
    QVERIFY2(trusted.Send(), qPrintable(trusted.client.ErrorMessage()));
    QCOMPARE(server.Messages().size(), 1);
}

void TstMailTls::pop3RetrievesOverEachMode_data()
{
    QTest::addColumn<bool>("implicit");
    QTest::addColumn<bool>("trusted");
    QTest::newRow("stls") << false << true;
    QTest::newRow("tls") << true << true;
    QTest::newRow("stls, untrusted") << false << false;
    QTest::newRow("tls, untrusted") << true << false;
}

void TstMailTls::pop3RetrievesOverEachMode()
{
    QFETCH(bool, implicit);
    QFETCH(bool, trusted);
    if (!trusted)
        qunsetenv("SSL_CERT_FILE");
    TDovecotServer server;
    const QByteArray message("From: a@example.org\r\nSubject: over TLS\r\n\r\n.dot\r\n" + QByteArray(600, 'x') + "\r\n");
    server.AddMessage(message);
    server.SetTls(m_certs.CertFile(), m_certs.KeyFile(), implicit);
    START_PEER(server);

    // Port 1 for the client: the section's port must win.
    TPop3Setup p(QStringLiteral("localhost"), QStringLiteral("1"), server.User(), server.Password());
    TPop3Client& client = p.client;
    client.SetServerSettings(SecuritySection(client.Host(), server.Port(), implicit ? TMailSecurity::Tls : TMailSecurity::StartTls));
    QStringList display;
    client.OnDisplay = [&](TPop3Client*, const QString& m) { display << m; };
    if (!trusted) {
        QVERIFY(!client.Stat());
        QVERIFY2(client.ErrorMessage().startsWith(QLatin1String("-ERR The certificate of 'localhost' is not trusted")),
                 qPrintable(client.ErrorMessage()));
        QVERIFY(display.filter(QStringLiteral("USER")).isEmpty()); // nothing of the login went out
        QCOMPARE(client.ProtocolState(), pop3Disconnected);
        return;
    }
    QVERIFY2(client.Stat(), qPrintable(client.ErrorMessage() + u'\n' + display.join(u'\n') + server.Log()));
    QVERIFY(client.Socket()->TlsActive());
    QCOMPARE(client.MsgCount(), 1);
    client.SetMsgNum(1);
    QVERIFY2(client.Retr(), qPrintable(client.ErrorMessage()));
    QCOMPARE(p.text, message);
    QVERIFY(client.Quit());
    if (!implicit)
        QCOMPARE(display.filter(QRegularExpression(QStringLiteral("^> "))).value(0), QStringLiteral("> STLS"));
}

QTEST_MAIN(TstMailTls)
#include "tst_mailtls.moc"
