// The send buffer block and the wait object.
#include "net/Buffer.h"
#include "net/Countdown.h"
#include "net/Wait.h"
#include "net/WaitView.h"

#include <QAction>
#include <QImage>
#include <QMainWindow>
#include <QMenuBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QWindow>

namespace {
QByteArray unread(TBuffer& b)
{
    int len = 0;
    const char* p = b.Peek(len);
    return p ? QByteArray(p, len) : QByteArray();
}
} // namespace

class TstBufferWait : public QObject
{
    Q_OBJECT
private slots:
    void bufferWrite_data();
    void bufferWrite();
    void bufferReuseAfterEmptied();
    void bufferResizeKeepsUnread();
    void captionRules_data();
    void captionRules();
    void countdown_data();
    void countdown();
    void countdownEnds_data();
    void countdownEnds();
    void stop();
    void stopFromWaitingHandler();
    void stopEndsOnlyTheOwnersWait();
    void inputDiscardedWhileTimersRun();
    void passedInputGetsThroughTheWindow();
    void paintShowsRemainingTime();
};

void TstBufferWait::bufferWrite_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<QList<int>>("writes");
    QTest::addColumn<QList<int>>("accepted");
    QTest::addColumn<int>("bufSize");
    QTest::newRow("2000 into a new block") << 1514 << QList<int>{2000} << QList<int>{1514} << 1514;
    QTest::newRow("full block takes nothing") << 1514 << QList<int>{1514, 1} << QList<int>{1514, 0} << 1514;
    QTest::newRow("zero size means 1514") << 0 << QList<int>{1600} << QList<int>{1514} << 1514;
    QTest::newRow("negative size means 1514") << -5 << QList<int>{10} << QList<int>{10} << 1514;
    QTest::newRow("partial fills") << 100 << QList<int>{60, 60, 60} << QList<int>{60, 40, 0} << 100;
    QTest::newRow("zero-length write") << 10 << QList<int>{0, -3} << QList<int>{0, 0} << 10;
}

void TstBufferWait::bufferWrite()
{
    QFETCH(int, size);
    QFETCH(QList<int>, writes);
    QFETCH(QList<int>, accepted);
    QFETCH(int, bufSize);
    TBuffer b(size);
    QCOMPARE(b.BufSize(), bufSize);
    QByteArray all;
    int expectedTotal = 0;
    for (qsizetype i = 0; i < writes.size(); ++i) {
        QByteArray chunk(std::max(writes[i], 0), char('a' + i));
        QCOMPARE(b.Write(chunk.constData(), writes[i]), accepted[i]);
        all += chunk.left(accepted[i]);
        expectedTotal += accepted[i];
    }
    int len = -1;
    QCOMPARE(b.Peek(len) == nullptr, expectedTotal == 0);
    QCOMPARE(len, expectedTotal);
    QCOMPARE(unread(b), all);
    QVERIFY(b.ReadPos() <= b.WritePos() && b.WritePos() <= b.BufSize());
}

void TstBufferWait::bufferReuseAfterEmptied()
{
    TBuffer b(1514);
    QCOMPARE(b.Write("hello world", 11), 11);
    QCOMPARE(b.Remove(6), 6);
    QCOMPARE(unread(b), QByteArray("world"));
    QCOMPARE(b.Remove(100), 5); // only what is unread
    QCOMPARE(b.ReadPos(), 0);
    QCOMPARE(b.WritePos(), 0);
    QCOMPARE(b.Remove(1), 0);
    int len = -1;
    QVERIFY(b.Peek(len) == nullptr);
    QCOMPARE(len, 0);
    QCOMPARE(b.Write("abc", 3), 3); // starts over at the beginning
    QCOMPARE(b.WritePos(), 3);
    QCOMPARE(unread(b), QByteArray("abc"));
}

void TstBufferWait::bufferResizeKeepsUnread()
{
    TBuffer b(16);
    b.Write("0123456789", 10);
    b.Remove(4);
    b.SetBufSize(32);
    QCOMPARE(b.BufSize(), 32);
    QCOMPARE(unread(b), QByteArray("456789"));
    b.SetBufSize(32); // equal size: nothing happens
    QCOMPARE(unread(b), QByteArray("456789"));
    b.SetBufSize(8); // below the write position: what fits is kept, the invariant holds
    QVERIFY(b.ReadPos() <= b.WritePos() && b.WritePos() <= b.BufSize());
    QCOMPARE(unread(b), QByteArray("4567"));
}

void TstBufferWait::captionRules_data()
{
    QTest::addColumn<QString>("caption");
    QTest::addColumn<int>("initial");
    QTest::addColumn<QString>("captionAfterStart");
    QTest::newRow("number") << "7" << 7 << "7";
    QTest::newRow("zero") << "0" << 15 << "15";
    QTest::newRow("empty") << "" << 15 << "15";
    QTest::newRow("not numeric") << "abc" << 15 << "15";
    QTest::newRow("leading spaces and trailing text") << "  42s" << 42 << "  42s";
    QTest::newRow("sign is not a digit") << "-5" << 15 << "15";
}

void TstBufferWait::captionRules()
{
    QFETCH(QString, caption);
    QFETCH(int, initial);
    QFETCH(QString, captionAfterStart);
    TWait w;
    w.SetCaption(caption);
    w.Start();
    QVERIFY(w.Running());
    QCOMPARE(w.InitialCount(), initial);
    QCOMPARE(w.Caption(), captionAfterStart);
    w.Stop();
    QVERIFY(!w.Running());
    QCOMPARE(w.ModalResult(), int(TWait::mrStopped));
    QCOMPARE(w.Caption(), QString::number(initial));
}

void TstBufferWait::countdown_data()
{
    QTest::addColumn<QString>("caption");
    QTest::addColumn<int>("ticks");
    QTest::newRow("3") << "3" << 3;
    QTest::newRow("4") << "4" << 4;
    QTest::newRow("0 means 15") << "0" << 15;
}

void TstBufferWait::countdown()
{
    QFETCH(QString, caption);
    QFETCH(int, ticks);
    TWait w;
    w.SetInterval(5);
    int timeouts = 0;
    w.OnTimeout = [&](TCustomWait*) { ++timeouts; };
    QStringList seen, expected;
    w.OnWait = [&](TCustomWait* s, int n) { seen << QStringLiteral("%1/%2").arg(n).arg(s->Caption()); };
    for (int n = ticks - 1; n >= 0; --n)
        expected << QStringLiteral("%1/%2").arg(n).arg(n + 1); // OnWait sees the count before the caption shows it
    for (int run = 1; run <= 2; ++run) { // the same object counts down again
        seen.clear();
        w.SetCaption(caption);
        w.RunModal();
        QCOMPARE(w.ModalResult(), int(TWait::mrTimeout));
        QCOMPARE(timeouts, run);
        QCOMPARE(seen, expected);
        QCOMPARE(w.Caption(), QString::number(ticks)); // the initial count again, not "0"
        QVERIFY(!w.Running());
    }
}

void TstBufferWait::stop()
{
    TWait w;
    w.SetCaption(QStringLiteral("60"));
    int stops = 0, starts = 0;
    w.OnWaitStart = [&](TCustomWait*) { ++starts; };
    w.OnWaitStop = [&](TCustomWait*) { ++stops; };
    QSignalSpy ended(&w, &TCustomWait::waitEnded);
    // While idle: the result still becomes "stopped" and the events fire.
    w.SetModalResult(TWait::mrTimeout);
    w.Stop();
    QCOMPARE(w.ModalResult(), int(TWait::mrStopped));
    QCOMPARE(stops, 1);
    QCOMPARE(ended.count(), 1);
    // While waiting: the wait ends.
    QTimer::singleShot(20, &w, [&] { w.Stop(); });
    w.RunModal();
    QCOMPARE(w.ModalResult(), int(TWait::mrStopped));
    QCOMPARE(starts, 1);
    QCOMPARE(stops, 2);
    QCOMPARE(w.Caption(), QStringLiteral("60"));
    QVERIFY(!w.InModal());
}

void TstBufferWait::stopFromWaitingHandler()
{
    // A stop requested by the handler that runs as the loop starts is not lost.
    TWait w;
    w.SetCaption(QStringLiteral("60"));
    int rescued = 0;
    QTimer rescue; // only with the stop lost would this end the wait
    rescue.setSingleShot(true);
    connect(&rescue, &QTimer::timeout, this, [&] {
        ++rescued;
        w.Stop();
    });
    rescue.start(2000);
    int calls = 0;
    w.OnWaiting = [&](TCustomWait* s) {
        if (++calls == 1)
            s->Stop();
    };
    w.RunModal();
    QCOMPARE(rescued, 0);
    QCOMPARE(w.ModalResult(), int(TWait::mrStopped));
    QVERIFY(!w.InModal());
}

void TstBufferWait::countdownEnds_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<int>("expected");
    QTest::newRow("condition, then Check") << "check" << int(TCountdown::TEnd::Done);
    QTest::newRow("End from a handler") << "end" << int(TCountdown::TEnd::Ended);
    QTest::newRow("End before Run") << "early" << int(TCountdown::TEnd::Ended);
    QTest::newRow("time runs out") << "none" << int(TCountdown::TEnd::TimedOut);
    QTest::newRow("a nested wait ends first") << "nested" << int(TCountdown::TEnd::Ended);
}

void TstBufferWait::countdownEnds()
{
    QFETCH(QString, how);
    QFETCH(int, expected);
    bool flag = false;
    bool innerEnded = false;
    TCountdown wait(how == QLatin1String("none") ? 60 : 5000);
    if (how == QLatin1String("early"))
        wait.End();
    // Timers of this test's own: a row that ends at once must not leave one behind for the next.
    QTimer start, innerEnd, outerEnd;
    for (QTimer* t : {&start, &innerEnd, &outerEnd})
        t->setSingleShot(true);
    TCountdown* inner = nullptr;
    connect(&innerEnd, &QTimer::timeout, this, [&] {
        if (inner)
            inner->End();
    });
    connect(&outerEnd, &QTimer::timeout, this, [&] { wait.End(); });
    connect(&start, &QTimer::timeout, this, [&] {
        if (how == QLatin1String("check")) {
            flag = true;
            wait.Check();
        } else if (how == QLatin1String("end")) {
            wait.End();
        } else if (how == QLatin1String("nested")) {
            // The inner wait's loop ends; the outer one must go on until its own End.
            TCountdown nested(5000);
            inner = &nested;
            innerEnd.start(5);
            innerEnded = nested.Run() == TCountdown::TEnd::Ended;
            inner = nullptr;
            outerEnd.start(20);
        }
    });
    start.start(5);
    QElapsedTimer clock;
    clock.start();
    const TCountdown::TEnd end = wait.Run([&] { return flag; });
    QCOMPARE(int(end), expected);
    QVERIFY(!wait.Running());
    if (how == QLatin1String("nested"))
        QVERIFY(innerEnded && clock.elapsed() >= 20);
    if (expected != int(TCountdown::TEnd::TimedOut))
        QVERIFY2(clock.elapsed() < 4000, "the wait ran to its time limit");
}

void TstBufferWait::stopEndsOnlyTheOwnersWait()
{
    TWait w;
    w.SetCaption(QStringLiteral("60"));
    int a = 0, b = 0; // two parties sharing the object
    QStringList order;
    // b waits inside a's wait; stopping a first must not end b's wait (nor a's own until b's
    // returns); stopping b then lets both return.
    QTimer::singleShot(10, &w, [&] {
        QTimer::singleShot(20, &w, [&] {
            w.StopFor(&a);
            order << QStringLiteral("a stopped");
            QVERIFY(w.Running()); // b's wait still counts down
        });
        QTimer::singleShot(60, &w, [&] {
            order << QStringLiteral("b stopping");
            w.StopFor(&b);
        });
        w.RunModalFor(&b);
        order << QStringLiteral("b returned");
    });
    w.RunModalFor(&a);
    order << QStringLiteral("a returned");
    QCOMPARE(order, (QStringList{"a stopped", "b stopping", "b returned", "a returned"}));
    QVERIFY(!w.Running());
    QVERIFY(!w.InModal());

    // A party with no wait running stops nothing; a plain Stop ends every wait.
    int ended = 0;
    QTimer::singleShot(10, &w, [&] {
        w.StopFor(&b);
        QVERIFY(w.InModal());
        QVERIFY(w.Running());
        w.Stop();
        ++ended;
    });
    w.RunModalFor(&a);
    QCOMPARE(ended, 1);
    QCOMPARE(w.ModalResult(), int(TWait::mrStopped));
}

void TstBufferWait::inputDiscardedWhileTimersRun()
{
    QMainWindow window;
    auto* button = new QPushButton(QStringLiteral("Press"), &window);
    window.setCentralWidget(button);
    auto* action = new QAction(QStringLiteral("Cancel"), &window);
    action->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_K));
    window.menuBar()->addMenu(QStringLiteral("File"))->addAction(action);
    auto* wait = new TWait(&window);
    auto* view = new TWaitView(wait, &window);
    view->move(-220, 0);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    int clicks = 0, triggers = 0, otherTicks = 0;
    connect(button, &QPushButton::clicked, this, [&] { ++clicks; });
    connect(action, &QAction::triggered, this, [&] { ++triggers; });
    QSignalSpy discarded(wait, &TCustomWait::inputDiscarded);

    QTimer other; // a timer elsewhere in the program keeps firing during the wait
    other.setInterval(5);
    connect(&other, &QTimer::timeout, this, [&] {
        ++otherTicks;
        if (otherTicks == 2) {
            QTest::mouseClick(button, Qt::LeftButton);
            QTest::mouseDClick(button, Qt::LeftButton);
            QTest::keyClick(button, Qt::Key_Space);
            QTest::keyClick(&window, Qt::Key_K, Qt::ControlModifier);
        }
        if (otherTicks == 6)
            wait->Stop();
    });
    other.start();
    wait->SetCaption(QStringLiteral("30"));
    wait->RunModal();
    other.stop();

    QCOMPARE(wait->ModalResult(), int(TWait::mrStopped));
    QCOMPARE(otherTicks, 6);
    QCOMPARE(clicks, 0);
    QCOMPARE(triggers, 0);
    QVERIFY2(discarded.count() >= 4, qPrintable(QString::number(discarded.count())));
    QList<int> types;
    for (const auto& args : discarded)
        types << args.at(0).toInt();
    QVERIFY(types.contains(QEvent::MouseButtonPress));
    QVERIFY(types.contains(QEvent::MouseButtonDblClick));
    QVERIFY(types.contains(QEvent::KeyPress) || types.contains(QEvent::Shortcut));

    // Outside the wait the same input works again.
    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(clicks, 1);
    QTest::keyClick(&window, Qt::Key_K, Qt::ControlModifier);
    QCOMPARE(triggers, 1);
}

// A real click reaches the window before its widget: what the owner lets through is judged at
// the widget, so the click is not lost at the window on its way there.
void TstBufferWait::passedInputGetsThroughTheWindow()
{
    QMainWindow window;
    auto* central = new QWidget(&window);
    window.setCentralWidget(central);
    auto* pass = new QPushButton(QStringLiteral("Cancel"), central);
    auto* other = new QPushButton(QStringLiteral("Other"), central);
    pass->setGeometry(10, 10, 80, 30);
    other->setGeometry(10, 60, 80, 30);
    window.resize(200, 120);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    TWait wait;
    wait.PassInput = [pass](QObject* watched, QEvent*) { return watched == pass; };
    int passed = 0, others = 0;
    connect(pass, &QPushButton::clicked, this, [&] {
        ++passed;
        wait.Stop();
    });
    connect(other, &QPushButton::clicked, this, [&] { ++others; });
    QTimer::singleShot(10, this, [&] {
        QWindow* w = window.windowHandle();
        QTest::mouseClick(w, Qt::LeftButton, {}, other->mapTo(&window, other->rect().center()));
        QTest::mouseClick(w, Qt::LeftButton, {}, pass->mapTo(&window, pass->rect().center()));
    });
    QTimer guard; // never hang on a lost click (a timer of the test's own: it dies with it)
    guard.setSingleShot(true);
    connect(&guard, &QTimer::timeout, this, [&] { wait.Stop(); });
    guard.start(3000);
    wait.SetCaption(QStringLiteral("10"));
    wait.RunModal();
    QCOMPARE(others, 0);
    QCOMPARE(passed, 1);
}

void TstBufferWait::paintShowsRemainingTime()
{
    TWait w;
    TWaitView view(&w);
    QCOMPARE(view.size(), QSize(192, 32));
    QVERIFY(!view.isVisible());
    w.SetCaption(QStringLiteral("60"));
    w.Start();
    w.SetCaption(QStringLiteral("30")); // half the time left
    QImage img(view.size(), QImage::Format_RGB32);
    img.fill(Qt::red);
    view.render(&img);
    w.Stop();
    const QColor highlight = view.palette().highlight().color();
    const int barRight = 3 + 30 * (192 - 7) / 60;
    QCOMPARE(img.pixelColor(10, 26), highlight);
    QCOMPARE(img.pixelColor(barRight - 3, 26), highlight);
    QCOMPARE(img.pixelColor(barRight + 5, 26), QColor(Qt::white));
    QCOMPARE(img.pixelColor(185, 26), QColor(Qt::white));
}

QTEST_MAIN(TstBufferWait)
#include "tst_buffer_wait.moc"
