#pragma once
// The wait object: a countdown of seconds that turns an asynchronous network exchange into a
// call that waits. RunModal keeps the event loop turning (timers, painting and socket
// notifications go on) until an event handler calls Stop or the countdown runs out.
// Meanwhile mouse presses, double clicks, key presses and shortcuts are thrown away
// (inputDiscarded; the painted view, WaitView.h, beeps). It is not a widget: the clients and
// sockets wait on it with or without a window.
#include <QEvent>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>

class TCountdown;

class TCustomWait : public QObject
{
    Q_OBJECT
public:
    using TNotifyEvent = std::function<void(TCustomWait* Sender)>;
    using TWaitEvent = std::function<void(TCustomWait* Sender, int Count)>;

    enum { mrNone = 0, mrStopped = 1, mrTimeout = 2 };

    explicit TCustomWait(QObject* parent = nullptr);
    ~TCustomWait() override;

    // Starts counting down from the caption's seconds (15 when it holds none), one a tick.
    virtual void Start();
    // Ends every wait running on this object.
    virtual void Stop();
    // Starts the countdown and waits; ModalResult then tells how it ended.
    virtual void RunModal();
    // Puts the caption back to the count the countdown started from.
    virtual void ResetCount();

    // A wait on behalf of one party (a socket): StopFor(owner) ends only that party's waits, so
    // two clients sharing this object cannot end each other's waits. The countdown stays shared:
    // it is stopped once no wait is left running, and its running out ends every wait.
    void RunModalFor(const void* owner);
    void StopFor(const void* owner);

    // The seconds left, as text: the countdown reads and writes it.
    QString Caption() const { return m_caption; }
    void SetCaption(const QString& caption);
    // mrStopped or mrTimeout after the last wait; mrNone while one runs.
    int ModalResult() const { return m_modalResult; }
    void SetModalResult(int result) { m_modalResult = result; }
    // Milliseconds a tick (a counted second) lasts: 1000.
    quint16 Interval() const { return quint16(m_timer.interval()); }
    void SetInterval(quint16 ms) { m_timer.setInterval(ms); }
    // True while the countdown runs.
    bool Running() const { return m_timer.isActive(); }
    // The count the last Start began from.
    int InitialCount() const { return m_initialCount; }
    // True while RunModal runs (possibly nested).
    bool InModal() const { return !m_frames.isEmpty(); }
    // Input is thrown away (PassInput deciding) as in RunModal, for a wait of the owner's own
    // that is not this object's countdown; calls pair up.
    void HoldInput(bool hold);
    // Whether the countdown is on show; a view (WaitView.h) follows it. A wait nobody views
    // keeps the flag and shows nothing.
    bool Visible() const { return m_visible; }
    void SetVisible(bool visible);

    // The numeric value of a caption: leading spaces skipped, then leading decimal digits;
    // anything else counts as 0.
    static int CaptionValue(const QString& text);

    // Every tick, with the count it goes down to.
    TWaitEvent OnWait;
    // Whenever the event loop wakes during RunModal.
    TNotifyEvent OnWaiting;
    TNotifyEvent OnWaitStart;
    // A Stop (not a timeout).
    TNotifyEvent OnWaitStop;
    // The countdown ran out; a connecting client takes this over (ClaimWaitTimeout).
    TNotifyEvent OnTimeout;
    // Input that must get through a wait (a cancel command): true lets the event pass.
    std::function<bool(QObject* watched, QEvent* event)> PassInput;

signals:
    // Every stop and every timeout, for code that waits on the object without owning its
    // OnTimeout/OnWaitStop handlers.
    void waitEnded(int modalResult);
    // An input event thrown away during RunModal.
    void inputDiscarded(QEvent::Type type);
    void captionChanged(const QString& caption);
    void visibleChanged(bool visible);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Tick();
    struct Frame
    {
        TCountdown* countdown;
        const void* owner;
    };
    void EndFrames(const void* owner, bool all);
    void StopTimer();

    QString m_caption = QStringLiteral("60");
    QTimer m_timer;
    int m_modalResult = mrNone;
    int m_initialCount = 60;
    bool m_visible = false;
    int m_holds = 0; // HoldInput(true) calls not yet ended
    QList<Frame*> m_frames; // running RunModal calls, innermost last
};

class TWait : public TCustomWait
{
    Q_OBJECT
public:
    explicit TWait(QObject* parent = nullptr) : TCustomWait(parent) {}
};

// A client that connects takes over the shared wait's timeout: from then on `flag` goes up
// when the wait runs out (while `owner` exists).
void ClaimWaitTimeout(TCustomWait* wait, QObject* owner, bool* flag);
