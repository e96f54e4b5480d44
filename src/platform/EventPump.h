#pragma once
// Keeps the window responsive during long loops: Pump() processes pending events at most
// once per time slice, so a loop over 100,000 records costs a few hundred event passes,
// not one per record.
#include <QElapsedTimer>

class TEventPump
{
public:
    explicit TEventPump(int sliceMs = 20);
    void Pump();
    void PumpNow();

private:
    QElapsedTimer m_clock;
    int m_sliceMs;
};
