#include "app/AboutBox.h"

#include "platform/Shell.h"

#include <QEvent>
#include <QFontMetrics>
#include <QFrame>
#include <QLabel>
#include <QTimer>

namespace {
constexpr int kStripWidth = 265; // AboutPanel2 when fully open
constexpr int kCaptionLeft = 8;
} // namespace

TAboutBox::TAboutBox(TShell& shell, QWidget* central, QObject* parent)
    : QObject(parent), m_shell(shell), m_central(central)
{
    m_aboutPanel1 = new QFrame(central);
    m_aboutPanel1->setObjectName(QStringLiteral("AboutPanel1"));
    m_aboutPanel1->setAutoFillBackground(true);
    QPalette pal = m_aboutPanel1->palette();
    pal.setColor(QPalette::Window, QColor(0xFF, 0x80, 0x00)); // colour value 33023
    m_aboutPanel1->setPalette(pal);
    m_aboutPanel1->resize(254, 136);
    auto* image = new QLabel(m_aboutPanel1);
    image->setObjectName(QStringLiteral("Image1"));
    image->setPixmap(QPixmap(QStringLiteral(":/pictures/about.png")));
    image->setScaledContents(true);
    image->setGeometry(0, 0, 254, 136);
    image->setToolTip(QStringLiteral("Click to close"));
    image->setAccessibleName(QStringLiteral("About Quorvel"));
    image->setAccessibleDescription(QStringLiteral("Click to close"));
    image->installEventFilter(this);
    m_aboutPanel1->setVisible(false);

    m_aboutPanel2 = new QFrame(central);
    m_aboutPanel2->setObjectName(QStringLiteral("AboutPanel2"));
    m_aboutPanel2->setAutoFillBackground(true);
    QPalette p2 = m_aboutPanel2->palette();
    p2.setColor(QPalette::Window, QColor(0, 0, 128));
    p2.setColor(QPalette::WindowText, QColor(0xFF, 0xE0, 0x80));
    m_aboutPanel2->setPalette(p2);
    m_aboutPanel2->resize(0, 48);
    m_aboutCaption = new QLabel(QStringLiteral("Quorvel 1.3 - newsletters made simple"), m_aboutPanel2);
    m_aboutCaption->setObjectName(QStringLiteral("AboutCaptionLBL"));
    QFont f = m_aboutCaption->font();
    f.setBold(true);
    // The whole caption on the 265-pixel strip, whatever the desktop's font: smaller type
    // rather than a cut sentence.
    const int room = kStripWidth - 2 * kCaptionLeft;
    while (QFontMetrics(f).horizontalAdvance(m_aboutCaption->text()) > room && f.pointSizeF() > 6)
        f.setPointSizeF(f.pointSizeF() - 0.5);
    m_aboutCaption->setFont(f);
    m_aboutCaption->setGeometry(kCaptionLeft, -20, room, qMax(18, QFontMetrics(f).height()));
    m_aboutPanel2->setVisible(false);

    m_aboutTimer = new QTimer(this);
    m_aboutTimer->setObjectName(QStringLiteral("AboutTimer1"));
    m_aboutTimer->setTimerType(Qt::PreciseTimer);
    connect(m_aboutTimer, &QTimer::timeout, this, &TAboutBox::AboutTimer1Timer);
}

bool TAboutBox::eventFilter(QObject* watched, QEvent* e)
{
    if (e->type() == QEvent::MouseButtonRelease && watched->objectName() == QLatin1String("Image1"))
        Image1Click();
    return QObject::eventFilter(watched, e);
}

void TAboutBox::AboutQuorvel1Click()
{
    m_shell.SetStatus(QStringLiteral("Status: Quorvel version 1.3 - by Harrowlin"));
    m_aboutPanel1->raise();
    m_aboutPanel1->move(m_shell.Window()->width() - 300, 16);
    m_aboutPanel1->setVisible(true);
    m_shell.PlaySound(QStringLiteral("tamo106.cls"));
    m_aboutPanel2->raise();
    m_aboutPanel2->setGeometry(0, m_central->height() - (48 + 100), 0, 48);
    m_aboutPanel2->setVisible(true);
    m_aboutTimer->setInterval(1);
    m_aboutCaption->move(m_aboutCaption->x(), -20);
    m_aboutTimer->start();
}

void TAboutBox::AboutTimer1Timer()
{
    if (m_aboutPanel2->width() < kStripWidth) {
        m_aboutPanel2->resize(m_aboutPanel2->width() + 5, 48);
        return;
    }
    m_aboutTimer->setInterval(5);
    if (m_aboutCaption->y() < 16) {
        m_aboutCaption->move(m_aboutCaption->x(), m_aboutCaption->y() + 1);
        m_aboutCaption->repaint();
    } else {
        m_aboutTimer->stop();
    }
}

void TAboutBox::Image1Click()
{
    m_aboutTimer->stop();
    m_aboutPanel1->setVisible(false);
    m_aboutPanel2->setVisible(false);
    m_shell.SetStatus(QStringLiteral("Status:"));
}
