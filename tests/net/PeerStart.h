#pragma once
// Starts a real server for a test. Missing servers fail the run when the project's test script
// runs it (it installs them) or under CI, and skip elsewhere.
#include <QTest>

#define START_PEER(peer, ...)                                                                                \
    do {                                                                                                     \
        QString why;                                                                                         \
        if (!(peer).Start(__VA_ARGS__ __VA_OPT__(, ) & why)) {                                              \
            if (qEnvironmentVariableIsSet("CI") || qEnvironmentVariableIsSet("QUORVEL_REQUIRE_PEERS"))      \
                QFAIL(qPrintable(why));                                                                      \
            QSKIP(qPrintable(QStringLiteral("server not available: ") + why));                              \
        }                                                                                                    \
    } while (false)
