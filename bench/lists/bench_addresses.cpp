// Speed of bulk address work in the running main window (offscreen):
//  1. extraction of a generated 50 MB text (100,000 distinct addresses, repeats in other letter
//     cases, noise lines) into an empty list, end to end with the sort and the save;
//  2. the same text into a list that already holds 100,000 other addresses;
//  3. adding one address to a 100,000-address list (sorted insert and automatic save);
//  4. "Import CSV..." of 100,000 rows (quoted names with commas, five columns) into an empty
//     list, end to end: decoding, parsing, the duplicate test, the sort and the save.
// Usage: bench_addresses [work folder]   (default: a temporary folder, removed afterwards)
#include "app/MainForm.h"
#include "lists/AddressPanel.h"
#include "lists/AddressTools.h"
#include "lists/ListFile.h"
#include "lists/ListPanel.h"
#include "lists/ListPropertiesPanel.h"
#include "platform/Sound.h"
#include "support/FakeDialogs.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <cstdio>

namespace {
struct TRandom
{
    quint64 state = 0x9E3779B97F4A7C15ULL;
    quint32 Next()
    {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        return quint32(state >> 33);
    }
    int Below(int n) { return int(Next() % quint32(n)); }
};

QByteArray Word(TRandom& r, int minLen, int maxLen)
{
    static const char letters[] = "abcdefghijklmnopqrstuvwxyz";
    const int n = minLen + r.Below(maxLen - minLen + 1);
    QByteArray w(n, Qt::Uninitialized);
    for (int i = 0; i < n; ++i)
        w[i] = letters[r.Below(26)];
    return w;
}

QByteArray OtherCase(QByteArray s, TRandom& r)
{
    for (char& c : s) {
        if (c >= 'a' && c <= 'z' && r.Below(2))
            c = char(c - 'a' + 'A');
    }
    return s;
}

// Writes about `targetBytes` of mail-like text holding `distinct` addresses with `prefix`.
qint64 Generate(const QString& path, int distinct, qint64 targetBytes, const QByteArray& prefix)
{
    TRandom r;
    QList<QByteArray> addresses;
    addresses.reserve(distinct);
    for (int i = 0; i < distinct; ++i)
        addresses << prefix + Word(r, 4, 9) + QByteArray::number(i) + '@' + Word(r, 4, 10) + ".example.org";
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return -1;
    QByteArray out;
    out.reserve(1 << 20);
    qint64 written = 0;
    auto flush = [&] {
        written += f.write(out);
        out.clear();
    };
    // Every address once in a header line, then repeats and noise until the size is reached.
    for (int i = 0; i < distinct; ++i) {
        out += "From: " + Word(r, 3, 8) + ' ' + Word(r, 4, 10) + " <" + addresses[i] + ">\r\n";
        out += "Subject: " + Word(r, 3, 9) + ' ' + Word(r, 3, 9) + ' ' + Word(r, 2, 6) + "\r\n";
        if (out.size() > (1 << 20) - 512)
            flush();
    }
    while (written + out.size() < targetBytes) {
        switch (r.Below(5)) {
        case 0:
            out += "Reply to " + OtherCase(addresses[r.Below(distinct)], r) + ", thanks\r\n";
            break;
        case 1:
            out += "write to " + addresses[r.Below(distinct)] + ".\r\n"; // rejected: full stop
            break;
        default:
            for (int w = 0; w < 10; ++w)
                out += Word(r, 2, 9) + ' ';
            out += "\r\n";
        }
        if (out.size() > (1 << 20) - 512)
            flush();
    }
    flush();
    return written;
}

double Seconds(const QElapsedTimer& t)
{
    return double(t.nsecsElapsed()) / 1e9;
}
} // namespace

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QUORVEL_NO_SOUND", "1");
    QTemporaryDir tmp;
    const QString work = argc > 1 ? QString::fromLocal8Bit(argv[1]) : tmp.path();
    qputenv("QUORVEL_HOME", (work + QStringLiteral("/home")).toLocal8Bit());
    QApplication app(argc, argv);

    const QString text = work + QStringLiteral("/mail.txt");
    const QString text2 = work + QStringLiteral("/others.txt");
    QElapsedTimer t;
    t.start();
    const qint64 size = Generate(text, 100000, 50LL * 1000 * 1000, QByteArray());
    Generate(text2, 100000, 12LL * 1000 * 1000, QByteArrayLiteral("o."));
    std::printf("generated %.1f MB with 100000 distinct addresses in %.2f s (not counted)\n",
                double(size) / 1e6, Seconds(t));

    TSoundPlayer sounds;
    auto dialogs = std::make_unique<TFakeDialogs>();
    TFakeDialogs* fake = dialogs.get();
    TMainForm form(sounds, std::move(dialogs));
    form.resize(800, 600);
    form.show();
    QApplication::processEvents();
    TListsState& state = form.State().Lists;

    auto newList = [&](const QString& name) {
        form.ListPropertiesPanel()->NewMailList1Click();
        form.ListPropertiesPanel()->Field(QStringLiteral("ListNameEDT"))->setText(name);
        form.ListPropertiesPanel()->SaveBtn()->click();
    };
    auto extract = [&](const QString& file) {
        fake->openFiles.enqueue(file);
        QElapsedTimer e;
        e.start();
        form.AddressTools()->ImportMailList1Click();
        return Seconds(e);
    };

    // 1. Into an empty list.
    newList(QStringLiteral("Empty"));
    const double s1 = extract(text);
    std::printf("1. extraction into an empty list: %d addresses, %.2f s (target 3 s) [%s]\n",
                state.ListEntries.Count(), s1, qPrintable(form.Status()));

    // 3. One address added to a list of 100,000 (and, after 2., to one of 200,000), automatic saving on.
    auto addOne = [&](const QString& email) {
        state.AutoSaveLists = true;
        TAddressPanel* panel = form.AddressPanel();
        QElapsedTimer e;
        e.start();
        panel->NewBtnClick();
        panel->Field(QStringLiteral("EmailEDT"))->setText(email);
        panel->Field(QStringLiteral("NameEDT"))->setText(QStringLiteral("Mm New"));
        panel->AddBtn()->click();
        const double s = Seconds(e);
        listfile::TReader reader;
        MailListRecord header;
        int onDisk = -1;
        if (reader.Open(state.CurrentList->Text(MailListRecord::FilePath)) && reader.ReadHeader(&header)) {
            MailListRecord rec;
            for (onDisk = 0; reader.Next(&rec);)
                ++onDisk;
        }
        std::printf("3. one address added to a list of %d (sorted insert, autosave): %.3f s (target 1 s); %d on disk\n",
                    state.ListEntries.Count() - 1, s, onDisk);
    };
    addOne(QStringLiteral("new.subscriber@example.org"));

    // 2. Into a list that already holds 100,000 addresses (filled by extraction, then saved).
    newList(QStringLiteral("Full"));
    extract(text2);
    const int before = state.ListEntries.Count();
    const double s2 = extract(text);
    std::printf("2. extraction into a list of %d: %d addresses after, %.2f s (target 5 s) [%s]\n", before,
                state.ListEntries.Count(), s2, qPrintable(form.Status()));

    addOne(QStringLiteral("another.subscriber@example.org"));

    // 4. CSV import.
    {
        TRandom r;
        QByteArray csv = "\xEF\xBB\xBFName,E-mail,Street address 1,Street address 2,Phone\r\n";
        for (int i = 0; i < 100000; ++i)
            csv += '"' + Word(r, 4, 10) + ", " + Word(r, 3, 8) + "\"," + Word(r, 4, 9) + QByteArray::number(i) + '@'
                   + Word(r, 4, 10) + ".example.org," + QByteArray::number(r.Below(999)) + ' ' + Word(r, 5, 12)
                   + " St,,+1 555 " + QByteArray::number(1000 + r.Below(9000)) + "\r\n";
        newList(QStringLiteral("Csv"));
        form.AddressTools()->ConfirmMapping = [](const QList<QStringList>&, csvfile::TMapping&) { return true; };
        fake->messages.clear();
        QElapsedTimer e;
        e.start();
        const int added = form.AddressTools()->ImportCsvFrom(csv, QStringLiteral("bench.csv"));
        std::printf("4. CSV import of 100000 rows (%.1f MB) into an empty list: %d added, %.2f s (target 2 s)\n",
                    double(csv.size()) / 1e6, added, Seconds(e));
        fake->messages.clear();
    }
    if (!fake->messages.isEmpty())
        std::printf("messages: %s\n", qPrintable(fake->texts().join(QStringLiteral(" | "))));
    form.close();
    return 0;
}
