#pragma once
// An asynchronous TCP/UDP socket whose network events arrive on the thread that created it.
// Non-blocking POSIX sockets are watched with QSocketNotifier; the events, their order within
// one notification and the error codes (Winsock numbering, mapped from errno) are those of
// the window-message socket model the mail clients were written for. Three synchronous
// operations sit on top: WaitForState, ReadLine and Flush; they wait in the event loop
// (through the wait object, or in multi-threaded mode through a local loop), never by polling.
#include "net/Buffer.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <deque>
#include <exception>
#include <functional>
#include <memory>

#include <netinet/in.h>

class QSocketNotifier;
class QEventLoop;
class TCountdown;
class TCustomWait;
class TTlsSession;

enum TSocketState {
    wsInvalidState,
    wsOpened,
    wsBound,
    wsConnecting,
    wsConnected,
    wsAccepting,
    wsListening,
    wsClosed
};
// A fixed underlying type: SetSendFlags refuses values outside the two, which must be valid
// values of the type to be tested at all.
enum TSocketSendFlags : int { wsSendNormal, wsSendUrgent };
enum TSocketLingerOnOff { wsLingerOff, wsLingerOn, wsLingerNoSet };

using TSocket = int;
constexpr TSocket INVALID_SOCKET = -1;

// Winsock error codes used by the socket and its callers.
namespace wsa {
constexpr int EINTR_ = 10004;
constexpr int EINVAL_ = 10022;
constexpr int EWOULDBLOCK_ = 10035;
constexpr int ENOTSOCK_ = 10038;
constexpr int ECONNRESET_ = 10054;
constexpr int ENOTCONN_ = 10057;
constexpr int ECONNREFUSED_ = 10061;
constexpr int HOST_NOT_FOUND_ = 11001;
constexpr int NO_DATA_ = 11004;
// The Winsock code of an errno value (unknown values pass through unchanged).
int FromErrno(int err);
} // namespace wsa

// Socket event bits, as the window-message model numbers them.
enum : int { FD_READ_ = 1, FD_WRITE_ = 2, FD_OOB_ = 4, FD_ACCEPT_ = 8, FD_CONNECT_ = 16, FD_CLOSE_ = 32 };

// The fixed text of a socket error code ("Not a WinSock error" for codes not in the table).
QString SocketErrorText(int code);

class ESocketException : public std::exception
{
public:
    explicit ESocketException(QString message) : m_message(std::move(message)), m_utf8(m_message.toUtf8()) {}
    const QString& Message() const { return m_message; }
    const char* what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_message;
    QByteArray m_utf8;
};

class TCustomWSocket : public QObject
{
    Q_OBJECT
public:
    using TDataAvailable = std::function<void(TCustomWSocket* Sender, quint16 Error)>;
    using TDataSent = TDataAvailable;
    using TSessionClosed = TDataAvailable;
    using TSessionAvailable = TDataAvailable;
    using TSessionConnected = TDataAvailable;
    using TDnsLookupDone = TDataAvailable;
    using TChangeState = std::function<void(TCustomWSocket* Sender, TSocketState OldState, TSocketState NewState)>;
    using TNotifyEvent = std::function<void(TCustomWSocket* Sender)>;

    explicit TCustomWSocket(QObject* owner = nullptr);
    ~TCustomWSocket() override;

    // --- operations ---
    // Starts connecting and returns at once; OnSessionConnected reports the outcome. Raises
    // (or reports through OnError) when the socket is in use or Addr/Port/Proto are unset.
    virtual void Connect();
    // Shuts down both directions, then closes; OnSessionClosed fires once.
    virtual void Close();
    // Closes without the shutdown first.
    virtual void Abort();
    // Waits until the send queue is empty, at most FlushTimeout seconds; needs a wait object
    // unless MultiThreaded.
    virtual void Flush();
    // Waits until closed, at most FlushTimeout seconds.
    virtual void WaitForClose();
    // 0 when listening, -1 on failure (LastError tells why).
    virtual int Listen();
    // The accepted connection's handle (for Dup on another socket), -1 on failure.
    virtual TSocket Accept();
    // Bytes read (0 at the end of the stream), -1 on failure.
    virtual int Receive(void* buffer, int size);
    virtual int ReceiveFrom(void* buffer, int size, sockaddr_in& from, int& fromLen);
    // Queues what the system does not take at once: returns `length`, -1 when not connected.
    virtual int Send(const void* data, int length);
    virtual int SendStr(const QByteArray& bytes);
    int SendStr(const QString& text); // Windows-1252 bytes of the text
    // Resolves in the background; OnDnsLookupDone reports it, with DnsResult and DnsResultList set.
    virtual void DnsLookup(const QString& hostName);
    virtual void CancelDnsLookup();
    // The peer's dotted address, "error" when not connected.
    virtual QString GetPeerAddr();
    virtual int GetPeerName(sockaddr_in& name, int size);
    virtual int GetLocalPortNumber() const { return m_localPortNum; }
    // The bound port as text, "error" when not bound, connected or listening.
    virtual QString GetLocalPort();
    // True when `state` is reached within `timeoutSec` (a failed connect ends the wait for
    // wsConnected early); needs a wait object unless MultiThreaded.
    virtual bool WaitForState(int timeoutSec, TSocketState state);
    // Reads one line (without CR and LF, at most 254 characters). Returns true when the line
    // ended (LF, or cut at 254 characters); false when the wait ran out or the connection
    // closed first, leaving the part received so far in `line` (the next call continues it).
    virtual bool ReadLine(int timeoutSec, QByteArray& line);
    bool ReadLine(int timeoutSec, QString& line); // Windows-1252
    // True when the line the last ReadLine returned was cut at 254 characters: its rest comes
    // with the next ReadLine.
    bool LastLineCut() const { return m_lineEnded && m_lineCut; }
    virtual int GetSockName(sockaddr_in& name, int& nameLen);
    // Takes over an accepted handle (closing the current one) as a connected socket.
    virtual void Dup(TSocket newHSocket);
    // `how` as for shutdown(2): 0 receive, 1 send, 2 both.
    virtual void ShutDown(int how);
    // Stops reading and sending until Resume; what arrives meanwhile waits in the system.
    virtual void Pause();
    virtual void Resume();
    static QString LocalHostName();
    // Starts TLS as the client on the connected socket and waits for the handshake up to
    // `timeoutSec` (the event loop turns, user input is held). From then on every read and
    // write goes through TLS. False with `error` naming the host and the reason; a certificate
    // that fails verification is accepted only when its SHA-256 fingerprint is
    // `trustedFingerprint`. Bytes received and not yet read refuse the start (they came in clear).
    bool StartTls(const QString& host, const QString& trustedFingerprint, int timeoutSec, QString& error);
    bool TlsActive() const { return m_tls != nullptr; }
    // The peer certificate's SHA-256 fingerprint, empty without TLS.
    QString TlsFingerprint() const;

    // --- properties ---
    QString Addr() const { return m_addrStr; }
    void SetAddr(const QString& addr);
    QString Port() const { return m_portStr; }
    void SetPort(const QString& port);
    QString Proto() const { return m_protoStr; }
    void SetProto(const QString& proto);
    int PortNum() const { return m_portNum; }
    int ProtoNum() const { return m_proto; }
    bool IsDatagram() const { return m_type == 2; }
    TSocket HSocket() const { return m_hSocket; }
    QString DnsResult() const { return m_dnsResult; }
    const QStringList& DnsResultList() const { return m_dnsResultList; }
    TSocketState State() const { return m_state; }
    // Bytes handed out since the connection began.
    qint64 ReadCount() const { return m_readCount; }
    // Bytes ready to read now, -1 when that cannot be told.
    int RcvdCount();
    // A Winsock code (wsa::), 0 when none.
    int LastError() const { return m_lastError; }
    // On: the synchronous operations wait in a local event loop, without a wait object.
    bool MultiThreaded() const { return m_multiThreaded; }
    void SetMultiThreaded(bool on) { m_multiThreaded = on; }
    // Out of line: the wait object is only declared here.
    TCustomWait* WaitCtrl() const;
    void SetWaitCtrl(TCustomWait* wait);
    // Seconds (60).
    int FlushTimeout() const { return m_flushTimeout; }
    void SetFlushTimeout(int seconds) { m_flushTimeout = seconds; }
    TSocketSendFlags SendFlags();
    void SetSendFlags(TSocketSendFlags flags);
    TSocketLingerOnOff LingerOnOff() const { return m_lingerOnOff; }
    void SetLingerOnOff(TSocketLingerOnOff value) { m_lingerOnOff = value; }
    int LingerTimeout() const { return m_lingerTimeout; }
    void SetLingerTimeout(int seconds) { m_lingerTimeout = seconds; }
    // True when the send queue is empty.
    bool AllSent() const { return m_allSent; }
    bool Paused() const { return m_paused; }
    // True while a ReadLine is collecting a line.
    bool LineMode() const { return m_lineMode; }
    // The state a WaitForState is waiting for, wsInvalidState when none.
    TSocketState AwaitedState() const { return m_awaitedState; }
    // Bytes queued to go out and not yet taken by the system.
    qint64 SendQueueBytes() const;
    int SendQueueBlocks() const { return int(m_sendQueue.size()); }
    const sockaddr_in& SockAddr() const { return m_sin; }

    TSessionAvailable OnSessionAvailable;
    TSessionConnected OnSessionConnected;
    TSessionClosed OnSessionClosed;
    TChangeState OnChangeState;
    TDataAvailable OnDataAvailable;
    TDataSent OnDataSent;
    // A ReadLine line was cut at 254 characters.
    TNotifyEvent OnLineTooLong;
    TDnsLookupDone OnDnsLookupDone;
    // When set, failures come here instead of raising ESocketException.
    TNotifyEvent OnError;

protected:
    virtual void ResetDefaults();
    virtual void BindSocket();
    void RaiseSocketException(const QString& text);
    template <typename... Args>
    void RaiseSocketExceptionFmt(const char* format, Args... args)
    {
        RaiseSocketException(QString::asprintf(format, args...));
    }
    virtual void TriggerDataAvailable(quint16 error);
    virtual void TriggerSessionAvailable(quint16 error);
    virtual void TriggerSessionConnected(quint16 error);
    virtual void TriggerSessionClosed(quint16 error);
    virtual void TriggerDataSent(quint16 error);
    virtual void TriggerChangeState(TSocketState oldState, TSocketState newState);
    virtual void TriggerDnsLookupDone(quint16 error);
    virtual void TriggerError();

    void ChangeState(TSocketState newState);
    // Reports the failure of `function` with the platform error recorded last.
    void SocketError(const QString& function);
    void SetPlatformError(int code) { m_platformError = code; }
    // One socket notification: the event bits handled in their fixed order.
    void HandleSocketEvent(int bits, int error);
    void customEvent(QEvent* event) override;

private:
    void DoClose(bool shutdownFirst);
    void BeginConnection(TSocket fd);
    void SetLingerOption();
    void SelectEvents(int mask);
    void ArmRead(bool on);
    void ArmWrite(bool on);
    void OnReadReady();
    // recv, or a TLS read once TLS has started (same results: bytes, 0 at the end, -1 + errno).
    ssize_t RawReceive(char* buffer, int size);
    void OnWriteReady();
    void PostEvent(int bits, int error);
    void HandleRead();
    void TryToSend();
    int SendBytes(const char* data, int length, const QByteArray* owner);
    void TryToReadLine();
    int BytesWaiting(bool* failed = nullptr);
    void DeliverPendingClose();
    void StopWait();
    void WakeWaiters();
    // Waits in a local event loop until `done` holds or `timeoutMs` passes.
    void LocalWait(const std::function<bool()>& done, qint64 timeoutMs);
    bool ResolveHost(const QString& host, in_addr& out, bool& isBroadcast);
    void DnsLookupFinished(int id, int error, const QStringList& addresses);
    void UpdateNotifiers();
    void DropNotifiers();
    qsizetype RxUnread() const { return m_rxEnd - m_rxBegin; }
    void ConsumedRx();

    TSocket m_hSocket = INVALID_SOCKET;
    quint64 m_generation = 0;          // tells notifications of an earlier handle apart
    bool m_portAssigned = false;
    bool m_addrAssigned = false;
    bool m_protoAssigned = true;
    QString m_protoStr = QStringLiteral("tcp");
    QString m_addrStr;
    QString m_portStr;
    int m_portNum = 0;
    int m_localPortNum = 0;
    int m_proto = 6;
    int m_type = 1;
    QString m_dnsResult;
    QStringList m_dnsResultList;
    TSocket m_acceptedHandle = INVALID_SOCKET;
    TSocketState m_state = wsClosed;
    int m_flushTimeout = 60;
    std::deque<std::unique_ptr<TBuffer>> m_sendQueue;
    int m_bufSize = TBuffer::DefaultSize;
    int m_sendFlags = 0;
    bool m_multiThreaded = false;
    QPointer<TCustomWait> m_waitCtrl;
    TSocketState m_awaitedState = wsInvalidState;
    int m_lastError = 0;
    int m_platformError = 0;
    bool m_paused = false;
    TSocketLingerOnOff m_lingerOnOff = wsLingerOn;
    int m_lingerTimeout = 0;
    bool m_allSent = true;
    QByteArray m_line;                  // the line being received
    bool m_lineMode = false;
    qint64 m_readCount = 0;
    bool m_closeNotified = false;
    int m_dnsRequest = -1;
    bool m_destroying = false;
    sockaddr_in m_sin {};

    // Platform watching.
    int m_selectMask = 0;
    QSocketNotifier* m_readNotifier = nullptr;
    QSocketNotifier* m_writeNotifier = nullptr;
    bool m_readArmed = false;
    bool m_writeArmed = false;
    bool m_wantWrite = false;           // the system refused bytes: wait for write-ready
    bool m_readDelivered = false;       // a read event is out and no receive has followed yet
    bool m_peerClosed = false;          // end of stream seen
    bool m_closePosted = false;         // the close event for it is on its way
    bool m_lineEnded = false;           // the line in m_line is complete
    bool m_lineCut = false;             // ... because it reached 254 characters
    // Bytes taken from the system but not yet handed out (served by ReadLine and Receive).
    std::unique_ptr<char[]> m_rx;
    std::unique_ptr<TTlsSession> m_tls;
    qsizetype m_rxBegin = 0;
    qsizetype m_rxEnd = 0;
    QList<TCountdown*> m_waiters; // the local waits running, woken when the socket changes
};

class TWSocket : public TCustomWSocket
{
    Q_OBJECT
public:
    explicit TWSocket(QObject* owner = nullptr) : TCustomWSocket(owner) {}
};
