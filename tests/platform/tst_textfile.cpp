// Windows-1252 text, text-file decoding and atomic whole-file writes.
#include "platform/AtomicFile.h"
#include "platform/Cp1252.h"
#include "platform/TextFile.h"
#include "support/TestUtil.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

class TestTextFile : public QObject
{
    Q_OBJECT
private:
    QTemporaryDir m_dir;

private slots:
    void everyByteSurvivesARoundTrip()
    {
        QByteArray all(256, Qt::Uninitialized);
        for (int i = 0; i < 256; ++i)
            all[i] = char(i);
        QCOMPARE(cp1252::encode(cp1252::decode(all)), all);
    }

    void codePage_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("ascii") << "abc" << QByteArray("abc");
        QTest::newRow("euro and quotes") << QString::fromUtf8("€‘’“”") << QByteArray("\x80\x91\x92\x93\x94");
        QTest::newRow("latin-1 range") << QString::fromUtf8("é ü ÿ") << QByteArray("\xe9 \xfc \xff");
        QTest::newRow("outside the code page") << QString::fromUtf8("a→b") << QByteArray("a?b");
    }
    void codePage()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, bytes);
        QCOMPARE(cp1252::encode(text), bytes);
    }

    void decodePrefersUtf8_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("valid UTF-8") << QByteArray("caf\xc3\xa9") << QString::fromUtf8("café");
        QTest::newRow("UTF-8 with BOM") << QByteArray("\xef\xbb\xbfhi") << "hi";
        QTest::newRow("not UTF-8: Windows-1252") << QByteArray("caf\xe9 \x80") << QString::fromUtf8("café €");
    }
    void decodePrefersUtf8()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        QCOMPARE(textfile::decode(bytes), text);
    }

    // Whatever we write reads back as written, and old Windows-1252 text keeps its bytes.
    void encodeReadsBackExactly_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("prefix"); // what the bytes start with
        QTest::newRow("ascii") << u"plain"_s << "plain"_ba;
        QTest::newRow("accents stay Windows-1252") << u"café €"_s << "caf\xe9"_ba;
        QTest::newRow("Windows-1252 bytes that pass as UTF-8") << u"KÖ–ln"_s << "\xef\xbb\xbfK"_ba;
        QTest::newRow("mojibake-looking text") << u"CAFÃ© menu"_s << "\xef\xbb\xbf"_ba;
        QTest::newRow("looks like a byte-order mark") << u"ï»¿start"_s << "\xef\xbb\xbf\xc3"_ba;
        QTest::newRow("outside Windows-1252") << u"é π"_s << "\xef\xbb\xbf\xc3\xa9"_ba;
        QTest::newRow("starts with U+FEFF") << u"\uFEFFx"_s << "\xef\xbb\xbf\xef\xbb\xbfx"_ba;
        QTest::newRow("empty") << QString() << QByteArray();
    }
    void encodeReadsBackExactly()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, prefix);
        const QByteArray bytes = textfile::encode(text);
        QVERIFY2(bytes.startsWith(prefix), bytes.toHex(' ').constData());
        QCOMPARE(textfile::decode(bytes), text);
    }

    void byteOrderMarkMeansUtf8()
    {
        // Even when what follows is damaged: never Windows-1252 after a mark.
        QCOMPARE(textfile::decode("\xef\xbb\xbf\xc3\xa9 \xff"_ba), u"é \uFFFD"_s);
    }

    void writeTextUsesCrLf()
    {
        const QString p = m_dir.filePath("t.txt");
        QString err;
        QVERIFY(textfile::writeText(p, QStringLiteral("a\nb\r\nc\rd"), &err));
        QCOMPARE(testutil::readAll(p), QByteArray("a\r\nb\r\nc\r\nd"));
    }

    void ownerOnlyFilesAreNotReadableByOthers()
    {
        const QString p = m_dir.filePath("secret");
        QString err;
        QVERIFY(textfile::writeBytes(p, "x", &err, textfile::Access::OwnerOnly));
        struct stat st;
        QCOMPARE(::stat(QFile::encodeName(p).constData(), &st), 0);
        QCOMPARE(int(st.st_mode & 0777), 0600);
    }

    void normalRewriteKeepsPermissions()
    {
        const QString p = m_dir.filePath("keep");
        QVERIFY(testutil::writeAll(p, "old"));
        QVERIFY(QFile::setPermissions(p, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup));
        QString err;
        QVERIFY(textfile::writeBytes(p, "new", &err));
        struct stat st;
        QCOMPARE(::stat(QFile::encodeName(p).constData(), &st), 0);
        QCOMPARE(int(st.st_mode & 0777), 0640);
    }

    void failedWriteLeavesOldFileAndNoTemporary()
    {
        const QString p = m_dir.filePath("big");
        QVERIFY(testutil::writeAll(p, "previous contents"));
        QString err;
        bool ok;
        {
            testutil::FileSizeLimit limit(64 * 1024);
            QVERIFY(limit.Active());
            ok = textfile::writeBytes(p, QByteArray(4 << 20, 'x'), &err);
        }
        QVERIFY(!ok);
        QVERIFY(!err.isEmpty());
        QCOMPARE(testutil::readAll(p), QByteArray("previous contents"));
        QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files).filter("big").size(), 1);
    }

    // Saving through a link replaces the file it names and keeps the link, for absolute and
    // relative links, chains of links, and a dangling link (which creates its target).
    void writesThroughSymbolicLinks_data()
    {
        QTest::addColumn<QStringList>("links"); // each "name->target", created in order
        QTest::addColumn<QString>("save");      // the name saved to
        QTest::addColumn<QString>("real");      // the regular file that must hold the new bytes
        QTest::addColumn<bool>("existed");
        QTest::newRow("relative") << QStringList{"l1->real1"} << "l1" << "real1" << true;
        QTest::newRow("absolute") << QStringList{"l2->@/real2"} << "l2" << "real2" << true;
        QTest::newRow("chain") << QStringList{"l3b->real3", "l3a->l3b"} << "l3a" << "real3" << true;
        QTest::newRow("into a subfolder") << QStringList{"l4->sub/real4"} << "l4" << "sub/real4" << true;
        QTest::newRow("dangling") << QStringList{"l5->real5"} << "l5" << "real5" << false;
    }
    void writesThroughSymbolicLinks()
    {
        QFETCH(QStringList, links);
        QFETCH(QString, save);
        QFETCH(QString, real);
        QFETCH(bool, existed);
        QDir dir(m_dir.path());
        QVERIFY(dir.mkpath("sub"));
        if (existed) {
            QVERIFY(testutil::writeAll(dir.filePath(real), "old"));
            QVERIFY(QFile::setPermissions(dir.filePath(real), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                                  QFileDevice::ReadGroup));
        }
        for (const QString& l : links) {
            const QStringList parts = l.split(u"->"_s);
            QString target = parts[1];
            target.replace(u'@', m_dir.path());
            QCOMPARE(::symlink(QFile::encodeName(target).constData(),
                               QFile::encodeName(dir.filePath(parts[0])).constData()), 0);
        }
        QString err;
        QVERIFY2(textfile::writeBytes(dir.filePath(save), "new", &err), qPrintable(err));
        QVERIFY(QFileInfo(dir.filePath(save)).isSymLink());
        QVERIFY(!QFileInfo(dir.filePath(real)).isSymLink());
        QCOMPARE(testutil::readAll(dir.filePath(real)), QByteArray("new"));
        if (existed) {
            struct stat st;
            QCOMPARE(::stat(QFile::encodeName(dir.filePath(real)).constData(), &st), 0);
            QCOMPARE(int(st.st_mode & 0777), 0640);
        }
        QCOMPARE(QDir(QFileInfo(dir.filePath(real)).path()).entryList(QDir::Files | QDir::System)
                     .filter(QFileInfo(real).fileName() + u'.').size(), 0);
    }

    void linkLoopIsRefused()
    {
        const QString a = m_dir.filePath("loopA"), b = m_dir.filePath("loopB");
        QCOMPARE(::symlink("loopB", QFile::encodeName(a).constData()), 0);
        QCOMPARE(::symlink("loopA", QFile::encodeName(b).constData()), 0);
        QString err;
        QVERIFY(!textfile::writeBytes(a, "new", &err));
        QVERIFY(!err.isEmpty());
        QVERIFY(QFileInfo(a).isSymLink());
    }

    // A read-only file (no write bit; refused even when running as the superuser) and one a
    // link points to are kept as they were, with the system's reason.
    void readOnlyTargetIsRefused_data()
    {
        QTest::addColumn<bool>("throughLink");
        QTest::newRow("the file itself") << false;
        QTest::newRow("through a link") << true;
    }
    void readOnlyTargetIsRefused()
    {
        QFETCH(bool, throughLink);
        const QString name = throughLink ? u"ro-linked"_s : u"ro"_s;
        const QString real = m_dir.filePath(name);
        QVERIFY(testutil::writeAll(real, "kept"));
        QVERIFY(QFile::setPermissions(real, QFileDevice::ReadOwner | QFileDevice::ReadGroup));
        QString save = real;
        if (throughLink) {
            save = m_dir.filePath("ro-link");
            QCOMPARE(::symlink(QFile::encodeName(name).constData(), QFile::encodeName(save).constData()), 0);
        }
        QString err;
        QVERIFY(!textfile::writeBytes(save, "new", &err));
        QCOMPARE(err, QString::fromLocal8Bit(std::strerror(EACCES)));
        QCOMPARE(testutil::readAll(real), QByteArray("kept"));
        struct stat st;
        QCOMPARE(::stat(QFile::encodeName(real).constData(), &st), 0);
        QCOMPARE(int(st.st_mode & 0777), 0440);
        if (throughLink)
            QVERIFY(QFileInfo(save).isSymLink());
        QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files | QDir::System).filter(name + u'.').size(), 0);
    }

    void abandonedAtomicFileLeavesNothing()
    {
        const QString p = m_dir.filePath("abandoned");
        {
            TAtomicFile f(p);
            QVERIFY(f.Open());
            QVERIFY(f.Write("half"));
        }
        QVERIFY(!QFileInfo::exists(p));
        QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files).filter("abandoned").size(), 0);
    }
};

QTEST_GUILESS_MAIN(TestTextFile)
#include "tst_textfile.moc"
