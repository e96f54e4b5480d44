#include "platform/EventPump.h"

#include <QCoreApplication>

TEventPump::TEventPump(int sliceMs) : m_sliceMs(sliceMs)
{
    m_clock.start();
}

void TEventPump::Pump()
{
    if (m_clock.elapsed() >= m_sliceMs)
        PumpNow();
}

void TEventPump::PumpNow()
{
    QCoreApplication::processEvents();
    m_clock.restart();
}
