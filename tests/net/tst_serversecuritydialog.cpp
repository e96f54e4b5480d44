// The "Server security..." dialog: the form loaded, checked and saved (password to the keychain,
// else scrambled into the section, else nowhere), the refused certificate trusted only when
// ticked, the keychain fallback without a session bus, and the dialog driven through its widgets.
#include "DialogTest.h"
#include "net/PasswordStore.h"
#include "net/ServerSecurity.h"
#include "net/ServerSecurityDialog.h"
#include "net/SmtpClient.h"
#include "net/Wait.h"
#include "platform/IniFile.h"
#include "support/FakeDialogs.h"
#include "support/FakePasswordStore.h"
#include "support/TestUtil.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

namespace {
const QString kHost = QStringLiteral("smtp.example.com");
const QString kFp = QStringLiteral("AB:CD:EF:01");
} // namespace

class TstServerSecurityDialog : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;
    QString Ini() const { return m_dir.filePath(QStringLiteral("Quorvel.ini")); }
    // Saves the form into the settings file; `where` says where the password went.
    QString Save(const TServerSecurityForm& f, TPasswordStore& store)
    {
        QString where;
        TIniFile ini(Ini());
        serversecurity::Save(ini, f, store, where);
        [&] { QVERIFY(ini.UpdateFile()); }();
        return where;
    }
    TServerSettings Settings(TPasswordStore* store = nullptr) const
    {
        return serversettings::Load(TIniFile(Ini()), TMailProtocol::Smtp, kHost, store);
    }

private slots:
    void init()
    {
        QFile::remove(Ini());
        serversettings::ClearRefusedCertificate(kHost);
    }

    void passwordGoesWhereItCan_data()
    {
        QTest::addColumn<bool>("keychain");
        QTest::addColumn<bool>("writeFails");
        QTest::addColumn<bool>("remember");
        QTest::addColumn<QString>("where");
        QTest::newRow("keychain answers") << true << false << true << QStringLiteral("keychain");
        QTest::newRow("no keychain: scrambled in the section") << false << false << true << QStringLiteral("file");
        QTest::newRow("keychain refuses the write") << true << true << true << QStringLiteral("file");
        QTest::newRow("not remembered, keychain") << true << false << false << QString();
        QTest::newRow("not remembered, no keychain") << false << false << false << QString();
    }
    void passwordGoesWhereItCan()
    {
        QFETCH(bool, keychain);
        QFETCH(bool, writeFails);
        QFETCH(bool, remember);
        QFETCH(QString, where);
        TFakePasswordStore store;
        store.available = keychain;
        store.writeFails = writeFails;
        const QString key = serversettings::PasswordKey(TMailProtocol::Smtp, kHost);
        store.entries.insert(key, QStringLiteral("old")); // a stale entry must never win
        TServerSecurityForm f;
        f.Host = kHost;
        f.Port = QStringLiteral("587");
        f.Security = TMailSecurity::StartTls;
        f.User = QStringLiteral("alice");
        f.Password = QStringLiteral("wonder;land");
        f.RememberPassword = remember;
        QCOMPARE(serversecurity::Validate(f), QString());
        QCOMPARE(Save(f, store), where);
        const QByteArray raw = testutil::readAll(Ini());
        QVERIFY(!raw.contains("wonder"));
        QCOMPARE(raw.contains("Password="), where == QLatin1String("file"));
        if (keychain)
            QCOMPARE(store.entries.value(key), where == QLatin1String("keychain") ? f.Password : QString());
        if (where == QLatin1String("file"))
            QCOMPARE(QFileInfo(Ini()).permissions() & (QFile::ReadOther | QFile::ReadGroup), QFile::Permissions());

        // What a client reads at connect time, wherever the password went.
        const TServerSettings s = Settings(&store);
        QVERIFY(s.Error.isEmpty());
        QCOMPARE(s.Port, 587);
        QCOMPARE(s.Security, TMailSecurity::StartTls);
        QCOMPARE(s.User, QStringLiteral("alice"));
        QCOMPARE(s.Password, where.isEmpty() ? QString() : f.Password);
        QCOMPARE(s.PasswordInKeychain, where == QLatin1String("keychain"));
        // And the dialog shows it again, with "Remember password" as it was.
        const TServerSecurityForm back = serversecurity::Load(TIniFile(Ini()), TMailProtocol::Smtp, kHost, store);
        QCOMPARE(back.Password, s.Password);
        QCOMPARE(back.RememberPassword, remember);
    }

    void validate_data()
    {
        QTest::addColumn<QString>("port");
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("complaint"); // empty: valid
        QTest::newRow("usual port") << "" << "" << "" << "";
        QTest::newRow("port 65535") << "65535" << "" << "" << "";
        QTest::newRow("port 0") << "0" << "" << "" << "port";
        QTest::newRow("port too big") << "65536" << "" << "" << "port";
        QTest::newRow("port a name") << "smtp" << "" << "" << "port";
        QTest::newRow("password without user") << "" << "" << "x" << "user name";
        QTest::newRow("user with a line break") << "" << "a\r\nMAIL FROM" << "" << "line breaks";
    }
    void validate()
    {
        QFETCH(QString, port);
        QFETCH(QString, user);
        QFETCH(QString, password);
        QFETCH(QString, complaint);
        TServerSecurityForm f;
        f.Host = kHost;
        f.Port = port;
        f.User = user;
        f.Password = password;
        const QString error = serversecurity::Validate(f);
        if (complaint.isEmpty())
            QCOMPARE(error, QString());
        else
            QVERIFY2(error.contains(complaint), qPrintable(error));
    }

    void refusedCertificateTrustedOnlyWhenTicked()
    {
        TFakePasswordStore store;
        serversettings::NoteRefusedCertificate(QStringLiteral("SMTP.example.com"), kFp); // hosts without case
        TServerSecurityForm f = serversecurity::Load(TIniFile(Ini()), TMailProtocol::Smtp, kHost, store);
        QCOMPARE(f.RefusedFingerprint, kFp);
        Save(f, store); // not ticked
        QVERIFY(Settings().Fingerprint.isEmpty());
        f = serversecurity::Load(TIniFile(Ini()), TMailProtocol::Smtp, kHost, store);
        QCOMPARE(f.RefusedFingerprint, kFp); // still offered
        f.TrustRefused = true;
        Save(f, store);
        QCOMPARE(Settings().Fingerprint, kFp);
        f = serversecurity::Load(TIniFile(Ini()), TMailProtocol::Smtp, kHost, store);
        QCOMPARE(f.Fingerprint, kFp);
        QVERIFY(f.RefusedFingerprint.isEmpty()); // trusted now: nothing more to offer
        f.ForgetFingerprint = true;
        Save(f, store);
        QVERIFY(Settings().Fingerprint.isEmpty());
    }

    void keychainWithoutSessionBusFallsBack()
    {
        const QByteArray bus = qgetenv("DBUS_SESSION_BUS_ADDRESS"), runtime = qgetenv("XDG_RUNTIME_DIR");
        qunsetenv("DBUS_SESSION_BUS_ADDRESS");
        qputenv("XDG_RUNTIME_DIR", m_dir.path().toLocal8Bit()); // no "bus" there
        TKeychainStore keychain;
        QVERIFY(!keychain.Available());
        QString error;
        QVERIFY(!keychain.Write(QStringLiteral("k"), QStringLiteral("p"), error));
        QVERIFY(!error.isEmpty());
        QVERIFY(keychain.Read(QStringLiteral("k")).isEmpty());
        TServerSecurityForm f;
        f.Host = kHost;
        f.User = QStringLiteral("alice");
        f.Password = QStringLiteral("pw");
        QCOMPARE(Save(f, keychain), QStringLiteral("file"));
        if (!bus.isEmpty())
            qputenv("DBUS_SESSION_BUS_ADDRESS", bus);
        qputenv("XDG_RUNTIME_DIR", runtime);
    }

    void notRememberedPasswordStopsTheSendBeforeConnecting()
    {
        TFakePasswordStore store;
        TDefaultStoreScope scope(store);
        QVERIFY(testutil::writeAll(Ini(), "[SMTP 127.0.0.1]\r\nPort=9\r\nSecurity=STARTTLS\r\nUser=alice\r\n"));
        TWait wait;
        TSmtpClient client;
        client.SetWait(&wait);
        client.SetHost(QStringLiteral("127.0.0.1"));
        client.SetSettingsFile(Ini());
        QVERIFY(!client.Connect());
        QVERIFY2(client.ErrorMessage().contains(QLatin1String("No password for the user 'alice'")),
                 qPrintable(client.ErrorMessage()));
        QCOMPARE(client.Socket()->State(), wsClosed);
        // Stored in the keychain: the client reads it from there and gets past the check.
        store.entries.insert(serversettings::PasswordKey(TMailProtocol::Smtp, QStringLiteral("127.0.0.1")),
                             QStringLiteral("pw"));
        QVERIFY(!client.Connect()); // nobody listens on port 9
        QVERIFY2(!client.ErrorMessage().contains(QLatin1String("No password")), qPrintable(client.ErrorMessage()));
        QCOMPARE(client.ServerSettings().Password, QStringLiteral("pw"));
        QVERIFY(client.ServerSettings().PasswordInKeychain);
    }

    void emptyServerFieldShowsMessageNoDialog()
    {
        TFakeDialogs dialogs;
        TFakePasswordStore store;
        bool shown = false;
        QTimer watch; // dies with the test, so it cannot close a later test's dialog
        watch.setSingleShot(true);
        connect(&watch, &QTimer::timeout, this, [&] {
            if (QApplication::activeModalWidget()) {
                shown = true;
                QApplication::activeModalWidget()->close();
            }
        });
        watch.start(0);
        QVERIFY(!TServerSecurityDialog::Edit(dialogs, nullptr, TMailProtocol::Smtp, QStringLiteral("  "), Ini(), store));
        QTest::qWait(20);
        QCOMPARE(dialogs.texts(),
                 QStringList{QStringLiteral("Enter the SMTP server first: its security settings are kept under its name.")});
        QVERIFY(!shown);
        QVERIFY(!QFile::exists(Ini()));
    }

    void dialogThroughItsWidgets()
    {
        TFakeDialogs dialogs;
        TFakePasswordStore store;
        store.available = false;
        serversettings::NoteRefusedCertificate(kHost, kFp);
        bool badPortKeptOpen = false;
        WhenShown<TServerSecurityDialog>([&](TServerSecurityDialog* d) {
            auto* port = Child<QLineEdit>(d, "PortEDT");
            auto* security = Child<QComboBox>(d, "SecurityCB");
            QCOMPARE(Child<QLabel>(d, "RefusedLBL")->text().contains(kFp), true);
            security->setCurrentIndex(security->findText(QStringLiteral("STARTTLS")));
            QCOMPARE(port->placeholderText(), QStringLiteral("587"));
            port->setText(QStringLiteral("99999"));
            Child<QLineEdit>(d, "UserEDT")->setText(QStringLiteral("alice"));
            Child<QLineEdit>(d, "PasswordEDT")->setText(QStringLiteral("wonderland"));
            QVERIFY(Child<QCheckBox>(d, "RememberCB")->isChecked());
            Child<QCheckBox>(d, "TrustCB")->setChecked(true);
            QTest::mouseClick(Child<QPushButton>(d, "OKBtn"), Qt::LeftButton);
            auto* error = Child<QLabel>(d, "ErrorLBL");
            badPortKeptOpen = d->isVisible() && !error->isHidden() && error->text().contains(QLatin1String("port"));
            port->setText(QStringLiteral("2587"));
            QTest::mouseClick(Child<QPushButton>(d, "OKBtn"), Qt::LeftButton);
        });
        QVERIFY(TServerSecurityDialog::Edit(dialogs, nullptr, TMailProtocol::Smtp, kHost, Ini(), store));
        QVERIFY(badPortKeptOpen);
        QVERIFY(dialogs.messages.isEmpty());
        const TServerSettings s = Settings(&store);
        QCOMPARE(s.Port, 2587);
        QCOMPARE(s.Security, TMailSecurity::StartTls);
        QCOMPARE(s.User, QStringLiteral("alice"));
        QCOMPARE(s.Password, QStringLiteral("wonderland"));
        QCOMPARE(s.Fingerprint, kFp);

        // Cancel writes nothing; untick "Remember password" and the password is gone.
        const QByteArray before = testutil::readAll(Ini());
        WhenShown<TServerSecurityDialog>([](TServerSecurityDialog* d) {
            QCOMPARE(Child<QLineEdit>(d, "PortEDT")->text(), QStringLiteral("2587"));
            QCOMPARE(Child<QLineEdit>(d, "PasswordEDT")->text(), QStringLiteral("wonderland"));
            QVERIFY(!Child<QCheckBox>(d, "TrustCB")); // already trusted
            Child<QLineEdit>(d, "PortEDT")->setText(QStringLiteral("25"));
            QTest::mouseClick(Child<QPushButton>(d, "CancelBtn"), Qt::LeftButton);
        });
        QVERIFY(!TServerSecurityDialog::Edit(dialogs, nullptr, TMailProtocol::Smtp, kHost, Ini(), store));
        QCOMPARE(testutil::readAll(Ini()), before);
        WhenShown<TServerSecurityDialog>([](TServerSecurityDialog* d) {
            Child<QCheckBox>(d, "RememberCB")->setChecked(false);
            QTest::mouseClick(Child<QPushButton>(d, "OKBtn"), Qt::LeftButton);
        });
        QVERIFY(TServerSecurityDialog::Edit(dialogs, nullptr, TMailProtocol::Smtp, kHost, Ini(), store));
        QVERIFY(!testutil::readAll(Ini()).contains("Password="));
        QCOMPARE(Settings(&store).Fingerprint, kFp);
    }

    void popDialogHasNoLoginOfItsOwn()
    {
        TFakeDialogs dialogs;
        TFakePasswordStore store;
        WhenShown<TServerSecurityDialog>([](TServerSecurityDialog* d) {
            QVERIFY(!Child<QLineEdit>(d, "UserEDT"));
            QVERIFY(Child<QLabel>(d, "PopLoginLBL"));
            auto* security = Child<QComboBox>(d, "SecurityCB");
            security->setCurrentIndex(security->findData(int(TMailSecurity::Tls)));
            QCOMPARE(Child<QLineEdit>(d, "PortEDT")->placeholderText(), QStringLiteral("995"));
            QTest::mouseClick(Child<QPushButton>(d, "OKBtn"), Qt::LeftButton);
        });
        QVERIFY(TServerSecurityDialog::Edit(dialogs, nullptr, TMailProtocol::Pop3, QStringLiteral("pop.example.com"), Ini(), store));
        const TServerSettings s = serversettings::Load(TIniFile(Ini()), TMailProtocol::Pop3, QStringLiteral("pop.example.com"));
        QVERIFY(s.Present);
        QCOMPARE(s.Security, TMailSecurity::Tls);
        QCOMPARE(s.PortText(TMailProtocol::Pop3), QStringLiteral("995"));
    }
};

QTEST_MAIN(TstServerSecurityDialog)
#include "tst_serversecuritydialog.moc"
