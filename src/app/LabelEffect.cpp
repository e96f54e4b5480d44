#include "app/LabelEffect.h"

#include <QMouseEvent>
#include <QPainter>

TLabelEffect::TLabelEffect(const QString& text, QWidget* parent) : QLabel(text, parent)
{
    setCursor(Qt::PointingHandCursor);
    QFont f = font();
    f.setBold(true);
    f.setPointSize(10);
    setFont(f);
    setAutoFillBackground(true);
}

QSize TLabelEffect::sizeHint() const
{
    const QSize s = QLabel::sizeHint();
    return {s.height(), s.width()};
}

void TLabelEffect::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), palette().color(QPalette::Window));
    // A light shadow under the text gives the raised look of the original tab.
    p.translate(0, height());
    p.rotate(-90);
    const QRect r(8, 0, height() - 8, width());
    p.setFont(font());
    p.setPen(QColor(0, 0, 0, 120));
    p.drawText(r.translated(1, 1), Qt::AlignLeft | Qt::AlignVCenter, text());
    p.setPen(palette().color(QPalette::WindowText));
    p.drawText(r, Qt::AlignLeft | Qt::AlignVCenter, text());
}

void TLabelEffect::mouseReleaseEvent(QMouseEvent* e)
{
    if (e->button() == Qt::LeftButton && rect().contains(e->position().toPoint()))
        emit clicked();
    QLabel::mouseReleaseEvent(e);
}
