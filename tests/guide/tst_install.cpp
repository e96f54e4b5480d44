// Installing the build into a temporary prefix: every file where a desktop expects it, the
// desktop entry and metainfo valid, the installed program finding its resources, starting
// from the desktop entry's command and keeping its data in the per-user folder; the Debian
// package depending on the Debian packages the program uses.
#include "app/AppIdentity.h"
#include "support/TestUtil.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

namespace {
const QString kAppId = appidentity::kDesktopId;

// Runs a program to its end; its exit code, or -1 when it could not run.
int run(const QString& program, const QStringList& args, QString* output = nullptr, int timeoutMs = 120000,
        const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment())
{
    QProcess p;
    p.setProcessEnvironment(env);
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    if (!p.waitForFinished(timeoutMs) || p.exitStatus() != QProcess::NormalExit) {
        p.kill();
        p.waitForFinished();
        return -1;
    }
    if (output)
        *output = QString::fromLocal8Bit(p.readAll());
    return p.exitCode();
}
} // namespace

class TestInstall : public QObject
{
    Q_OBJECT
private:
    QTemporaryDir m_prefix;
    QTemporaryDir m_user; // HOME of the user who runs the installed program

    QString prefix(const QString& rel) const { return m_prefix.filePath(rel); }

    QProcessEnvironment userEnv() const
    {
        QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
        for (const char* v : {"QUORVEL_HOME", "QUORVEL_REGISTRY", "XDG_DATA_HOME", "XDG_CONFIG_HOME", "DISPLAY",
                              "WAYLAND_DISPLAY"})
            e.remove(QLatin1String(v));
        e.insert(QStringLiteral("HOME"), m_user.path());
        e.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_user.filePath(QStringLiteral("run")));
        e.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        e.insert(QStringLiteral("QUORVEL_NO_SOUND"), QStringLiteral("1"));
        e.insert(QStringLiteral("PATH"), prefix(QStringLiteral("bin")) + u':' + e.value(QStringLiteral("PATH")));
        return e;
    }
    QString dataFolder() const { return m_user.filePath(QStringLiteral(".local/share/Quorvel")); }

private slots:
    void initTestCase()
    {
        QDir().mkpath(m_user.filePath(QStringLiteral("run")));
        QFile::setPermissions(m_user.filePath(QStringLiteral("run")),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QString out;
        QCOMPARE(run(QStringLiteral("cmake"), {"--install", QStringLiteral(QUORVEL_BUILD_DIR), "--prefix", m_prefix.path()},
                     &out),
                 0);
    }

    void filesInTheirPlaces_data()
    {
        QTest::addColumn<QString>("path");
        QTest::newRow("program") << "bin/quorvel";
        QTest::newRow("desktop entry") << "share/applications/" + kAppId + ".desktop";
        QTest::newRow("metainfo") << "share/metainfo/" + kAppId + ".metainfo.xml";
        QTest::newRow("scalable icon") << "share/icons/hicolor/scalable/apps/quorvel.svg";
        for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
            const QString p = QStringLiteral("share/icons/hicolor/%1x%1/apps/quorvel.png").arg(size);
            QTest::newRow(qPrintable(p)) << p;
        }
        for (const char* f : {"Help.hlp", "registry.ini", "NLW0001.dat", "NLW0006.dat", "MLW0001.dat", "MLW0008.dat",
                              "tamo101.cls", "tamo106.cls"})
            QTest::newRow(f) << QStringLiteral("share/quorvel/") + QLatin1String(f);
    }
    void filesInTheirPlaces()
    {
        QFETCH(QString, path);
        QVERIFY2(QFileInfo(prefix(path)).isFile() && QFileInfo(prefix(path)).size() > 0, qPrintable(path));
    }

    void desktopFilesValidate_data()
    {
        QTest::addColumn<QString>("tool");
        QTest::addColumn<QStringList>("args");
        QTest::newRow("desktop-file-validate")
            << "desktop-file-validate" << QStringList{prefix("share/applications/" + kAppId + ".desktop")};
        QTest::newRow("appstreamcli")
            << "appstreamcli" << QStringList{"validate", "--no-net", prefix("share/metainfo/" + kAppId + ".metainfo.xml")};
    }
    void desktopFilesValidate()
    {
        QFETCH(QString, tool);
        QFETCH(QStringList, args);
        if (QStandardPaths::findExecutable(tool).isEmpty())
            QSKIP("validator not installed (scripts/install-deps.sh test installs it)");
        QString out;
        QVERIFY2(run(tool, args, &out) == 0, qPrintable(out));
    }

    void installedProgramFindsItsResources()
    {
        QString out;
        const int code = run(prefix(QStringLiteral("bin/quorvel")), {QStringLiteral("--resources")}, &out, 30000, userEnv());
        QVERIFY2(code == 0, qPrintable(out));
        QVERIFY2(!out.contains(QStringLiteral("missing")), qPrintable(out));
        QVERIFY2(out.contains(QStringLiteral("Help.hlp: ") + QDir::cleanPath(prefix(QStringLiteral("share/quorvel/Help.hlp")))),
                 qPrintable(out));
        // Data go to the user's folder, never among the installed programs.
        QVERIFY2(out.contains(QStringLiteral("Data folder: ") + dataFolder() + u'/'), qPrintable(out));
    }

    // The desktop matches windows to the entry by the window class or the app id.
    void desktopEntryNamesTheProgramsWindows()
    {
        QSettings entry(prefix("share/applications/" + kAppId + ".desktop"), QSettings::IniFormat);
        QCOMPARE(entry.value(QStringLiteral("Desktop Entry/StartupWMClass")).toString(), appidentity::kName);
        const QByteArray metainfo = testutil::readAll(prefix("share/metainfo/" + kAppId + ".metainfo.xml"));
        QVERIFY(metainfo.contains("<id>" + kAppId.toUtf8() + "</id>"));
        QVERIFY(metainfo.contains("<launchable type=\"desktop-id\">" + kAppId.toUtf8() + ".desktop</launchable>"));
        QCOMPARE(kAppId, kAppId.toLower());
    }

    void printsWithoutADisplay_data()
    {
        QTest::addColumn<QString>("option");
        QTest::addColumn<QString>("expected");
        QTest::newRow("--version") << "--version" << "Quorvel " + appidentity::kVersion;
        QTest::newRow("--help") << "--help" << "--resources";
        QTest::newRow("--resources") << "--resources" << "Speller engine: ";
    }
    void printsWithoutADisplay()
    {
        QFETCH(QString, option);
        QFETCH(QString, expected);
        QProcessEnvironment env = userEnv();
        env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        QString out;
        const int code = run(prefix(QStringLiteral("bin/quorvel")), {option}, &out, 30000, env);
        QVERIFY2(code == 0, qPrintable(out));
        QVERIFY2(out.contains(expected), qPrintable(out));
    }

    void startsFromTheDesktopEntry()
    {
        QSettings entry(prefix("share/applications/" + kAppId + ".desktop"), QSettings::IniFormat);
        const QString exec = entry.value(QStringLiteral("Desktop Entry/Exec")).toString();
        QStringList command = QProcess::splitCommand(exec);
        QVERIFY(!command.isEmpty());
        command.removeIf([](const QString& a) { return a.startsWith(u'%'); });
        // Found on the user's PATH, as a desktop launcher finds it.
        const QString program = QStandardPaths::findExecutable(
            command.takeFirst(), userEnv().value(QStringLiteral("PATH")).split(u':'));
        QCOMPARE(program, QDir::cleanPath(prefix(QStringLiteral("bin/quorvel"))));
        QProcess p;
        p.setProcessEnvironment(userEnv());
        p.start(program, command);
        QVERIFY(p.waitForStarted(10000));
        // Running once the main window has made its folders in the user's data folder.
        QTRY_VERIFY_WITH_TIMEOUT(QDir(dataFolder() + QStringLiteral("/Inbox")).exists(), 30000);
        QCOMPARE(p.state(), QProcess::Running);
        ::kill(pid_t(p.processId()), SIGTERM);
        QVERIFY(p.waitForFinished(20000));
        QCOMPARE(p.exitCode(), 0);
        QVERIFY(QFile::exists(dataFolder() + QStringLiteral("/Quorvel.ini")));
        QVERIFY(!QFile::exists(prefix(QStringLiteral("bin/Quorvel.ini"))));
        QVERIFY(!QDir(prefix(QStringLiteral("bin/Inbox"))).exists());
    }

    void debianPackageDependsOnDebianPackages()
    {
        for (const char* tool : {"cpack", "dpkg-deb", "dpkg-shlibdeps"}) {
            if (QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty())
                QSKIP("Debian packaging tools not installed");
        }
        QTemporaryDir out;
        QString log;
        const QString config = QStringLiteral(QUORVEL_BUILD_DIR) + QStringLiteral("/CPackConfig.cmake");
        QVERIFY2(run(QStringLiteral("cpack"), {"--config", config, "-G", "DEB", "-B", out.path()}, &log, 300000) == 0,
                 qPrintable(log));
        const QStringList debs = QDir(out.path()).entryList({QStringLiteral("*.deb")});
        QCOMPARE(debs.size(), 1);
        const QString deb = out.filePath(debs.first());
        QString depends;
        QCOMPARE(run(QStringLiteral("dpkg-deb"), {"-f", deb, "Depends"}, &depends), 0);
        for (const char* package : {"libqt6widgets6", "libqt6network6", "libqt6multimedia6", "qt6-qpa-plugins"})
            QVERIFY2(depends.contains(QLatin1String(package)), qPrintable(depends));
        QString contents;
        QCOMPARE(run(QStringLiteral("dpkg-deb"), {"-c", deb}, &contents), 0);
        for (const QString& f : {QStringLiteral("./usr/bin/quorvel"), "./usr/share/applications/" + kAppId + ".desktop",
                                 QStringLiteral("./usr/share/quorvel/MLW0001.dat")})
            QVERIFY2(contents.contains(f), qPrintable(f));
    }
};

QTEST_GUILESS_MAIN(TestInstall)
#include "tst_install.moc"
