#pragma once
// The painted wait: a small box with the seconds left as a bar and a number, shown while its
// wait object says so, and the beep for input the wait throws away.
#include "net/Wait.h"

#include <QPointer>
#include <QWidget>

class TWaitView : public QWidget
{
    Q_OBJECT
public:
    // `wait` is not owned; a destroyed wait object reads as none.
    TWaitView(TCustomWait* wait, QWidget* parent = nullptr);
    TCustomWait* Wait() const { return m_wait; }

protected:
    virtual void Paint(QPainter& painter);
    void paintEvent(QPaintEvent* event) override;

private:
    QPointer<TCustomWait> m_wait;
};
