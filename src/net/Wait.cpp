#include "net/Wait.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QEventLoop>
#include <QPainter>
#include <QPointer>
#include <QScopeGuard>

TCustomWait::TCustomWait(QWidget* parent) : QWidget(parent)
{
    resize(192, 32);
    QFont f(QStringLiteral("Courier"));
    f.setPointSize(8);
    f.setFixedPitch(true);
    f.setStyleHint(QFont::TypeWriter);
    setFont(f);
    m_timer.setInterval(1000);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &TCustomWait::Tick);
}

TCustomWait::~TCustomWait()
{
    EndFrames(nullptr, true);
    if (qApp)
        qApp->removeEventFilter(this);
}

int TCustomWait::CaptionValue(const QString& text)
{
    qsizetype i = 0;
    while (i < text.size() && text[i] == u' ')
        ++i;
    qint64 n = 0;
    for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
        n = n * 10 + (text[i].unicode() - u'0');
        if (n > INT_MAX)
            return INT_MAX;
    }
    return int(n);
}

void TCustomWait::SetCaption(const QString& caption)
{
    if (caption == m_caption)
        return;
    m_caption = caption;
    update();
}

void TCustomWait::Start()
{
    m_initialCount = CaptionValue(m_caption);
    if (m_initialCount == 0) {
        m_initialCount = 15;
        SetCaption(QStringLiteral("15"));
    }
    m_timer.start();
    if (OnWaitStart)
        OnWaitStart(this);
}

void TCustomWait::Stop()
{
    EndFrames(nullptr, true);
    StopTimer();
}

void TCustomWait::StopTimer()
{
    m_modalResult = mrStopped;
    m_timer.stop();
    SetCaption(QString::number(m_initialCount));
    if (OnWaitStop)
        OnWaitStop(this);
    emit waitEnded(mrStopped);
}

void TCustomWait::StopFor(const void* owner)
{
    if (!owner) {
        Stop();
        return;
    }
    EndFrames(owner, false);
    // Another party's wait still running keeps the shared countdown going.
    for (const Frame* f : std::as_const(m_frames))
        if (!f->ended)
            return;
    StopTimer();
}

void TCustomWait::ResetCount()
{
    SetCaption(QString::number(m_initialCount));
}

void TCustomWait::Tick()
{
    const int n = CaptionValue(m_caption) - 1;
    if (OnWait)
        OnWait(this, n);
    if (n > 0) {
        SetCaption(QString::number(n));
    } else {
        m_timer.stop();
        m_modalResult = mrTimeout;
        SetCaption(QString::number(m_initialCount));
        EndFrames(nullptr, true);
        if (OnTimeout)
            OnTimeout(this);
        emit waitEnded(mrTimeout);
    }
    update();
}

void TCustomWait::EndFrames(const void* owner, bool all)
{
    // The flag, not only quit(): a stop that lands before the loop runs must not be lost.
    for (Frame* f : std::as_const(m_frames)) {
        if (all || f->owner == owner) {
            f->ended = true;
            f->loop->quit();
        }
    }
}

void TCustomWait::RunModal()
{
    RunModalFor(nullptr);
}

void TCustomWait::RunModalFor(const void* owner)
{
    if (m_frames.isEmpty())
        qApp->installEventFilter(this);
    QEventLoop loop;
    Frame frame{&loop, owner, false};
    m_frames.append(&frame);
    QMetaObject::Connection awake;
    if (OnWaiting) {
        if (QAbstractEventDispatcher* d = QAbstractEventDispatcher::instance()) {
            awake = connect(d, &QAbstractEventDispatcher::awake, this, [this] {
                if (OnWaiting && Running())
                    OnWaiting(this);
            });
        }
    }
    auto restore = qScopeGuard([&] {
        disconnect(awake);
        m_frames.removeOne(&frame);
        if (m_frames.isEmpty())
            qApp->removeEventFilter(this);
    });
    m_modalResult = mrNone;
    Start();
    while (!frame.ended) {
        if (OnWaiting)
            OnWaiting(this);
        if (frame.ended)
            break;
        loop.exec();
    }
}

bool TCustomWait::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::KeyPress:
    case QEvent::Shortcut:
        if (!m_frames.isEmpty()) {
            if (PassInput && PassInput(watched, event))
                break;
            QApplication::beep();
            emit inputDiscarded(event->type());
            return true;
        }
        break;
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

void TCustomWait::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    Paint(p);
}

void TCustomWait::Paint(QPainter& p)
{
    const int w = width();
    const int h = height();
    p.setPen(QPen(Qt::black));
    p.setBrush(Qt::white);
    p.drawRect(0, 0, w - 1, h - 1);
    const int count = CaptionValue(m_caption);
    if (m_initialCount > 0) {
        const qint64 right = 3 + qint64(count) * (w - 7) / m_initialCount;
        p.fillRect(QRect(QPoint(3, 3), QPoint(int(right) - 1, h - 4 - 1)), palette().highlight());
    }
    p.setFont(font());
    p.drawText(4, h / 2 - 8 + QFontMetrics(font()).ascent(), m_caption);
}

void ClaimWaitTimeout(TCustomWait* wait, QObject* owner, bool* flag)
{
    QPointer<QObject> guard(owner);
    wait->OnTimeout = [guard, flag](TCustomWait*) {
        if (guard)
            *flag = true;
    };
    *flag = false;
}
