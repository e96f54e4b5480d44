#pragma once
// A POP3 client whose every operation is one call that waits for the server's answer:
// Connect (greeting), User, Pass, Stat, Retr, Dele, Quit. A transaction command issued before
// login logs in by itself. Retrieved lines reach the owner one at a time through events.
#include "net/ServerSettings.h"
#include "net/WSocket.h"

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <memory>

class TCustomWait;

enum TPop3State { pop3Disconnected, pop3WaitingUser, pop3WaitingPass, pop3Transaction, pop3Update };

class TPop3Client : public QObject
{
    Q_OBJECT
public:
    using TPop3Display = std::function<void(TPop3Client* Sender, const QString& Msg)>;
    using TNotifyEvent = std::function<void(TPop3Client* Sender)>;

    explicit TPop3Client(QObject* owner = nullptr);
    ~TPop3Client() override;

    // Each is true on the server's +OK; false with the reason in ErrorMessage or LastResponse,
    // never throwing on a socket failure. User and Pass connect first when needed.
    bool Connect();
    bool User();
    bool Pass();
    // Sets MsgCount and MsgSize (both 0 when it fails).
    bool Stat();
    // Retrieves message MsgNum through OnMessageBegin, OnMessageLine per line, OnMessageEnd.
    bool Retr();
    // Marks message MsgNum deleted; the server removes it at Quit.
    bool Dele();
    // True also when not connected; the connection is closed either way.
    bool Quit();
    // UIDL (RFC 1939): every message's unique id in this session, into UniqueIds(). False when
    // the server refuses it (it is optional) or the listing does not arrive whole.
    bool Uidl();

    QString Host() const { return m_host; }
    void SetHost(const QString& host) { m_host = host; }
    QString Port() const { return m_port; }
    void SetPort(const QString& port) { m_port = port; }
    QString UserName() const { return m_userName; }
    void SetUserName(const QString& name) { m_userName = name; }
    QString PassWord() const { return m_passWord; }
    void SetPassWord(const QString& password) { m_passWord = password; }
    TPop3State ProtocolState() const { return m_protocolState; }
    // The last line read; during OnMessageLine the message line, dot-stuffing undone.
    QString LastResponse() const { return m_lastResponse; }
    // Why the last operation failed on the client's side ("-ERR ..."; empty when none did).
    QString ErrorMessage() const { return m_errorMessage; }
    // Required before Connect; not owned (a destroyed wait object reads as none).
    TCustomWait* Wait() const;
    void SetWait(TCustomWait* wait);
    // Seconds a reply may take (15).
    int TimeOut() const { return m_timeOut; }
    void SetTimeOut(int seconds) { m_timeOut = seconds; }
    // From the last Stat: messages in the mailbox and their total size in bytes.
    int MsgCount() const { return m_msgCount; }
    int MsgSize() const { return m_msgSize; }
    // The message (from 1) Retr and Dele act on.
    int MsgNum() const { return m_msgNum; }
    void SetMsgNum(int number) { m_msgNum = number; }
    // Free for the owner; the client does not use it.
    int Tag() const { return m_tag; }
    void SetTag(int tag) { m_tag = tag; }
    // During OnMessageLine: true when the line in LastResponse was cut at 254 characters and
    // continues in the next one (so the owner can join the pieces of a long line).
    bool LastLineCut() const { return m_lastLineCut; }
    // Owned by the client; never null.
    TWSocket* Socket() const { return m_socket.get(); }
    // Message number -> unique id from the last Uidl of this session (empty before one).
    const QHash<int, QString>& UniqueIds() const { return m_uniqueIds; }
    // Counts successful logins: message numbers of one session mean nothing in another, and a
    // transaction command after the server ended a session logs in again by itself.
    int Session() const { return m_session; }
    // The server's own settings section ([POP host]): its port, and STLS after the greeting or
    // TLS from the first byte. Without one the dialogue is the plain one. With SettingsFile
    // set, every Connect reads the section of Host from that file first.
    const TServerSettings& ServerSettings() const { return m_server; }
    void SetServerSettings(const TServerSettings& settings) { m_server = settings; }
    QString SettingsFile() const { return m_settingsFile; }
    void SetSettingsFile(const QString& path) { m_settingsFile = path; }

    // Every line sent ("> ...", PASS included as it stands) and read ("< ..."), and the
    // client's own messages.
    TPop3Display OnDisplay;
    TNotifyEvent OnMessageBegin;
    // Also when the retrieval failed part way.
    TNotifyEvent OnMessageEnd;
    // One line of the message in LastResponse (see LastLineCut).
    TNotifyEvent OnMessageLine;
    // The connection closed, by either side (after ProtocolState became pop3Disconnected).
    TNotifyEvent OnSessionEnded;

private:
    bool Guarded(bool (TPop3Client::*operation)());
    bool DoConnect();
    bool StartTls();
    bool DoUser();
    bool DoPass();
    bool DoStat();
    bool DoRetr();
    bool DoDele();
    bool DoQuit();
    bool DoUidl();
    void Display(const QString& msg);
    void SendCommand(const QString& command);
    bool GetResponse();
    bool ReadReplyLine();
    bool Refuse(const QString& word);
    bool TransactionCommand(const QString& word, const QString& argument);
    void DropConnection();

    std::unique_ptr<TWSocket> m_socket;
    QString m_host;
    QString m_port = QStringLiteral("pop3");
    TServerSettings m_server;
    QString m_settingsFile;
    QString m_userName;
    QString m_passWord;
    TPop3State m_protocolState = pop3Disconnected;
    QString m_lastResponse;
    QString m_errorMessage;
    QPointer<TCustomWait> m_wait;
    int m_timeOut = 15;
    bool m_timeoutFlag = false;
    bool m_lineTooLong = false;
    bool m_lastLineCut = false;
    int m_msgCount = 0;
    int m_msgSize = 0;
    int m_msgNum = 0;
    int m_tag = 0;
    int m_session = 0;
    QHash<int, QString> m_uniqueIds;
};
