#include "net/WaitView.h"

#include "net/Wait.h"

#include <QApplication>
#include <QPainter>

TWaitView::TWaitView(TCustomWait* wait, QWidget* parent) : QWidget(parent), m_wait(wait)
{
    resize(192, 32);
    QFont f(QStringLiteral("Courier"));
    f.setPointSize(8);
    f.setFixedPitch(true);
    f.setStyleHint(QFont::TypeWriter);
    setFont(f);
    // Only a view inside a window shows: a top-level one would pop up as a window of its own.
    setVisible(parent && wait->Visible());
    connect(wait, &TCustomWait::captionChanged, this, qOverload<>(&QWidget::update));
    connect(wait, &TCustomWait::visibleChanged, this, [this](bool visible) {
        if (parentWidget())
            setVisible(visible);
    });
    connect(wait, &TCustomWait::inputDiscarded, this, [] { QApplication::beep(); });
}

void TWaitView::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    Paint(p);
}

void TWaitView::Paint(QPainter& p)
{
    if (!m_wait)
        return;
    const int w = width();
    const int h = height();
    p.setPen(QPen(Qt::black));
    p.setBrush(Qt::white);
    p.drawRect(0, 0, w - 1, h - 1);
    const int count = TCustomWait::CaptionValue(m_wait->Caption());
    const int initial = m_wait->InitialCount();
    if (initial > 0) {
        const qint64 right = 3 + qint64(count) * (w - 7) / initial;
        p.fillRect(QRect(QPoint(3, 3), QPoint(int(right) - 1, h - 4 - 1)), palette().highlight());
    }
    p.setFont(font());
    p.drawText(4, h / 2 - 8 + QFontMetrics(font()).ascent(), m_wait->Caption());
}
