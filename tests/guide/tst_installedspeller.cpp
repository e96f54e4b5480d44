// The installed program spells with the installed engine: its registry names the engine
// inside the installation, so spelling still works once the build tree's engine is gone.
// (Runs alone: it takes the build's engine away while it runs.)
#include "guide/Resources.h"
#include "platform/IniFile.h"
#include "spell/Spellers.h"
#include "support/FakeDialogs.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>

namespace {
const QString kBuildEngine = QStringLiteral(QUORVEL_BUILD_DIR "/bin/libquorvel_speller.so");
const QString kSpellingKey = QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Shared Tools\\Proofing Tools\\Spelling\\1033\\Normal");
} // namespace

class TestInstalledSpeller : public QObject
{
    Q_OBJECT
private slots:
    void spellsWithTheInstalledEngineAlone()
    {
        QTemporaryDir prefix;
        QTemporaryDir user;
        QProcess install;
        install.setProcessChannelMode(QProcess::MergedChannels);
        install.start(QStringLiteral("cmake"), {"--install", QStringLiteral(QUORVEL_BUILD_DIR), "--prefix", prefix.path()});
        QVERIFY(install.waitForFinished(120000));
        QVERIFY2(install.exitCode() == 0, install.readAll().constData());

        const QString registry = prefix.filePath(QStringLiteral("share/quorvel/registry.ini"));
        const QString engine = TIniFile(registry).ReadString(kSpellingKey, QStringLiteral("Engine"), {});
        QVERIFY2(!engine.isEmpty(), "US English is registered (hunspell-en-us is a build dependency)");
        QVERIFY2(!engine.contains(QStringLiteral(QUORVEL_BUILD_DIR)), qPrintable(engine));

        // The build's engine goes away for the rest of the test.
        QVERIFY(QFile::exists(kBuildEngine));
        const QString aside = kBuildEngine + QStringLiteral(".aside");
        QVERIFY(QFile::rename(kBuildEngine, aside));
        auto restore = qScopeGuard([&] { QFile::rename(aside, kBuildEngine); });

        // The installed program reports the installed engine, without a display.
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* v : {"QUORVEL_HOME", "QUORVEL_REGISTRY", "DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(QLatin1String(v));
        env.insert(QStringLiteral("HOME"), user.path());
        QProcess report;
        report.setProcessEnvironment(env);
        report.setProcessChannelMode(QProcess::MergedChannels);
        report.start(prefix.filePath(QStringLiteral("bin/quorvel")), {QStringLiteral("--resources")});
        QVERIFY(report.waitForFinished(30000));
        const QString out = QString::fromLocal8Bit(report.readAll());
        QVERIFY2(report.exitCode() == 0, qPrintable(out));
        const QString installedEngine
            = QDir::cleanPath(prefix.filePath(QStringLiteral(QUORVEL_PRIVATE_LIBDIR "/libquorvel_speller.so")));
        QVERIFY2(out.contains(QStringLiteral("Speller engine: ") + installedEngine + u'\n'), qPrintable(out));

        // A spell check through the installed registry.
        qputenv("QUORVEL_REGISTRY", QFile::encodeName(registry));
        qputenv("QUORVEL_HOME", QFile::encodeName(user.path()));
        QCOMPARE(resources::SpellerEngine(), installedEngine);
        TFakeDialogs dialogs;
        TSpellChecker checker;
        checker.SetLanguage(1033);
        checker.ModalDialog = false;
        checker.SetDialogs(&dialogs);
        QList<int> found;
        checker.OnMisspelling = [&](TSpellChecker*, int, int pos, int) { found << pos; };
        checker.SpellMode = smBackground;
        checker.Open();
        QTextEdit edit;
        edit.setPlainText(QStringLiteral("The garden opens in Mya."));
        checker.Check(&edit);
        checker.Close();
        QCOMPARE(found, QList<int>{20});
        QVERIFY(dialogs.messages.isEmpty());
    }
};

QTEST_MAIN(TestInstalledSpeller)
#include "tst_installedspeller.moc"
