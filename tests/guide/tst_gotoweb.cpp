// The browser launcher: the registered command's lookup and parsing, and which way Execute
// opens the page.
#include "guide/GoToWeb.h"
#include "platform/Registry.h"
#include "support/TestUtil.h"

#include <QTemporaryDir>
#include <QTest>

class TestGoToWeb : public QObject
{
    Q_OBJECT
private:
    std::unique_ptr<QTemporaryDir> m_dir;

    void useRegistry(const QByteArray& ini)
    {
        const QString path = m_dir->filePath(QStringLiteral("registry.ini"));
        QVERIFY(testutil::writeAll(path, ini));
        qputenv("QUORVEL_REGISTRY", QFile::encodeName(path));
    }

private slots:
    void init() { m_dir = std::make_unique<QTemporaryDir>(); }

    void stripPlaceholders_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("stripped");
        QTest::newRow("quoted %1") << "\"C:\\B.exe\" \"%1\"" << "\"C:\\B.exe\" \"\"";
        QTest::newRow("several") << "b.exe %1 %2 -x%L" << "b.exe   -x";
        QTest::newRow("percent percent") << "b.exe %%1" << "b.exe 1";
        QTest::newRow("last character kept") << "b.exe 100%" << "b.exe 100%";
        QTest::newRow("none") << "b.exe -nohome" << "b.exe -nohome";
        QTest::newRow("empty") << "" << "";
    }
    void stripPlaceholders()
    {
        QFETCH(QString, command);
        QFETCH(QString, stripped);
        QCOMPARE(gotoweb::StripPlaceholders(command), stripped);
    }

    void parseCommand_data()
    {
        QTest::addColumn<QString>("registered");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("arguments");
        const QString url = QStringLiteral("https://harrowlin.example/");
        QTest::newRow("quoted path, option, quoted %1")
            << "\"C:\\Program Files\\Web\\Browser.exe\" -nohome \"%1\"" << true
            << "C:\\PROGRAM FILES\\WEB\\BROWSER.EXE" << " -NOHOME \"\" " + url;
        QTest::newRow("bare program and %1") << "c:\\web\\browse.exe %1" << true << "C:\\WEB\\BROWSE.EXE" << " " + url;
        QTest::newRow("batch file, nothing after") << "C:\\web\\run.bat" << true << "C:\\WEB\\RUN.BAT" << " " + url;
        QTest::newRow("last extension wins") << "C:\\A.COM\\B.EXE -x" << true << "C:\\A.COM\\B.EXE" << "-X " + url;
        QTest::newRow("no program extension") << "/usr/bin/firefox %1" << false << "" << "";
    }
    void parseCommand()
    {
        QFETCH(QString, registered);
        QFETCH(bool, ok);
        QFETCH(QString, program);
        QFETCH(QString, arguments);
        const gotoweb::Launch launch =
            gotoweb::ParseCommand(gotoweb::StripPlaceholders(registered), QStringLiteral("https://harrowlin.example/"));
        QCOMPARE(launch.ok, ok);
        QCOMPARE(launch.program, program);
        QCOMPARE(launch.arguments, arguments);
    }

    void browserCommand_data()
    {
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<QString>("command");
        QTest::newRow("through the class")
            << QByteArray("[HKEY_CLASSES_ROOT\\.htm]\r\n@=htmlfile\r\n"
                          // A value that starts and ends with a quote is stored quoted once more.
                          "[HKEY_CLASSES_ROOT\\htmlfile\\shell\\open\\command]\r\n@=\"\"C:\\B.exe\" \"%1\"\"\r\n")
            << "\"C:\\B.exe\" \"%1\"";
        QTest::newRow("type's own key, no class")
            << QByteArray("[HKEY_CLASSES_ROOT\\.html\\shell\\open\\command]\r\n@=C:\\Own.exe %1\r\n")
            << "C:\\Own.exe %1";
        QTest::newRow("class without a command falls back to the type's key")
            << QByteArray("[HKEY_CLASSES_ROOT\\.htm]\r\n@=nothing\r\n"
                          "[HKEY_CLASSES_ROOT\\.htm\\shell\\open\\command]\r\n@=C:\\Own.exe\r\n")
            << "C:\\Own.exe";
        QTest::newRow("first type in order")
            << QByteArray("[HKEY_CLASSES_ROOT\\.shtm\\shell\\open\\command]\r\n@=C:\\Four.exe\r\n"
                          "[HKEY_CLASSES_ROOT\\.shtml\\shell\\open\\command]\r\n@=C:\\Three.exe\r\n")
            << "C:\\Three.exe";
        QTest::newRow("other roots do not count")
            << QByteArray("[HKEY_CURRENT_USER\\.htm\\shell\\open\\command]\r\n@=C:\\User.exe\r\n") << "";
        QTest::newRow("nothing registered") << QByteArray() << "";
    }
    void browserCommand()
    {
        QFETCH(QByteArray, ini);
        QFETCH(QString, command);
        useRegistry(ini);
        TRegistry registry;
        QCOMPARE(gotoweb::BrowserCommand(registry), command);
    }

    void executeOpensTheRightWay_data()
    {
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<bool>("launcherAnswer");
        QTest::addColumn<bool>("result");
        QTest::addColumn<QStringList>("calls");
        const QByteArray registered =
            "[HKEY_CLASSES_ROOT\\.htm\\shell\\open\\command]\r\n@=\"\"C:\\Web\\B.exe\" -nohome \"%1\"\"\r\n";
        QTest::newRow("default browser") << QByteArray() << true << true << QStringList{"open https://h.example/"};
        QTest::newRow("default browser fails") << QByteArray() << false << false << QStringList{"open https://h.example/"};
        QTest::newRow("registered browser") << registered << true << true
                                            << QStringList{"start C:\\WEB\\B.EXE| -NOHOME \"\" https://h.example/"};
        QTest::newRow("registered browser fails") << registered << false << false
                                                  << QStringList{"start C:\\WEB\\B.EXE| -NOHOME \"\" https://h.example/"};
        QTest::newRow("registered command without a program")
            << QByteArray("[HKEY_CLASSES_ROOT\\.htm\\shell\\open\\command]\r\n@=xdg-open %1\r\n") << true << false
            << QStringList();
    }
    void executeOpensTheRightWay()
    {
        QFETCH(QByteArray, ini);
        QFETCH(bool, launcherAnswer);
        QFETCH(bool, result);
        QFETCH(QStringList, calls);
        useRegistry(ini);
        TGoToWeb web;
        QStringList seen;
        web.OpenUrl = [&](const QString& url) {
            seen << "open " + url;
            return launcherAnswer;
        };
        web.StartProgram = [&](const QString& program, const QString& args) {
            seen << "start " + program + "|" + args;
            return launcherAnswer;
        };
        web.setProperty("Url", QStringLiteral("https://h.example/"));
        QCOMPARE(web.Execute(), result);
        QCOMPARE(seen, calls);
    }
};

QTEST_GUILESS_MAIN(TestGoToWeb)
#include "tst_gotoweb.moc"
