// The single-instance guard with real processes: a second start hands over to the first and
// ends, the first's window comes forward (restored when minimised), programs with different
// names do not meet, and a copy killed outright does not block the next start.
#include "guide/JustOne.h"
#include "support/TestUtil.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <memory>

class TestJustOne : public QObject
{
    Q_OBJECT
private:
    std::unique_ptr<QTemporaryDir> m_dir;     // program copies
    std::unique_ptr<QTemporaryDir> m_runtime; // the session's runtime folder
    std::vector<std::unique_ptr<QProcess>> m_processes;

    QProcessEnvironment env() const
    {
        QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
        e.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtime->path());
        e.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        e.remove(QStringLiteral("DISPLAY"));
        e.remove(QStringLiteral("WAYLAND_DISPLAY"));
        return e;
    }

    // A copy of the probe program under `name`.
    QString program(const QString& name)
    {
        const QString path = m_dir->filePath(name);
        if (!QFile::exists(path)) {
            const QString probe = QCoreApplication::applicationDirPath() + QStringLiteral("/justone_probe");
            if (!QFile::copy(probe, path))
                qFatal("cannot copy %s", qPrintable(probe));
        }
        return path;
    }

    QProcess* start(const QString& path, const QStringList& args = {}, const QProcessEnvironment* e = nullptr)
    {
        auto p = std::make_unique<QProcess>();
        p->setProcessEnvironment(e ? *e : env());
        p->start(path, args);
        if (!p->waitForStarted(10000))
            qWarning("could not start %s", qPrintable(path));
        m_processes.push_back(std::move(p));
        return m_processes.back().get();
    }

    // The next line the process prints ("" on time-out).
    static QString nextLine(QProcess* p, int timeoutMs = 15000)
    {
        QElapsedTimer t;
        t.start();
        while (!p->canReadLine()) {
            if (t.elapsed() > timeoutMs || !p->waitForReadyRead(int(qMax<qint64>(1, timeoutMs - t.elapsed()))))
                return QString();
        }
        return QString::fromUtf8(p->readLine()).trimmed();
    }

    static bool endsAlone(QProcess* p, int timeoutMs = 15000)
    {
        return p->waitForFinished(timeoutMs) && p->exitStatus() == QProcess::NormalExit && p->exitCode() == 0;
    }

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        m_runtime = std::make_unique<QTemporaryDir>();
    }
    void cleanup()
    {
        for (auto& p : m_processes) {
            if (p->state() != QProcess::NotRunning) {
                p->kill();
                p->waitForFinished(5000);
            }
        }
        m_processes.clear();
    }

    void instanceName_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("name");
        QTest::newRow("capitals") << "C:/Apps/NEWS.EXE" << "News";
        QTest::newRow("plain") << "/usr/bin/quorvel" << "quorvel";
        QTest::newRow("mixed case") << "/opt/QuorVEL" << "Quorvel";
        QTest::newRow("cut at first dot") << "/x/Quorvel.1.3.bin" << "Quorvel";
        QTest::newRow("one letter") << "/x/Q" << "Q";
        QTest::newRow("leading dot") << "/x/.quorvel" << "";
    }
    void instanceName()
    {
        QFETCH(QString, file);
        QFETCH(QString, name);
        QCOMPARE(justone::InstanceName(file), name);
    }

    void secondStartRaisesFirstAndEnds_data()
    {
        QTest::addColumn<QStringList>("firstArgs");
        QTest::addColumn<QString>("reaction");
        QTest::newRow("shown window is raised") << QStringList() << "raised";
        QTest::newRow("minimised window is restored") << QStringList{"--minimized"} << "restored";
    }
    void secondStartRaisesFirstAndEnds()
    {
        QFETCH(QStringList, firstArgs);
        QFETCH(QString, reaction);
        QProcess* first = start(program(QStringLiteral("Alpha")), firstArgs);
        QCOMPARE(nextLine(first), QStringLiteral("ready Alpha"));
        QProcess* second = start(program(QStringLiteral("Alpha")));
        QCOMPARE(nextLine(second), QStringLiteral("handed-over"));
        QVERIFY(endsAlone(second));
        QCOMPARE(nextLine(first), reaction);
        QCOMPARE(first->state(), QProcess::Running);
        // Nothing more: in particular no "still-minimized".
        QCOMPARE(nextLine(first, 500), QString());
    }

    void namesFromTheProgramFile_data()
    {
        QTest::addColumn<QString>("firstFile");
        QTest::addColumn<QString>("secondFile");
        QTest::addColumn<bool>("meet");
        QTest::newRow("different names") << "Alpha" << "Beta" << false;
        QTest::newRow("same name in other capitals") << "Alpha" << "ALPHA.EXE" << true;
    }
    void namesFromTheProgramFile()
    {
        QFETCH(QString, firstFile);
        QFETCH(QString, secondFile);
        QFETCH(bool, meet);
        QProcess* first = start(program(firstFile));
        QVERIFY(nextLine(first).startsWith(QStringLiteral("ready")));
        QProcess* second = start(program(secondFile));
        if (meet) {
            QCOMPARE(nextLine(second), QStringLiteral("handed-over"));
            QVERIFY(endsAlone(second));
        } else {
            QCOMPARE(nextLine(second), QStringLiteral("ready ") + justone::InstanceName(secondFile));
            QCOMPARE(first->state(), QProcess::Running);
            QCOMPARE(second->state(), QProcess::Running);
        }
    }

    void killedCopyDoesNotBlock()
    {
        QProcess* first = start(program(QStringLiteral("Alpha")));
        QCOMPARE(nextLine(first), QStringLiteral("ready Alpha"));
        ::kill(pid_t(first->processId()), SIGKILL);
        QVERIFY(first->waitForFinished(10000));
        // The lock and the socket of the dead copy are still there.
        QVERIFY(!QDir(m_runtime->path()).entryList(QDir::Files | QDir::System | QDir::Hidden).isEmpty());
        QProcess* next = start(program(QStringLiteral("Alpha")));
        QCOMPARE(nextLine(next), QStringLiteral("ready Alpha"));
        // And the copy that took over serves the one after it.
        QProcess* third = start(program(QStringLiteral("Alpha")));
        QCOMPARE(nextLine(third), QStringLiteral("handed-over"));
        QVERIFY(endsAlone(third));
        QCOMPARE(nextLine(next), QStringLiteral("raised"));
    }

    void secondProgramStartShowsNothingAndEnds()
    {
        // The real program: the second start ends at once, the first keeps running and, asked
        // to end, closes normally and writes its settings.
        QTemporaryDir home;
        const QString quorvel = QCoreApplication::applicationDirPath() + QStringLiteral("/../bin/quorvel");
        QVERIFY(QFile::exists(quorvel));
        QProcessEnvironment e = env();
        e.insert(QStringLiteral("QUORVEL_HOME"), home.path());
        e.insert(QStringLiteral("QUORVEL_NO_SOUND"), QStringLiteral("1"));
        QProcess* first = start(quorvel, {}, &e);
        QCOMPARE(first->state(), QProcess::Running);
        // Up once it has created its folders.
        QTRY_VERIFY_WITH_TIMEOUT(QDir(home.filePath(QStringLiteral("Inbox"))).exists(), 20000);
        QProcess* second = start(quorvel, {}, &e);
        QVERIFY(endsAlone(second));
        QCOMPARE(first->state(), QProcess::Running);
        QVERIFY(!QFile::exists(home.filePath(QStringLiteral("Quorvel.ini"))));
        ::kill(pid_t(first->processId()), SIGTERM);
        QVERIFY(endsAlone(first));
        QVERIFY(QFile::exists(home.filePath(QStringLiteral("Quorvel.ini"))));
    }
};

QTEST_GUILESS_MAIN(TestJustOne)
#include "tst_justone.moc"
