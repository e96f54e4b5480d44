#pragma once
// Protocol trace of the mail clients, off unless switched on:
//   QT_LOGGING_RULES="quorvel.net.debug=true" quorvel
// Every line sent and received is logged; a password never is.
#include <QLoggingCategory>
#include <QString>

Q_DECLARE_LOGGING_CATEGORY(lcNet)

namespace netlog {
// The line as it may appear in a trace: the argument of PASS (and of AUTH) replaced by "****".
QString Masked(const QString& line);
} // namespace netlog
