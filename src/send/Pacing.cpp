#include "send/Pacing.h"

#include <QDateTime>
#include <QSaveFile>
#include <QTextStream>

#include <algorithm>

namespace {
const QByteArray kTitle = "Quorvel send record";
const QByteArray kNewsletter = "Newsletter: ";
const QByteArray kSent = "Sent: ";
const QByteArray kDelivered = "Delivered: ";
} // namespace

qint64 TPacing::NowMs() const
{
    return Now ? Now() : QDateTime::currentMSecsSinceEpoch();
}

TPaceStep TPacer::Next(qint64 now, int wanted) const
{
    const TSendLimits& l = m_pacing.Limits;
    TPaceStep step;
    step.Recipients = wanted;
    if (l.MaxRecipientsPerMessage > 0)
        step.Recipients = std::min(step.Recipients, l.MaxRecipientsPerMessage);
    if (l.MaxMessagesPerHour > 0) {
        // A sliding hour: the oldest of the last MaxMessagesPerHour messages must leave it.
        QList<qint64> inHour;
        for (const TSentMessage& m : m_history)
            if (m.At > now - m_pacing.HourMs())
                inHour << m.At;
        if (inHour.size() >= l.MaxMessagesPerHour) {
            std::sort(inHour.begin(), inHour.end());
            const qint64 free = inHour[inHour.size() - l.MaxMessagesPerHour] + m_pacing.HourMs();
            step.WaitMs = free - now;
            step.Limit = TPaceLimit::Hourly;
        }
    }
    if (l.MaxRecipientsPerDay > 0) {
        QList<TSentMessage> inDay;
        int used = 0;
        for (const TSentMessage& m : m_history)
            if (m.At > now - m_pacing.DayMs()) {
                inDay << m;
                used += m.Recipients;
            }
        if (used < l.MaxRecipientsPerDay) {
            step.Recipients = std::min(step.Recipients, l.MaxRecipientsPerDay - used);
        } else {
            // Wait until enough of the day's recipients have left the window for one more.
            std::sort(inDay.begin(), inDay.end(), [](const TSentMessage& a, const TSentMessage& b) { return a.At < b.At; });
            qint64 free = now;
            for (const TSentMessage& m : std::as_const(inDay)) {
                used -= m.Recipients;
                free = m.At + m_pacing.DayMs();
                if (used < l.MaxRecipientsPerDay)
                    break;
            }
            if (free - now > step.WaitMs) {
                step.WaitMs = free - now;
                step.Limit = TPaceLimit::Daily;
            }
        }
    }
    if (step.WaitMs > 0)
        step.Recipients = 0;
    else
        step.WaitMs = 0;
    return step;
}

void TPacer::Sent(qint64 now, int recipients)
{
    m_history.append({now, recipients});
    // Only the last day counts for any limit.
    const qint64 horizon = now - m_pacing.DayMs();
    m_history.erase(std::remove_if(m_history.begin(), m_history.end(), [horizon](const TSentMessage& m) { return m.At <= horizon; }),
                    m_history.end());
}

QString TPacer::WaitText(const TPaceStep& step, qint64 leftMs, int sent, int total) const
{
    const qint64 minutes = std::max<qint64>(1, (leftMs + m_pacing.MinuteMs - 1) / m_pacing.MinuteMs);
    return QStringLiteral("Waiting %1 min for the server's %2 limit (%3 of %4 sent)")
        .arg(minutes)
        .arg(step.Limit == TPaceLimit::Daily ? QStringLiteral("daily") : QStringLiteral("hourly"))
        .arg(sent)
        .arg(total);
}

bool TSendRecord::Load(const QString& path, const QString& key, QString* error)
{
    m_path = path;
    m_key = key;
    m_delivered.clear();
    m_history.clear();
    QFile f(path);
    if (!f.exists())
        return true;
    if (!f.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QStringLiteral("Cannot read the send record \"%1\": %2").arg(path, f.errorString());
        return false;
    }
    bool same = false;
    bool first = true;
    while (!f.atEnd()) {
        const QByteArray line = f.readLine().trimmed();
        if (first) {
            first = false;
            if (line != kTitle) {
                if (error)
                    *error = QStringLiteral("\"%1\" is no send record").arg(path);
                return false;
            }
        } else if (line.startsWith(kNewsletter)) {
            same = QString::fromUtf8(line.mid(kNewsletter.size())) == key;
        } else if (line.startsWith(kSent)) {
            const QList<QByteArray> parts = line.mid(kSent.size()).split(' ');
            bool okAt = false;
            bool okN = false;
            const qint64 at = parts.value(0).toLongLong(&okAt);
            const int n = parts.value(1).toInt(&okN);
            if (okAt && okN)
                m_history.append({at, n});
        } else if (line.startsWith(kDelivered) && same) {
            m_delivered.insert(QString::fromUtf8(line.mid(kDelivered.size())).toLower());
        }
    }
    return true;
}

bool TSendRecord::Open(qint64 now, qint64 keepMs, QString* error)
{
    // Written whole first (a crash leaves the old record or the new one), then appended to.
    QSaveFile out(m_path);
    QByteArray text = kTitle + "\r\n" + kNewsletter + m_key.toUtf8() + "\r\n";
    for (const TSentMessage& m : std::as_const(m_history))
        if (m.At > now - keepMs)
            text += kSent + QByteArray::number(m.At) + ' ' + QByteArray::number(m.Recipients) + "\r\n";
    for (const QString& a : std::as_const(m_delivered))
        text += kDelivered + a.toUtf8() + "\r\n";
    if (!out.open(QIODevice::WriteOnly) || out.write(text) != text.size() || !out.commit()) {
        if (error)
            *error = QStringLiteral("Cannot write the send record \"%1\": %2").arg(m_path, out.errorString());
        return false;
    }
    m_file.setFileName(m_path);
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Append)) {
        if (error)
            *error = QStringLiteral("Cannot write the send record \"%1\": %2").arg(m_path, m_file.errorString());
        return false;
    }
    return true;
}

bool TSendRecord::Append(qint64 at, const QStringList& delivered, QString* error)
{
    QByteArray text = kSent + QByteArray::number(at) + ' ' + QByteArray::number(delivered.size()) + "\r\n";
    for (const QString& a : delivered) {
        text += kDelivered + a.toUtf8() + "\r\n";
        m_delivered.insert(a.toLower());
    }
    m_history.append({at, int(delivered.size())});
    if (m_file.write(text) != text.size() || !m_file.flush()) {
        if (error)
            *error = QStringLiteral("Cannot write the send record \"%1\": %2").arg(m_path, m_file.errorString());
        return false;
    }
    return true;
}

bool TSendRecord::Remove()
{
    m_file.close();
    return QFile::remove(m_path) || !QFile::exists(m_path);
}
