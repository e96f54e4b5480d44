// "DKIM signing..." of the SMTP "Server security..." dialog, driven through its widgets: the
// domain guessed from the user name, an unusable key refused with the dialog kept open, the DNS
// record shown for a good key, the section written beside the server's own (neither dialog
// overwrites the other's), and removed again when signing is unticked.
#include "DialogTest.h"
#include "net/Dkim.h"
#include "net/DkimDialog.h"
#include "net/ServerSecurityDialog.h"
#include "platform/IniFile.h"
#include "support/FakeDialogs.h"
#include "support/FakePasswordStore.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

namespace {
const QString kHost = QStringLiteral("smtp.example.com");
} // namespace

class TstDkimDialog : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;
    QString Ini() const { return m_dir.filePath(QStringLiteral("Quorvel.ini")); }
    QString Base() const { return m_dir.path() + u'/'; }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QProcess p;
        p.start(QStringLiteral("openssl"), {QStringLiteral("genpkey"), QStringLiteral("-algorithm"), QStringLiteral("RSA"),
                                            QStringLiteral("-pkeyopt"), QStringLiteral("rsa_keygen_bits:1024"),
                                            QStringLiteral("-out"), m_dir.filePath(QStringLiteral("news.pem"))});
        QVERIFY(p.waitForFinished(60000) && p.exitCode() == 0);
    }

    void editedFromServerSecurity()
    {
        TFakeDialogs dialogs;
        TFakePasswordStore store;
        dialogs.openFiles.enqueue(m_dir.filePath(QStringLiteral("news.pem")));
        bool badKeyKeptOpen = false;
        QString record;
        WhenShown<TServerSecurityDialog>([&](TServerSecurityDialog* d) {
            Child<QLineEdit>(d, "UserEDT")->setText(QStringLiteral("News@Example.com"));
            Child<QLineEdit>(d, "PortEDT")->setText(QStringLiteral("2525"));
            WhenShown<TDkimDialog>([&](TDkimDialog* k) {
                QCOMPARE(Child<QLineEdit>(k, "FromDomainEDT")->text(), QStringLiteral("example.com"));
                Child<QLineEdit>(k, "SelectorEDT")->setText(QStringLiteral("news"));
                Child<QLineEdit>(k, "KeyFileEDT")->setText(QStringLiteral("missing.pem"));
                QTest::mouseClick(Child<QPushButton>(k, "OKBtn"), Qt::LeftButton);
                auto* error = Child<QLabel>(k, "ErrorLBL");
                badKeyKeptOpen = k->isVisible() && !error->isHidden() && error->text().contains(QLatin1String("missing.pem"));
                QTest::mouseClick(Child<QPushButton>(k, "BrowseBtn"), Qt::LeftButton);
                record = Child<QPlainTextEdit>(k, "RecordMEM")->toPlainText();
                QTest::mouseClick(Child<QPushButton>(k, "OKBtn"), Qt::LeftButton);
            });
            auto* dkim = Child<QPushButton>(d, "DkimBtn");
            QVERIFY(dkim && dkim->isVisible());
            QTest::mouseClick(dkim, Qt::LeftButton);
            QTest::mouseClick(Child<QPushButton>(d, "OKBtn"), Qt::LeftButton);
        });
        QVERIFY(TServerSecurityDialog::Edit(dialogs, nullptr, TMailProtocol::Smtp, kHost, Ini(), store));
        QVERIFY(badKeyKeptOpen);
        QVERIFY2(record.startsWith(QLatin1String("news._domainkey.example.com  TXT  \"v=DKIM1; k=rsa; p=MI")),
                 qPrintable(record));

        const TIniFile ini(Ini());
        QCOMPARE(serversettings::Load(ini, TMailProtocol::Smtp, kHost, &store).Port, 2525);
        const TDkimSettings s = dkimsign::Load(ini, QStringLiteral("example.com"), Base());
        QVERIFY(s.Present);
        QCOMPARE(s.Error, QString());
        QCOMPARE(s.Selector, QStringLiteral("news"));
        QCOMPARE(s.KeyPath, m_dir.filePath(QStringLiteral("news.pem")));
        TDkimSigner signer;
        QString error;
        QVERIFY2(dkimsign::LoadSigner(s, signer, error), qPrintable(error));
        QVERIFY(record.contains(signer.PublicKey));

        // Opened again it shows the section; unticked, the section goes.
        WhenShown<TDkimDialog>([](TDkimDialog* k) {
            QCOMPARE(Child<QLineEdit>(k, "SelectorEDT")->text(), QStringLiteral("news"));
            QVERIFY(!Child<QPlainTextEdit>(k, "RecordMEM")->toPlainText().isEmpty());
            Child<QCheckBox>(k, "SigningCB")->setChecked(false);
            QTest::mouseClick(Child<QPushButton>(k, "OKBtn"), Qt::LeftButton);
        });
        QVERIFY(TDkimDialog::Edit(dialogs, nullptr, QStringLiteral("example.com"), Ini(), Base()));
        QVERIFY(!dkimsign::Load(TIniFile(Ini()), QStringLiteral("example.com"), Base()).Present);
        QCOMPARE(serversettings::Load(TIniFile(Ini()), TMailProtocol::Smtp, kHost, &store).Port, 2525);
    }

    void popDialogHasNoSigning()
    {
        TServerSecurityForm form;
        form.Protocol = TMailProtocol::Pop3;
        form.Host = QStringLiteral("pop.example.com");
        TServerSecurityDialog d(form);
        d.SetDkimEditor([] {});
        QVERIFY(!Child<QPushButton>(&d, "DkimBtn"));
    }
};

QTEST_MAIN(TstDkimDialog)
#include "tst_dkimdialog.moc"
