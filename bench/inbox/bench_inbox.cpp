// Mail check and list maintenance speed against a real Dovecot on loopback:
//  1. checking 1,000 messages of 10 KB into the grid and the Inbox folder, beside the bare POP3
//     client retrieving the same mailbox in the same run (target: within 2x of it);
//  2. a maintenance run over the 1,000 listed messages, 100 of them keyed, against a list of
//     100,000 addresses with automatic saving on (target: within 2 s).
// Usage: bench_inbox [runs]
#include "../net/MailBench.h"
#include "inbox/NewMailPanel.h"
#include "lists/ListPanel.h"
#include "lists/ListsState.h"
#include "net/Wait.h"
#include "support/FakeShell.h"
#include "support/MailPeers.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTableWidget>
#include <QTemporaryDir>

#include <cstdio>

namespace {
QByteArray message(int i)
{
    const bool keyed = i % 10 == 0;
    const QByteArray head = "From: Subscriber " + QByteArray::number(i) + " <s" + QByteArray::number(i * 997)
                            + "@example.org>\r\nTo: news@example.org\r\nSubject: "
                            + (keyed ? QByteArray("unsubscribe") : "Message " + QByteArray::number(i))
                            + "\r\nDate: Mon, 7 Dec 2026 10:00:00 +0000\r\n\r\n";
    return head + mailbench::MakeBody(10 * 1024 - head.size());
}

// The bare POP3 client retrieving the whole mailbox, as the mail benchmarks time it.
double retrieveBare(quint16 port, const QString& user, const QString& password, const QString& outDir)
{
    QString error;
    mailbench::TTarget target;
    target.port = port;
    return mailbench::RetrieveOurs(target, user, password, outDir, 1000, &error);
}

// The New Mail panel in a shown window over a stand-in shell, with one open list.
struct TCheck
{
    TListsState lists;
    TInboxState inbox;
    TFakeShell shell;
    TWait wait;
    TPop3Client pop3;
    TListPanel* listPanel;
    TNewMailPanel* panel;

    TCheck(const QString& folder, quint16 port, const TDovecotServer& d)
    {
        shell.window.resize(800, 600);
        auto* listFrame = new QWidget(&shell.window);
        listFrame->setGeometry(0, 3, 253, 361);
        listPanel = new TListPanel(shell, lists, listFrame, &shell.window);
        auto* frame = new QWidget(&shell.window);
        frame->setGeometry(256, 3, 540, 560);
        pop3.SetWait(&wait);
        panel = new TNewMailPanel(shell, lists, inbox, *listPanel, pop3, frame, &shell.window);
        auto header = std::make_unique<MailListRecord>();
        header->SetText(MailListRecord::Name, QStringLiteral("bench"));
        header->SetText(MailListRecord::FilePath, folder + QStringLiteral("/bench.qvl"));
        header->SetText(MailListRecord::PopServer, QStringLiteral("127.0.0.1:") + QString::number(port));
        header->SetText(MailListRecord::PopUser, d.User());
        header->SetPassword(d.Password());
        lists.CurrentList = lists.ListCatalog.Append(std::move(header));
        if (!qEnvironmentVariableIsSet("BENCH_HIDDEN")) shell.window.show();
    }
};
} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 3;
    QTemporaryDir home;

    TDovecotServer d;
    for (int i = 1; i <= 1000; ++i)
        d.AddMessage(message(i));
    QString error;
    if (!d.Start(&error)) {
        std::printf("dovecot: %s\n", qPrintable(error));
        return 1;
    }
    {
        // Untimed: Dovecot moves the new mail to cur/ and builds its index.
        QTemporaryDir warm;
        retrieveBare(d.Port(), d.User(), d.Password(), warm.path());
    }
    std::printf("Checking 1,000 messages of 10 KB (Dovecot on loopback, best of %d)\n", runs);
    double bestBare = 1e9, bestCheck = 1e9;
    for (int r = 0; r < runs; ++r) {
        QTemporaryDir out;
        const double bare = retrieveBare(d.Port(), d.User(), d.Password(), out.path());
        // A fresh folder each run: creating files where 1,000 were just deleted costs the file
        // system extra work that has nothing to do with the check.
        QTemporaryDir runHome;
        qputenv("QUORVEL_HOME", runHome.path().toLocal8Bit());
        const QString inboxDir = runHome.path() + QStringLiteral("/Inbox");
        QDir().mkpath(inboxDir);
        TCheck check(runHome.path(), d.Port(), d);
        QElapsedTimer t;
        t.start();
        check.panel->CheckMail1Click();
        const double checked = t.nsecsElapsed() / 1e9;
        // Each message: its Inbox file and the whole message beside it.
        const int files = int(QDir(inboxDir).entryList({QStringLiteral("*.txt")}, QDir::Files).size());
        const int whole = int(QDir(inboxDir).entryList({QStringLiteral("*.eml")}, QDir::Files).size());
        if (check.inbox.MailRecords.size() != 1000 || files != 1000 || whole != 1000) {
            std::printf("  check listed %d messages, %d files: %s\n", int(check.inbox.MailRecords.size()), files,
                        qPrintable(check.shell.status));
            return 1;
        }
        check.panel->CloseNewMailBtnClick();
        check.panel->QuitTimer1()->stop();
        check.panel->QuitTimer1Timer();
        bestBare = std::min(bestBare, bare);
        bestCheck = std::min(bestCheck, checked);
        std::printf("  run %d: bare client %.3f s, mail check %.3f s\n", r + 1, bare, checked);
    }
    std::printf("  %-44s %8.3f s\n", "TPop3Client alone (to one file)", bestBare);
    std::printf("  %-44s %8.3f s   ratio %.2f (target <= 2)\n", "Mail check (grid, 1,000 Inbox files + .eml)", bestCheck,
                bestCheck / bestBare);

    qputenv("QUORVEL_HOME", home.path().toLocal8Bit());
    // Maintenance: 100 keyed messages among 1,000 listed, 100,000 addresses, automatic saving.
    TCheck check(home.path(), d.Port(), d);
    check.panel->CheckMail1Click();
    check.lists.CurrentList->SetText(MailListRecord::Options, QStringLiteral("7"));
    check.lists.CurrentList->SetText(MailListRecord::SubjectKey, QStringLiteral("unsubscribe"));
    check.lists.AutoSaveLists = true;
    check.lists.ListEntries.BeginBulk();
    for (int i = 0; i < 100000; ++i) {
        auto e = std::make_unique<MailListRecord>();
        e->SetText(MailListRecord::Name, QStringLiteral("Subscriber %1").arg(i));
        e->SetText(MailListRecord::Email, QStringLiteral("s%1@example.org").arg(i * 997));
        check.lists.ListEntries.Append(std::move(e));
    }
    check.lists.ListEntries.EndBulk();
    QElapsedTimer t;
    t.start();
    check.panel->ListMaintenance();
    const double maintained = t.nsecsElapsed() / 1e9;
    std::printf("Maintenance over 1,000 listed messages (100 keyed), 100,000 addresses, automatic saving\n");
    std::printf("  %-44s %8.3f s   (target <= 2 s)\n", "ListMaintenance", maintained);
    const QString status = check.shell.status;
    t.restart();
    check.listPanel->SaveCurrentList();
    std::printf("  %-44s %8.3f s\n", "of which one list save (measured again alone)", t.nsecsElapsed() / 1e9);
    std::printf("  %s; list file %lld bytes; %d entries left\n", qPrintable(status),
                QFileInfo(home.path() + QStringLiteral("/bench.qvl")).size(), check.lists.ListEntries.Count());
    return 0;
}
