#include "lists/SortKey.h"

namespace sortkey {

QByteArray Upper(QByteArrayView text)
{
    QByteArray out(text.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < text.size(); ++i)
        out[i] = Upper(text[i]);
    return out;
}

int Compare(QByteArrayView a, QByteArrayView b)
{
    const qsizetype n = qMin(a.size(), b.size());
    for (qsizetype i = 0; i < n; ++i) {
        const unsigned char x = static_cast<unsigned char>(Upper(a[i]));
        const unsigned char y = static_cast<unsigned char>(Upper(b[i]));
        if (x != y)
            return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

} // namespace sortkey
