#pragma once
// The one way the network code waits. Run keeps the event loop turning (timers, painting,
// socket notifications) until the condition holds, End is called, or the time runs out; it
// blocks in the event dispatcher between events and never polls. Whoever changes what the
// condition looks at calls Check, so a wait ends as soon as it can.
#include <QtGlobal>

#include <functional>

class QEventLoop;

class TCountdown
{
public:
    enum class TEnd { Done, Ended, TimedOut }; // Done: the condition held
    enum class TInput { Delivered, Held }; // Held: the user's input waits until the wait ends

    // timeoutMs < 0: no time limit (only the condition or End finish the wait).
    explicit TCountdown(qint64 timeoutMs = -1, TInput input = TInput::Delivered);
    TCountdown(const TCountdown&) = delete;
    TCountdown& operator=(const TCountdown&) = delete;
    ~TCountdown();

    // Once per countdown. An empty condition waits for End or the time.
    TEnd Run(const std::function<bool()>& done = {});
    // Tests the condition again now; a no-op when no Run is waiting.
    void Check();
    // Ends the wait; an End that lands before Run starts still counts.
    void End();

    bool Running() const { return m_loop != nullptr; }
    bool Ended() const { return m_ended; } // End was called
    qint64 TimeoutMs() const { return m_timeoutMs; }

private:
    qint64 m_timeoutMs;
    TInput m_input;
    QEventLoop* m_loop = nullptr;
    std::function<bool()> m_done;
    bool m_ended = false;
};
