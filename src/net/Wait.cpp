#include "net/Wait.h"

#include "net/Countdown.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QPointer>
#include <QScopeGuard>

#include <algorithm>
#include <climits>

TCustomWait::TCustomWait(QObject* parent) : QObject(parent)
{
    m_timer.setInterval(1000);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &TCustomWait::Tick);
}

TCustomWait::~TCustomWait()
{
    EndFrames(nullptr, true);
    if (QCoreApplication* app = QCoreApplication::instance())
        app->removeEventFilter(this);
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
    emit captionChanged(m_caption);
}

void TCustomWait::SetVisible(bool visible)
{
    if (visible == m_visible)
        return;
    m_visible = visible;
    emit visibleChanged(visible);
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
        if (!f->countdown->Ended())
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
}

void TCustomWait::EndFrames(const void* owner, bool all)
{
    for (Frame* f : std::as_const(m_frames))
        if (all || f->owner == owner)
            f->countdown->End();
}

void TCustomWait::HoldInput(bool hold)
{
    QCoreApplication* const app = QCoreApplication::instance();
    const bool wasFiltering = !m_frames.isEmpty() || m_holds > 0;
    m_holds = std::max(0, m_holds + (hold ? 1 : -1));
    const bool filtering = !m_frames.isEmpty() || m_holds > 0;
    if (app && filtering != wasFiltering) {
        if (filtering)
            app->installEventFilter(this);
        else
            app->removeEventFilter(this);
    }
}

void TCustomWait::RunModal()
{
    RunModalFor(nullptr);
}

void TCustomWait::RunModalFor(const void* owner)
{
    QCoreApplication* const app = QCoreApplication::instance();
    if (m_frames.isEmpty() && m_holds == 0 && app)
        app->installEventFilter(this);
    TCountdown countdown; // the seconds are this object's own; the countdown only waits
    Frame frame{&countdown, owner};
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
        if (m_frames.isEmpty() && m_holds == 0 && app)
            app->removeEventFilter(this);
    });
    m_modalResult = mrNone;
    Start();
    if (OnWaiting)
        OnWaiting(this);
    countdown.Run();
}

bool TCustomWait::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::KeyPress:
    case QEvent::Shortcut:
        // A window hands the click or key on to its widget: judged there, where the owner can
        // tell what it lets through from the rest.
        if (watched->isWindowType())
            break;
        if (!m_frames.isEmpty() || m_holds > 0) {
            if (PassInput && PassInput(watched, event))
                break;
            emit inputDiscarded(event->type());
            return true;
        }
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
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
