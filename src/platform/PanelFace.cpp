#include "platform/PanelFace.h"

#include <QFrame>
#include <QPalette>

void ApplyPanelFace(QFrame* panel)
{
    panel->setFrameShape(QFrame::Panel);
    panel->setFrameShadow(QFrame::Raised);
    panel->setAutoFillBackground(true);
    QPalette pal = panel->palette();
    pal.setColor(QPalette::Window, QColor(0xD4, 0xD0, 0xC8));
    pal.setColor(QPalette::WindowText, Qt::black);
    panel->setPalette(pal);
}
