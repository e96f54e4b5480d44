// Windows-1252 text, text-file decoding and atomic whole-file writes.
#include "platform/AtomicFile.h"
#include "platform/Cp1252.h"
#include "platform/TextFile.h"
#include "support/TestUtil.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

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
