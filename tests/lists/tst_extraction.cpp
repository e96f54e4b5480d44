// Extraction of e-mail addresses from text files, and export of a list.
#include "ListsHarness.h"

#include "lists/Extraction.h"
#include "support/TestUtil.h"

#include <QFile>
#include <QTest>

namespace {
// Serves `size` bytes of one repeated byte, then a tail; never holds the whole text.
class TGeneratedDevice : public QIODevice
{
public:
    TGeneratedDevice(qint64 size, char fill, QByteArray tail, qint64 failAt = -1)
        : m_size(size), m_fill(fill), m_tail(std::move(tail)), m_failAt(failAt)
    {
        open(QIODevice::ReadOnly);
    }
    bool isSequential() const override { return true; }

protected:
    qint64 readData(char* data, qint64 max) override
    {
        if (m_failAt >= 0 && m_pos >= m_failAt) {
            setErrorString(QStringLiteral("Input/output error"));
            return -1;
        }
        const qint64 total = m_size + m_tail.size();
        qint64 n = qMin(max, total - m_pos);
        if (m_failAt >= 0)
            n = qMin(n, m_failAt - m_pos);
        for (qint64 i = 0; i < n; ++i) {
            const qint64 at = m_pos + i;
            data[i] = at < m_size ? m_fill : m_tail[at - m_size];
        }
        m_pos += n;
        return n;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    qint64 m_size;
    char m_fill;
    QByteArray m_tail;
    qint64 m_failAt;
    qint64 m_pos = 0;
};
} // namespace

class TestExtraction : public QObject
{
    Q_OBJECT

private slots:
    void candidate_data();
    void candidate();
    void splitAnywhere();
    void storedAddress_data();
    void storedAddress();

    void extractAddsEachAddressOnce();
    void extractNothingStillSortsAndSaves();
    void extractCancelAndMissingFile();
    void extractBinaryAndHugeLine();
    void extractReadFailureKeepsWhatWasFound();
    void extractFileRemovedWhileRead();
    void sortKeepsEntriesReadableWhileEventsRun();

    void exportLines();
    void exportFailure();
};

void TestExtraction::candidate_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("header angle brackets") << QByteArray("From: John Smith <john@example.com>") << QByteArray("john@example.com");
    QTest::newRow("two addresses") << QByteArray("To:ann@a.org,bob@b.org") << QByteArray("ann@a.org");
    QTest::newRow("trailing full stop") << QByteArray("Write to joe@example.com.") << QByteArray();
    QTest::newRow("leading @") << QByteArray("@home today") << QByteArray();
    QTest::newRow("blank before @") << QByteArray("me @home.org") << QByteArray();
    QTest::newRow("leading dot") << QByteArray(".joe@example.com") << QByteArray();
    QTest::newRow("ends with @") << QByteArray("joe@ is here") << QByteArray();
    QTest::newRow("tab kept") << QByteArray("\tjoe@example.com") << QByteArray("\tjoe@example.com");
    QTest::newRow("no @") << QByteArray("nothing to see") << QByteArray();
    QTest::newRow("only first @") << QByteArray("a@b.c d@e.f") << QByteArray("a@b.c");
    QTest::newRow("forward stops at @") << QByteArray("joe@host@other") << QByteArray("joe@host");
    QTest::newRow("backward stops") << QByteArray("x(y)z!w/u=v;s\\t,r:q<p@h>k") << QByteArray("p@h");
    QTest::newRow("forward stops") << QByteArray("p@h;k") << QByteArray("p@h");
    QTest::newRow("quotes and brackets kept") << QByteArray("[\"joe\"@example.com]") << QByteArray("[\"joe\"@example.com]");
    QTest::newRow("no dot accepted") << QByteArray("root@localhost") << QByteArray("root@localhost");
    QTest::newRow("NUL is ordinary") << QByteArray("a\0b@c.d", 7) << QByteArray("a\0b@c.d", 7);
}

void TestExtraction::candidate()
{
    QFETCH(QByteArray, line);
    QFETCH(QByteArray, expected);
    QCOMPARE(extraction::CandidateOf(line), expected);
}

void TestExtraction::splitAnywhere()
{
    // Lines end at LF, CR or CR LF; the last needs no break. Blocks may end anywhere.
    const QByteArray text("From: A <a@x.org>\r\nnoise line\r\r\nb@y.org, c@z.org\nlast@w.net.\n@bad\rq@r.s");
    const QList<QByteArray> expected = {"a@x.org", "b@y.org", "q@r.s"};
    for (int chunk = 1; chunk <= text.size(); ++chunk) {
        QList<QByteArray> found;
        extraction::TAddressScanner s([&](QByteArrayView c, bool) { found << c.toByteArray(); });
        for (int i = 0; i < text.size(); i += chunk)
            s.Feed(QByteArrayView(text).sliced(i, qMin<qsizetype>(chunk, text.size() - i)));
        s.Finish();
        QVERIFY2(found == expected, qPrintable(QStringLiteral("chunk size %1").arg(chunk)));
    }
}

void TestExtraction::storedAddress_data()
{
    QTest::addColumn<QByteArray>("candidate");
    QTest::addColumn<bool>("truncated");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("ascii") << QByteArray("joe@x.org") << false << QByteArray("joe@x.org");
    QTest::newRow("utf-8 to code page") << QByteArray("j\xC3\xB6rg@x.de") << false << QByteArray("j\xF6rg@x.de");
    QTest::newRow("code page kept") << QByteArray("j\xF6rg@x.de") << false << QByteArray("j\xF6rg@x.de");
    QTest::newRow("cut to 100") << QByteArray(150, 'a') << true << QByteArray(100, 'a');
    // 200 two-byte characters cut inside the last one: still UTF-8, 100 characters kept.
    QTest::newRow("utf-8 cut mid character") << QByteArray("\xC3\xA9").repeated(200).left(401) << true
                                             << QByteArray(100, '\xE9');
}

void TestExtraction::storedAddress()
{
    QFETCH(QByteArray, candidate);
    QFETCH(bool, truncated);
    QFETCH(QByteArray, expected);
    QCOMPARE(extraction::StoredAddress(candidate, truncated), expected);
}

void TestExtraction::extractAddsEachAddressOnce()
{
    TListsHarness h;
    h.NewList(QStringLiteral("Club"));
    h.Add(QStringLiteral("Old@Example.com"), QStringLiteral("Zed"));
    const QString file = h.Home() + QStringLiteral("mail.txt");
    QVERIFY(testutil::writeAll(file, "From: Kim <Kim@Mail.org>\r\n"
                                     "Subject: hello\r\n"
                                     "\r\n"
                                     "contact kim@mail.org or KIM@MAIL.ORG\r\n"
                                     "old@example.COM wrote:\r\n"
                                     "ann@site.net\r\n"
                                     "bye ann@site.net.\r\n"
                                     + QByteArray(140, 'x') + "@long.example\r\n"
                                     + QByteArray(140, 'x') + "@long.example\r\n"));
    h.shell.dialogs.openFiles.enqueue(file);
    h.tools->ImportMailList1Click();

    const TFileDialogRequest req = h.shell.dialogs.openRequests.value(0);
    QCOMPARE(req.title, QStringLiteral("Open File"));
    QCOMPARE(req.filterIndex, 1);
    QCOMPARE(req.filters.value(0), QStringLiteral("Text Documents (*.txt)"));
    // Kept in the case of the first occurrence; the existing entry and repeats count once;
    // an address longer than a record holds is compared as it is stored.
    QCOMPARE(h.shell.status, QStringLiteral("Status: Extracted 3 unique e-mail address(es)."));
    QVERIFY(h.shell.statusHistory.contains(QStringLiteral("Status: Extracting e-mail addresses...")));
    const QString longAddress = QString(100, u'x');
    QCOMPARE(h.Lines(), QStringList({QStringLiteral("  <ann@site.net>"), QStringLiteral("  <Kim@Mail.org>"),
                                     QStringLiteral("  <") + longAddress + u'>', QStringLiteral("Zed  <Old@Example.com>")}));
    QCOMPARE(TListsHarness::FileEmails(h.CurrentPath()),
             QStringList({QStringLiteral("ann@site.net"), QStringLiteral("Kim@Mail.org"), longAddress,
                          QStringLiteral("Old@Example.com")}));
    QCOMPARE(h.state.ListEntries.At(0).Text(MailListRecord::Mark), QStringLiteral("New"));
    QVERIFY(h.lists->ListsLB()->isEnabled() && h.lists->MailList()->isEnabled());
    QVERIFY(h.shell.statusTimerRunning);
    QVERIFY(!h.lists->Busy());
    // The duplicate index saw every added address.
    h.Add(QStringLiteral("ANN@site.NET"));
    QCOMPARE(h.shell.dialogs.texts(), QStringList{QStringLiteral("E-mail address already exists!")});
}

void TestExtraction::extractNothingStillSortsAndSaves()
{
    TListsHarness h;
    h.NewList(QStringLiteral("Quiet"));
    const QString file = h.Home() + QStringLiteral("plain.txt");
    QVERIFY(testutil::writeAll(file, "no addresses\nhere at all\n"));
    QFile::remove(h.CurrentPath());
    h.shell.dialogs.openFiles.enqueue(file);
    h.tools->ImportMailList1Click();
    QCOMPARE(h.shell.status, QStringLiteral("Status: Extracted 0 unique e-mail address(es)."));
    QVERIFY(h.shell.statusHistory.contains(QStringLiteral("Status: Sorting mail list...")));
    QCOMPARE(QFileInfo(h.CurrentPath()).size(), qint64(MailListRecord::kSize)); // written again
}

void TestExtraction::extractCancelAndMissingFile()
{
    TListsHarness h;
    h.NewList(QStringLiteral("Club"));
    h.shell.dialogs.openFiles.enqueue(QString()); // cancel
    h.tools->ImportMailList1Click();
    QVERIFY(h.shell.dialogs.messages.isEmpty());
    QVERIFY(h.lists->ListsLB()->isEnabled() && h.shell.statusTimerRunning);

    const QString missing = h.Home() + QStringLiteral("gone.txt");
    h.shell.dialogs.openFiles.enqueue(missing);
    h.tools->ImportMailList1Click();
    QCOMPARE(h.shell.dialogs.messages.size(), 1);
    QVERIFY(h.shell.dialogs.messages[0].text.startsWith(QStringLiteral("Could not open ") + missing + u':'));
    QCOMPARE(h.state.ListEntries.Count(), 0);
    QVERIFY(h.lists->ListsLB()->isEnabled() && h.lists->MailList()->isEnabled() && h.shell.statusTimerRunning);
}

void TestExtraction::extractBinaryAndHugeLine()
{
    TListsHarness h;
    h.NewList(QStringLiteral("Bin"));
    // Every byte value, NULs included, around two addresses.
    QByteArray bytes;
    for (int round = 0; round < 64; ++round)
        for (int b = 0; b < 256; ++b)
            bytes += char((b * 37 + round) & 0xFF);
    bytes += "\nbin@ary.org\n";
    bytes += QByteArray(5000, '\0') + "\x01\xFFz@y.io\n";
    const QString file = h.Home() + QStringLiteral("blob.bin");
    QVERIFY(testutil::writeAll(file, bytes));
    h.shell.dialogs.openFiles.enqueue(file);
    h.tools->ImportMailList1Click();
    QVERIFY(h.shell.dialogs.messages.isEmpty());
    QVERIFY(h.state.ListEntries.EmailExists(QByteArray("bin@ary.org")));
    for (int i = 0; i < h.state.ListEntries.Count(); ++i) {
        const QByteArrayView e = h.state.ListEntries.At(i).Bytes(MailListRecord::Email);
        QVERIFY(!e.isEmpty() && e.size() <= 100);
    }

    // One line of 100 MB: streamed, its address cut to what a record holds.
    const int before = h.state.ListEntries.Count();
    TGeneratedDevice huge(100LL * 1024 * 1024, 'h', "@huge.example\nnext@line.org\n");
    QCOMPARE(h.tools->ExtractFrom(huge, QStringLiteral("huge.txt")), 2);
    QCOMPARE(h.state.ListEntries.Count(), before + 2);
    QVERIFY(h.state.ListEntries.EmailExists(QByteArray(100, 'h')));
    QVERIFY(h.state.ListEntries.EmailExists(QByteArray("NEXT@line.org")));
}

void TestExtraction::extractReadFailureKeepsWhatWasFound()
{
    TListsHarness h;
    h.NewList(QStringLiteral("Flaky"));
    // The first block holds one address; the read after it fails.
    QByteArray head("zed@first.org\nann@first.org\n");
    TGeneratedDevice failing(0, ' ', head + QByteArray(300 * 1024, ' '), 256 * 1024);
    const int added = h.tools->ExtractFrom(failing, QStringLiteral("/mnt/share/list.txt"));
    QCOMPARE(added, 2);
    QCOMPARE(h.shell.dialogs.messages.size(), 1);
    const QString msg = h.shell.dialogs.messages[0].text;
    QVERIFY2(msg.contains(QStringLiteral("/mnt/share/list.txt")) && msg.contains(QStringLiteral("Input/output error")),
             qPrintable(msg));
    QCOMPARE(h.shell.dialogs.messages[0].type, TDialogService::mtError);
    // Kept, sorted and saved; the list boxes and the status timer work again.
    QCOMPARE(h.Lines(), QStringList({QStringLiteral("  <ann@first.org>"), QStringLiteral("  <zed@first.org>")}));
    QCOMPARE(TListsHarness::FileEmails(h.CurrentPath()).size(), 2);
    QVERIFY(h.lists->ListsLB()->isEnabled() && h.lists->MailList()->isEnabled() && h.shell.statusTimerRunning);
    QVERIFY(!h.lists->Busy());
}

void TestExtraction::extractFileRemovedWhileRead()
{
    TListsHarness h;
    h.NewList(QStringLiteral("Vanish"));
    const QString file = h.Home() + QStringLiteral("tmp.txt");
    QVERIFY(testutil::writeAll(file, "x@y.org\n"));
    QFile f(file);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QVERIFY(QFile::remove(file));
    QCOMPARE(h.tools->ExtractFrom(f, file), 1);
    QVERIFY(h.shell.dialogs.messages.isEmpty());
}

void TestExtraction::sortKeepsEntriesReadableWhileEventsRun()
{
    // The sort after an extraction lets the window repaint; the list box reads the entries
    // then, so every entry must be in place whenever progress is reported.
    TAddressList list;
    for (int i = 0; i < 40000; ++i) {
        auto e = std::make_unique<MailListRecord>();
        e->SetText(MailListRecord::Email, QStringLiteral("u%1@x.org").arg((i * 7919) % 40000));
        list.Append(std::move(e));
    }
    int calls = 0;
    list.SortEntries([&](double) {
        ++calls;
        for (int i = 0; i < list.Count(); i += 97)
            QVERIFY(!TAddressList::DisplayLine(list.At(i)).isEmpty());
    });
    QVERIFY(calls > 2);
    QCOMPARE(list.CountInversions(), 0);
    QCOMPARE(list.Count(), 40000);
    QVERIFY(list.EmailExists(QStringLiteral("U123@X.ORG")));
}

void TestExtraction::exportLines()
{
    TListsHarness h;
    h.NewList(QStringLiteral("Out"));
    h.Add(QStringLiteral("b@x.org"), QString::fromUtf8("B\u00e9a"));
    h.Add(QStringLiteral("a@x.org"));
    h.Add(QStringLiteral("c@x.org"), QStringLiteral("Carl"));
    const QString out = h.Home() + QStringLiteral("out.txt");
    h.shell.dialogs.saveFiles.enqueue(out);
    h.tools->ExportMailList1Click();
    const TFileDialogRequest req = h.shell.dialogs.saveRequests.value(0);
    QCOMPARE(req.defaultExt, QStringLiteral("txt"));
    QCOMPARE(req.fileName, QStringLiteral("untitled"));
    QCOMPARE(req.filters, QStringList({QStringLiteral("Text Documents (*.txt)"), QStringLiteral("Quorvel Document (*.qvd)"),
                                       QStringLiteral("All Files (*.*)")}));
    QVERIFY(req.overwritePrompt);
    QCOMPARE(testutil::readAll(out), QByteArray("  <a@x.org>\r\nB\xE9" "a  <b@x.org>\r\nCarl  <c@x.org>\r\n"));
    QCOMPARE(h.shell.status, QStringLiteral("Status:")); // export writes no status

    // An empty list gives an empty file, replacing the old contents.
    for (int i = 0; i < 3; ++i) {
        h.lists->SelectEntry(0);
        h.address->RemoveBtnClick();
    }
    h.shell.dialogs.saveFiles.enqueue(out);
    h.tools->ExportMailList1Click();
    QVERIFY(QFileInfo::exists(out));
    QCOMPARE(QFileInfo(out).size(), 0);
}

void TestExtraction::exportFailure()
{
    TListsHarness h;
    h.NewList(QStringLiteral("Out"));
    h.Add(QStringLiteral("a@x.org"));
    const QString bad = h.Home() + QStringLiteral("no/such/dir/out.txt");
    h.shell.dialogs.saveFiles.enqueue(bad);
    h.tools->ExportMailList1Click();
    QCOMPARE(h.shell.dialogs.messages.size(), 1);
    QVERIFY(h.shell.dialogs.messages[0].text.startsWith(QStringLiteral("Cannot create file ") + bad + u'.'));
    QCOMPARE(h.state.ListEntries.Count(), 1);
    QCOMPARE(TListsHarness::FileEmails(h.CurrentPath()), QStringList{QStringLiteral("a@x.org")});
}

QTEST_MAIN(TestExtraction)
#include "tst_extraction.moc"
