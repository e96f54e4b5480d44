// Opening, saving and sorting a 100,000-address list, against a plain read and write of the
// same bytes in the same run. Usage: bench_listfile [addresses] [work dir]
#include "lists/ListFile.h"
#include "lists/ListPanel.h"
#include "lists/MailListModel.h"
#include "platform/EventPump.h"
#include "support/FakeShell.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QListWidget>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <random>

namespace {
// A shell that lets events run in time slices, as the main window does.
class TBenchShell : public TFakeShell
{
public:
    TEventPump pump;
    int pumps = 0;
    void ProcessMessages() override
    {
        ++pumps;
        pump.Pump();
    }
};

long peakRssMb()
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : f.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLong() / 1024;
    }
    return -1;
}

double plainRead(const QString& path)
{
    QElapsedTimer t;
    t.start();
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    QByteArray buf(1 << 20, Qt::Uninitialized);
    qint64 total = 0;
    for (qint64 n; (n = f.read(buf.data(), buf.size())) > 0;)
        total += n;
    if (total == 0)
        std::printf("  (plain read found nothing)\n");
    return t.nsecsElapsed() / 1e9;
}

double plainWrite(const QString& from, const QString& to)
{
    QFile in(from);
    in.open(QIODevice::ReadOnly);
    const QByteArray all = in.readAll(); // read outside the timed part
    QElapsedTimer t;
    t.start();
    QFile out(to);
    out.open(QIODevice::WriteOnly);
    for (qint64 at = 0; at < all.size(); at += 1 << 20)
        out.write(all.constData() + at, qMin<qint64>(1 << 20, all.size() - at));
    out.flush();
    ::fsync(out.handle());
    out.close();
    return t.nsecsElapsed() / 1e9;
}
} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int n = argc > 1 ? std::atoi(argv[1]) : 100000;
    QTemporaryDir tmp(argc > 2 ? QString::fromLocal8Bit(argv[2]) + "/benchXXXXXX" : QString());
    const QString path = tmp.filePath(QStringLiteral("big.qvl"));

    // A list of n addresses in random order of names.
    {
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        MailListRecord h;
        h.SetText(MailListRecord::Name, QStringLiteral("Bench"));
        h.SetText(MailListRecord::FilePath, path);
        f.write(h.Serialize());
        std::mt19937 rng(1);
        for (int i = 0; i < n; ++i) {
            MailListRecord r;
            r.SetBytes(MailListRecord::Name, QByteArray("Subscriber ") + QByteArray::number(rng() % 1000000000u));
            r.SetBytes(MailListRecord::Email, QByteArray("user") + QByteArray::number(i) + "@example.com");
            r.SetBytes(MailListRecord::Street1, "12 Long Street");
            r.SetBytes(MailListRecord::Phone, "555-0100");
            r.SetBytes(MailListRecord::Mark, "New");
            f.write(r.Serialize());
        }
    }
    std::printf("list: %d addresses, %.0f MB\n", n, QFileInfo(path).size() / 1e6);

    TBenchShell shell;
    TListsState state;
    auto* panel = new QWidget(&shell.window);
    TListPanel lists(shell, state, panel);
    auto header = std::make_unique<MailListRecord>();
    QString err;
    listfile::ReadHeader(path, header.get(), &err);
    state.ListCatalog.Append(std::move(header));
    lists.SortCatalog();

    QElapsedTimer t;
    t.start();
    lists.OpenList(0); // shuffled names: sorts and saves once
    const double openSortSave = t.nsecsElapsed() / 1e9;
    std::printf("open of the unsorted file (read + sort + save): %.3f s\n", openSortSave);

    // The machine is shared: take the best of five runs of each.
    double readPlain = 1e9, open = 1e9;
    for (int run = 0; run < 5; ++run) {
        readPlain = std::min(readPlain, plainRead(path));
        t.restart();
        lists.OpenList(0); // now sorted: read only
        open = std::min(open, t.nsecsElapsed() / 1e9);
    }
    const long rss = peakRssMb();
    std::printf("open (read, build ListEntries, fill MailList): %.3f s   plain read: %.3f s   ratio %.1fx\n", open,
                readPlain, open / readPlain);
    std::printf("MailList rows: %d, event passes during open: %d\n", lists.MailListModel()->rowCount(), shell.pumps);

    double writePlain = 1e9, save = 1e9;
    for (int run = 0; run < 3; ++run) {
        writePlain = std::min(writePlain, plainWrite(path, tmp.filePath(QStringLiteral("plain.bin"))));
        t.restart();
        lists.SaveCurrentList();
        save = std::min(save, t.nsecsElapsed() / 1e9);
    }
    std::printf("save (atomic, fsync): %.3f s   plain write + fsync: %.3f s   ratio %.1fx\n", save, writePlain,
                save / writePlain);

    // Sorting: shuffled, then already sorted.
    std::vector<std::unique_ptr<MailListRecord>> taken;
    for (int i = state.ListEntries.Count() - 1; i >= 0; --i)
        taken.push_back(state.ListEntries.Take(i));
    std::shuffle(taken.begin(), taken.end(), std::mt19937(3));
    state.ListEntries.BeginBulk();
    for (auto& e : taken)
        state.ListEntries.Append(std::move(e));
    state.ListEntries.EndBulk();
    t.restart();
    lists.SortEntries();
    const double sortShuffled = t.nsecsElapsed() / 1e9;
    t.restart();
    lists.SortEntries();
    const double sortSorted = t.nsecsElapsed() / 1e9;
    // Nearly sorted: two entries out of place (the case that degraded the old quicksort).
    auto a = state.ListEntries.Take(10);
    auto b = state.ListEntries.Take(n - 20);
    state.ListEntries.Insert(n - 20, std::move(a));
    state.ListEntries.Insert(10, std::move(b));
    t.restart();
    lists.SortEntries();
    const double sortNearly = t.nsecsElapsed() / 1e9;
    std::printf("SortEntries: shuffled %.3f s, sorted %.3f s, two out of place %.3f s\n", sortShuffled, sortSorted,
                sortNearly);
    std::printf("peak memory after open: %ld MB (whole run: %ld MB)\n", rss, peakRssMb());
    return 0;
}
