// Private-profile semantics of TIniFile.
#include "platform/IniFile.h"
#include "support/TestUtil.h"

#include <QTemporaryDir>
#include <QTest>

class TestIniFile : public QObject
{
    Q_OBJECT
private:
    QTemporaryDir m_dir;
    QString path(const char* name) const { return m_dir.filePath(QLatin1String(name)); }

private slots:
    void readsWithProfileRules_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("expected");
        const QByteArray f = "; comment\r\n[User Settings]\r\nUser =  Ann Smith  \r\nquoted=\"  padded  \"\r\n"
                             "single='x'\r\nhalf=\"open\r\nempty=\r\n\r\n[Other]\r\nUser=Bob\r\n";
        QTest::newRow("section and key case-insensitive") << f << "user settings" << "USER" << "Ann Smith";
        QTest::newRow("value trimmed, key trimmed") << f << "User Settings" << "User" << "Ann Smith";
        QTest::newRow("surrounding double quotes dropped") << f << "User Settings" << "quoted" << "  padded  ";
        QTest::newRow("surrounding single quotes dropped") << f << "User Settings" << "single" << "x";
        QTest::newRow("unmatched quote kept") << f << "User Settings" << "half" << "\"open";
        QTest::newRow("empty value") << f << "User Settings" << "empty" << "";
        QTest::newRow("same key in other section") << f << "Other" << "user" << "Bob";
        QTest::newRow("missing key gives default") << f << "Other" << "nothing" << "DEF";
        QTest::newRow("missing section gives default") << f << "Nope" << "User" << "DEF";
        QTest::newRow("LF-only file") << QByteArray("[A]\nk=v\n") << "A" << "k" << "v";
        QTest::newRow("8-bit value is Windows-1252") << QByteArray("[A]\r\nk=caf\xe9 \x80\r\n") << "A" << "k"
                                                     << QString::fromUtf8("café €");
    }
    void readsWithProfileRules()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QString, expected);
        QVERIFY(testutil::writeAll(path("r.ini"), file));
        TIniFile ini(path("r.ini"));
        QCOMPARE(ini.ReadString(section, key, QStringLiteral("DEF")), expected);
    }

    void longValuesAreCutAt1023()
    {
        QVERIFY(testutil::writeAll(path("long.ini"), "[A]\r\nk=" + QByteArray(1500, 'x') + "\r\n"));
        TIniFile ini(path("long.ini"));
        QCOMPARE(ini.ReadString("A", "k", {}).size(), 1023);
    }

    void integers_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("expected");
        QTest::newRow("decimal") << "42" << 42;
        QTest::newRow("negative") << "-7" << -7;
        QTest::newRow("hex lower prefix") << "0x1E" << 30;
        QTest::newRow("hex upper prefix") << "0X1e" << 30;
        QTest::newRow("hex full 32 bits wraps") << "0xFFFFFFFF" << -1;
        QTest::newRow("colour value") << "8847360" << 8847360;
        QTest::newRow("not a number") << "blue" << 99;
        QTest::newRow("trailing junk") << "12ab" << 99;
        QTest::newRow("empty") << "" << 99;
        QTest::newRow("bare prefix") << "0x" << 99;
        QTest::newRow("too large") << "99999999999" << 99;
    }
    void integers()
    {
        QFETCH(QString, text);
        QFETCH(int, expected);
        QVERIFY(testutil::writeAll(path("i.ini"), "[A]\r\nk=" + text.toLatin1() + "\r\n"));
        TIniFile ini(path("i.ini"));
        QCOMPARE(ini.ReadInteger("A", "k", 99), expected);
    }

    void writeUpdatesInPlaceAndKeepsEverythingElse()
    {
        const QByteArray before = "; keep me\r\n[B]\r\nx=1\r\n\r\n[A]\r\nfirst=1\r\nTarget=old\r\nlast=3\r\n"
                                  "junk line\r\n";
        QVERIFY(testutil::writeAll(path("w.ini"), before));
        TIniFile ini(path("w.ini"));
        ini.WriteString("a", "target", "new");   // existing key: replaced on its line
        ini.WriteString("A", "added", "4");      // new key: after the section's last line
        ini.WriteString("C", "k", "v");          // new section: at the end
        QVERIFY(ini.UpdateFile());
        QCOMPARE(testutil::readAll(path("w.ini")),
                 QByteArray("; keep me\r\n[B]\r\nx=1\r\n\r\n[A]\r\nfirst=1\r\nTarget=new\r\nlast=3\r\n"
                            "junk line\r\nadded=4\r\n\r\n[C]\r\nk=v\r\n"));
    }

    // A write names the key in the program's spelling; the file keeps its own.
    void writesKeepTheFilesSpellingOfTheKey_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QByteArray>("expected"); // the line afterwards
        QTest::newRow("same value, small letters") << QByteArray("user=Ann") << "User" << "Ann" << QByteArray("user=Ann");
        QTest::newRow("same value, capitals") << QByteArray("COUNT=3") << "Count" << "3" << QByteArray("COUNT=3");
        QTest::newRow("same value, spaced and quoted") << QByteArray("  Sig File =  \"x\" ") << "sig file" << "x"
                                                       << QByteArray("  Sig File =  \"x\" ");
        QTest::newRow("new value, small letters") << QByteArray("user=Ann") << "User" << "Bob" << QByteArray("user=Bob");
        QTest::newRow("new value, spacing kept") << QByteArray("Header file = a.txt") << "Header File" << "b.txt"
                                                 << QByteArray("Header file = b.txt");
        QTest::newRow("new value that needs quotes") << QByteArray("PASSWORD=x") << "Password" << " y"
                                                     << QByteArray("PASSWORD=\" y\"");
    }
    void writesKeepTheFilesSpellingOfTheKey()
    {
        QFETCH(QByteArray, line);
        QFETCH(QString, key);
        QFETCH(QString, value);
        QFETCH(QByteArray, expected);
        const QByteArray before = "[user settings]\r\n" + line + "\r\nother=1\r\n";
        QVERIFY(testutil::writeAll(path("spell.ini"), before));
        TIniFile ini(path("spell.ini"));
        ini.WriteString("User Settings", key, value);
        QCOMPARE(ini.Modified(), expected != line);
        QVERIFY(ini.UpdateFile());
        QCOMPARE(testutil::readAll(path("spell.ini")), "[user settings]\r\n" + expected + "\r\nother=1\r\n");
        QCOMPARE(TIniFile(path("spell.ini")).ReadString("User Settings", key, {}), value);
    }

    void valuesThatReadingWouldAlterAreQuoted_data()
    {
        QTest::addColumn<QString>("value");
        QTest::newRow("leading blank") << " x";
        QTest::newRow("trailing blank") << "x ";
        QTest::newRow("tab") << "\tx";
        QTest::newRow("quoted already") << "\"q\"";
        QTest::newRow("single quotes") << "'q'";
        QTest::newRow("plain") << "plain value";
        QTest::newRow("equals sign") << "a=b";
    }
    void valuesThatReadingWouldAlterAreQuoted()
    {
        QFETCH(QString, value);
        {
            TIniFile ini(path("q.ini"));
            ini.WriteString("S", "k", value);
            QVERIFY(ini.UpdateFile());
        }
        TIniFile again(path("q.ini"));
        QCOMPARE(again.ReadString("S", "k", {}), value);
    }

    void lineEndsInValuesCannotAddKeys()
    {
        {
            TIniFile ini(path("inj.ini"));
            ini.WriteString("S", "k", "a\r\nevil=1\n[T]");
            QVERIFY(ini.UpdateFile());
        }
        TIniFile again(path("inj.ini"));
        QVERIFY(!again.ValueExists("S", "evil"));
        QVERIFY(!again.SectionExists("T"));
        QCOMPARE(again.ReadSection("S"), QStringList{"k"});
    }

    void failedUpdateLeavesOldFile()
    {
        const QString p = m_dir.filePath("missing-dir/x.ini");
        TIniFile ini(p);
        ini.WriteString("S", "k", "v");
        QVERIFY(!ini.UpdateFile());
        QVERIFY(!ini.ErrorString().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestIniFile)
#include "tst_inifile.moc"
