#pragma once
// One copy of the program per user session. The first copy holds a lock file named after the
// program file and listens on a local socket beside it; a second copy finds the lock held,
// tells the first copy (which restores or raises its window) and ends. A copy that crashed
// leaves a stale lock and socket behind; the next start detects them and takes them over.
#include <QObject>
#include <QPointer>
#include <QString>
#include <memory>

class QLocalServer;
class QLockFile;
class QWidget;

namespace justone {
// The guard's name from the program file: the name without its folder, cut at its first dot,
// every character after the first in lower case ("/opt/NEWS.EXE" gives "News").
QString InstanceName(const QString& programFile);
// Where the lock and the socket live: the user's runtime folder; the name is qualified by
// the display, so sessions on different displays do not meet.
QString BasePath(const QString& name);
} // namespace justone

// The probe, made once when the program starts, before any window exists.
class TPreviousInstance
{
public:
    // `name` empty: from the running program file.
    explicit TPreviousInstance(const QString& name = QString());
    ~TPreviousInstance();
    TPreviousInstance(const TPreviousInstance&) = delete;
    TPreviousInstance& operator=(const TPreviousInstance&) = delete;

    // Another copy already holds the name.
    bool Found() const { return m_found; }
    QString Name() const { return m_name; }
    QString SocketPath() const;
    // The first copy's listening socket; null in a second copy (or when listening failed).
    QLocalServer* Server() const { return m_server.get(); }

private:
    QString m_name;
    bool m_found = false;
    std::unique_ptr<QLockFile> m_lock;
    std::unique_ptr<QLocalServer> m_server;
};

class TJustOne32 : public QObject
{
    Q_OBJECT
public:
    explicit TJustOne32(TPreviousInstance& probe, QObject* parent = nullptr);

    // First copy: the window a later start brings forward (a request that came before the
    // window existed is served now).
    void SetWindow(QWidget* window);

    // Second copy: asks the first copy to bring its window forward. Returns whether it
    // answered within `timeoutMs`; the second copy ends either way.
    bool HandOver(int timeoutMs = 3000);

    // Restores the window when minimised, else brings it to the top. Returns whether it was
    // restored.
    static bool BringForward(QWidget* window);

signals:
    void BroughtForward(bool restored);

private:
    void ServeConnection();

    TPreviousInstance& m_probe;
    QPointer<QWidget> m_window;
    bool m_pending = false;
};
