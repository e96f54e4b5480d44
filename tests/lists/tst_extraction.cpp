// Extraction of e-mail addresses from text files, and export of a list.
#include "ListsHarness.h"

#include "lists/Extraction.h"

#include <QFile>
#include <QTest>

using namespace Qt::StringLiterals;

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
            setErrorString(u"Input/output error"_s);
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
    // Lines of the shapes real text holds (mail headers, changelogs, prose, file lists).
    // "added": the stored addresses, blank-separated; "refused": one letter per refused
    // candidate: N not an address, L too long for a record, S not storable in the code page.
    void candidates_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QByteArray>("added");
        QTest::addColumn<QString>("refused");
        QTest::newRow("header angle brackets") << "From: John Smith <john@example.com>"_ba << "john@example.com"_ba << "";
        QTest::newRow("every address of a line") << "To:ann@a.org,bob@b.org"_ba << "ann@a.org bob@b.org"_ba << "";
        QTest::newRow("changelog trailer")
            << " -- Marcus Brinkmann <Marcus.Brinkmann@ruhr-uni-bochum.de>  Sat, 12 Oct 2002 17:52:31 +0200"_ba
            << "Marcus.Brinkmann@ruhr-uni-bochum.de"_ba << "";
        QTest::newRow("ends a sentence") << "  * Thanks to Marcus.Brinkmann@ruhr-uni-bochum.de."_ba
                                         << "Marcus.Brinkmann@ruhr-uni-bochum.de"_ba << "";
        QTest::newRow("single quotes") << "  * Patch from 'root@khms.westfalen.de', closes: #1234"_ba
                                       << "root@khms.westfalen.de"_ba << "";
        QTest::newRow("quoted name and two addresses")
            << "  (reported by \"Jane Doe\" <jane.doe@example.org>; thanks \"bob@example.net\")"_ba
            << "jane.doe@example.org bob@example.net"_ba << "";
        QTest::newRow("mail link") << "  <mailto:list-request@lists.example.org?subject=unsubscribe>"_ba
                                   << "list-request@lists.example.org"_ba << "";
        QTest::newRow("tab before") << "\tjoe@example.com"_ba << "joe@example.com"_ba << "";
        QTest::newRow("question at the end") << "Did you write to joe@example.com?"_ba << "joe@example.com"_ba << "";
        QTest::newRow("NUL separates") << QByteArray("a\0b@c.de", 8) << "b@c.de"_ba << "";
        QTest::newRow("system stop characters") << "x(y)z!w/u=v;s\\t,r:q<p@h.io>k"_ba << "p@h.io"_ba << "";
        QTest::newRow("bare @") << "    \"@\" is not allowed in the name"_ba << ""_ba << "";
        QTest::newRow("shell and diff") << "  echo \"$@\"\n@@ -1,4 +1,5 @@"_ba << ""_ba << "";
        QTest::newRow("leading @") << "@home today"_ba << ""_ba << "";
        QTest::newRow("nothing after @") << "joe@ is here"_ba << ""_ba << "";
        QTest::newRow("no @") << "nothing to see"_ba << ""_ba << "";
        QTest::newRow("symbol version") << "  * Add __sysconf@GLIBC_2.* to the symbols file"_ba << ""_ba << "N";
        QTest::newRow("symbols file entry") << " LZ4F_getBlockSize@Base 1.8.0"_ba << ""_ba << "N";
        QTest::newRow("host-less") << "  * The default is user@host now"_ba << ""_ba << "N";
        QTest::newRow("icon path") << "  usr/share/icons/hicolor/48x48@2/apps/x.png"_ba << ""_ba << "N";
        QTest::newRow("systemd template") << "  * Ship ssh@.service for socket activation"_ba << ""_ba << "N";
        QTest::newRow("leading dot") << ".joe@example.com"_ba << ""_ba << "N";
        QTest::newRow("two @ in a word") << "joe@host@other.org"_ba << ""_ba << "N";
        QTest::newRow("numeric top label") << "root@192.168.0.1"_ba << ""_ba << "N";
        QTest::newRow("one-letter top label") << "x@example.c"_ba << ""_ba << "N";
        QTest::newRow("longer than a record") << QByteArray(120, 'a') + "@example.com"_ba << ""_ba << "L";
        QTest::newRow("utf-8 to code page") << "j\xC3\xB6rg@example.de"_ba << "j\xF6rg@example.de"_ba << "";
        QTest::newRow("code page kept") << "j\xF6rg@example.de"_ba << "j\xF6rg@example.de"_ba << "";
        QTest::newRow("outside the code page") << QString::fromUtf8("Σωκράτης@example.gr").toUtf8() << ""_ba << "S";
        QTest::newRow("mixed") << "a@b.org, user@host, c@d.net."_ba << "a@b.org c@d.net"_ba << "N";
    }
    void candidates()
    {
        QFETCH(QByteArray, line);
        QFETCH(QByteArray, added);
        QFETCH(QString, refused);
        const extraction::TLineScan scan = extraction::ScanText(line);
        QCOMPARE(scan.added, added.isEmpty() ? QList<QByteArray>() : added.split(' '));
        QString why;
        for (extraction::TVerdict v : scan.refused)
            why += v == extraction::TVerdict::NotAnAddress ? u'N' : v == extraction::TVerdict::TooLong ? u'L' : u'S';
        QCOMPARE(why, refused);
    }

    void splitAnywhere()
    {
        // Lines end at LF, CR or CR LF; the last needs no break. Blocks may end anywhere.
        const QByteArray text("From: A <a@x.org>\r\nnoise line\r\r\nb@y.org, c@z.org\nlast@w.net.\n@bad\rq@r.st");
        const QList<QByteArray> expected = {"a@x.org", "b@y.org", "c@z.org", "last@w.net", "q@r.st"};
        for (int chunk = 1; chunk <= text.size(); ++chunk) {
            QList<QByteArray> found;
            extraction::TAddressScanner s([&](extraction::TVerdict, QByteArrayView c) { found << c.toByteArray(); });
            for (int i = 0; i < text.size(); i += chunk)
                s.Feed(QByteArrayView(text).sliced(i, qMin<qsizetype>(chunk, text.size() - i)));
            s.Finish();
            QVERIFY2(found == expected, qPrintable(u"chunk size %1"_s.arg(chunk)));
        }
    }

    void extractAddsEachAddressOnce()
    {
        TListsHarness h(u"Club"_s);
        h.Add(u"Old@Example.com"_s, u"Zed"_s);
        h.Extract(h.Write(u"mail.txt"_s, "From: Kim <Kim@Mail.org>\r\n"
                                         "Subject: hello\r\n"
                                         "\r\n"
                                         "contact kim@mail.org or KIM@MAIL.ORG\r\n"
                                         "old@example.COM wrote:\r\n"
                                         "ann@site.net\r\n"
                                         "bye ann@site.net.\r\n"
                                         + QByteArray(140, 'x') + "@long.example\r\n"
                                         + QByteArray(140, 'x') + "@long.example\r\n"));

        const TFileDialogRequest req = h.dialogs.openRequests.value(0);
        QCOMPARE(req.title, u"Open File"_s);
        QCOMPARE(req.filterIndex, 1);
        QCOMPARE(req.filters.value(0), u"Text Documents (*.txt)"_s);
        // Kept in the case of the first occurrence; the existing entry and repeats count once;
        // an address longer than a record holds is compared as it is stored.
        // An address longer than a record holds is refused, not cut, and the user is told.
        QCOMPARE(h.shell.status, u"Status: Extracted 2 unique e-mail address(es)."_s);
        QVERIFY(h.shell.statusHistory.contains(u"Status: Extracting e-mail addresses..."_s));
        QCOMPARE(h.Lines(), (QStringList{"  <ann@site.net>", "  <Kim@Mail.org>", "Zed  <Old@Example.com>"}));
        QCOMPARE(TListsHarness::FileEmails(h.CurrentPath()), (QStringList{"ann@site.net", "Kim@Mail.org", "Old@Example.com"}));
        QCOMPARE(h.dialogs.messages.size(), 1);
        QCOMPARE(h.dialogs.messages[0].type, TDialogService::mtInformation);
        QCOMPARE(h.dialogs.messages[0].text,
                 "2 candidate(s) in " + h.Home() + "mail.txt were not added:\n2 longer than a list entry holds "
                 "(100 characters), such as " + QString(57, u'x') + "...");
        h.dialogs.messages.clear();
        QCOMPARE(h.state.ListEntries.At(0).Text(MailListRecord::Mark), u"New"_s);
        QVERIFY(h.Idle());
        // The duplicate index saw every added address.
        h.Add(u"ANN@site.NET"_s);
        QCOMPARE(h.dialogs.texts(), QStringList{"E-mail address already exists!"});
    }

    void extractNothingStillSortsAndSaves()
    {
        TListsHarness h(u"Quiet"_s);
        const QString file = h.Write(u"plain.txt"_s, "no addresses\nhere at all\n");
        QFile::remove(h.CurrentPath());
        h.Extract(file);
        QCOMPARE(h.shell.status, u"Status: Extracted 0 unique e-mail address(es)."_s);
        QVERIFY(h.shell.statusHistory.contains(u"Status: Sorting mail list..."_s));
        QCOMPARE(QFileInfo(h.CurrentPath()).size(), qint64(MailListRecord::kSize)); // written again
    }

    void extractCancelAndMissingFile()
    {
        TListsHarness h(u"Club"_s);
        h.Extract(QString()); // cancelled
        QVERIFY(h.dialogs.messages.isEmpty());
        QVERIFY(h.Idle());

        const QString missing = h.Home() + u"gone.txt"_s;
        h.Extract(missing);
        QCOMPARE(h.dialogs.messages.size(), 1);
        QVERIFY(h.dialogs.messages[0].text.startsWith(u"Could not open "_s + missing + u':'));
        QCOMPARE(h.state.ListEntries.Count(), 0);
        QVERIFY(h.Idle());
    }

    void extractBinaryAndHugeLine()
    {
        TListsHarness h(u"Bin"_s);
        // Every byte value, NULs included, around two addresses.
        QByteArray bytes;
        for (int round = 0; round < 64; ++round)
            for (int b = 0; b < 256; ++b)
                bytes += char((b * 37 + round) & 0xFF);
        bytes += "\nbin@ary.org\n" + QByteArray(5000, '\0') + "\x01\xFFz@y.io\n";
        h.Extract(h.Write(u"blob.bin"_s, bytes));
        for (const auto& m : h.dialogs.messages)
            QCOMPARE(m.type, TDialogService::mtInformation); // refused candidates, no failure
        QVERIFY(h.state.ListEntries.EmailExists("bin@ary.org"_ba));
        for (int i = 0; i < h.state.ListEntries.Count(); ++i) {
            const QByteArrayView e = h.state.ListEntries.At(i).Bytes(MailListRecord::Email);
            QVERIFY(!e.isEmpty() && e.size() <= 100);
        }

        // One line of 100 MB: streamed; its "address" is refused as too long, not cut.
        const int before = h.state.ListEntries.Count();
        h.dialogs.messages.clear();
        TGeneratedDevice huge(100LL * 1024 * 1024, 'h', "@huge.example\nnext@line.org\n");
        QCOMPARE(h.tools->ExtractFrom(huge, u"huge.txt"_s), 1);
        QCOMPARE(h.state.ListEntries.Count(), before + 1);
        QVERIFY(!h.state.ListEntries.EmailExists(QByteArray(100, 'h')));
        QCOMPARE(h.dialogs.messages.size(), 1);
        QVERIFY(h.dialogs.messages[0].text.contains("1 longer than a list entry holds"_L1));
        QVERIFY(h.state.ListEntries.EmailExists("NEXT@line.org"_ba));
    }

    void extractReadFailureKeepsWhatWasFound()
    {
        TListsHarness h(u"Flaky"_s);
        // The first block holds two addresses; the read after it fails.
        TGeneratedDevice failing(0, ' ', "zed@first.org\nann@first.org\n" + QByteArray(300 * 1024, ' '), 256 * 1024);
        QCOMPARE(h.tools->ExtractFrom(failing, u"/mnt/share/list.txt"_s), 2);
        QCOMPARE(h.dialogs.messages.size(), 1);
        const QString msg = h.dialogs.messages[0].text;
        QVERIFY2(msg.contains("/mnt/share/list.txt"_L1) && msg.contains("Input/output error"_L1), qPrintable(msg));
        QCOMPARE(h.dialogs.messages[0].type, TDialogService::mtError);
        // Kept, sorted and saved; the list boxes and the status timer work again.
        QCOMPARE(h.Lines(), (QStringList{"  <ann@first.org>", "  <zed@first.org>"}));
        QCOMPARE(TListsHarness::FileEmails(h.CurrentPath()).size(), 2);
        QVERIFY(h.Idle());
    }

    void extractFileRemovedWhileRead()
    {
        TListsHarness h(u"Vanish"_s);
        const QString file = h.Write(u"tmp.txt"_s, "x@y.org\n");
        QFile f(file);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QVERIFY(QFile::remove(file));
        QCOMPARE(h.tools->ExtractFrom(f, file), 1);
        QVERIFY(h.dialogs.messages.isEmpty());
    }

    void sortKeepsEntriesReadableWhileEventsRun()
    {
        // The sort after an extraction lets the window repaint; the list box reads the entries
        // then, so every entry must be in place whenever progress is reported.
        TAddressList list;
        for (int i = 0; i < 40000; ++i) {
            auto e = std::make_unique<MailListRecord>();
            e->SetText(MailListRecord::Email, u"u%1@x.org"_s.arg((i * 7919) % 40000));
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
        QVERIFY(list.EmailExists(u"U123@X.ORG"_s));
    }

    void exportLines()
    {
        TListsHarness h(u"Out"_s);
        h.Add(u"b@x.org"_s, u"Béa"_s);
        h.Add(u"a@x.org"_s);
        h.Add(u"c@x.org"_s, u"Carl"_s);
        const QString out = h.Home() + u"out.txt"_s;
        h.dialogs.saveFiles.enqueue(out);
        h.tools->ExportMailList1Click();
        const TFileDialogRequest req = h.dialogs.saveRequests.value(0);
        QCOMPARE(std::tuple(req.defaultExt, req.fileName, req.overwritePrompt), std::tuple(u"txt"_s, u"untitled"_s, true));
        QCOMPARE(req.filters, (QStringList{"Text Documents (*.txt)", "Quorvel Document (*.qvd)", "All Files (*.*)"}));
        QCOMPARE(testutil::readAll(out), "  <a@x.org>\r\nB\xE9" "a  <b@x.org>\r\nCarl  <c@x.org>\r\n"_ba);
        QCOMPARE(h.shell.status, u"Status:"_s); // export writes no status

        // An empty list gives an empty file, replacing the old contents.
        for (int i = 0; i < 3; ++i)
            h.Remove(0);
        h.dialogs.saveFiles.enqueue(out);
        h.tools->ExportMailList1Click();
        QVERIFY(QFileInfo::exists(out));
        QCOMPARE(QFileInfo(out).size(), 0);
    }

    void exportFailure()
    {
        TListsHarness h(u"Out"_s);
        h.Add(u"a@x.org"_s);
        const QString bad = h.Home() + u"no/such/dir/out.txt"_s;
        h.dialogs.saveFiles.enqueue(bad);
        h.tools->ExportMailList1Click();
        QCOMPARE(h.dialogs.messages.size(), 1);
        QVERIFY(h.dialogs.messages[0].text.startsWith(u"Cannot create file "_s + bad + u'.'));
        QCOMPARE(h.state.ListEntries.Count(), 1);
        QCOMPARE(TListsHarness::FileEmails(h.CurrentPath()), QStringList{"a@x.org"});
    }
};

QTEST_MAIN(TestExtraction)
#include "tst_extraction.moc"
