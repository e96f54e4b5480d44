#include "net/SmtpClient.h"

#include "net/Countdown.h"

#include "net/MailFormat.h"
#include "net/NetLog.h"
#include "net/Reply.h"
#include "net/Wait.h"
#include "platform/Cp1252.h"
#include "platform/EventPump.h"
#include "platform/IniFile.h"
#include "platform/Regional.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QScopeGuard>
#include <QTimer>

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>

namespace {

constexpr int kOutputChunk = 32 * 1024;

using mailformat::HasLineBreak;
using mailformat::SplitLines;

// A file name as it may stand inside a quoted header parameter.
QString SafeParameter(const QString& name)
{
    QString out = name;
    for (QChar& c : out)
        if (c.unicode() < 32 || c == u'"' || c == u'\\' || c.unicode() == 127)
            c = u'_';
    return out;
}

// The host's fully qualified name, looked up once: the name itself when it holds a dot, else
// the canonical name the resolver gives it (/etc/hosts first); empty when neither has a dot.
QString FullyQualifiedHostName()
{
    static const QString name = [] {
        QString host;
        try {
            host = TCustomWSocket::LocalHostName();
        } catch (const ESocketException&) {
            return QString();
        }
        if (host.contains(u'.'))
            return host;
        addrinfo hints {};
        hints.ai_flags = AI_CANONNAME;
        hints.ai_family = AF_UNSPEC;
        addrinfo* found = nullptr;
        QString canonical;
        if (getaddrinfo(host.toLatin1().constData(), nullptr, &hints, &found) == 0 && found) {
            if (found->ai_canonname)
                canonical = QString::fromLatin1(found->ai_canonname);
            freeaddrinfo(found);
        }
        return canonical.contains(u'.') ? canonical : QString();
    }();
    return name;
}

} // namespace

// ---------------------------------------------------------------------------------------------

TCustomSmtpClient::TCustomSmtpClient(QObject* owner) : QObject(owner), m_socket(std::make_unique<TWSocket>())
{
    m_socket->OnSessionClosed = [this](TCustomWSocket*, quint16) {
        if (m_wait)
            m_wait->StopFor(m_socket.get());
        m_stage = TSmtpStage::Disconnected;
        WakeLoop();
    };
}

TCustomSmtpClient::~TCustomSmtpClient()
{
    m_socket->OnSessionClosed = nullptr;
    m_socket->OnDataSent = nullptr;
    if (m_waiting)
        m_waiting->End();
    m_socket.reset();
}

TCustomWait* TCustomSmtpClient::Wait() const
{
    return m_wait;
}

void TCustomSmtpClient::SetWait(TCustomWait* wait)
{
    m_wait = wait;
    m_socket->SetWaitCtrl(wait);
}

void TCustomSmtpClient::SetRcptName(const QStringList& addresses)
{
    m_rcptName.clear();
    TEventPump pump;
    for (const QString& a : addresses) {
        m_rcptName << a;
        pump.Pump();
    }
}

void TCustomSmtpClient::Display(const QString& msg)
{
    if (OnDisplay)
        OnDisplay(this, msg);
}

void TCustomSmtpClient::SetError(const QString& text)
{
    if (m_errorMessage.isEmpty())
        m_errorMessage = text;
}

QString TCustomSmtpClient::DateText(const QDateTime& when)
{
    return mailformat::DateText(when);
}

QString TCustomSmtpClient::FoldValue(const QString& value, bool addressList)
{
    return mailformat::FoldValue(value, addressList);
}

QString TCustomSmtpClient::SanitizeHeader(const QString& buffer)
{
    return mailformat::SanitizeHeader(buffer, HeaderLineLimit);
}

QString TCustomSmtpClient::GreetingName() const
{
    // RFC 5321 4.1.1.1: a bare host name is refused by servers that check it.
    const QString fqdn = FullyQualifiedHostName();
    if (!fqdn.isEmpty())
        return fqdn;
    sockaddr_in local {};
    int len = sizeof local;
    if (m_socket->GetSockName(local, len) == 0 && local.sin_family == AF_INET)
        return u'[' + QString::fromLatin1(inet_ntoa(local.sin_addr)) + u']';
    return QStringLiteral("[127.0.0.1]");
}

// --- dialogue ------------------------------------------------------------------------------

void TCustomSmtpClient::WakeLoop()
{
    if (m_waiting)
        m_waiting->Check();
}

bool TCustomSmtpClient::WaitFor(const std::function<bool()>& done, int timeoutMs)
{
    if (done())
        return true;
    TCountdown wait(std::max(timeoutMs, 0));
    TCountdown* const outer = m_waiting;
    m_waiting = &wait;
    auto restore = qScopeGuard([&] { m_waiting = outer; });
    wait.Run(done);
    return done();
}

void TCustomSmtpClient::Pause(int ms)
{
    if (ms <= 0 || m_stage == TSmtpStage::Disconnected)
        return;
    QElapsedTimer clock;
    clock.start();
    // The event loop keeps turning, and a connection that ends (a cancel) ends the pause.
    WaitFor([this] { return m_stage == TSmtpStage::Disconnected; }, ms);
    m_pausedMs += clock.elapsed();
}

void TCustomSmtpClient::SendCommand(const QString& line)
{
    SendCommandShown(line, line);
}

void TCustomSmtpClient::SendCommandShown(const QString& line, const QString& shown)
{
    if (m_stage == TSmtpStage::Disconnected)
        return;
    Display(QStringLiteral("> ") + shown);
    qCDebug(lcNet).noquote() << "smtp" << m_host << ">" << netlog::Masked(shown);
    if (!m_inData)
        m_lastVerb = line.section(u' ', 0, 0).section(u':', 0, 0).toUpper();
    m_pump.Pump();
    m_dataSent = false;
    m_output += cp1252::encode(line);
    m_output += "\r\n";
    // Lines are handed to the socket in chunks; every reply read sends what is pending first.
    if (m_output.size() >= kOutputChunk)
        FlushOutput();
}

bool TCustomSmtpClient::FlushOutput()
{
    if (m_output.isEmpty())
        return true;
    if (m_stage == TSmtpStage::Disconnected || m_socket->State() != wsConnected) {
        m_output.clear();
        return false;
    }
    QByteArray out;
    out.swap(m_output);
    m_socket->SendStr(out);
    // Wait for the bytes to leave (bounded: a server that stops reading cannot hang us). The
    // data-sent notification is listened to only while someone waits for it.
    if (m_socket->AllSent())
        return true;
    m_socket->OnDataSent = [this](TCustomWSocket*, quint16) {
        m_dataSent = true;
        WakeLoop();
    };
    auto unbind = qScopeGuard([this] { m_socket->OnDataSent = nullptr; });
    if (WaitFor([this] { return m_socket->AllSent() || m_socket->State() != wsConnected; }, m_timeOut * 1000))
        return m_socket->State() == wsConnected;
    AbandonMessage(QStringLiteral("554 send timeout"));
    return false;
}

void TCustomSmtpClient::AbandonMessage(const QString& reason)
{
    SetError(reason);
    Display(reason);
    m_output.clear();
    try {
        m_socket->Close();
    } catch (const ESocketException&) {
    }
    m_stage = TSmtpStage::Disconnected;
}

bool TCustomSmtpClient::ReadWholeLine(int timeoutSec, QString& line, bool& tooLong)
{
    tooLong = false;
    line.clear();
    QString piece;
    for (;;) {
        ++m_readDepth;
        const bool ended = m_socket->ReadLine(timeoutSec, piece);
        --m_readDepth;
        line += piece;
        if (!ended)
            return false;
        if (!m_socket->LastLineCut())
            return true;
        if (line.size() > reply::MaxLineChars) {
            tooLong = true;
            return true;
        }
    }
}

void TCustomSmtpClient::CloseSocket()
{
    try {
        m_socket->Close();
    } catch (const ESocketException&) {
    }
    m_stage = TSmtpStage::Disconnected;
}

int TCustomSmtpClient::GetResponse()
{
    if (m_stage != TSmtpStage::Disconnected)
        FlushOutput();
    if (m_stage == TSmtpStage::Disconnected) {
        m_lastResponse = QStringLiteral("554 not connected");
        Display(QStringLiteral("< ") + m_lastResponse);
        m_lastReply = {m_lastVerb, 554, m_lastResponse, true, false};
        if (OnReply) {
            const TSmtpReply parsed = m_lastReply;
            OnReply(this, parsed);
            m_lastReply = parsed;
        }
        return 554;
    }
    QElapsedTimer clock;
    clock.start();
    const qint64 limitMs = qint64(std::max(m_timeOut, 1)) * 1000;
    m_replyLines.clear();
    int lines = 0;
    bool broken = false;
    bool real = false;
    // The reply is judged as read, before any display handler runs (a handler may send QUIT
    // and read its answer into LastResponse).
    TReplyLine reply;
    for (;;) {
        m_pump.Pump();
        // The whole reply, however many lines, gets TimeOut seconds.
        const qint64 leftMs = limitMs - clock.elapsed();
        if (lines > 0 && leftMs <= 0) {
            m_timeoutFlag = true;
            reply = reply::ParseSmtp(QStringLiteral("554 receive timeout"));
            m_lastResponse = reply.Text;
            Display(QStringLiteral("< ") + m_lastResponse);
            break;
        }
        const int leftSec = int(std::max<qint64>(1, (leftMs + 999) / 1000));
        QString line;
        bool tooLong = false;
        const bool ended = ReadWholeLine(lines == 0 ? m_timeOut : leftSec, line, tooLong);
        if (!ended && m_socket->State() == wsConnected)
            m_timeoutFlag = true; // also when another client owns the wait object's OnTimeout
        real = ended && !m_timeoutFlag;
        if (m_timeoutFlag)
            line = QStringLiteral("554 receive timeout");
        else if (!ended)
            line = QStringLiteral("554 not connected"); // the server hung up
        else if (tooLong) {
            line = QStringLiteral("554 reply too long");
            broken = true;
        }
        reply = reply::ParseSmtp(line);
        m_lastResponse = line;
        m_replyLines.append(line);
        qCDebug(lcNet).noquote() << "smtp" << m_host << "<" << line;
        Display(QStringLiteral("< ") + line);
        if (m_timeoutFlag || !ended || broken || reply.Last)
            break;
        if (++lines >= MaxReplyLines) {
            reply = reply::ParseSmtp(QStringLiteral("554 reply too long"));
            m_lastResponse = reply.Text;
            Display(QStringLiteral("< ") + m_lastResponse);
            broken = true;
            break;
        }
    }
    const bool timedOut = m_timeoutFlag;
    m_timeoutFlag = false;
    // After a lost, endless or garbled reply the dialogue is out of step: close, so that every
    // further command reads "554 not connected" instead of the answer to an earlier one.
    const bool lost = timedOut || !real;
    if (timedOut || broken || (real && !reply.HasCode)) {
        if (reply.Text.trimmed().isEmpty()) {
            // An empty line is no reason a user could read when the command fails.
            reply = reply::ParseSmtp(QStringLiteral("554 empty reply"));
            m_lastResponse = reply.Text;
            Display(QStringLiteral("< ") + m_lastResponse);
        }
        CloseSocket();
    } else if (real && reply.Code == 421) {
        // The server is closing the session (RFC 5321 3.8): nothing more will be answered.
        CloseSocket();
    }
    const TSmtpReply parsed{m_lastVerb, reply.Code, reply.Text, lost, timedOut};
    m_lastReply = parsed;
    if (OnReply && !m_quietReplies) {
        OnReply(this, parsed);
        // A handler may send a command of its own (QUIT): the reply read here stays the last.
        m_lastReply = parsed;
        m_lastResponse = parsed.Text;
    }
    return reply.Code;
}

bool TCustomSmtpClient::Expect(int code, bool closeOnMismatch)
{
    return Expect2(code, code, closeOnMismatch);
}

bool TCustomSmtpClient::Expect2(int code1, int code2, bool closeOnMismatch)
{
    const int code = GetResponse();
    if (code == code1 || code == code2)
        return true;
    SetError(m_lastResponse);
    if (closeOnMismatch) {
        try {
            m_socket->Close();
        } catch (const ESocketException&) {
        }
    }
    return false;
}

// --- operations ----------------------------------------------------------------------------

bool TCustomSmtpClient::Guarded(const std::function<bool()>& operation)
{
    try {
        return operation();
    } catch (const ESocketException& e) {
        // A failed read or send leaves the dialogue out of step: the connection is dropped.
        m_inData = false;
        m_output.clear();
        SetError(e.Message());
        Display(e.Message());
        CloseSocket();
        return false;
    }
}

bool TCustomSmtpClient::Connect()
{
    return Guarded([this] { return DoConnect(); });
}

bool TCustomSmtpClient::DoConnect()
{
    if (!m_wait) {
        m_errorMessage = QStringLiteral("No wait object");
        Display(m_errorMessage);
        return false;
    }
    ClaimWaitTimeout(m_wait, this, &m_timeoutFlag);
    if (m_stage != TSmtpStage::Disconnected)
        return true;
    m_errorMessage.clear();
    m_output.clear();
    if (m_host.isEmpty()) {
        m_errorMessage = QStringLiteral("No host specified");
        Display(m_errorMessage);
        return false;
    }
    if (HasLineBreak(m_signOn)) {
        m_errorMessage = QStringLiteral("The sign-on name contains a line break");
        Display(m_errorMessage);
        return false;
    }
    m_ehlo = {};
    if (!m_settingsFile.isEmpty())
        m_server = serversettings::Load(TIniFile(m_settingsFile), TMailProtocol::Smtp, m_host);
    if (m_server.Present) {
        QString refusal = m_server.Error;
        if (refusal.isEmpty() && !m_server.User.isEmpty() && m_server.Security == TMailSecurity::None
            && !m_server.PasswordAllowedInClear())
            refusal = QStringLiteral("The password for '%1' would go out without TLS; choose Security=None "
                                     "for this server to allow that")
                          .arg(m_host);
        // A password the user chose not to remember: fail before connecting, naming what is
        // missing, rather than be refused by the server after the greeting.
        if (refusal.isEmpty() && !m_server.User.isEmpty() && m_server.Password.isEmpty())
            refusal = QStringLiteral("No password for the user '%1' of the SMTP server '%2': enter it under "
                                     "\"Server security...\" and tick \"Remember password\"")
                          .arg(m_server.User, m_host);
        if (!refusal.isEmpty()) {
            m_errorMessage = refusal;
            Display(m_errorMessage);
            return false;
        }
    }
    QString signOn = m_signOn;
    try {
        m_socket->SetProto(QStringLiteral("tcp"));
        const bool ownPort = m_server.Present && (m_server.Port > 0 || m_server.Security != TMailSecurity::None);
        m_socket->SetPort(ownPort ? m_server.PortText(TMailProtocol::Smtp) : m_port);
        m_socket->SetAddr(m_host);
        m_socket->OnDataAvailable = nullptr;
        m_socket->Connect();
    } catch (const ESocketException& e) {
        m_errorMessage = e.Message();
        return false;
    }
    if (!m_socket->WaitForState(m_timeOut, wsConnected)) {
        m_errorMessage = QStringLiteral("Can't connect to host '") + m_host + u'\'';
        Display(m_errorMessage);
        m_socket->Close();
        return false;
    }
    Display(QStringLiteral("Connected with SMTP server"));
    m_stage = TSmtpStage::Connected;
    if (signOn.isEmpty())
        signOn = GreetingName();
    if (m_server.Present && m_server.Security == TMailSecurity::Tls && !StartTls())
        return false;
    if (!Expect(220, true))
        return false;
    if (!Greet(signOn))
        return false;
    m_stage = TSmtpStage::Greeted;
    return true;
}

bool TCustomSmtpClient::Greet(const QString& signOn)
{
    if (!m_server.Present) {
        SendCommand(QStringLiteral("HELO ") + signOn);
        return Expect(250, true);
    }
    const bool wantTls = m_server.Security != TMailSecurity::None;
    if (m_server.Security == TMailSecurity::Tls && !m_socket->TlsActive())
        return false; // StartTls ran before the greeting and failed
    for (;;) {
        SendCommand(QStringLiteral("EHLO ") + signOn);
        const int code = GetResponse();
        m_ehlo = {};
        if (code == 250) {
            m_ehlo = reply::ParseEhlo(m_replyLines);
        } else if (code >= 500 && code < 600 && m_stage != TSmtpStage::Disconnected && !(wantTls && !m_socket->TlsActive())) {
            SendCommand(QStringLiteral("HELO ") + signOn);
            if (!Expect(250, true))
                return false;
        } else {
            SetError(m_lastResponse);
            CloseSocket();
            return false;
        }
        if (!wantTls || m_socket->TlsActive())
            break;
        // STARTTLS required: without it nothing more goes out in clear.
        if (!m_ehlo.StartTls) {
            m_errorMessage = QStringLiteral("The server '%1' does not offer STARTTLS; nothing was sent in clear").arg(m_host);
            Display(m_errorMessage);
            CloseSocket();
            return false;
        }
        SendCommand(QStringLiteral("STARTTLS"));
        if (!Expect(220, true))
            return false;
        if (!StartTls())
            return false;
    }
    if (!m_server.User.isEmpty())
        return Authenticate();
    return true;
}

bool TCustomSmtpClient::StartTls()
{
    QString error;
    if (!m_socket->StartTls(m_host, m_server.Fingerprint, m_timeOut, error)) {
        m_errorMessage = error;
        Display(error);
        CloseSocket();
        return false;
    }
    Display(QStringLiteral("TLS started with '%1'").arg(m_host));
    return true;
}

bool TCustomSmtpClient::Authenticate()
{
    const QStringList& mechanisms = m_ehlo.AuthMechanisms;
    const QByteArray user = m_server.User.toUtf8();
    const QByteArray password = m_server.Password.toUtf8();
    const QString masked = QStringLiteral("****");
    if (mechanisms.contains(QLatin1String("PLAIN"))) {
        const QByteArray token = (QByteArray(1, '\0') + user + '\0' + password).toBase64();
        SendCommandShown(QStringLiteral("AUTH PLAIN ") + QLatin1String(token), QStringLiteral("AUTH PLAIN ") + masked);
        return Expect(235, true);
    }
    if (mechanisms.contains(QLatin1String("LOGIN"))) {
        SendCommand(QStringLiteral("AUTH LOGIN"));
        if (!Expect(334, true))
            return false;
        SendCommand(QLatin1String(user.toBase64()));
        if (!Expect(334, true))
            return false;
        SendCommandShown(QLatin1String(password.toBase64()), masked);
        return Expect(235, true);
    }
    m_errorMessage = QStringLiteral("The server '%1' offers no AUTH PLAIN or LOGIN; the password was not sent").arg(m_host);
    Display(m_errorMessage);
    CloseSocket();
    return false;
}

bool TCustomSmtpClient::Mail()
{
    m_rcptResults.clear();
    m_step = TMailStep::None;
    m_lastReply = {};
    m_pipelined = false;
    return Guarded([this] { return DoMail(); });
}

QString TCustomSmtpClient::RcptRefusal(const QString& rcpt)
{
    if (HasLineBreak(rcpt))
        return QStringLiteral("Recipient refused, it contains a line break: ")
            + FoldValue(rcpt, true).replace(QLatin1String("\r\n\t"), QLatin1String(" "));
    if (rcpt.contains(u'<') || rcpt.contains(u'>') || rcpt.contains(u' ') || rcpt.contains(u'\t'))
        return QStringLiteral("Recipient refused, not a plain address: ") + rcpt; // could add parameters
    return {};
}

bool TCustomSmtpClient::ReadRcptReply(TRcptResult& result)
{
    const int code = GetResponse();
    result.Reply = m_lastResponse;
    if (m_lastReply.Lost) {
        SetError(m_lastResponse);
        result.State = TRcptState::NotAttempted; // nobody answered for it: it is still to send
        return false;
    }
    if (code == 250 || code == 251) {
        result.State = TRcptState::Accepted;
        return false;
    }
    SetError(m_lastResponse);
    result.State = (code >= 400 && code < 500) ? TRcptState::Deferred : TRcptState::Refused;
    return result.State == TRcptState::Deferred;
}

bool TCustomSmtpClient::SendEnvelopeGroup(const QString& from)
{
    m_pipelined = true;
    Pause(m_rcptPauseMs);
    SendCommand(QStringLiteral("MAIL FROM:<") + from + u'>');
    QList<qsizetype> awaited;
    for (const QString& name : std::as_const(m_rcptName)) {
        const QString rcpt = name.trimmed();
        if (const QString why = RcptRefusal(rcpt); !why.isEmpty()) {
            SetError(why);
            Display(why);
            m_rcptResults.append({rcpt, TRcptState::Refused, why});
            continue;
        }
        SendCommand(QStringLiteral("RCPT TO:<") + rcpt + u'>');
        m_rcptResults.append({rcpt, TRcptState::NotAttempted, QString()});
        awaited.append(m_rcptResults.size() - 1);
    }
    if (!awaited.isEmpty())
        SendCommand(QStringLiteral("DATA"));
    // Every reply is read in order to stay in step; the ones after a refusal that already
    // decided the transaction (a refused sender, no recipient) only follow from it.
    m_lastVerb = QStringLiteral("MAIL");
    const bool senderOk = Expect(250, false);
    const TSmtpReply mailReply = m_lastReply;
    m_quietReplies = !senderOk;
    auto loud = qScopeGuard([this] { m_quietReplies = false; });
    bool any = false;
    for (const qsizetype r : std::as_const(awaited)) {
        if (m_stage != TSmtpStage::Greeted)
            break;
        m_lastVerb = QStringLiteral("RCPT");
        ReadRcptReply(m_rcptResults[r]);
        any = any || m_rcptResults[r].State == TRcptState::Accepted;
    }
    if (!senderOk) {
        for (qsizetype k = 0; k < m_rcptResults.size(); ++k)
            if (m_rcptResults[k].State != TRcptState::Refused || awaited.contains(k))
                m_rcptResults[k] = {m_rcptResults[k].Address, TRcptState::NotAttempted, QString()};
    }
    const TSmtpReply why = senderOk ? m_lastReply : mailReply;
    if (!awaited.isEmpty() && m_stage == TSmtpStage::Greeted) {
        m_step = TMailStep::Data;
        m_lastVerb = QStringLiteral("DATA");
        m_quietReplies = !senderOk || !any;
        const int code = GetResponse();
        if (senderOk && any) {
            if (code == 354)
                return true;
            SetError(m_lastResponse);
            return false;
        }
        if (code == 354) {
            // The server wants a message nobody is to get: hang up, it is discarded.
            CloseSocket();
        } else if (senderOk && m_stage == TSmtpStage::Greeted) {
            // The transaction is reset so the connection can carry another.
            SendCommand(QStringLiteral("RSET"));
            GetResponse();
        }
    }
    m_lastReply = why;
    m_lastResponse = why.Text;
    m_step = senderOk ? TMailStep::Recipients : TMailStep::MailFrom;
    return false;
}

void TCustomSmtpClient::SendRecipients()
{
    // RFC 5321 4.5.3.1.10: after a 4xx (typically a limit per message) no more recipients go
    // into this transaction; the rest wait for the next one.
    m_pipelined = m_pipeliningAllowed && m_ehlo.Pipelining;
    const qsizetype n = m_rcptName.size();
    m_rcptResults.reserve(n);
    TEventPump pump;
    bool deferred = false;
    qsizetype i = 0;
    while (i < n && !deferred && m_stage == TSmtpStage::Greeted) {
        // A group runs from one pause to the next: the 1st, 101st, 201st ... recipient.
        Pause(m_rcptPauseMs);
        const qsizetype end = std::min(n, (i / 100 + 1) * 100);
        QList<qsizetype> awaited; // results whose reply is still to be read (pipelined)
        for (; i < end && !deferred && m_stage == TSmtpStage::Greeted; ++i) {
            pump.Pump();
            const QString rcpt = m_rcptName[i].trimmed();
            if (const QString why = RcptRefusal(rcpt); !why.isEmpty()) {
                // Refused like a recipient the server refuses: the message goes on without it.
                SetError(why);
                Display(why);
                m_rcptResults.append({rcpt, TRcptState::Refused, why});
                continue;
            }
            SendCommand(QStringLiteral("RCPT TO:<") + rcpt + u'>');
            m_rcptResults.append({rcpt, TRcptState::NotAttempted, QString()});
            if (m_pipelined)
                awaited.append(m_rcptResults.size() - 1);
            else
                deferred = ReadRcptReply(m_rcptResults.last());
        }
        // Pipelined: every reply of the group is read, in order, to stay in step. A recipient
        // the server accepted after another's 4xx is in the envelope all the same.
        for (const qsizetype r : std::as_const(awaited))
            deferred = ReadRcptReply(m_rcptResults[r]) || deferred;
    }
    for (qsizetype k = m_rcptResults.size(); k < n; ++k)
        m_rcptResults.append({m_rcptName[k].trimmed(), TRcptState::NotAttempted, QString()});
}

bool TCustomSmtpClient::DoMail()
{
    m_step = TMailStep::Connect;
    if (m_stage == TSmtpStage::Disconnected && !DoConnect())
        return false;
    m_timeoutFlag = false;
    m_pausedMs = 0;
    m_step = TMailStep::MailFrom;
    if (const qint64 limit = SizeLimit(); limit > 0) {
        if (const qint64 size = EstimatedSize(); size > limit) {
            const QString why = QStringLiteral("The message (at least %1 bytes) is larger than the server '%2' "
                                               "accepts (%3 bytes); nothing was sent")
                                    .arg(size)
                                    .arg(m_host)
                                    .arg(limit);
            SetError(why);
            Display(why);
            return false;
        }
    }
    const QString from = m_fromName.trimmed();
    if (HasLineBreak(from)) {
        SetError(QStringLiteral("The sender address contains a line break"));
        Display(QStringLiteral("The sender address contains a line break"));
        return false;
    }
    const bool group = m_envelopeGroup && m_pipeliningAllowed && m_ehlo.Pipelining && m_rcptName.size() <= 100;
    if (group) {
        if (!SendEnvelopeGroup(from))
            return false;
    } else {
        SendCommand(QStringLiteral("MAIL FROM:<") + from + u'>');
        if (!Expect(250, false))
            return false;
        m_step = TMailStep::Recipients;
        SendRecipients();
    }
    TEventPump pump;
    if (m_stage != TSmtpStage::Greeted)
        return false;
    const bool anyAccepted = std::any_of(m_rcptResults.cbegin(), m_rcptResults.cend(),
                                         [](const TRcptResult& r) { return r.State == TRcptState::Accepted; });
    if (!anyAccepted && !group) {
        // DATA would only be answered "no valid recipients"; the refusals say why. The
        // transaction is reset so the connection can carry another.
        const TSmtpReply why = m_lastReply;
        SendCommand(QStringLiteral("RSET"));
        GetResponse();
        m_lastReply = why;
        return false;
    }
    if (!group) {
        m_step = TMailStep::Data;
        SendCommand(QStringLiteral("DATA"));
        if (!Expect(354, false))
            return false;
    }

    QStringList headers;
    headers << QStringLiteral("From: ") + FoldValue(m_hdrFrom, true)
            << QStringLiteral("To: ") + FoldValue(m_hdrTo, true)
            << QStringLiteral("Subject: ") + FoldValue(m_hdrSubject, false)
            << QStringLiteral("Mime-Version: 1.0")
            << QStringLiteral("Content-Type: text/plain; charset=\"") + FoldValue(m_charSet, false) + u'"'
            << QStringLiteral("Date: ") + DateText(QDateTime::currentDateTime());
    TriggerHeaders(headers);
    QStringList lines;
    for (const QString& header : std::as_const(headers)) {
        pump.Pump();
        QString buffer = header;
        TriggerHeaderLine(buffer, HeaderBufferSize);
        buffer = SanitizeHeader(buffer);
        if (!buffer.isEmpty())
            lines << buffer;
    }
    TriggerHeadersFinal(lines);
    for (const QString& line : std::as_const(lines))
        SendCommand(line);
    SendCommand(QString());

    m_inData = true;
    auto dataEnded = qScopeGuard([this] { m_inData = false; });
    bool more = true;
    int lineNum = 1;
    while (more && m_stage == TSmtpStage::Greeted) {
        // Lines that need no stuffing and no conversion (base64) go out a block at a time.
        if (QByteArray block; RawBodyBlock(block)) {
            if (m_stage != TSmtpStage::Greeted)
                break;
            if (OnDisplay) {
                for (qsizetype at = 0, end; (end = block.indexOf("\r\n", at)) >= 0; at = end + 2)
                    Display(QStringLiteral("> ") + QString::fromLatin1(block.constData() + at, end - at));
            }
            m_output += block;
            if (m_output.size() >= kOutputChunk)
                FlushOutput();
            pump.Pump();
            continue;
        }
        QString line;
        try {
            TriggerGetData(lineNum, line, BodyLineMax, more);
        } catch (...) {
            // A message cut short must never count as sent: leave without the final ".", so
            // the server discards it.
            AbandonMessage(QStringLiteral("554 message abandoned, its text could not be read"));
            return false;
        }
        if (!more || m_stage != TSmtpStage::Greeted)
            break;
        if (!HasLineBreak(line)) {
            if (line.startsWith(u'.'))
                line.prepend(u'.');
            SendCommand(line);
        } else {
            // A line break inside a body line must not end the data early: every piece is a
            // line of its own, stuffed like any other.
            for (QString piece : SplitLines(line)) {
                if (piece.startsWith(u'.'))
                    piece.prepend(u'.');
                SendCommand(piece);
            }
        }
        ++lineNum;
        pump.Pump();
    }
    m_inData = false;
    // Ended from outside (a cancel) or by the server: "." is not sent and the reply reads
    // "554 not connected", so the message never counts as sent.
    if (m_stage == TSmtpStage::Greeted)
        m_step = TMailStep::Message;
    SendCommand(QStringLiteral("."));
    if (!Expect(250, false))
        return false;
    m_step = TMailStep::Done;
    return true;
}

bool TCustomSmtpClient::Quit()
{
    if (m_stage == TSmtpStage::Disconnected)
        return true;
    if (m_inData || m_readDepth > 0) {
        // Called from inside a message or a reply wait (a cancel): QUIT would land in the
        // message text or be answered by the pending reply. Hang up instead; the server
        // discards the unfinished message.
        m_inData = false;
        m_output.clear();
        CloseSocket();
        return true;
    }
    bool ok = false;
    try {
        SendCommand(QStringLiteral("QUIT"));
        ok = GetResponse() == 221;
    } catch (const ESocketException& e) {
        SetError(e.Message());
        ok = false;
    } catch (...) {
        ok = false;
    }
    m_stage = TSmtpStage::Disconnected;
    m_output.clear();
    try {
        m_socket->Close();
    } catch (...) {
    }
    return ok;
}

bool TCustomSmtpClient::Rset()
{
    if (m_stage == TSmtpStage::Disconnected)
        return true;
    try {
        SendCommand(QStringLiteral("RSET"));
        return GetResponse() == 250;
    } catch (const ESocketException& e) {
        SetError(e.Message());
        CloseSocket(); // the connection is out of step after a failed send
        return false;
    } catch (...) {
        return false;
    }
}

bool TCustomSmtpClient::Abort()
{
    m_stage = TSmtpStage::Disconnected;
    m_output.clear();
    try {
        m_socket->ShutDown(2);
        m_socket->Close();
    } catch (...) {
    }
    return true;
}

// --- hooks ---------------------------------------------------------------------------------

void TCustomSmtpClient::TriggerGetData(int LineNum, QString& MsgLine, int MaxLen, bool& More)
{
    if (!OnGetData) {
        More = false;
        return;
    }
    OnGetData(this, LineNum, MsgLine, MaxLen, More);
}

void TCustomSmtpClient::TriggerHeaderLine(QString& Msg, int Size)
{
    if (OnHeaderLine)
        OnHeaderLine(this, Msg, Size);
}

void TCustomSmtpClient::TriggerHeaders(QStringList& headers)
{
    if (OnHeaders)
        OnHeaders(this, headers);
}

void TCustomSmtpClient::TriggerHeadersFinal(QStringList& lines)
{
    if (OnHeadersFinal)
        OnHeadersFinal(this, lines);
}

bool TCustomSmtpClient::OpenAttachment(const QString& fileName)
{
    m_attachment.close();
    m_attachment.setFileName(fileName);
    m_attachmentBuffer.clear();
    m_attachmentPos = 0;
    return m_attachment.open(QIODevice::ReadOnly);
}

bool TCustomSmtpClient::FillAttachmentBuffer()
{
    // The file is read in large blocks, a multiple of 45 bytes: whole base64 lines.
    if (m_attachmentPos < m_attachmentBuffer.size())
        return true;
    m_attachmentBuffer = m_attachment.read(45 * 1456);
    m_attachmentPos = 0;
    return m_attachment.error() == QFileDevice::NoError;
}

bool TCustomSmtpClient::EncodeLine(QString& line, bool& failed)
{
    failed = !FillAttachmentBuffer();
    if (failed) {
        line.clear();
        return false;
    }
    const qsizetype n = std::min<qsizetype>(45, m_attachmentBuffer.size() - m_attachmentPos);
    line = mailformat::Base64Line(QByteArrayView(m_attachmentBuffer.constData() + m_attachmentPos, n));
    m_attachmentPos += n;
    return m_attachmentPos < m_attachmentBuffer.size() || !m_attachment.atEnd();
}

void TCustomSmtpClient::CloseAttachment()
{
    m_attachment.close();
    m_attachmentBuffer.clear();
    m_attachmentPos = 0;
}

// ---------------------------------------------------------------------------------------------

TSmtpClient::TSmtpClient(QObject* owner) : TCustomSmtpClient(owner) {}

QString TSmtpClient::MakeBoundary(const QDateTime& when)
{
    return mailformat::MakeBoundary(when);
}

void TSmtpClient::SetEmailFiles(const QStringList& files)
{
    m_emailFiles.clear();
    TEventPump pump;
    for (const QString& f : files) {
        pump.Pump();
        const QString name = f.trimmed();
        if (name.isEmpty())
            continue;
        if (!QFileInfo(name).isFile())
            throw SmtpException(QStringLiteral("File not found '") + name + u'\'');
        m_emailFiles << name;
    }
}

qint64 TSmtpClient::EstimatedSize() const
{
    // Base64 makes 45 bytes a line of 60 characters plus CR LF.
    qint64 size = 0;
    for (const QString& name : m_emailFiles)
        size += (QFileInfo(name).size() + 44) / 45 * 62;
    return size;
}

bool TSmtpClient::Mail()
{
    m_inBody = true;
    m_fileIndex = 0;
    m_bodyLine = 0;
    if (m_fileOpen)
        CloseAttachment();
    m_fileOpen = false;
    m_pending.clear();
    if (!m_emailFiles.isEmpty()) {
        m_boundary = MakeBoundary(QDateTime::currentDateTime());
        m_pending << QStringLiteral("This is a multipart MIME message.") << QString()
                  << QStringLiteral("--") + m_boundary
                  << QStringLiteral("Content-Type: text/plain; charset=\"") + FoldValue(CharSet(), false) + u'"'
                  << QStringLiteral("Content-Transfer-Encoding: 7bit") << QString();
    } else {
        m_boundary.clear();
    }
    const bool ok = TCustomSmtpClient::Mail();
    if (m_fileOpen) {
        CloseAttachment();
        m_fileOpen = false;
    }
    return ok;
}

void TSmtpClient::TriggerHeaderLine(QString& Msg, int Size)
{
    if (!m_boundary.isEmpty() && Msg.left(13).compare(QLatin1String("CONTENT-TYPE:"), Qt::CaseInsensitive) == 0)
        Msg = QStringLiteral("Content-Type: multipart/mixed;\r\n\tboundary=\"") + m_boundary + u'"';
    TCustomSmtpClient::TriggerHeaderLine(Msg, Size);
}

bool TSmtpClient::RawBodyBlock(QByteArray& wire)
{
    if (!m_fileOpen || !m_pending.isEmpty())
        return false;
    // The rest of the buffered block, encoded at once: 60 characters (45 bytes) a line.
    if (!FillAttachmentBuffer()) {
        AttachmentUnreadable(m_emailFiles.value(m_fileIndex));
        return true;
    }
    const qsizetype n = m_attachmentBuffer.size() - m_attachmentPos;
    const QByteArray encoded =
        QByteArray::fromRawData(m_attachmentBuffer.constData() + m_attachmentPos, n).toBase64();
    m_attachmentPos += n;
    wire.reserve(encoded.size() + encoded.size() / 30 + 2);
    for (qsizetype i = 0; i < encoded.size(); i += 60) {
        wire.append(encoded.constData() + i, std::min<qsizetype>(60, encoded.size() - i));
        wire.append("\r\n", 2);
    }
    if (encoded.isEmpty())
        wire.append("\r\n", 2); // an empty file gives one empty line
    if (m_attachment.atEnd())
        AttachmentDone();
    return true;
}

void TSmtpClient::AttachmentDone()
{
    CloseAttachment();
    m_fileOpen = false;
    ++m_fileIndex;
    if (m_fileIndex >= m_emailFiles.size())
        m_pending << QString() << QStringLiteral("--") + m_boundary + QStringLiteral("--");
}

void TSmtpClient::AttachmentUnreadable(const QString& file)
{
    // Sending the message without it would report a loss as a success.
    AbandonMessage(QStringLiteral("Cannot read attachment '") + file + u'\'');
}

void TSmtpClient::TriggerGetData(int, QString& MsgLine, int MaxLen, bool& More)
{
    if (!m_pending.isEmpty()) {
        MsgLine = m_pending.takeFirst();
        More = true;
        return;
    }
    if (m_inBody) {
        ++m_bodyLine;
        bool more = true;
        TCustomSmtpClient::TriggerGetData(m_bodyLine, MsgLine, MaxLen, more);
        if (more) {
            More = true;
            return;
        }
        m_inBody = false;
        MsgLine.clear();
    }
    if (m_fileOpen) {
        bool failed = false;
        const bool left = EncodeLine(MsgLine, failed);
        if (failed) {
            AttachmentUnreadable(m_emailFiles.value(m_fileIndex));
            More = false;
            return;
        }
        if (!left)
            AttachmentDone();
        More = true;
        return;
    }
    if (m_fileIndex < m_emailFiles.size()) {
        const QString file = m_emailFiles[m_fileIndex];
        MsgLine.clear();
        if (!OpenAttachment(file)) {
            AttachmentUnreadable(file);
            More = false;
            return;
        }
        const QString name = SafeParameter(QFileInfo(file).fileName());
        m_pending << QStringLiteral("--") + m_boundary << QStringLiteral("Content-Type: application/octet-stream;")
                  << QStringLiteral("\tname=\"") + name + u'"' << QStringLiteral("Content-Transfer-Encoding: base64")
                  << QStringLiteral("Content-Disposition: attachment;") << QStringLiteral("\tfilename=\"") + name + u'"'
                  << QString();
        m_fileOpen = true;
        More = true;
        return;
    }
    More = false;
}
