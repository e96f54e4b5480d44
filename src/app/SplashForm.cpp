#include "app/SplashForm.h"

#include "app/Pictures.h"
#include "platform/Sound.h"

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>

TSplashForm::TSplashForm(TSoundPlayer& sounds)
    : QWidget(nullptr, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
{
    InitPictures();
    m_picture = QPixmap(QStringLiteral(":/pictures/splash.png"));
    setObjectName(QStringLiteral("SplashForm"));
    setFixedSize(250, 149);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(0, 0, 128));
    setPalette(pal);
    setAutoFillBackground(true);
    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->geometry().center() - rect().center());
    sounds.Play(QStringLiteral("tamo101.cls")); // not subject to the Sounds toggle
}

void TSplashForm::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    if (!m_picture.isNull())
        p.drawPixmap(rect(), m_picture);
}
