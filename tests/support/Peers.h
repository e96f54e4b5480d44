#pragma once
// Real servers and tools a test needs. Missing, they fail the run where the project's test
// script (which installs them) or CI runs it, and skip the test elsewhere.
#include <QString>
#include <QTest>

inline bool PeersRequired()
{
    return qEnvironmentVariableIsSet("CI") || qEnvironmentVariableIsSet("QUORVEL_REQUIRE_PEERS");
}

#define REQUIRE_PEER(available, why)                                                                   \
    do {                                                                                               \
        if (!(available)) {                                                                            \
            const QString peerWhy_ = (why);                                                            \
            if (PeersRequired())                                                                       \
                QFAIL(qPrintable(peerWhy_));                                                           \
            QSKIP(qPrintable(QStringLiteral("not available: ") + peerWhy_));                           \
        }                                                                                              \
    } while (false)

// Starts a server fixture (`peer.Start(args..., &why)`) for the test.
#define START_PEER(peer, ...)                                                                          \
    do {                                                                                               \
        QString startWhy_;                                                                             \
        const bool started_ = (peer).Start(__VA_ARGS__ __VA_OPT__(, ) & startWhy_);                   \
        REQUIRE_PEER(started_, startWhy_);                                                             \
    } while (false)
