#pragma once
// Stored passwords (a list's POP password, the general one, a server section's): every
// character code lowered by 13 (mod 256) on the way to disk. Not encryption: it only keeps a
// password from being read at a glance.
#include <QByteArray>
#include <QByteArrayView>

namespace scramble {
QByteArray Scramble(QByteArrayView plain);
QByteArray Unscramble(QByteArrayView stored);
} // namespace scramble
