// "Quorvel.ini": every key, default and conversion.
#include "app/SettingsFile.h"
#include "platform/IniFile.h"
#include "support/TestUtil.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

class TestSettings : public QObject
{
    Q_OBJECT
private:
    QTemporaryDir m_dir;
    QString path(const char* n) const { return m_dir.filePath(QLatin1String(n)); }
    bool save(const char* n, const TSettingsData& d)
    {
        QString err;
        return settingsfile::Save(path(n), d, &err);
    }

private slots:
    void missingFileReadsAsDefaults()
    {
        const TSettingsData d = settingsfile::Load(path("none.ini"));
        QCOMPARE(d.General, TGeneralSettings());
        QCOMPARE(d.Timeout, 15);
        QVERIFY(!d.Color.has_value());
        QVERIFY(d.Hints && d.Sounds && d.AutoSave);
        QVERIFY(d.ListPaths.isEmpty());
        QCOMPARE(d.DigestFont, TDigestFontSpec());
        QCOMPARE(d.DigestFont.Name, QStringLiteral("Times New Roman"));
        QCOMPARE(d.DigestFont.Size, 8);
        QCOMPARE(d.DigestFont.Color, QColor(Qt::black));
    }

    void roundTripKeepsEveryValue()
    {
        TSettingsData d;
        d.General = {"Ann Lee", "ann@example.com", "smtp.example.com", "pop.example.com", "ann",
                     QString::fromLatin1("p\x01\x0c w\xe9 "), "/h.txt", "/f.txt", "/s.txt", true, false, true, true, true};
        d.Timeout = 120;
        d.Color = QColor(10, 20, 30);
        d.Hints = false;
        d.Sounds = false;
        d.AutoSave = false;
        d.ListPaths = {"/a/one.qvl", "/b/two.qvl"};
        QVERIFY(save("rt.ini", d));
        const TSettingsData back = settingsfile::Load(path("rt.ini"));
        QCOMPARE(back.General, d.General);
        QCOMPARE(back.Timeout, 120);
        QCOMPARE(back.Color, d.Color);
        QVERIFY(!back.Hints && !back.Sounds && !back.AutoSave);
        QCOMPARE(back.ListPaths, d.ListPaths);
    }

    void fileLayoutAndOrder()
    {
        TSettingsData d;
        d.General.User = "U";
        d.General.Password = "abc";
        d.Color = QColor(0, 0, 0x87);
        d.ListPaths = {"/l0.qvl"};
        QVERIFY(save("layout.ini", d));
        QCOMPARE(testutil::readAll(path("layout.ini")),
                 QByteArray("[User Settings]\r\nUser=U\r\nEmail=\r\nSMTP=\r\nTimeout=15\r\nPOP=\r\nUsername=\r\n"
                            "Password=TUV\r\nHeader File=\r\nFooter File=\r\nSig File=\r\nInclude Header=0\r\n"
                            "Include Footer=0\r\nInclude Sig=0\r\nSave Letters=0\r\nColor=8847360\r\nHints=1\r\n"
                            "Sounds=1\r\nAuto Save=1\r\n\r\n[Mail Lists]\r\nCount=1\r\nList0=/l0.qvl\r\n"));
        struct stat st;
        QCOMPARE(::stat(QFile::encodeName(path("layout.ini")).constData(), &st), 0);
        QCOMPARE(int(st.st_mode & 0777), 0600); // it holds a password
    }

    // The formatted-send flag is written once it was turned on, and kept (as off) after that.
    void sendFormattedWrittenOnceUsed()
    {
        TSettingsData d;
        QVERIFY(save("fmt.ini", d));
        QVERIFY(!testutil::readAll(path("fmt.ini")).contains("Send Formatted"));
        for (const bool on : {true, false}) {
            d.General.SendFormatted = on;
            QVERIFY(save("fmt.ini", d));
            QVERIFY(testutil::readAll(path("fmt.ini")).contains(on ? "\r\nSend Formatted=1\r\n" : "\r\nSend Formatted=0\r\n"));
            QCOMPARE(settingsfile::Load(path("fmt.ini")).General.SendFormatted, on);
        }
    }

    // Every password comes back as it was; where a file form is given, that is the line written.
    void passwordsSurviveWhateverTheyHold_data()
    {
        QTest::addColumn<QString>("password");
        QTest::addColumn<QByteArray>("line"); // empty: the file form is not checked
        QTest::newRow("plain") << "abc" << QByteArray("Password=TUV");
        QTest::newRow("codes below 13") << QString::fromLatin1("\x01\x05\x0c") << QByteArray();
        QTest::newRow("dash becomes a blank when scrambled") << "-start-end-" << QByteArray();
        QTest::newRow("quote marks") << "\"quoted\"" << QByteArray();
        QTest::newRow("code 13+quote: stored quote pair") << QString::fromLatin1("/x/") << QByteArray();
        QTest::newRow("8-bit") << QString::fromUtf8("pässwörd€") << QByteArray();
        // 23 and 26 scramble to LF and CR; 29 scrambles to the escape byte that stores them.
        QTest::newRow("code 23") << QString::fromLatin1("a\x17") << QByteArray("Password=T\x10J");
        QTest::newRow("lone escape-byte character") << QString::fromLatin1("\x1dx") << QByteArray("Password=\x10k");
        QTest::newRow("codes 23 and 26") << QString::fromLatin1("a\x17" "b\x1a" "c") << QByteArray();
        QTest::newRow("codes 23 and 26 at the ends") << QString::fromLatin1("\x1a" "mid\x17") << QByteArray();
        QTest::newRow("escape then what an escape pair holds") << QString::fromLatin1("\x1dW\x1dZ\x1d\x1d\x1d")
                                                               << QByteArray();
        QTest::newRow("escape before 23") << QString::fromLatin1("\x1d\x17\x1d") << QByteArray();
    }
    void passwordsSurviveWhateverTheyHold()
    {
        QFETCH(QString, password);
        QFETCH(QByteArray, line);
        TSettingsData d;
        d.General.Password = password;
        QVERIFY(save("pw.ini", d));
        QCOMPARE(settingsfile::Load(path("pw.ini")).General.Password, password);
        if (!line.isEmpty())
            QVERIFY(testutil::readAll(path("pw.ini")).contains(line + "\r\n"));
    }

    void unusableFilesAreReported()
    {
        QVERIFY(QDir().mkpath(path("dir.ini")));
        QVERIFY(!settingsfile::Load(path("dir.ini")).ReadError.isEmpty());
        QVERIFY(settingsfile::Load(path("absent.ini")).ReadError.isEmpty());
        QString err;
        QVERIFY(!settingsfile::Save(m_dir.filePath("no/such/dir/q.ini"), TSettingsData(), &err));
        QVERIFY(!err.isEmpty());
    }

    void textsAreCutToCapacity()
    {
        TSettingsData d;
        d.General.User = QString(150, u'u');
        d.General.HeaderFile = QString(300, u'h');
        QVERIFY(save("cut.ini", d));
        const TSettingsData back = settingsfile::Load(path("cut.ini"));
        QCOMPARE(back.General.User, QString(100, u'u'));
        QCOMPARE(back.General.HeaderFile, QString(255, u'h'));
        // Written longer by hand, still cut on reading.
        testutil::writeAll(path("hand.ini"), "[User Settings]\r\nEmail=" + QByteArray(180, 'e') + "\r\n");
        QCOMPARE(settingsfile::Load(path("hand.ini")).General.Email.size(), 100);
    }

    // A catalog count written by hand (or by anyone) is no promise: a huge one must not make
    // Load read billions of missing keys.
    void catalogCountBeyondTheKeysPresent_data()
    {
        QTest::addColumn<QByteArray>("section");
        QTest::addColumn<QStringList>("paths");
        QTest::addColumn<int>("missing"); // -1: not checked
        QTest::newRow("largest int") << QByteArray("Count=2147483647\r\nList0=/a.qvl\r\nList1=/b.qvl\r\n")
                                     << QStringList{"/a.qvl", "/b.qvl"} << -1;
        QTest::newRow("hex, no lists") << QByteArray("Count=0x7fffffff\r\n") << QStringList{} << -1;
        QTest::newRow("gap counted, not kept") << QByteArray("Count=3\r\nList0=/a\r\nList2=/c\r\n")
                                               << QStringList{"/a", "/c"} << 1;
        QTest::newRow("negative") << QByteArray("Count=-5\r\nList0=/a\r\n") << QStringList{} << -1;
        // Empty values, keys past the count and keys the count does not name are no lists.
        QTest::newRow("holes, empty, beyond and misspelt keys")
            << QByteArray("Count=100000\r\nList0=/a.qvl\r\nList7=/b.qvl\r\nList3=\r\nList100000=/beyond.qvl\r\n"
                          "List07=/not-a-key-the-count-reads.qvl\r\n")
            << QStringList{"/a.qvl", "/b.qvl"} << 100000 - 2;
    }
    void catalogCountBeyondTheKeysPresent()
    {
        QFETCH(QByteArray, section);
        QFETCH(QStringList, paths);
        QFETCH(int, missing);
        testutil::writeAll(path("count.ini"), "[Mail Lists]\r\n" + section);
        const TSettingsData d = settingsfile::Load(path("count.ini"));
        QCOMPARE(d.ListPaths, paths);
        QVERIFY(d.ReadError.isEmpty());
        if (missing >= 0)
            QCOMPARE(d.MissingLists, missing);
    }

    void shorterCatalogLeavesOldKeys()
    {
        TSettingsData d;
        d.ListPaths = {"/0", "/1", "/2", "/3", "/4"};
        QVERIFY(save("cat.ini", d));
        d.ListPaths.removeAt(2);
        QVERIFY(save("cat.ini", d));
        const TIniFile ini(path("cat.ini"));
        QCOMPARE(ini.ReadInteger("Mail Lists", "Count", -1), 4);
        QCOMPARE(ini.ReadString("Mail Lists", "List4", {}), QStringLiteral("/4"));
        QCOMPARE(settingsfile::Load(path("cat.ini")).ListPaths, (QStringList{"/0", "/1", "/3", "/4"}));
    }

    void valuesWrittenByHand_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<int>("timeout");
        QTest::addColumn<bool>("hasColor");
        QTest::addColumn<QString>("style");
        QTest::addColumn<QColor>("fontColor");
        QTest::newRow("hex time-out") << QByteArray("[User Settings]\r\nTimeout=0x1E\r\n") << 30 << false << "" << QColor(Qt::black);
        QTest::newRow("colour not an integer") << QByteArray("[User Settings]\r\nColor=clNavy\r\n") << 15 << false << "" << QColor(Qt::black);
        QTest::newRow("colour decimal") << QByteArray("[User Settings]\r\nColor=255\r\n") << 15 << true << "" << QColor(Qt::black);
        QTest::newRow("style 13") << QByteArray("[Digest Font]\r\nStyle=13\r\nColor=16711680\r\n") << 15 << false << "13" << QColor(0, 0, 255);
        QTest::newRow("style all, bad colour") << QByteArray("[Digest Font]\r\nStyle=4321\r\nColor=x\r\n") << 15 << false << "1234" << QColor(Qt::black);
        QTest::newRow("boolean any non-zero") << QByteArray("[User Settings]\r\nHints=7\r\n") << 15 << false << "" << QColor(Qt::black);
    }
    void valuesWrittenByHand()
    {
        QFETCH(QByteArray, file);
        QFETCH(int, timeout);
        QFETCH(bool, hasColor);
        QFETCH(QString, style);
        QFETCH(QColor, fontColor);
        testutil::writeAll(path("hand2.ini"), file);
        const TSettingsData d = settingsfile::Load(path("hand2.ini"));
        QCOMPARE(d.Timeout, timeout);
        QCOMPARE(d.Color.has_value(), hasColor);
        if (hasColor)
            QCOMPARE(*d.Color, QColor(255, 0, 0)); // red is the low byte
        QCOMPARE(TDigestFontSpec::StyleDigits(d.DigestFont.ToFont()), style);
        QCOMPARE(d.DigestFont.Color, fontColor);
        QVERIFY(d.Hints);
    }

    // A file written by hand, or by another program, in its own spelling of the keys: closing
    // with nothing changed leaves it as it is, and a change replaces only the value.
    void savingKeepsTheKeysAsTheFileSpellsThem()
    {
        const QByteArray hand = "[USER SETTINGS]\r\nuser=Ann\r\nEMAIL=ann@example.com\r\nsmtp=mail.example.com\r\n"
                                "timeout=15\r\npop=\r\nusername=\r\npassword=\r\nheader file=\r\nFOOTER FILE=\r\n"
                                "sig file=\r\ninclude header=0\r\ninclude footer=0\r\ninclude sig=0\r\n"
                                "save letters=0\r\ncolor=8388608\r\nhints=1\r\nsounds=1\r\nauto save=1\r\n\r\n"
                                "[mail lists]\r\nCOUNT=1\r\nlist0=/a/one.qvl\r\n";
        QVERIFY(testutil::writeAll(path("hand-keys.ini"), hand));
        TSettingsData d = settingsfile::Load(path("hand-keys.ini"));
        QCOMPARE(d.General.User, QStringLiteral("Ann"));
        QVERIFY(save("hand-keys.ini", d));
        QCOMPARE(testutil::readAll(path("hand-keys.ini")), hand);

        d.General.User = QStringLiteral("Bob");
        d.ListPaths << QStringLiteral("/b/two.qvl");
        QVERIFY(save("hand-keys.ini", d));
        QByteArray expected = hand;
        expected.replace("user=Ann", "user=Bob").replace("COUNT=1", "COUNT=2");
        expected += "List1=/b/two.qvl\r\n"; // a key the file did not have is written as the program names it
        QCOMPARE(testutil::readAll(path("hand-keys.ini")), expected);
    }

    void savingKeepsOtherSectionsAndDigestFont()
    {
        testutil::writeAll(path("keep.ini"), "[Digest Font]\r\nName=Arial\r\nSize=12\r\n\r\n[Mine]\r\nx=1\r\n");
        QVERIFY(save("keep.ini", TSettingsData()));
        const TSettingsData d = settingsfile::Load(path("keep.ini"));
        QCOMPARE(d.DigestFont.Name, QStringLiteral("Arial"));
        QCOMPARE(d.DigestFont.Size, 12);
        QCOMPARE(TIniFile(path("keep.ini")).ReadString("Mine", "x", {}), QStringLiteral("1"));
    }

    void digestFontWriter()
    {
        QFont f(QStringLiteral("Courier New"));
        f.setPointSize(11);
        f.setItalic(true);
        f.setStrikeOut(true);
        QString err;
        QVERIFY(settingsfile::SaveDigestFont(path("font.ini"), f, QColor(0, 128, 0), &err));
        const TSettingsData d = settingsfile::Load(path("font.ini"));
        QCOMPARE(d.DigestFont.Name, QStringLiteral("Courier New"));
        QCOMPARE(d.DigestFont.Size, 11);
        QVERIFY(d.DigestFont.Italic && d.DigestFont.StrikeOut && !d.DigestFont.Bold);
        QCOMPARE(d.DigestFont.Color, QColor(0, 128, 0));
        QCOMPARE(TIniFile(path("font.ini")).ReadString("Digest Font", "Color", {}), QStringLiteral("32768"));
    }
};

QTEST_MAIN(TestSettings)
#include "tst_settings.moc"
