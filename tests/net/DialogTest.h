#pragma once
// Helpers for the tests that drive the server dialogs through their widgets.
#include <QApplication>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <functional>

// Runs `drive` on the modal dialog of type D once it is shown.
template <class D>
void WhenShown(std::function<void(D*)> drive)
{
    QTimer::singleShot(0, [drive] {
        auto* d = qobject_cast<D*>(QApplication::activeModalWidget());
        QVERIFY(d);
        drive(d);
    });
}

template <class W>
W* Child(QWidget* d, const char* name)
{
    return d->findChild<W*>(QLatin1String(name));
}
