// Opening the send panel on a list of 100,000 entries and "Toggle checked" over it, through the
// main window on the offscreen platform. Also counts the repaints of the check list during the
// toggle (the window keeps painting while it runs).
// Usage: bench_sendpanel [entries]
#include "BenchCommon.h"

#include "app/MainForm.h"
#include "editor/NewsletterEditor.h"
#include "lists/ListPanel.h"
#include "platform/Sound.h"
#include "send/SendMailPanel.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QListView>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>
#include <QTextEdit>
#include <QToolButton>

namespace {
class TPaintCounter : public QObject
{
public:
    int paints = 0;
    bool eventFilter(QObject*, QEvent* e) override
    {
        if (e->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};
} // namespace

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QUORVEL_NO_SOUND", "1");
    QApplication app(argc, argv);
    const int count = argc > 1 ? atoi(argv[1]) : 100000;
    QTemporaryDir home;
    qputenv("QUORVEL_HOME", QFile::encodeName(home.path()));
    QString path;
    if (!MakeBenchList(home, count, QStringLiteral("127.0.0.1"), &path))
        return 1;
    TSoundPlayer sounds;
    TMainForm form(sounds);
    form.resize(800, 600);
    form.show();
    QApplication::processEvents();
    form.Newsletter()->LetterRE()->setPlainText(QStringLiteral("Body"));
    QToolButton* open = form.Newsletter()->Button(QStringLiteral("SendMailToBtn"));
    TSendMailPanel& p = *form.SendPanel();

    // 1. No list selected: the panel opens the list (reading its file) and fills the check list.
    form.ListPanel()->ListsLB()->setCurrentRow(-1);
    QElapsedTimer t;
    t.start();
    open->click();
    QApplication::processEvents();
    const double first = t.nsecsElapsed() / 1e9;
    const int rows = p.SendToModel()->Count();
    p.CancelSendToBtn()->click();

    // 2. The list already open: the panel fills the check list only.
    t.restart();
    open->click();
    QApplication::processEvents();
    const double again = t.nsecsElapsed() / 1e9;
    p.PageControl3()->setCurrentWidget(p.SendListTS());
    QApplication::processEvents();

    // 3. Toggle checked over all entries, twice (all on, all off).
    TPaintCounter counter;
    p.SendToCL()->viewport()->installEventFilter(&counter);
    double toggle = 0;
    for (int i = 0; i < 2; ++i) {
        t.restart();
        p.CheckAllBtn()->click();
        QApplication::processEvents();
        toggle = std::max(toggle, t.nsecsElapsed() / 1e9);
    }
    int checked = 0;
    for (int i = 0; i < p.SendToModel()->Count(); ++i)
        checked += p.SendToModel()->Checked(i);

    std::printf("entries %d (shown %d)\n", count, rows);
    std::printf("open send panel, list not yet open (reads the list file): %.3f s (target 0.5 s)\n", first);
    std::printf("open send panel, list open:                              %.3f s (target 0.5 s)\n", again);
    std::printf("toggle checked over all entries (slowest of two):        %.3f s (target 0.5 s), %d repaints, %d left checked\n",
                toggle, counter.paints, checked);
    return rows == count && checked == 0 ? 0 : 2;
}
