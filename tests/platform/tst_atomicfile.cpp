// Whole-file writes: what a crash leaves behind is cleaned up by the next run, and only that;
// a finished write survives a power loss (the folder is synced after the rename).
#include "platform/AtomicFile.h"
#include "support/TestUtil.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {
// Every fsync of this process, with what the saved file held at that moment.
struct TSync
{
    QString path;
    bool folder;
    QByteArray targetThen;
};
QList<TSync> g_syncs;
QString g_watched; // the file whose contents each sync records
} // namespace

// Takes the place of the C library's fsync for this executable (the library's calls bind to
// it at link time), so the test sees which descriptors are synced and when.
extern "C" int fsync(int fd)
{
    char link[64];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    char target[4096];
    const ssize_t n = ::readlink(link, target, sizeof target - 1);
    struct stat st;
    if (n > 0 && ::fstat(fd, &st) == 0)
        g_syncs.append({QFile::decodeName(QByteArray(target, n)), S_ISDIR(st.st_mode),
                        g_watched.isEmpty() ? QByteArray() : testutil::readAll(g_watched)});
    return int(::syscall(SYS_fsync, fd));
}

namespace {
constexpr char kSaveEnv[] = "TST_ATOMICFILE_SAVE";

// Sets a file's change time well before this process started.
bool makeOld(const QString& path)
{
    const timespec times[2] = {{::time(nullptr) - 3600, 0}, {::time(nullptr) - 3600, 0}};
    return ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, AT_SYMLINK_NOFOLLOW) == 0;
}

bool makeFile(const QString& path, int mode)
{
    return testutil::writeAll(path, "left over") && QFile::setPermissions(path, QFileDevice::ReadOwner)
           && ::chmod(QFile::encodeName(path).constData(), mode_t(mode)) == 0;
}

// Runs this test program again (so a process started after the leftovers were made) to save
// `path` once.
bool saveInNewProcess(const QString& path)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QLatin1String(kSaveEnv), path);
    p.setProcessEnvironment(env);
    p.start(QCoreApplication::applicationFilePath(), {});
    return p.waitForFinished(30000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

// A child that starts a write of `path` and then waits on `hold` (or kills itself when `hold`
// is -1), after telling the parent through `ready` that the temporary file exists.
pid_t startWriter(const QString& path, int ready, int hold)
{
    const pid_t pid = ::fork();
    if (pid != 0)
        return pid;
    TAtomicFile f(path);
    const QByteArray chunk(3 << 20, 'x'); // past the write buffer, so bytes reach the file
    const bool ok = f.Open() && f.Write(chunk);
    const char c = ok ? '1' : '0';
    (void)!::write(ready, &c, 1);
    if (hold < 0)
        ::raise(SIGKILL);
    char b;
    (void)!::read(hold, &b, 1);
    ::_exit(0);
}

QStringList tempFiles(const QString& dir)
{
    return QDir(dir).entryList({u"*.qvsave-*"_s}, QDir::Files | QDir::Hidden | QDir::System);
}
} // namespace

class TestAtomicFile : public QObject
{
    Q_OBJECT
private slots:
    // What a write cut short left beside the target goes; a person's file beside it, a link,
    // a file of another target, and anything too young to be from an earlier run stays.
    void leftoversOfEarlierRunsGo_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("old");
        QTest::addColumn<bool>("removed");
        QTest::newRow("temporary file") << u"list.qvl.qvsave-a8Kd2Q"_s << 0600 << true << true;
        QTest::newRow("temporary file, permissions already set") << u"list.qvl.qvsave-zzzzzz"_s << 0644 << true << true;
        QTest::newRow("older form") << u"list.qvl.a8Kd2Q"_s << 0600 << true << true;
        QTest::newRow("older form, mixed case") << u"list.qvl.abCdef"_s << 0600 << true << true;
        QTest::newRow("older form, other permissions") << u"list.qvl.a8Kd2Q"_s << 0644 << true << false;
        QTest::newRow("a word, not random") << u"list.qvl.backup"_s << 0600 << true << false;
        QTest::newRow("a capitalised word") << u"list.qvl.Backup"_s << 0600 << true << false;
        QTest::newRow("suffix too long") << u"list.qvl.qvsave-a8Kd2Qx"_s << 0600 << true << false;
        QTest::newRow("another file's") << u"other.qvl.qvsave-a8Kd2Q"_s << 0600 << true << false;
        QTest::newRow("a longer name's") << u"list.qvl2.qvsave-a8Kd2Q"_s << 0600 << true << false;
        QTest::newRow("made after this process started") << u"list.qvl.qvsave-a8Kd2Q"_s << 0600 << false << false;
    }
    void leftoversOfEarlierRunsGo()
    {
        QFETCH(QString, name);
        QFETCH(int, mode);
        QFETCH(bool, old);
        QFETCH(bool, removed);
        QTemporaryDir dir;
        const QString target = dir.filePath(u"list.qvl"_s);
        const QString other = dir.filePath(name);
        QVERIFY(makeFile(other, mode));
        if (old)
            QVERIFY(makeOld(other));
        TAtomicFile f(target);
        QVERIFY(f.Open());
        QVERIFY(f.Write("new"));
        QVERIFY(f.Commit());
        QCOMPARE(!QFileInfo::exists(other), removed);
        QCOMPARE(testutil::readAll(target), QByteArray("new"));
    }

    void linksAndFoldersAreNeverTaken()
    {
        QTemporaryDir dir;
        const QString target = dir.filePath(u"list.qvl"_s);
        const QString precious = dir.filePath(u"precious"_s);
        QVERIFY(testutil::writeAll(precious, "keep"));
        const QString link = target + u".qvsave-a8Kd2Q"_s;
        QCOMPARE(::symlink("precious", QFile::encodeName(link).constData()), 0);
        QVERIFY(makeOld(link));
        const QString folder = target + u".qvsave-b8Kd2Q"_s;
        QVERIFY(QDir().mkdir(folder));
        QCOMPARE(TAtomicFile::RemoveLeftovers(target), 0);
        QVERIFY(QFileInfo(link).isSymLink());
        QVERIFY(QFileInfo(folder).isDir());
        QCOMPARE(testutil::readAll(precious), QByteArray("keep"));
    }

    // The real thing: one writer killed in the middle, another still writing. A program started
    // afterwards removes the dead one's file and leaves the live one's.
    void crashDebrisGoesAtTheNextStartButNotALiveWrite()
    {
        QTemporaryDir dir;
        const QString target = dir.filePath(u"list.qvl"_s);
        QVERIFY(testutil::writeAll(target, "old"));
        int ready[2], hold[2];
        QCOMPARE(::pipe(ready), 0);
        QCOMPARE(::pipe(hold), 0);
        char c = 0;

        const pid_t killed = startWriter(target, ready[1], -1);
        QCOMPARE(::read(ready[0], &c, 1), 1);
        QCOMPARE(c, '1');
        int status = 0;
        QCOMPARE(::waitpid(killed, &status, 0), killed);
        QVERIFY(WIFSIGNALED(status));
        const QStringList dead = tempFiles(dir.path());
        QCOMPARE(dead.size(), 1);

        const QString otherTarget = dir.filePath(u"other.qvl"_s);
        const pid_t live = startWriter(otherTarget, ready[1], hold[0]);
        QCOMPARE(::read(ready[0], &c, 1), 1);
        QCOMPARE(c, '1');
        const QStringList all = tempFiles(dir.path());
        QCOMPARE(all.size(), 2);
        // The live write's file is made old by hand: only its lock can protect it now.
        for (const QString& n : all)
            QVERIFY(makeOld(dir.filePath(n)));

        QVERIFY(saveInNewProcess(target));
        const QStringList after = tempFiles(dir.path());
        QCOMPARE(after.size(), 1);
        QVERIFY(after.first().startsWith(u"other.qvl.qvsave-"_s));
        QCOMPARE(testutil::readAll(target), QByteArray("new"));
        // A save of the other target itself, from a new process, spares the live write too.
        QVERIFY(saveInNewProcess(otherTarget));
        QCOMPARE(tempFiles(dir.path()), after);

        (void)!::write(hold[1], "x", 1);
        QCOMPARE(::waitpid(live, &status, 0), live);
        for (int fd : {ready[0], ready[1], hold[0], hold[1]})
            ::close(fd);
    }

    // The rename is made durable: the folder is synced, after the file itself, once the new
    // contents are in place under the target's name.
    void folderIsSyncedAfterTheRename()
    {
        QTemporaryDir dir;
        const QString target = dir.filePath(u"Quorvel.ini"_s);
        QVERIFY(testutil::writeAll(target, "old"));
        g_syncs.clear();
        g_watched = target;
        TAtomicFile f(target);
        QVERIFY(f.Open());
        QVERIFY(f.Write("new"));
        QVERIFY(f.Commit());
        g_watched.clear();
        QCOMPARE(g_syncs.size(), 2);
        QVERIFY(!g_syncs[0].folder);
        QCOMPARE(g_syncs[0].targetThen, QByteArray("old"));
        QVERIFY(g_syncs[1].folder);
        QCOMPARE(QFileInfo(g_syncs[1].path).canonicalFilePath(), QFileInfo(dir.path()).canonicalFilePath());
        QCOMPARE(g_syncs[1].targetThen, QByteArray("new"));
    }
};

int main(int argc, char** argv)
{
    if (const char* path = std::getenv(kSaveEnv)) {
        TAtomicFile f(QFile::decodeName(path));
        return f.Open() && f.Write("new") && f.Commit() ? 0 : 1;
    }
    QCoreApplication app(argc, argv);
    TestAtomicFile t;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&t, argc, argv);
}

#include "tst_atomicfile.moc"
