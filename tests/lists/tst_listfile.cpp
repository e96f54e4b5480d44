// List files on disk and the folder and file naming rules.
#include "lists/AddressList.h"
#include "lists/ListFile.h"
#include "lists/ListNaming.h"
#include "support/TestUtil.h"

#include <QDir>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

namespace {
MailListRecord header(const QString& name, const QString& path)
{
    MailListRecord h;
    h.SetText(MailListRecord::Name, name);
    h.SetText(MailListRecord::FilePath, path);
    h.SetPassword(QStringLiteral("secret"));
    return h;
}

void fill(TAddressList& l, int n)
{
    for (int i = 0; i < n; ++i) {
        auto r = std::make_unique<MailListRecord>();
        r->SetText(MailListRecord::Name, QStringLiteral("Name %1").arg(i, 5, 10, QLatin1Char('0')));
        r->SetText(MailListRecord::Email, QStringLiteral("user%1@example.com").arg(i));
        r->SetText(MailListRecord::Mark, QStringLiteral("New"));
        l.Append(std::move(r));
    }
}
// A header and `n` subscribers, as the program writes them.
QByteArray soundList(int n)
{
    TAddressList l;
    fill(l, n);
    QByteArray out = header("Sound", "/lists/Sound/Sound.qvl").Serialize();
    for (int i = 0; i < l.Count(); ++i)
        out += l.At(i).Serialize();
    return out;
}

QByteArray randomBytes(qsizetype n, quint32 seed)
{
    QRandomGenerator g(seed);
    QByteArray out(n, Qt::Uninitialized);
    for (char& c : out)
        c = char(g.bounded(256));
    return out;
}
} // namespace

class TestListFile : public QObject
{
    Q_OBJECT
private:
    QTemporaryDir m_dir;

private slots:
    void roundTrip_data()
    {
        QTest::addColumn<int>("count");
        QTest::newRow("no addresses") << 0;
        QTest::newRow("one") << 1;
        QTest::newRow("more than one read block") << 1500;
    }
    void roundTrip()
    {
        QFETCH(int, count);
        const QString p = m_dir.filePath(QStringLiteral("rt%1.qvl").arg(count));
        TAddressList entries;
        fill(entries, count);
        QString err;
        QVERIFY(listfile::Write(p, header("Round", p), entries, &err));
        QCOMPARE(QFileInfo(p).size(), qint64(2008) * (count + 1));
        struct stat st;
        QCOMPARE(::stat(QFile::encodeName(p).constData(), &st), 0);
        QCOMPARE(int(st.st_mode & 0777), 0600); // owner only: the header holds a password

        listfile::TReader r;
        QVERIFY(r.Open(p));
        MailListRecord h;
        QVERIFY(r.ReadHeader(&h));
        QCOMPARE(h, header("Round", p));
        MailListRecord rec;
        int n = 0;
        while (r.Next(&rec)) {
            QCOMPARE(rec, entries.At(n));
            ++n;
        }
        QVERIFY(!r.Failed());
        QCOMPARE(n, count);
    }

    // A sound list of a header and three subscribers, and files that are not lists or lists with
    // records the program never writes, each made from that sound list. "reason": "" for no error.
    void readsEveryShapeOfFile_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("headerOk");
        QTest::addColumn<int>("records");
        QTest::addColumn<int>("damaged");
        QTest::addColumn<QString>("reason");
        const QByteArray sound = soundList(3);
        constexpr int R = MailListRecord::kSize;
        const int email = MailListRecord::Offset(MailListRecord::Email);
        const QString notAList = "It is not a mail list file";

        QTest::newRow("a sound list") << sound << true << 3 << 0 << "";
        QTest::newRow("empty file") << QByteArray() << false << 0 << 0 << notAList;
        QTest::newRow("shorter than a header") << sound.left(100) << false << 0 << 0 << notAList;
        QByteArray passwd;
        while (passwd.size() < 3 * R)
            passwd += "root:x:0:0:root:/root:/bin/bash\ndaemon:x:1:1:daemon:/usr/sbin:/usr/sbin/nologin\n";
        QTest::newRow("a text file") << passwd << false << 0 << 0 << "field 1 claims 114 bytes, more than its 100";
        // The size of an exact number of records, as 498 records of random bytes.
        QTest::newRow("random bytes") << randomBytes(498 * R, 1) << false << 0 << 0 << notAList;
        QTest::newRow("a header of zeros") << QByteArray(2 * R, '\0') << false << 0 << 0 << "no list name";
        QByteArray nuls = sound;
        nuls[0] = char(93);
        std::fill(nuls.begin() + 1, nuls.begin() + 94, '\0');
        QTest::newRow("a list name of NULs") << nuls << false << 0 << 0 << "control characters";

        QTest::newRow("header and a partial record") << sound.left(R + 500) << true << 0 << 0 << "partial record";
        QTest::newRow("records and a partial one") << sound.left(3 * R + 7) << true << 2 << 0 << "partial record";
        QByteArray noAddress = sound;
        noAddress[2 * R + email] = 0;
        QTest::newRow("an entry with no address") << noAddress << true << 2 << 1 << "empty e-mail address";
        QByteArray overlong = sound;
        overlong[R + MailListRecord::Offset(MailListRecord::Phone)] = char(21);
        QTest::newRow("a length over capacity") << overlong << true << 2 << 1 << "field 6 claims 21 bytes, more than its 20";
        QTest::newRow("a sound header and random records")
            << sound.left(R) + randomBytes(497 * R, 2) << true << 0 << 497 << "497 damaged record(s)";
        QTest::newRow("damage and a partial end")
            << noAddress + QByteArray(9, 'x') << true << 2 << 1 << "empty e-mail address; the file ends in a partial record";
    }
    void readsEveryShapeOfFile()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, headerOk);
        QFETCH(int, records);
        QFETCH(int, damaged);
        QFETCH(QString, reason);
        const QString p = m_dir.filePath("damaged.qvl");
        QVERIFY(testutil::writeAll(p, bytes));
        listfile::TReader r;
        QVERIFY(r.Open(p));
        MailListRecord rec;
        QCOMPARE(r.ReadHeader(&rec), headerOk);
        int n = 0;
        while (headerOk && r.Next(&rec)) {
            QVERIFY(!rec.Bytes(MailListRecord::Email).isEmpty());
            ++n;
        }
        QCOMPARE(n, records);
        QCOMPARE(r.Damaged(), damaged);
        QCOMPARE(r.Failed(), !reason.isEmpty());
        if (reason.isEmpty())
            QCOMPARE(r.Error(), QString());
        QVERIFY2(r.Error().contains(reason), qPrintable(r.Error()));
        if (!headerOk) {
            QString err;
            QVERIFY(!listfile::ReadHeader(p, &rec, &err));
            QVERIFY2(err.startsWith("It is not a mail list file: "), qPrintable(err));
        }
    }

    void missingFileReportsTheReason()
    {
        MailListRecord h;
        QString err;
        QVERIFY(!listfile::ReadHeader(m_dir.filePath("nope.qvl"), &h, &err));
        QVERIFY(!err.isEmpty());
    }

    void failedSaveLeavesThePreviousList()
    {
        const QString p = m_dir.filePath("keep.qvl");
        TAddressList small;
        fill(small, 3);
        QString err;
        QVERIFY(listfile::Write(p, header("Keep", p), small, &err));
        const QByteArray before = testutil::readAll(p);

        TAddressList big;
        fill(big, 2000); // about 4 MB, over the limit set below
        bool ok;
        {
            testutil::FileSizeLimit limit(1 << 20);
            QVERIFY(limit.Active());
            ok = listfile::Write(p, header("Keep", p), big, &err);
        }
        QVERIFY(!ok);
        QVERIFY(!err.isEmpty());
        QCOMPARE(testutil::readAll(p), before);
    }

    // Each further list of one name gets the next number, the name cut to make room for it.
    void chosenNamesCountUp_data()
    {
        QTest::addColumn<bool>("file");
        QTest::addColumn<int>("base");
        QTest::addColumn<int>("count");
        QTest::newRow("folders") << false << 32 << 12;
        QTest::newRow("files") << true << 28 << 11;
    }
    void chosenNamesCountUp()
    {
        QFETCH(bool, file);
        QFETCH(int, base);
        QFETCH(int, count);
        QTemporaryDir dir;
        const QString name = QStringLiteral("A list name that is long enough to be cut somewhere");
        QStringList made, expected;
        for (int k = 0; k < count; ++k) {
            const QString f = file ? listnaming::ChooseFile(dir.path(), name)
                                   : listnaming::ChooseFolder(dir.path() + u'/', name);
            QVERIFY(file ? testutil::writeAll(f, "x") : QDir().mkdir(f));
            made << QFileInfo(f).fileName();
            const QString number = k ? QString::number(k) : QString();
            expected << name.left(base - number.size()) + number + (file ? ".qvl" : "");
        }
        QCOMPARE(made, expected);
    }

    void numberedCandidates_data()
    {
        QTest::addColumn<int>("base");
        QTest::addColumn<int>("k");
        QTest::addColumn<int>("cut");
        QTest::newRow("folder plain") << 32 << 0 << 32;
        QTest::newRow("folder 1") << 32 << 1 << 31;
        QTest::newRow("folder 9") << 32 << 9 << 31;
        QTest::newRow("folder 10") << 32 << 10 << 30;
        QTest::newRow("folder 99") << 32 << 99 << 30;
        QTest::newRow("folder 100") << 32 << 100 << 29;
        QTest::newRow("file plain") << 28 << 0 << 28;
        QTest::newRow("file 5") << 28 << 5 << 27;
        QTest::newRow("file 42") << 28 << 42 << 26;
        QTest::newRow("file 123") << 28 << 123 << 25;
    }
    void numberedCandidates()
    {
        QFETCH(int, base);
        QFETCH(int, k);
        QFETCH(int, cut);
        const QString name(40, u'n');
        QCOMPARE(listnaming::NumberedName(name, base, k), name.left(cut) + (k ? QString::number(k) : QString()));
        // Short names are not padded.
        QCOMPARE(listnaming::NumberedName("ab", base, k), QStringLiteral("ab") + (k ? QString::number(k) : QString()));
    }
};

QTEST_GUILESS_MAIN(TestListFile)
#include "tst_listfile.moc"
