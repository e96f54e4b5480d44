// The sending limits of a server's section: read, refused when they are no counts, edited by
// the "Server security..." form and kept when the dialog writes the section again.
#include "net/ServerSecurity.h"
#include "net/ServerSettings.h"
#include "platform/IniFile.h"
#include "support/FakePasswordStore.h"

#include <QTemporaryDir>
#include <QTest>

class TestSendLimits : public QObject
{
    Q_OBJECT
private slots:
    void loadLimits_data()
    {
        QTest::addColumn<QString>("keys");
        QTest::addColumn<int>("perMessage");
        QTest::addColumn<int>("perHour");
        QTest::addColumn<int>("perDay");
        QTest::addColumn<QString>("error");
        QTest::newRow("none") << "Port=587" << 0 << 0 << 0 << "";
        QTest::newRow("all three") << "MaxRecipientsPerMessage=100\nMaxMessagesPerHour=60\nMaxRecipientsPerDay=500" << 100
                                   << 60 << 500 << "";
        QTest::newRow("comment and zero") << "MaxMessagesPerHour=30   ; the provider's page\nMaxRecipientsPerDay=0" << 0
                                          << 30 << 0 << "";
        QTest::newRow("empty value") << "MaxMessagesPerHour=" << 0 << 0 << 0 << "";
        QTest::newRow("not a count") << "MaxMessagesPerHour=many" << 0 << 0 << 0
                                     << "Invalid MaxMessagesPerHour 'many' in [SMTP smtp.example.com] (a count, 0 for no limit)";
        QTest::newRow("negative") << "MaxRecipientsPerDay=-5" << 0 << 0 << 0
                                  << "Invalid MaxRecipientsPerDay '-5' in [SMTP smtp.example.com] (a count, 0 for no limit)";
    }
    void loadLimits()
    {
        QFETCH(QString, keys);
        QFETCH(int, perMessage);
        QFETCH(int, perHour);
        QFETCH(int, perDay);
        QFETCH(QString, error);
        QTemporaryDir dir;
        TIniFile ini(dir.filePath(QStringLiteral("Quorvel.ini")));
        for (const QString& kv : keys.split(u'\n'))
            ini.WriteString(QStringLiteral("SMTP smtp.example.com"), kv.section(u'=', 0, 0), kv.section(u'=', 1));
        QString why;
        const TSendLimits l = serversettings::LoadLimits(ini, QStringLiteral("smtp.example.com"), &why);
        QCOMPARE(l.MaxRecipientsPerMessage, perMessage);
        QCOMPARE(l.MaxMessagesPerHour, perHour);
        QCOMPARE(l.MaxRecipientsPerDay, perDay);
        QCOMPARE(why, error);
        // The client's own load refuses the same section, so nothing is sent through it.
        TFakePasswordStore store;
        QCOMPARE(serversettings::Load(ini, TMailProtocol::Smtp, QStringLiteral("smtp.example.com"), &store).Error, error);
        QVERIFY(serversettings::LoadLimits(ini, QStringLiteral("other.example.com"), &why).MaxMessagesPerHour == 0);
    }

    // The dialog's form shows the limits, refuses what is no count, and writes them back with
    // the rest of the section (which it writes whole).
    void formKeepsLimits()
    {
        QTemporaryDir dir;
        TIniFile ini(dir.filePath(QStringLiteral("Quorvel.ini")));
        const QString section = QStringLiteral("SMTP smtp.example.com");
        ini.WriteString(section, QStringLiteral("Security"), QStringLiteral("STARTTLS"));
        ini.WriteString(section, QStringLiteral("MaxMessagesPerHour"), QStringLiteral("60"));
        TFakePasswordStore store;
        TServerSecurityForm f = serversecurity::Load(ini, TMailProtocol::Smtp, QStringLiteral("smtp.example.com"), store);
        QCOMPARE(f.MaxMessagesPerHour, QStringLiteral("60"));
        QCOMPARE(f.MaxRecipientsPerDay, QString());
        f.MaxRecipientsPerDay = QStringLiteral("x");
        QVERIFY(!serversecurity::Validate(f).isEmpty());
        f.MaxRecipientsPerDay = QStringLiteral("-1");
        QVERIFY(!serversecurity::Validate(f).isEmpty());
        f.MaxRecipientsPerDay = QStringLiteral("500");
        f.MaxRecipientsPerMessage = QStringLiteral("100");
        QCOMPARE(serversecurity::Validate(f), QString());
        QString where;
        serversecurity::Save(ini, f, store, where);
        QString why;
        const TSendLimits l = serversettings::LoadLimits(ini, QStringLiteral("smtp.example.com"), &why);
        QCOMPARE(l.MaxRecipientsPerMessage, 100);
        QCOMPARE(l.MaxMessagesPerHour, 60);
        QCOMPARE(l.MaxRecipientsPerDay, 500);
        QCOMPARE(ini.ReadString(section, QStringLiteral("Security"), QString()), QStringLiteral("STARTTLS"));
        // Cleared in the form: gone from the section.
        f.MaxMessagesPerHour.clear();
        serversecurity::Save(ini, f, store, where);
        QVERIFY(!ini.ValueExists(section, QStringLiteral("MaxMessagesPerHour")));
    }
};

QTEST_APPLESS_MAIN(TestSendLimits)
#include "tst_sendlimits.moc"
