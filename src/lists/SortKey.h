#pragma once
// The one ordering of list entries and catalog names: letters a-z upper-cased, everything
// else as it stands, compared byte by byte as 8-bit text, a prefix before the longer text.
#include <QByteArray>
#include <QByteArrayView>

namespace sortkey {

inline char Upper(char c)
{
    return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c;
}

QByteArray Upper(QByteArrayView text);

// <0, 0, >0 as a sorts before, equal to, or after b (both upper-cased on the fly).
int Compare(QByteArrayView a, QByteArrayView b);

} // namespace sortkey
