#include "guide/JustOne.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>
#include <QThread>
#include <QWidget>

#include <unistd.h>

namespace {
const QByteArray kRequest = "raise\n";
const QByteArray kAnswer = "ok\n";

QString Sanitised(const QString& text)
{
    QString out;
    for (const QChar c : text)
        out += (c.isLetterOrNumber() || c == u'.' || c == u'-' || c == u'_') ? c : u'_';
    return out;
}
} // namespace

namespace justone {

QString InstanceName(const QString& programFile)
{
    QString name = QFileInfo(programFile).fileName();
    const qsizetype dot = name.indexOf(u'.');
    if (dot >= 0)
        name.truncate(dot);
    if (name.size() > 1)
        name = name.left(1) + name.mid(1).toLower();
    return name;
}

QString BasePath(const QString& name)
{
    QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty())
        dir = QDir::tempPath() + QStringLiteral("/quorvel-") + QString::number(::getuid());
    QString display = qEnvironmentVariable("WAYLAND_DISPLAY");
    if (display.isEmpty())
        display = qEnvironmentVariable("DISPLAY");
    QString base = dir + u'/' + name;
    if (!display.isEmpty())
        base += u'-' + Sanitised(display);
    return base;
}

} // namespace justone

TPreviousInstance::TPreviousInstance(const QString& name)
    : m_name(name.isEmpty() ? justone::InstanceName(QCoreApplication::applicationFilePath()) : name)
{
    // A program file whose name starts with a dot gives no name, and an unnamed guard
    // sees no other copy.
    if (m_name.isEmpty())
        return;
    const QString base = justone::BasePath(m_name);
    QDir().mkpath(QFileInfo(base).path());
    m_lock = std::make_unique<QLockFile>(base + QStringLiteral(".lock"));
    // Only a dead owner makes the lock stale, however long the first copy has been running.
    m_lock->setStaleLockTime(0);
    if (!m_lock->tryLock(0)) {
        // Held by a live copy: found. Any other failure (no folder, no permission) counts
        // as no other copy, so the program still starts.
        m_found = m_lock->error() == QLockFile::LockFailedError;
        m_lock.reset();
        return;
    }
    // The name is ours: a socket left behind by a copy that crashed is replaced.
    QLocalServer::removeServer(SocketPath());
    m_server = std::make_unique<QLocalServer>();
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(SocketPath()))
        m_server.reset();
}

TPreviousInstance::~TPreviousInstance()
{
    if (m_server)
        m_server->close();
    m_server.reset();
    if (m_lock)
        m_lock->unlock();
}

QString TPreviousInstance::SocketPath() const
{
    return justone::BasePath(m_name) + QStringLiteral(".socket");
}

TJustOne32::TJustOne32(TPreviousInstance& probe, QObject* parent) : QObject(parent), m_probe(probe)
{
    setObjectName(QStringLiteral("JustOne321"));
    if (QLocalServer* server = m_probe.Server())
        connect(server, &QLocalServer::newConnection, this, &TJustOne32::ServeConnection);
}

void TJustOne32::SetWindow(QWidget* window)
{
    m_window = window;
    if (m_pending && m_window) {
        m_pending = false;
        emit BroughtForward(BringForward(m_window));
    }
}

void TJustOne32::ServeConnection()
{
    QLocalServer* server = m_probe.Server();
    while (QLocalSocket* socket = server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        auto serve = [this, socket] {
            if (!socket->canReadLine())
                return;
            const QByteArray line = socket->readLine();
            if (line == kRequest) {
                if (m_window)
                    emit BroughtForward(BringForward(m_window));
                else
                    m_pending = true;
            }
            socket->write(kAnswer);
            socket->flush();
            socket->disconnectFromServer();
        };
        connect(socket, &QLocalSocket::readyRead, this, serve);
        serve();
    }
}

bool TJustOne32::HandOver(int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    QLocalSocket socket;
    // The first copy may have taken the lock but not be listening yet: try again briefly.
    for (;;) {
        socket.connectToServer(m_probe.SocketPath());
        if (socket.waitForConnected(int(qMax<qint64>(1, deadline.remainingTime()))))
            break;
        if (deadline.hasExpired())
            return false;
        QThread::msleep(50);
    }
    socket.write(kRequest);
    if (!socket.waitForBytesWritten(int(qMax<qint64>(1, deadline.remainingTime()))))
        return false;
    while (!socket.canReadLine()) {
        if (deadline.hasExpired() || !socket.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime()))))
            return false;
    }
    return socket.readLine() == kAnswer;
}

bool TJustOne32::BringForward(QWidget* window)
{
    if (!window)
        return false;
    const bool minimised = window->isMinimized();
    if (minimised)
        window->setWindowState((window->windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    window->show();
    window->raise();
    window->activateWindow();
    return minimised;
}
