#include "net/NetLog.h"

Q_LOGGING_CATEGORY(lcNet, "quorvel.net", QtWarningMsg)

namespace netlog {

QString Masked(const QString& line)
{
    for (const char* word : {"PASS ", "AUTH "}) {
        if (line.startsWith(QLatin1String(word), Qt::CaseInsensitive)) {
            // AUTH keeps its mechanism name; what follows it is the secret.
            const qsizetype from = QLatin1String(word) == QLatin1String("AUTH ") ? line.indexOf(u' ', 5) : 4;
            return from < 0 ? line : line.left(from + 1) + QStringLiteral("****");
        }
    }
    return line;
}

} // namespace netlog
