#include "net/Countdown.h"

#include <QEventLoop>
#include <QScopeGuard>
#include <QTimer>

#include <algorithm>
#include <climits>

TCountdown::TCountdown(qint64 timeoutMs, TInput input) : m_timeoutMs(timeoutMs), m_input(input) {}

TCountdown::~TCountdown()
{
    if (m_loop)
        m_loop->quit();
}

TCountdown::TEnd TCountdown::Run(const std::function<bool()>& done)
{
    if (m_ended)
        return TEnd::Ended;
    if (done && done())
        return TEnd::Done;
    QEventLoop loop;
    QTimer timer;
    bool timedOut = false;
    if (m_timeoutMs >= 0) {
        timer.setSingleShot(true);
        timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer, &QTimer::timeout, &loop, [&] {
            timedOut = true;
            loop.quit();
        });
        timer.start(int(std::clamp<qint64>(m_timeoutMs, 0, INT_MAX)));
    }
    m_loop = &loop;
    m_done = done;
    auto restore = qScopeGuard([this] {
        m_loop = nullptr;
        m_done = nullptr;
    });
    // A nested wait may quit this loop on its way out; the flags decide whether it is over.
    for (;;) {
        if (m_ended)
            return TEnd::Ended;
        if (done && done())
            return TEnd::Done;
        if (timedOut)
            return TEnd::TimedOut;
        loop.exec(m_input == TInput::Held ? QEventLoop::ExcludeUserInputEvents : QEventLoop::AllEvents);
    }
}

void TCountdown::Check()
{
    if (m_loop && (!m_done || m_done()))
        m_loop->quit();
}

void TCountdown::End()
{
    m_ended = true;
    if (m_loop)
        m_loop->quit();
}
