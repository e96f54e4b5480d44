#include "net/WSocket.h"

#include "net/Countdown.h"

#include "net/NetLog.h"
#include "net/ServerSettings.h"
#include "net/TlsSession.h"
#include "net/Wait.h"
#include "platform/Cp1252.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QHostInfo>
#include <QScopeGuard>
#include <QSocketNotifier>
#include <QTimer>

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/tcp.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

namespace {

constexpr int kRxCapacity = 64 * 1024;
constexpr int kMaxLine = 254;
constexpr int kMaxIov = 256;

const QEvent::Type SocketEventType = QEvent::Type(QEvent::User + 1025);

// A socket notification posted to ourselves (the write-ready after a Send that emptied the
// queue, and a close seen while received bytes were still unread).
class TSocketEvent : public QEvent
{
public:
    TSocketEvent(TSocket fd, quint64 generation, int bits, int error)
        : QEvent(SocketEventType), fd(fd), generation(generation), bits(bits), error(error)
    {
    }
    TSocket fd;
    quint64 generation;
    int bits;
    int error;
};

bool SetNonBlocking(int fd)
{
    const int flags = fcntl(fd, F_GETFL, 0);
    return flags >= 0 && fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
}

} // namespace

// ---------------------------------------------------------------------------------------------

TCustomWait* TCustomWSocket::WaitCtrl() const
{
    return m_waitCtrl;
}

void TCustomWSocket::SetWaitCtrl(TCustomWait* wait)
{
    m_waitCtrl = wait;
}

TCustomWSocket::TCustomWSocket(QObject* owner) : QObject(owner), m_rx(new char[kRxCapacity])
{
    m_line.reserve(kMaxLine + 2);
    ResetDefaults();
}

TCustomWSocket::~TCustomWSocket()
{
    m_destroying = true;
    CancelDnsLookup();
    if (m_state != wsClosed) {
        try {
            Close();
        } catch (const ESocketException&) {
        }
    }
    if (m_hSocket != INVALID_SOCKET) {
        DropNotifiers();
        ::close(m_hSocket);
    }
    for (TCountdown* w : std::as_const(m_waiters))
        w->End();
}

void TCustomWSocket::ResetDefaults()
{
    std::memset(&m_sin, 0, sizeof m_sin);
    m_sin.sin_family = AF_INET;
    m_portAssigned = false;
    m_addrAssigned = false;
    m_protoAssigned = true;
    m_protoStr = QStringLiteral("tcp");
    m_proto = IPPROTO_TCP;
    m_type = 1;
    m_lingerOnOff = wsLingerOn;
    m_lingerTimeout = 0;
    m_hSocket = INVALID_SOCKET;
    m_state = wsClosed;
    m_awaitedState = wsInvalidState;
    m_allSent = true;
    m_line.clear();
    m_lineMode = false;
    m_lineEnded = false;
    m_paused = false;
    m_readCount = 0;
    m_closeNotified = false;
    m_flushTimeout = 60;
    // Bytes of an earlier connection never reach the next one.
    m_sendQueue.clear();
    m_rxBegin = m_rxEnd = 0;
    m_wantWrite = false;
    m_readDelivered = false;
    m_peerClosed = false;
    m_closePosted = false;
    m_selectMask = 0;
    m_tls.reset();
}

void TCustomWSocket::BeginConnection(TSocket fd)
{
    // Every connection starts from its defaults, even when the last one ended without the
    // close routine (a handler that reconnects from OnSessionClosed, a reset reported as error).
    m_hSocket = fd;
    ++m_generation;
    m_sendQueue.clear();
    m_allSent = true;
    m_line.resize(0);
    m_lineMode = false;
    m_lineEnded = false;
    m_readCount = 0;
    m_closeNotified = false;
    m_rxBegin = m_rxEnd = 0;
    m_wantWrite = m_readDelivered = m_peerClosed = m_closePosted = false;
    m_tls.reset();
}

// --- properties ----------------------------------------------------------------------------

TSocketSendFlags TCustomWSocket::SendFlags()
{
    switch (m_sendFlags) {
    case 0: return wsSendNormal;
    case 1: return wsSendUrgent;
    default:
        RaiseSocketException(QStringLiteral("Invalid internal SendFlags"));
        return wsSendNormal;
    }
}

void TCustomWSocket::SetSendFlags(TSocketSendFlags flags)
{
    switch (flags) {
    case wsSendNormal: m_sendFlags = 0; break;
    case wsSendUrgent: m_sendFlags = 1; break;
    default: RaiseSocketException(QStringLiteral("Invalid SendFlags"));
    }
}

qint64 TCustomWSocket::SendQueueBytes() const
{
    qint64 n = 0;
    for (const auto& b : m_sendQueue)
        n += b->Unread();
    return n;
}

int TCustomWSocket::RcvdCount()
{
    bool failed = false;
    const int n = BytesWaiting(&failed);
    return failed ? -1 : n;
}

int TCustomWSocket::BytesWaiting(bool* failed)
{
    if (failed)
        *failed = false;
    if (m_hSocket == INVALID_SOCKET) {
        if (failed)
            *failed = true;
        return 0;
    }
    int n = 0;
    if (ioctl(m_hSocket, FIONREAD, &n) != 0) {
        m_lastError = wsa::FromErrno(errno);
        if (failed)
            *failed = true;
        return 0;
    }
    return int(std::min<qint64>(INT_MAX, qint64(n) + RxUnread()));
}

// --- errors --------------------------------------------------------------------------------

void TCustomWSocket::RaiseSocketException(const QString& text)
{
    if (OnError) {
        TriggerError();
        return;
    }
    throw ESocketException(text);
}

void TCustomWSocket::SocketError(const QString& function)
{
    const int code = m_platformError;
    const QString msg = QStringLiteral("Error ") + QString::number(code) + QStringLiteral(" in function ")
        + function + QStringLiteral("\r\n") + SocketErrorText(code);
    if ((code == wsa::ECONNRESET_ || code == wsa::ENOTCONN_) && m_hSocket != INVALID_SOCKET) {
        DropNotifiers();
        ::close(m_hSocket);
        m_hSocket = INVALID_SOCKET;
        ChangeState(wsClosed);
    }
    RaiseSocketException(msg);
}

// --- triggers ------------------------------------------------------------------------------

void TCustomWSocket::TriggerDataAvailable(quint16 error)
{
    if (OnDataAvailable)
        OnDataAvailable(this, error);
}
void TCustomWSocket::TriggerSessionAvailable(quint16 error)
{
    if (OnSessionAvailable)
        OnSessionAvailable(this, error);
}
void TCustomWSocket::TriggerSessionConnected(quint16 error)
{
    if (OnSessionConnected)
        OnSessionConnected(this, error);
}
void TCustomWSocket::TriggerSessionClosed(quint16 error)
{
    if (OnSessionClosed)
        OnSessionClosed(this, error);
}
void TCustomWSocket::TriggerDataSent(quint16 error)
{
    if (OnDataSent)
        OnDataSent(this, error);
}
void TCustomWSocket::TriggerChangeState(TSocketState oldState, TSocketState newState)
{
    if (OnChangeState)
        OnChangeState(this, oldState, newState);
}
void TCustomWSocket::TriggerDnsLookupDone(quint16 error)
{
    if (OnDnsLookupDone)
        OnDnsLookupDone(this, error);
}
void TCustomWSocket::TriggerError()
{
    if (OnError)
        OnError(this);
}

void TCustomWSocket::ChangeState(TSocketState newState)
{
    const TSocketState old = m_state;
    m_state = newState;
    UpdateNotifiers();
    TriggerChangeState(old, newState);
    if (!m_multiThreaded && m_waitCtrl && m_awaitedState != wsInvalidState
        && (newState == m_awaitedState || (m_awaitedState == wsConnected && newState == wsClosed)))
        m_waitCtrl->StopFor(this);
    WakeWaiters();
}

// --- watching the platform socket ----------------------------------------------------------

void TCustomWSocket::UpdateNotifiers()
{
    const bool usable = m_hSocket != INVALID_SOCKET && !m_paused;
    const bool wantRead = usable && (m_selectMask & (FD_READ_ | FD_ACCEPT_ | FD_CLOSE_))
        && (m_state == wsConnected || m_state == wsListening) && !m_readDelivered && !m_peerClosed;
    const bool wantWrite = usable
        && ((m_state == wsConnecting && (m_selectMask & FD_CONNECT_))
            || (m_state == wsConnected && m_wantWrite && (m_selectMask & FD_WRITE_)));
    if (wantRead != m_readArmed) {
        if (!m_readNotifier) {
            m_readNotifier = new QSocketNotifier(m_hSocket, QSocketNotifier::Read, this);
            connect(m_readNotifier, &QSocketNotifier::activated, this, &TCustomWSocket::OnReadReady);
        }
        m_readNotifier->setEnabled(wantRead);
        m_readArmed = wantRead;
    }
    if (wantWrite != m_writeArmed) {
        if (!m_writeNotifier) {
            m_writeNotifier = new QSocketNotifier(m_hSocket, QSocketNotifier::Write, this);
            connect(m_writeNotifier, &QSocketNotifier::activated, this, &TCustomWSocket::OnWriteReady);
        }
        m_writeNotifier->setEnabled(wantWrite);
        m_writeArmed = wantWrite;
    }
}

void TCustomWSocket::DropNotifiers()
{
    // The notifier may be the one whose signal is running: let the event loop delete it.
    for (QSocketNotifier** n : {&m_readNotifier, &m_writeNotifier}) {
        if (*n) {
            (*n)->setEnabled(false);
            (*n)->disconnect(this);
            (*n)->deleteLater();
            *n = nullptr;
        }
    }
    m_readArmed = m_writeArmed = false;
}

void TCustomWSocket::SelectEvents(int mask)
{
    m_selectMask = mask;
    UpdateNotifiers();
}

void TCustomWSocket::OnReadReady()
{
    try {
        if (m_hSocket == INVALID_SOCKET || m_paused)
            return;
        if (m_state == wsListening) {
            m_readDelivered = true; // until Accept takes the connection
            UpdateNotifiers();
            HandleSocketEvent(FD_ACCEPT_, 0);
            return;
        }
        if (m_type == 2) {
            m_readDelivered = true;
            UpdateNotifiers();
            HandleSocketEvent(FD_READ_, 0);
            return;
        }
        if (m_lineMode) {
            // A line is awaited: the line reader takes what is there and sees an end of
            // stream or a reset itself, so the count need not be asked first.
            m_readDelivered = true;
            UpdateNotifiers();
            HandleSocketEvent(FD_READ_, 0);
            return;
        }
        int n = 0;
        if (ioctl(m_hSocket, FIONREAD, &n) == 0 && n > 0) {
            // Like the message model: one read event, then none until someone receives.
            m_readDelivered = true;
            UpdateNotifiers();
            HandleSocketEvent(FD_READ_, 0);
            return;
        }
        char c;
        const ssize_t r = ::recv(m_hSocket, &c, 1, MSG_PEEK | MSG_DONTWAIT);
        if (r > 0) {
            m_readDelivered = true;
            UpdateNotifiers();
            HandleSocketEvent(FD_READ_, 0);
            return;
        }
        int error = 0;
        if (r < 0) {
            if (errno == EAGAIN || errno == EINTR)
                return;
            error = wsa::FromErrno(errno);
        }
        m_peerClosed = true;
        UpdateNotifiers();
        if (RxUnread() == 0 || error != 0) {
            m_closePosted = true;
            HandleSocketEvent(FD_CLOSE_, error);
        }
        // Otherwise the close follows once the bytes already taken in have been read.
    } catch (const ESocketException& e) {
        qWarning("%s", e.what());
    }
}

void TCustomWSocket::OnWriteReady()
{
    try {
        m_wantWrite = false;
        if (m_writeNotifier)
            m_writeNotifier->setEnabled(false);
        m_writeArmed = false;
        if (m_hSocket == INVALID_SOCKET || m_paused)
            return;
        if (m_state == wsConnecting) {
            int err = 0;
            socklen_t len = sizeof err;
            if (getsockopt(m_hSocket, SOL_SOCKET, SO_ERROR, &err, &len) != 0)
                err = errno;
            const int code = wsa::FromErrno(err);
            HandleSocketEvent(code == 0 ? (FD_CONNECT_ | FD_WRITE_) : FD_CONNECT_, code);
            return;
        }
        HandleSocketEvent(FD_WRITE_, 0);
    } catch (const ESocketException& e) {
        qWarning("%s", e.what());
    }
}

void TCustomWSocket::PostEvent(int bits, int error)
{
    QCoreApplication::postEvent(this, new TSocketEvent(m_hSocket, m_generation, bits, error));
}

void TCustomWSocket::customEvent(QEvent* event)
{
    if (event->type() != SocketEventType)
        return;
    const auto* e = static_cast<TSocketEvent*>(event);
    if (e->fd != m_hSocket || e->generation != m_generation || m_hSocket == INVALID_SOCKET || m_paused)
        return;
    try {
        HandleSocketEvent(e->bits, e->error);
    } catch (const ESocketException& ex) {
        qWarning("%s", ex.what());
    }
}

void TCustomWSocket::HandleSocketEvent(int bits, int error)
{
    const TSocket fd = m_hSocket;
    const quint64 gen = m_generation;
    auto same = [&] { return m_hSocket == fd && m_generation == gen; };
    if (bits & FD_CONNECT_) {
        ChangeState(wsConnected);
        TriggerSessionConnected(quint16(error));
        if (error != 0 && m_state != wsClosed)
            Close();
    }
    if ((bits & FD_READ_) && same())
        HandleRead();
    if ((bits & FD_WRITE_) && same()) {
        TryToSend();
        if (m_allSent && OnDataSent)
            TriggerDataSent(quint16(error));
    }
    if ((bits & FD_ACCEPT_) && same())
        TriggerSessionAvailable(quint16(error));
    if ((bits & FD_CLOSE_) && same() && m_state != wsConnecting) {
        HandleRead();
        if (!same())
            return; // draining ended the connection (and reported it)
        if (m_lineMode) {
            m_lineMode = false;
            StopWait();
        }
        if (OnSessionClosed && !m_closeNotified) {
            m_closeNotified = true;
            TriggerSessionClosed(quint16(error));
        }
        if (m_state != wsClosed && same())
            Close();
    }
}

void TCustomWSocket::HandleRead()
{
    int before = -1;
    for (;;) {
        m_lastError = 0;
        if (m_lineMode) {
            TryToReadLine();
        } else {
            if (!OnDataAvailable)
                break; // the bytes stay until someone reads them
            TriggerDataAvailable(0);
        }
        if (m_lastError != 0 || m_hSocket == INVALID_SOCKET)
            break;
        if (!m_lineMode && !OnDataAvailable)
            break; // nobody would take more now
        bool failed = false;
        const int waiting = BytesWaiting(&failed);
        if (failed || waiting == 0)
            break;
        if (!m_lineMode && waiting == before)
            break; // the handler took nothing: wait for the next notification
        before = waiting;
    }
}

void TCustomWSocket::ConsumedRx()
{
    if (m_rxBegin == m_rxEnd)
        m_rxBegin = m_rxEnd = 0;
    if (m_peerClosed && !m_closePosted && m_rxBegin == m_rxEnd && m_hSocket != INVALID_SOCKET) {
        m_closePosted = true;
        PostEvent(FD_CLOSE_, 0);
    }
}

// --- connecting ----------------------------------------------------------------------------

void TCustomWSocket::SetLingerOption()
{
    if (m_lingerOnOff == wsLingerNoSet)
        return;
    if (m_hSocket == INVALID_SOCKET) {
        RaiseSocketException(QStringLiteral("Cannot set linger option at this time"));
        return;
    }
    linger l {};
    l.l_onoff = m_lingerOnOff == wsLingerOn ? 1 : 0;
    l.l_linger = m_lingerTimeout;
    if (setsockopt(m_hSocket, SOL_SOCKET, SO_LINGER, &l, sizeof l) != 0) {
        SetPlatformError(wsa::FromErrno(errno));
        SocketError(QStringLiteral("setsockopt(SO_LINGER)"));
    }
}

void TCustomWSocket::BindSocket()
{
    sockaddr_in local {};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    local.sin_port = 0;
    if (::bind(m_hSocket, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
        RaiseSocketExceptionFmt("winsock.bind failed, error #%d", wsa::FromErrno(errno));
        return;
    }
    socklen_t len = sizeof local;
    if (getsockname(m_hSocket, reinterpret_cast<sockaddr*>(&local), &len) != 0) {
        RaiseSocketExceptionFmt("winsock.getsockname failed, error #%d", wsa::FromErrno(errno));
        return;
    }
    m_localPortNum = ntohs(local.sin_port);
}

void TCustomWSocket::Connect()
{
    if (m_hSocket != INVALID_SOCKET && m_state != wsClosed) {
        RaiseSocketException(QStringLiteral("Connect: Socket already in use"));
        return;
    }
    if (!m_portAssigned) {
        RaiseSocketException(QStringLiteral("Connect: No Port Specified"));
        return;
    }
    if (!m_addrAssigned) {
        RaiseSocketException(QStringLiteral("Connect: No IP Address Specified"));
        return;
    }
    if (!m_protoAssigned) {
        RaiseSocketException(QStringLiteral("Connect: No Protocol Specified"));
        return;
    }
    const int fd = ::socket(AF_INET, (m_type == 2 ? SOCK_DGRAM : SOCK_STREAM) | SOCK_NONBLOCK | SOCK_CLOEXEC, m_proto);
    if (fd < 0) {
        SetPlatformError(wsa::FromErrno(errno));
        SocketError(QStringLiteral("Connect (socket)"));
        return;
    }
    BeginConnection(fd);
    ChangeState(wsOpened);
    const int on = 1;
    if (m_type == 1) {
        SetLingerOption();
        if (setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on) != 0) {
            SetPlatformError(wsa::FromErrno(errno));
            SocketError(QStringLiteral("setsockopt(SO_KEEPALIVE)"));
            return;
        }
        if (setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0) {
            SetPlatformError(wsa::FromErrno(errno));
            SocketError(QStringLiteral("setsockopt(SO_REUSEADDR)"));
            return;
        }
        // Callers hand over whole commands or large chunks; holding back a small last segment
        // until the previous one is acknowledged only adds a delayed-ACK wait to each exchange.
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    } else {
        BindSocket();
        if (m_sin.sin_addr.s_addr == INADDR_BROADCAST
            && setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0) {
            SetPlatformError(wsa::FromErrno(errno));
            SocketError(QStringLiteral("setsockopt(SO_BROADCAST)"));
            return;
        }
    }
    SelectEvents(FD_READ_ | FD_WRITE_ | FD_ACCEPT_ | FD_CONNECT_ | FD_CLOSE_);
    if (m_type == 2) {
        ChangeState(wsConnected);
        TriggerSessionConnected(0);
        return;
    }
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&m_sin), sizeof m_sin) == 0 || errno == EINPROGRESS) {
        // The outcome arrives as a connect event.
        ChangeState(wsConnecting);
        return;
    }
    const int code = wsa::FromErrno(errno);
    m_lastError = code;
    SetPlatformError(code);
    // A connection that never started leaves the socket free for the next attempt; there was
    // no session, so no session-closed event either.
    m_closeNotified = true;
    DoClose(false);
    SocketError(QStringLiteral("Connect"));
}

int TCustomWSocket::Listen()
{
    if (!m_portAssigned) {
        SetPlatformError(wsa::EINVAL_);
        SocketError(QStringLiteral("listen: port not assigned"));
        return -1;
    }
    if (!m_protoAssigned) {
        SetPlatformError(wsa::EINVAL_);
        SocketError(QStringLiteral("listen: protocol not assigned"));
        return -1;
    }
    if (!m_addrAssigned) {
        SetPlatformError(wsa::EINVAL_);
        SocketError(QStringLiteral("listen: address not assigned"));
        return -1;
    }
    const int fd = ::socket(AF_INET, (m_type == 2 ? SOCK_DGRAM : SOCK_STREAM) | SOCK_NONBLOCK | SOCK_CLOEXEC, m_proto);
    if (fd < 0) {
        SetPlatformError(wsa::FromErrno(errno));
        SocketError(QStringLiteral("socket"));
        return -1;
    }
    BeginConnection(fd);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&m_sin), sizeof m_sin) != 0) {
        SetPlatformError(wsa::FromErrno(errno));
        m_closeNotified = true;
        DoClose(false);
        SocketError(QStringLiteral("Bind"));
        return -1;
    }
    ChangeState(wsBound);
    if (m_type == 2) {
        ChangeState(wsListening);
        ChangeState(wsConnected);
        TriggerSessionConnected(0);
    } else {
        if (::listen(fd, 5) != 0) {
            SetPlatformError(wsa::FromErrno(errno));
            SocketError(QStringLiteral("Listen"));
            return -1;
        }
        ChangeState(wsListening);
    }
    SelectEvents(FD_READ_ | FD_WRITE_ | FD_ACCEPT_ | FD_CLOSE_);
    return 0;
}

TSocket TCustomWSocket::Accept()
{
    if (m_state != wsListening) {
        SetPlatformError(wsa::EINVAL_);
        SocketError(QStringLiteral("not a listening socket"));
        return -1;
    }
    const int fd = ::accept4(m_hSocket, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    m_readDelivered = false;
    UpdateNotifiers();
    if (fd < 0) {
        SetPlatformError(wsa::FromErrno(errno));
        SocketError(QStringLiteral("Accept"));
        return -1;
    }
    m_acceptedHandle = fd;
    return fd;
}

void TCustomWSocket::Dup(TSocket newHSocket)
{
    if (newHSocket == 0 || newHSocket == INVALID_SOCKET) {
        SetPlatformError(wsa::EINVAL_);
        SocketError(QStringLiteral("Dup"));
        return;
    }
    if (m_hSocket != INVALID_SOCKET && m_state != wsClosed) {
        DropNotifiers();
        if (::close(m_hSocket) != 0) {
            SetPlatformError(wsa::FromErrno(errno));
            SocketError(QStringLiteral("Dup (closesocket)"));
            return;
        }
        m_hSocket = INVALID_SOCKET;
        ChangeState(wsClosed);
    }
    BeginConnection(newHSocket);
    SetNonBlocking(newHSocket);
    SetLingerOption();
    SelectEvents(FD_READ_ | FD_WRITE_ | FD_CONNECT_ | FD_CLOSE_);
    ChangeState(wsConnected);
}

// --- sending -------------------------------------------------------------------------------

int TCustomWSocket::Send(const void* data, int length)
{
    return SendBytes(static_cast<const char*>(data), length, nullptr);
}

int TCustomWSocket::SendBytes(const char* data, int length, const QByteArray* owner)
{
    if (m_state != wsConnected) {
        SetPlatformError(wsa::ENOTCONN_);
        SocketError(QStringLiteral("Send"));
        return -1;
    }
    const bool wasEmpty = m_allSent || SendQueueBytes() == 0;
    m_allSent = false;
    int result = 0;
    if (length > 0) {
        const char* p = data;
        int left = length;
        if (wasEmpty && m_type == 1 && m_hSocket != INVALID_SOCKET && !m_paused && !m_tls) {
            // Nothing queued before: what the system takes at once needs no copy.
            const ssize_t r = ::send(m_hSocket, p, size_t(left), MSG_NOSIGNAL | (m_sendFlags == 1 ? MSG_OOB : 0));
            if (r > 0) {
                p += r;
                left -= int(r);
            }
            // A failure is met again, and handled, by TryToSend below.
        }
        if (left > 0 && owner && left >= 64 * 1024) {
            // A large rest of a byte array is queued by sharing it rather than copying.
            m_sendQueue.push_back(std::make_unique<TBuffer>(*owner, int(p - owner->constData())));
            left = 0;
        }
        if (left > 0 && (m_sendQueue.empty() || m_sendQueue.back()->IsShared()))
            m_sendQueue.push_back(std::make_unique<TBuffer>(m_bufSize));
        while (left > 0) {
            const int n = m_sendQueue.back()->Write(p, left);
            p += n;
            left -= n;
            if (left > 0)
                m_sendQueue.push_back(std::make_unique<TBuffer>(m_bufSize));
        }
        result = length;
    }
    if (m_sendQueue.empty())
        m_sendQueue.push_back(std::make_unique<TBuffer>(m_bufSize));
    TryToSend();
    // OnDataSent comes from the event loop, never from inside Send. With nobody listening the
    // notification would only find the queue empty again, so it is not posted at all.
    if (m_allSent && m_hSocket != INVALID_SOCKET && OnDataSent)
        PostEvent(FD_WRITE_, 0);
    return result;
}

int TCustomWSocket::SendStr(const QByteArray& bytes)
{
    return SendBytes(bytes.constData(), int(bytes.size()), &bytes);
}

int TCustomWSocket::SendStr(const QString& text)
{
    return SendStr(cp1252::encode(text));
}

void TCustomWSocket::TryToSend()
{
    if (m_hSocket == INVALID_SOCKET || m_sendQueue.empty())
        return;
    const int flags = MSG_NOSIGNAL | (m_sendFlags == 1 ? MSG_OOB : 0);
    for (;;) {
        // Emptied blocks in front of others go; the last one stays for reuse (unless it was
        // borrowed from a caller's byte array).
        while (m_sendQueue.size() > 1 && m_sendQueue.front()->Unread() == 0)
            m_sendQueue.pop_front();
        if (m_sendQueue.front()->Unread() == 0) {
            if (m_sendQueue.front()->IsShared()) {
                m_sendQueue.pop_front();
                m_sendQueue.push_back(std::make_unique<TBuffer>(m_bufSize));
            }
            m_allSent = true;
            m_wantWrite = false;
            UpdateNotifiers();
            WakeWaiters();
            return;
        }
        ssize_t r;
        qint64 offered = 0;
        if (m_type == 2) {
            int len = 0;
            const char* p = m_sendQueue.front()->Peek(len);
            offered = len;
            r = ::sendto(m_hSocket, p, len, flags, reinterpret_cast<const sockaddr*>(&m_sin), sizeof m_sin);
        } else if (m_tls) {
            // One block per TLS write; a partial write leaves the rest in the block.
            int len = 0;
            const char* p = m_sendQueue.front()->Peek(len);
            TTlsSession::Status status;
            r = m_tls->Write(p, len, status);
            offered = r;
            if (r == 0) {
                r = -1;
                errno = (status == TTlsSession::Status::WantRead || status == TTlsSession::Status::WantWrite) ? EAGAIN
                                                                                                                : ECONNRESET;
            }
        } else {
            // Several blocks per system call: the same bytes in the same order, fewer calls.
            iovec iov[kMaxIov];
            int count = 0;
            for (const auto& b : m_sendQueue) {
                if (count == kMaxIov)
                    break;
                int len = 0;
                const char* p = b->Peek(len);
                if (len == 0)
                    continue;
                iov[count].iov_base = const_cast<char*>(p);
                iov[count].iov_len = size_t(len);
                offered += len;
                ++count;
            }
            msghdr msg {};
            msg.msg_iov = iov;
            msg.msg_iovlen = size_t(count);
            r = ::sendmsg(m_hSocket, &msg, flags);
        }
        if (r == 0)
            return;
        if (r > 0) {
            qint64 left = r;
            for (auto it = m_sendQueue.begin(); left > 0 && it != m_sendQueue.end(); ++it)
                left -= (*it)->Remove(int(std::min<qint64>(left, INT_MAX)));
            if (r < offered) {
                m_wantWrite = true;
                UpdateNotifiers();
                return;
            }
            continue;
        }
        const int code = wsa::FromErrno(errno);
        if (code == wsa::EWOULDBLOCK_ || errno == EINTR) {
            m_wantWrite = true;
            UpdateNotifiers();
            return;
        }
        m_lastError = code;
        if (code == wsa::ECONNRESET_ || code == wsa::ENOTSOCK_ || code == wsa::ENOTCONN_ || code == wsa::EINVAL_) {
            Close();
            return;
        }
        SetPlatformError(code);
        SocketError(QStringLiteral("TryToSend failed"));
        return;
    }
}

void TCustomWSocket::Flush()
{
    if (m_multiThreaded) {
        TryToSend();
        LocalWait([this] { return m_hSocket == INVALID_SOCKET || m_allSent; }, qint64(m_flushTimeout) * 1000);
        return;
    }
    QPointer<TCustomWait> w = m_waitCtrl;
    if (!w) {
        RaiseSocketException(QStringLiteral("No wait object assigned"));
        return;
    }
    w->SetCaption(QString::number(m_flushTimeout));
    w->SetVisible(true);
    w->Start();
    TryToSend();
    const auto c = connect(w.data(), &TCustomWait::waitEnded, this, &TCustomWSocket::WakeWaiters);
    LocalWait([this, w] { return !w || !w->Running() || m_hSocket == INVALID_SOCKET || m_allSent; },
              qint64(m_flushTimeout + 1) * 1000);
    disconnect(c);
    if (w) {
        w->Stop();
        w->SetVisible(false);
    }
}

void TCustomWSocket::WaitForClose()
{
    LocalWait([this] { return m_hSocket == INVALID_SOCKET || m_state == wsClosed; }, qint64(m_flushTimeout) * 1000);
}

// --- receiving -----------------------------------------------------------------------------

int TCustomWSocket::Receive(void* buffer, int size)
{
    int n;
    if (RxUnread() > 0 && size > 0) {
        n = int(std::min<qsizetype>(size, RxUnread()));
        std::memcpy(buffer, m_rx.get() + m_rxBegin, size_t(n));
        m_rxBegin += n;
        ConsumedRx();
    } else {
        const ssize_t r = RawReceive(static_cast<char*>(buffer), std::max(size, 0));
        if (m_hSocket != INVALID_SOCKET && m_readDelivered) {
            m_readDelivered = false;
            UpdateNotifiers();
        }
        if (r < 0) {
            m_lastError = wsa::FromErrno(errno);
            SetPlatformError(m_lastError);
            return -1;
        }
        n = int(r);
    }
    m_readCount += n;
    return n;
}

int TCustomWSocket::ReceiveFrom(void* buffer, int size, sockaddr_in& from, int& fromLen)
{
    socklen_t len = socklen_t(std::max(fromLen, 0));
    const ssize_t r = ::recvfrom(m_hSocket, buffer, size_t(std::max(size, 0)), 0, reinterpret_cast<sockaddr*>(&from), &len);
    if (m_hSocket != INVALID_SOCKET && m_readDelivered) {
        m_readDelivered = false;
        UpdateNotifiers();
    }
    if (r < 0) {
        m_lastError = wsa::FromErrno(errno);
        SetPlatformError(m_lastError);
        return -1;
    }
    fromLen = int(len);
    m_readCount += r;
    return int(r);
}

void TCustomWSocket::StopWait()
{
    if (!m_multiThreaded && m_waitCtrl)
        m_waitCtrl->StopFor(this);
    WakeWaiters();
}

ssize_t TCustomWSocket::RawReceive(char* buffer, int size)
{
    if (!m_tls)
        return ::recv(m_hSocket, buffer, size_t(size), 0);
    TTlsSession::Status status;
    const qsizetype n = m_tls->Read(buffer, size, status);
    if (n > 0)
        return ssize_t(n);
    switch (status) {
    case TTlsSession::Status::Closed:
        return 0;
    case TTlsSession::Status::WantRead:
    case TTlsSession::Status::WantWrite:
        errno = EAGAIN; // a record without application data (a session ticket): wait for more
        return -1;
    default:
        qCWarning(lcNet).noquote() << "TLS read failed:" << m_tls->ErrorText();
        errno = ECONNRESET;
        return -1;
    }
}

QString TCustomWSocket::TlsFingerprint() const
{
    return m_tls ? m_tls->PeerFingerprint() : QString();
}

bool TCustomWSocket::StartTls(const QString& host, const QString& trustedFingerprint, int timeoutSec, QString& error)
{
    error.clear();
    if (m_hSocket == INVALID_SOCKET || m_state != wsConnected) {
        error = QStringLiteral("TLS with '%1': not connected").arg(host);
        return false;
    }
    if (RxUnread() > 0) {
        // Whatever came after the reply that started TLS was sent in clear by someone.
        error = QStringLiteral("TLS with '%1' refused: data arrived before the handshake").arg(host);
        return false;
    }
    std::unique_ptr<TTlsSession> tls = TTlsSession::Create(int(m_hSocket), host, error);
    if (!tls)
        return false;
    // The handshake reads and writes the descriptor itself: the notifications rest meanwhile.
    m_readDelivered = true;
    UpdateNotifiers();
    const TSocket handle = m_hSocket;
    const quint64 generation = m_generation;
    QElapsedTimer clock;
    clock.start();
    TTlsSession::Status status;
    for (;;) {
        status = tls->Handshake();
        if (status == TTlsSession::Status::Ok)
            break;
        if (status == TTlsSession::Status::Closed || status == TTlsSession::Status::Failed) {
            error = QStringLiteral("TLS handshake with '%1' failed: %2").arg(host, tls->ErrorText());
            break;
        }
        const qint64 left = qint64(std::max(timeoutSec, 1)) * 1000 - clock.elapsed();
        if (left <= 0) {
            error = QStringLiteral("TLS handshake with '%1' timed out").arg(host);
            break;
        }
        // The descriptor's readiness ends the wait; the socket's own notifiers rest meanwhile.
        QSocketNotifier ready(handle, status == TTlsSession::Status::WantRead ? QSocketNotifier::Read
                                                                              : QSocketNotifier::Write);
        TCountdown wait(left, TCountdown::TInput::Held);
        connect(&ready, &QSocketNotifier::activated, &ready, [&wait] { wait.End(); });
        m_waiters.append(&wait);
        wait.Run();
        m_waiters.removeOne(&wait);
        if (m_hSocket != handle || m_generation != generation) {
            error = QStringLiteral("TLS with '%1': the connection closed").arg(host);
            return false;
        }
    }
    m_readDelivered = false;
    UpdateNotifiers();
    if (status != TTlsSession::Status::Ok)
        return false;
    const QString why = tls->VerifyError();
    if (!why.isEmpty() && !TTlsSession::SameFingerprint(trustedFingerprint, tls->PeerFingerprint())) {
        error = QStringLiteral("The certificate of '%1' is not trusted: %2 (SHA-256 fingerprint %3)")
                    .arg(host, why, tls->PeerFingerprint());
        serversettings::NoteRefusedCertificate(host, tls->PeerFingerprint());
        return false;
    }
    qCDebug(lcNet).noquote() << host << tls->Protocol() << (why.isEmpty() ? "verified" : "trusted by fingerprint");
    m_tls = std::move(tls);
    return true;
}

void TCustomWSocket::TryToReadLine()
{
    for (;;) {
        if (m_hSocket == INVALID_SOCKET)
            break;
        if (m_state != wsConnected)
            return; // the line stays in progress
        if (RxUnread() == 0) {
            // Take in whatever is waiting in one call; lines are served from our own buffer.
            m_rxBegin = m_rxEnd = 0;
            const ssize_t r = RawReceive(m_rx.get(), kRxCapacity);
            if (m_readDelivered) {
                m_readDelivered = false;
                UpdateNotifiers();
            }
            if (r == 0) {
                m_lineMode = false;
                StopWait();
                Close();
                return;
            }
            if (r < 0) {
                const int code = wsa::FromErrno(errno);
                if (code == wsa::EWOULDBLOCK_ || errno == EINTR)
                    return; // nothing waiting: the next read event continues the line
                if (code == wsa::ECONNRESET_) {
                    m_lineMode = false;
                    StopWait();
                    Close();
                    return;
                }
                m_lastError = code;
                SetPlatformError(code);
                SocketError(QStringLiteral("ReadLine"));
                return;
            }
            m_rxEnd = r;
        }
        const char* const base = m_rx.get();
        const char* p = base + m_rxBegin;
        const char* const end = base + m_rxEnd;
        const char* lf = static_cast<const char*>(std::memchr(p, '\n', size_t(end - p)));
        const char* stop = lf ? lf : end;
        // Fast path: a piece without CR that fits the line as a whole.
        const qsizetype room = kMaxLine - 1 - m_line.size();
        bool ended = false;
        bool tooLong = false;
        const char* text = stop;
        if (lf && text > p && text[-1] == '\r')
            --text; // the usual CR LF
        if (text - p <= room && !std::memchr(p, '\r', size_t(text - p))) {
            m_line.append(p, text - p);
            p = stop;
            if (lf) {
                ++p;
                ended = true;
            }
        } else {
            while (p < end) {
                const char c = *p++;
                if (c == '\n') {
                    ended = true;
                    break;
                }
                if (c == '\r')
                    continue;
                m_line.append(c);
                if (m_line.size() >= kMaxLine) {
                    ended = tooLong = true;
                    break;
                }
            }
        }
        m_readCount += p - (base + m_rxBegin);
        m_rxBegin = p - base;
        ConsumedRx();
        if (ended) {
            m_lineEnded = true;
            m_lineCut = tooLong;
            if (tooLong && OnLineTooLong)
                OnLineTooLong(this);
            m_lineMode = false;
            StopWait();
            return;
        }
    }
    m_lineMode = false;
    StopWait();
}

bool TCustomWSocket::ReadLine(int timeoutSec, QByteArray& line)
{
    if (!m_multiThreaded && !m_waitCtrl) {
        RaiseSocketException(QStringLiteral("No wait object assigned"));
        return false;
    }
    if (!m_lineMode) {
        m_line.resize(0);
        m_lineEnded = false;
        m_lineCut = false;
        m_lineMode = true;
    }
    TryToReadLine();
    if (m_lineMode) {
        if (m_multiThreaded) {
            LocalWait([this] { return !m_lineMode; }, qint64(timeoutSec) * 1000);
        } else if (TCustomWait* w = m_waitCtrl) {
            w->SetCaption(QString::number(timeoutSec));
            const bool show = !w->Visible();
            if (show)
                w->SetVisible(true);
            w->RunModalFor(this);
            if (show && m_waitCtrl)
                w->SetVisible(false);
        }
    }
    // Copied into the caller's buffer, so neither side reallocates for every line.
    line.resize(m_line.size());
    if (!m_line.isEmpty())
        std::memcpy(line.data(), m_line.constData(), size_t(m_line.size()));
    return !m_lineMode && m_lineEnded;
}

bool TCustomWSocket::ReadLine(int timeoutSec, QString& line)
{
    QByteArray bytes;
    const bool ended = ReadLine(timeoutSec, bytes);
    line = cp1252::decode(bytes);
    return ended;
}

// --- waiting -------------------------------------------------------------------------------

void TCustomWSocket::WakeWaiters()
{
    for (TCountdown* w : std::as_const(m_waiters))
        w->Check();
}

void TCustomWSocket::LocalWait(const std::function<bool()>& done, qint64 timeoutMs)
{
    if (done())
        return;
    TCountdown wait(std::max<qint64>(timeoutMs, 0));
    m_waiters.append(&wait);
    auto remove = qScopeGuard([&] { m_waiters.removeOne(&wait); });
    wait.Run(done);
}

bool TCustomWSocket::WaitForState(int timeoutSec, TSocketState state)
{
    if (m_state == state)
        return true;
    m_awaitedState = state;
    auto clear = qScopeGuard([this] { m_awaitedState = wsInvalidState; });
    if (m_multiThreaded) {
        LocalWait([this, state] { return m_state == state || (state == wsConnected && m_state == wsClosed); },
                  qint64(timeoutSec) * 1000);
    } else if (TCustomWait* w = m_waitCtrl) {
        w->SetCaption(QString::number(timeoutSec));
        const bool show = !w->Visible();
        if (show)
            w->SetVisible(true);
        w->RunModalFor(this);
        if (show && m_waitCtrl)
            w->SetVisible(false);
    } else {
        m_awaitedState = wsInvalidState;
        SetPlatformError(wsa::NO_DATA_);
        SocketError(QStringLiteral("TWSocket.Wait"));
        return false;
    }
    return m_state == state;
}

// --- closing -------------------------------------------------------------------------------

void TCustomWSocket::ShutDown(int how)
{
    if (m_hSocket != INVALID_SOCKET)
        ::shutdown(m_hSocket, how);
}

void TCustomWSocket::Close()
{
    DoClose(true);
}

void TCustomWSocket::Abort()
{
    DoClose(false);
}

void TCustomWSocket::DoClose(bool shutdownFirst)
{
    if (m_hSocket == INVALID_SOCKET) {
        if (m_state != wsClosed) {
            ChangeState(wsClosed);
            ResetDefaults();
        }
        return;
    }
    if (m_state == wsClosed)
        return;
    if (shutdownFirst)
        ShutDown(2);
    DropNotifiers();
    m_tls.reset();
    if (::close(m_hSocket) != 0 && errno != EINTR && errno != EINPROGRESS) {
        // The descriptor is released whatever close reports; only say so.
        m_lastError = wsa::FromErrno(errno);
    }
    m_hSocket = INVALID_SOCKET;
    ChangeState(wsClosed);
    if (!m_destroying && !m_closeNotified && OnSessionClosed) {
        m_closeNotified = true;
        TriggerSessionClosed(0);
    }
    // A handler may have opened a new connection already; leave that one alone.
    if (m_hSocket == INVALID_SOCKET)
        ResetDefaults();
}

void TCustomWSocket::Pause()
{
    m_paused = true;
    UpdateNotifiers();
}

void TCustomWSocket::Resume()
{
    m_paused = false;
    m_selectMask = FD_READ_ | FD_WRITE_ | FD_CONNECT_ | FD_CLOSE_;
    UpdateNotifiers();
}

// --- host names ----------------------------------------------------------------------------

void TCustomWSocket::DnsLookup(const QString& hostName)
{
    if (hostName.isEmpty()) {
        RaiseSocketException(QStringLiteral("DNS lookup: invalid host name."));
        TriggerDnsLookupDone(wsa::EINVAL_);
        return;
    }
    if (m_dnsRequest >= 0) {
        QHostInfo::abortHostLookup(m_dnsRequest);
        m_dnsRequest = -1;
    }
    m_dnsResult.clear();
    m_dnsResultList.clear();
    in_addr a {};
    const QByteArray name = hostName.toLatin1();
    if (inet_aton(name.constData(), &a) != 0) {
        m_dnsResult = QString::fromLatin1(inet_ntoa(a));
        TriggerDnsLookupDone(0);
        return;
    }
    const int id = QHostInfo::lookupHost(hostName, this, [this](const QHostInfo& info) {
        if (info.lookupId() != m_dnsRequest)
            return;
        QStringList found;
        for (const QHostAddress& ha : info.addresses())
            if (ha.protocol() == QAbstractSocket::IPv4Protocol)
                found << ha.toString();
        int error = 0;
        if (info.error() == QHostInfo::HostNotFound)
            error = wsa::HOST_NOT_FOUND_;
        else if (info.error() != QHostInfo::NoError)
            error = 11003;
        else if (found.isEmpty())
            error = wsa::NO_DATA_;
        DnsLookupFinished(info.lookupId(), error, found);
    });
    m_dnsRequest = id;
}

void TCustomWSocket::DnsLookupFinished(int, int error, const QStringList& addresses)
{
    m_dnsRequest = -1;
    if (error == 0) {
        m_dnsResultList = addresses;
        m_dnsResult = addresses.value(0);
    }
    TriggerDnsLookupDone(quint16(error));
}

void TCustomWSocket::CancelDnsLookup()
{
    if (m_dnsRequest < 0)
        return;
    QHostInfo::abortHostLookup(m_dnsRequest);
    m_dnsRequest = -1;
    if (!m_destroying)
        TriggerDnsLookupDone(wsa::EINTR_);
}

// --- addresses -----------------------------------------------------------------------------

int TCustomWSocket::GetPeerName(sockaddr_in& name, int size)
{
    if (m_state != wsConnected)
        return -1;
    socklen_t len = socklen_t(std::max(size, 0));
    if (getpeername(m_hSocket, reinterpret_cast<sockaddr*>(&name), &len) != 0) {
        SetPlatformError(wsa::FromErrno(errno));
        return -1;
    }
    return 0;
}

QString TCustomWSocket::GetPeerAddr()
{
    if (m_state != wsConnected)
        return QStringLiteral("error");
    sockaddr_in peer {};
    if (GetPeerName(peer, sizeof peer) != 0) {
        SocketError(QStringLiteral("GetPeerName"));
        return QStringLiteral("error");
    }
    return QString::fromLatin1(inet_ntoa(peer.sin_addr));
}

int TCustomWSocket::GetSockName(sockaddr_in& name, int& nameLen)
{
    socklen_t len = socklen_t(std::max(nameLen, 0));
    const int r = getsockname(m_hSocket, reinterpret_cast<sockaddr*>(&name), &len);
    if (r != 0)
        SetPlatformError(wsa::FromErrno(errno));
    nameLen = int(len);
    return r;
}

QString TCustomWSocket::GetLocalPort()
{
    if (m_state != wsBound && m_state != wsConnected && m_state != wsListening)
        return QStringLiteral("error");
    sockaddr_in local {};
    int len = sizeof local;
    if (GetSockName(local, len) != 0)
        return QStringLiteral("error");
    return QString::number(ntohs(local.sin_port));
}

QString TCustomWSocket::LocalHostName()
{
    char buf[64] = {};
    if (gethostname(buf, sizeof buf - 1) != 0)
        throw ESocketException(QStringLiteral("Winsock.GetHostName failed"));
    return QString::fromLatin1(buf);
}
