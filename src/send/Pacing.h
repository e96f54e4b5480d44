#pragma once
// Paced sends: a provider's limits (recipients per message, messages per hour, recipients per
// day) turned into batch sizes and waits, and the record of a send that outlives the program
// (who got it, and when each message went, so the limits hold after a restart). No widgets.
#include "net/ServerSettings.h"

#include <QFile>
#include <QList>
#include <QSet>
#include <QString>
#include <functional>

struct TPacing
{
    TSendLimits Limits;
    // The length of a minute in milliseconds: the limits' hour is 60 of them and their day
    // 1,440. Tests shrink it; the program uses real minutes.
    qint64 MinuteMs = 60000;
    // Milliseconds since the epoch; unset: the wall clock.
    std::function<qint64()> Now;

    qint64 NowMs() const;
    qint64 HourMs() const { return 60 * MinuteMs; }
    qint64 DayMs() const { return 1440 * MinuteMs; }
};

// One message that went: when, and to how many recipients.
struct TSentMessage
{
    qint64 At = 0; // milliseconds since the epoch
    int Recipients = 0;
};

enum class TPaceLimit { None, Hourly, Daily };

struct TPaceStep
{
    int Recipients = 0;   // how many the next message may carry (0 while waiting)
    qint64 WaitMs = 0;    // how long to wait first
    TPaceLimit Limit = TPaceLimit::None; // the limit that makes it wait
};

class TPacer
{
public:
    explicit TPacer(const TPacing& pacing) : m_pacing(pacing) {}

    // The earlier messages that still count (from the record).
    void SetHistory(const QList<TSentMessage>& history) { m_history = history; }
    const QList<TSentMessage>& History() const { return m_history; }

    // The next message for up to `wanted` recipients at `now`: how many it may carry, or how
    // long to wait and why.
    TPaceStep Next(qint64 now, int wanted) const;
    // Counts a message that went; history older than a day is dropped.
    void Sent(qint64 now, int recipients);

    // "Waiting N min for the server's hourly limit (K of M sent)".
    QString WaitText(const TPaceStep& step, qint64 leftMs, int sent, int total) const;

private:
    TPacing m_pacing;
    QList<TSentMessage> m_history;
};

// The record of a send, in the list's folder until every recipient has the newsletter:
//
//   Quorvel send record
//   Newsletter: <key naming the newsletter>
//   Sent: <ms since the epoch> <recipients>      (one per message)
//   Delivered: <address>                          (one per recipient that got it)
//
// Lines are appended as the send goes, so a crash keeps what was sent. A record of another
// newsletter gives its history (the server's limits count every message) but no recipients.
class TSendRecord
{
public:
    // Reads `path` (a missing file is an empty record); false when it cannot be read or is no
    // send record. Only a record of `key` gives Delivered.
    bool Load(const QString& path, const QString& key, QString* error);
    const QSet<QString>& Delivered() const { return m_delivered; } // addresses in lower case
    const QList<TSentMessage>& History() const { return m_history; }

    // Starts writing: the file is rewritten with this newsletter, the history that still counts
    // (younger than `keepMs` before `now`) and the delivered addresses.
    bool Open(qint64 now, qint64 keepMs, QString* error);
    // One message that went at `at` and the recipients it reached, flushed at once.
    bool Append(qint64 at, const QStringList& delivered, QString* error);
    void Close() { m_file.close(); }
    // The send is complete: the record goes. True when no file is left.
    bool Remove();

private:
    QString m_path;
    QString m_key;
    QSet<QString> m_delivered;
    QList<TSentMessage> m_history;
    QFile m_file;
};
