#include "platform/Scramble.h"

namespace scramble {
QByteArray Scramble(QByteArrayView plain)
{
    QByteArray out = plain.toByteArray();
    for (char& c : out)
        c = char(quint8(quint8(c) - 13));
    return out;
}

QByteArray Unscramble(QByteArrayView stored)
{
    QByteArray out = stored.toByteArray();
    for (char& c : out)
        c = char(quint8(quint8(c) + 13));
    return out;
}
} // namespace scramble
