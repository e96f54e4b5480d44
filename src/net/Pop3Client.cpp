#include "net/Pop3Client.h"

#include "net/NetLog.h"
#include "net/Reply.h"
#include "net/Wait.h"
#include "platform/EventPump.h"
#include "platform/IniFile.h"

#include <QCoreApplication>

namespace {
bool HasLineBreak(const QString& text)
{
    return text.contains(u'\r') || text.contains(u'\n');
}
} // namespace

TPop3Client::TPop3Client(QObject* owner) : QObject(owner), m_socket(std::make_unique<TWSocket>())
{
    m_socket->OnSessionClosed = [this](TCustomWSocket*, quint16) {
        if (m_wait)
            m_wait->StopFor(m_socket.get());
        m_protocolState = pop3Disconnected;
        if (OnSessionEnded)
            OnSessionEnded(this);
    };
    m_socket->OnLineTooLong = [this](TCustomWSocket*) { m_lineTooLong = true; };
}

TPop3Client::~TPop3Client()
{
    // Going away quietly: no handler of ours may run from the socket's destructor.
    m_socket->OnSessionClosed = nullptr;
    m_socket->OnLineTooLong = nullptr;
    m_socket.reset();
}

TCustomWait* TPop3Client::Wait() const
{
    return m_wait;
}

void TPop3Client::SetWait(TCustomWait* wait)
{
    m_wait = wait;
    m_socket->SetWaitCtrl(wait);
}

void TPop3Client::Display(const QString& msg)
{
    if (OnDisplay)
        OnDisplay(this, msg);
}

void TPop3Client::SendCommand(const QString& command)
{
    Display(QStringLiteral("> ") + command);
    qCDebug(lcNet).noquote() << "pop3" << m_host << ">" << netlog::Masked(command);
    QCoreApplication::processEvents();
    m_socket->SendStr(command + QStringLiteral("\r\n"));
}

// One line from the server into LastResponse. False when the line did not end in time (the
// timeout flag is then set) or the connection went away first.
bool TPop3Client::ReadReplyLine()
{
    const bool ended = m_socket->ReadLine(m_timeOut, m_lastResponse);
    // The shared wait object's OnTimeout belongs to whichever client connected last, so a
    // wait that ran out is also recognised here, from the unfinished line.
    if (!ended && m_socket->State() == wsConnected)
        m_timeoutFlag = true;
    return ended;
}

void TPop3Client::DropConnection()
{
    // After a lost reply the dialogue is out of step: a known state is a closed connection.
    try {
        m_socket->Close();
    } catch (const ESocketException&) {
    }
    m_protocolState = pop3Disconnected;
}

bool TPop3Client::GetResponse()
{
    m_timeoutFlag = false;
    // A status line is read whole: the socket's 254-character pieces are joined.
    QString line;
    bool ended = ReadReplyLine();
    line = m_lastResponse;
    while (ended && !m_timeoutFlag && m_socket->LastLineCut() && line.size() <= reply::MaxLineChars) {
        ended = ReadReplyLine();
        line += m_lastResponse;
    }
    if (line.size() > reply::MaxLineChars) {
        m_lastResponse = line.left(254);
        m_errorMessage = QStringLiteral("-ERR reply too long");
        Display(QStringLiteral("< ") + m_lastResponse);
        Display(m_errorMessage);
        DropConnection();
        return false;
    }
    m_lastResponse = line;
    qCDebug(lcNet).noquote() << "pop3" << m_host << "<" << line;
    const bool ok = reply::Pop3Ok(line); // judged before any display handler runs
    Display(QStringLiteral("< ") + line);
    if (m_timeoutFlag) {
        m_errorMessage = QStringLiteral("-ERR Receive Timeout");
        Display(m_errorMessage);
        DropConnection();
        return false;
    }
    return ok;
}

bool TPop3Client::Refuse(const QString& word)
{
    m_errorMessage = QStringLiteral("-ERR ") + word + QStringLiteral(" command invalid now");
    Display(m_errorMessage);
    return false;
}

bool TPop3Client::DoConnect()
{
    if (!m_wait) {
        m_errorMessage = QStringLiteral("-ERR No wait object");
        Display(m_errorMessage);
        return false;
    }
    ClaimWaitTimeout(m_wait, this, &m_timeoutFlag);
    if (m_protocolState != pop3Disconnected)
        return true;
    m_errorMessage.clear();
    if (m_host.isEmpty()) {
        m_errorMessage = QStringLiteral("-ERR No host specified");
        Display(m_errorMessage);
        return false;
    }
    if (!m_settingsFile.isEmpty())
        m_server = serversettings::Load(TIniFile(m_settingsFile), TMailProtocol::Pop3, m_host);
    if (m_server.Present && !m_server.Error.isEmpty()) {
        m_errorMessage = QStringLiteral("-ERR ") + m_server.Error;
        Display(m_errorMessage);
        return false;
    }
    const bool ownPort = m_server.Present && (m_server.Port > 0 || m_server.Security != TMailSecurity::None);
    try {
        m_socket->SetProto(QStringLiteral("tcp"));
        m_socket->SetPort(ownPort ? m_server.PortText(TMailProtocol::Pop3) : m_port);
        m_socket->SetAddr(m_host);
        m_socket->OnDataAvailable = nullptr;
        m_socket->Connect();
    } catch (const ESocketException& e) {
        m_errorMessage = QStringLiteral("-ERR ") + e.Message();
        return false;
    }
    if (!m_socket->WaitForState(m_timeOut, wsConnected)) {
        m_errorMessage = QStringLiteral("-ERR Can't connect to host '") + m_host + u'\'';
        Display(m_errorMessage);
        m_socket->Close();
        return false;
    }
    Display(QStringLiteral("Connected with POP3 server"));
    const TMailSecurity security = m_server.Present ? m_server.Security : TMailSecurity::None;
    if (security == TMailSecurity::Tls && !StartTls())
        return false;
    if (!GetResponse()) {
        if (m_errorMessage.isEmpty() && m_socket->State() != wsConnected)
            m_errorMessage = QStringLiteral("-ERR Disconneced unexpectedly"); // no greeting at all
        if (m_errorMessage.isEmpty())
            m_errorMessage = m_lastResponse;
        m_socket->Close();
        m_protocolState = pop3Disconnected;
        return false;
    }
    if (security == TMailSecurity::StartTls) {
        // Nothing more in clear: a refused STLS ends the connection before USER and PASS.
        SendCommand(QStringLiteral("STLS"));
        if (!GetResponse()) {
            if (m_errorMessage.isEmpty())
                m_errorMessage = m_lastResponse;
            m_socket->Close();
            m_protocolState = pop3Disconnected;
            return false;
        }
        if (!StartTls())
            return false;
    }
    m_protocolState = pop3WaitingUser;
    return true;
}

bool TPop3Client::StartTls()
{
    QString error;
    if (!m_socket->StartTls(m_host, m_server.Fingerprint, m_timeOut, error)) {
        m_errorMessage = QStringLiteral("-ERR ") + error;
        Display(m_errorMessage);
        try {
            m_socket->Close();
        } catch (const ESocketException&) {
        }
        m_protocolState = pop3Disconnected;
        return false;
    }
    Display(QStringLiteral("TLS started with '%1'").arg(m_host));
    return true;
}

bool TPop3Client::DoUser()
{
    if (m_protocolState >= pop3WaitingPass) {
        m_errorMessage = QStringLiteral("-ERR USER command invalid now");
        Display(m_errorMessage);
        return false;
    }
    const QString name = m_userName.trimmed();
    if (HasLineBreak(name)) {
        // A line break would smuggle a second command onto the wire.
        m_errorMessage = QStringLiteral("-ERR The user name contains a line break");
        Display(m_errorMessage);
        return false;
    }
    if (m_protocolState == pop3Disconnected && !DoConnect())
        return false;
    SendCommand(QStringLiteral("USER ") + name);
    if (!GetResponse())
        return false;
    m_protocolState = pop3WaitingPass;
    return true;
}

bool TPop3Client::DoPass()
{
    if (m_protocolState >= pop3Transaction)
        return Refuse(QStringLiteral("PASS"));
    const QString password = m_passWord.trimmed();
    if (HasLineBreak(password)) {
        m_errorMessage = QStringLiteral("-ERR The password contains a line break");
        Display(m_errorMessage);
        return false;
    }
    if (m_protocolState < pop3WaitingPass && !DoUser())
        return false;
    SendCommand(QStringLiteral("PASS ") + password);
    if (!GetResponse())
        return false;
    m_protocolState = pop3Transaction;
    ++m_session;
    m_uniqueIds.clear();
    return true;
}

bool TPop3Client::TransactionCommand(const QString& word, const QString& argument)
{
    if (m_protocolState == pop3Update)
        return Refuse(word);
    if (m_protocolState < pop3Transaction && !DoPass())
        return false;
    SendCommand(argument.isEmpty() ? word : word + u' ' + argument);
    return GetResponse();
}

bool TPop3Client::DoStat()
{
    m_msgCount = 0;
    m_msgSize = 0;
    if (!TransactionCommand(QStringLiteral("STAT"), QString()))
        return false;
    int count = 0, size = 0;
    if (!reply::ParseStat(m_lastResponse, count, size))
        return false;
    m_msgCount = count;
    m_msgSize = size;
    return true;
}

bool TPop3Client::DoDele()
{
    return TransactionCommand(QStringLiteral("DELE"), QString::number(m_msgNum));
}

bool TPop3Client::DoRetr()
{
    if (!TransactionCommand(QStringLiteral("RETR"), QString::number(m_msgNum)))
        return false;
    if (OnMessageBegin)
        OnMessageBegin(this);
    bool ok = true;
    bool previousCut = false;
    TEventPump pump;
    try {
        for (;;) {
            m_lineTooLong = false;
            if (m_socket->State() == wsConnected)
                ReadReplyLine();
            if (m_socket->State() != wsConnected) {
                m_errorMessage = QStringLiteral("-ERR Disconneced unexpectedly");
                Display(m_errorMessage);
                ok = false;
                break;
            }
            if (m_timeoutFlag) {
                m_errorMessage = QStringLiteral("-ERR Receive Timeout");
                Display(m_errorMessage);
                DropConnection();
                ok = false;
                break;
            }
            if (!previousCut && m_lastResponse == QLatin1String(".")) {
                m_lastResponse.clear();
                break;
            }
            // Stuffing is undone only at the start of a line, never in a piece that continues
            // a cut line.
            if (!previousCut && m_lastResponse.size() >= 2 && m_lastResponse.startsWith(QLatin1String("..")))
                m_lastResponse.remove(0, 1);
            m_lastLineCut = m_lineTooLong;
            if (OnMessageLine)
                OnMessageLine(this);
            previousCut = m_lineTooLong;
            pump.Pump();
        }
    } catch (...) {
        m_lastLineCut = false;
        if (OnMessageEnd)
            OnMessageEnd(this);
        throw;
    }
    m_lastLineCut = false;
    if (OnMessageEnd)
        OnMessageEnd(this);
    return ok;
}

bool TPop3Client::DoUidl()
{
    m_uniqueIds.clear();
    if (!TransactionCommand(QStringLiteral("UIDL"), QString()))
        return false;
    QHash<int, QString> ids;
    for (;;) {
        if (m_socket->State() != wsConnected || !ReadReplyLine() || m_timeoutFlag) {
            m_errorMessage = m_timeoutFlag ? QStringLiteral("-ERR Receive Timeout")
                                           : QStringLiteral("-ERR Disconneced unexpectedly");
            Display(m_errorMessage);
            DropConnection();
            return false;
        }
        if (m_lastResponse == QLatin1String("."))
            break;
        // "n id": the id is 1 to 70 printable characters (a longer line is cut, hence wrong).
        const QStringList parts = m_lastResponse.split(u' ', Qt::SkipEmptyParts);
        bool ok = false;
        const int number = parts.isEmpty() ? 0 : parts[0].toInt(&ok);
        if (ok && number > 0 && parts.size() == 2 && !m_socket->LastLineCut())
            ids.insert(number, parts[1]);
    }
    m_lastResponse.clear();
    m_uniqueIds = ids;
    return true;
}

bool TPop3Client::DoQuit()
{
    if (m_protocolState == pop3Disconnected)
        return true;
    bool ok = false;
    try {
        SendCommand(QStringLiteral("QUIT"));
        ok = GetResponse();
    } catch (const ESocketException& e) {
        m_errorMessage = QStringLiteral("-ERR ") + e.Message();
        Display(m_errorMessage);
        ok = false;
    } catch (...) {
        ok = false;
    }
    m_protocolState = pop3Disconnected;
    try {
        m_socket->Close();
    } catch (const ESocketException&) {
    }
    return ok;
}

// --- public operations: a socket failure inside one becomes false plus ErrorMessage ----------

bool TPop3Client::Guarded(bool (TPop3Client::*operation)())
{
    try {
        return (this->*operation)();
    } catch (const ESocketException& e) {
        // A failed read or send leaves the dialogue out of step: the connection is dropped.
        m_errorMessage = QStringLiteral("-ERR ") + e.Message();
        Display(m_errorMessage);
        DropConnection();
        return false;
    }
}

bool TPop3Client::Connect() { return Guarded(&TPop3Client::DoConnect); }
bool TPop3Client::User() { return Guarded(&TPop3Client::DoUser); }
bool TPop3Client::Pass() { return Guarded(&TPop3Client::DoPass); }
bool TPop3Client::Stat() { return Guarded(&TPop3Client::DoStat); }
bool TPop3Client::Retr() { return Guarded(&TPop3Client::DoRetr); }
bool TPop3Client::Dele() { return Guarded(&TPop3Client::DoDele); }
bool TPop3Client::Quit() { return Guarded(&TPop3Client::DoQuit); }
bool TPop3Client::Uidl() { return Guarded(&TPop3Client::DoUidl); }
