// A stand-in program for the single-instance tests: the first copy shows a window (minimised
// with --minimized) and reports on stdout when a later start brings it forward; a second copy
// reports the hand-over and ends.
#include "guide/JustOne.h"

#include <QApplication>
#include <QWidget>

#include <cstdio>

namespace {
void say(const char* line)
{
    std::printf("%s\n", line);
    std::fflush(stdout);
}
} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    TPreviousInstance probe;
    TJustOne32 justOne(probe);
    if (probe.Found()) {
        say(justOne.HandOver() ? "handed-over" : "no-answer");
        return 0;
    }
    QWidget window;
    window.setWindowTitle(probe.Name());
    window.resize(200, 100);
    if (app.arguments().contains(QStringLiteral("--minimized")))
        window.showMinimized();
    else
        window.show();
    justOne.SetWindow(&window);
    QObject::connect(&justOne, &TJustOne32::BroughtForward, [&window](bool restored) {
        say(restored ? "restored" : "raised");
        if (window.isMinimized())
            say("still-minimized");
    });
    say(qPrintable(QStringLiteral("ready ") + probe.Name()));
    return app.exec();
}
