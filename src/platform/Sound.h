#pragma once
// Wave sounds, played asynchronously by file name. Playing never blocks, and every failure
// (missing file, no audio device, a sound still busy) is ignored.
#include <QHash>
#include <QObject>
#include <QString>

class QSoundEffect;

class TSoundPlayer : public QObject
{
    Q_OBJECT
public:
    explicit TSoundPlayer(QObject* parent = nullptr);
    // Looks the file up among the resources (ResourcePath) and plays it.
    void Play(const QString& fileName);
    // Off when $QUORVEL_NO_SOUND is set (tests) or the platform has no audio.
    bool Enabled() const { return m_enabled; }
    void SetEnabled(bool on) { m_enabled = on; }
    // The files played so far, in order (for checking which sound an action plays).
    const QStringList& History() const { return m_history; }
    void ClearHistory() { m_history.clear(); }

private:
    bool m_enabled;
    QHash<QString, QSoundEffect*> m_effects;
    QStringList m_history;
};
