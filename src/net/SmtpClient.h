#pragma once
// An SMTP client that sends one message in a call that waits: Connect greets the server, Mail
// sends the envelope, the header lines it builds and the body lines it pulls from its owner,
// Quit ends the session. TSmtpClient adds MIME attachments (multipart/mixed, base64 parts).
//
// Every line that reaches the wire comes from a builder that keeps CR and LF inside values from
// making extra protocol lines or header fields: envelope addresses and the sign-on name with a
// line break are refused; header values are folded; body lines holding line breaks go out as
// separate, dot-stuffed lines.
#include "net/Reply.h"
#include "net/ServerSettings.h"
#include "net/WSocket.h"
#include "platform/EventPump.h"

#include <QFile>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <exception>
#include <functional>
#include <memory>

class QDateTime;
class TCountdown;
class TCustomWait;

// Where a connection stands: not connected, connected and awaiting the greeting, greeted.
enum class TSmtpStage { Disconnected = 0, Connected = 1, Greeted = 2 };

// What the server said to one RCPT TO of the last message: accepted (250, 251), deferred
// (4xx: try again, for example "452 too many recipients"), refused (5xx, or an address that
// could not be sent as one), or not attempted (the transaction ended before its turn: after the
// first 4xx, or when the connection went).
enum class TRcptState { Accepted, Refused, Deferred, NotAttempted };
struct TRcptResult
{
    QString Address;
    TRcptState State = TRcptState::Refused;
    QString Reply; // the server's reply line, or the client's own reason when it refused the address
};

// Where the last Mail stopped: its result tells whether the message was taken; this tells what
// was still to come, so an owner knows whether anything may have reached the server.
enum class TMailStep { None, Connect, MailFrom, Recipients, Data, Message, Done };

// One complete reply as the client parsed it, with the command it answers ("MAIL", "RCPT",
// "DATA", "." for the message, "EHLO", ...). Lost: the connection closed or the reply did not
// come in time (Code is then 554 and Text the client's own "554 ..." line).
struct TSmtpReply
{
    QString Command;
    int Code = 0;
    QString Text;
    bool Lost = false;
    bool TimedOut = false; // the lost reply did not come within TimeOut; Lost is then set too
};

class SmtpException : public std::exception
{
public:
    explicit SmtpException(QString message) : m_message(std::move(message)), m_utf8(m_message.toUtf8()) {}
    const QString& Message() const { return m_message; }
    const char* what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_message;
    QByteArray m_utf8;
};

class TCustomSmtpClient : public QObject
{
    Q_OBJECT
public:
    using TSmtpDisplay = std::function<void(TCustomSmtpClient* Sender, const QString& Msg)>;
    using TSmtpGetDataEvent =
        std::function<void(TCustomSmtpClient* Sender, int LineNum, QString& MsgLine, int MaxLen, bool& More)>;
    using TSmtpHeaderLineEvent = std::function<void(TCustomSmtpClient* Sender, QString& Msg, int Size)>;
    using TSmtpHeadersEvent = std::function<void(TCustomSmtpClient* Sender, QStringList& Headers)>;
    using TSmtpReplyEvent = std::function<void(TCustomSmtpClient* Sender, const TSmtpReply& Reply)>;

    // The Size handed to OnHeaderLine, and the MaxLen handed to OnGetData.
    static constexpr int HeaderBufferSize = 1024;
    static constexpr int BodyLineMax = 1023;
    // Physical header lines longer than this are folded (the line limit of RFC 5322).
    static constexpr int HeaderLineLimit = 998;
    // A reply of more lines than this is not a reply: the connection is dropped.
    static constexpr int MaxReplyLines = 1000;

    explicit TCustomSmtpClient(QObject* owner = nullptr);
    ~TCustomSmtpClient() override;

    // Each returns false on failure with the reason in ErrorMessage or LastResponse; none
    // throws on a socket failure. Connect needs a wait object and a host; true once greeted or when already connected.
    virtual bool Connect();
    // True when the server took the message (its final 250); RcptResults and LastStep tell more.
    virtual bool Mail();
    // True also when not connected; hangs up without QUIT when called from inside a message.
    virtual bool Quit();
    virtual bool Rset();
    // Hangs up at once, without QUIT; always true.
    virtual bool Abort();

    QString Host() const { return m_host; }
    void SetHost(const QString& host) { m_host = host; }
    QString Port() const { return m_port; }
    void SetPort(const QString& port) { m_port = port; }
    QString SignOn() const { return m_signOn; }
    void SetSignOn(const QString& name) { m_signOn = name; }
    QString FromName() const { return m_fromName; }
    void SetFromName(const QString& address) { m_fromName = address; }
    QStringList& RcptName() { return m_rcptName; }
    const QStringList& RcptName() const { return m_rcptName; }
    // Replaces the recipients, keeping the event loop turning on long lists.
    void SetRcptName(const QStringList& addresses);
    QString HdrFrom() const { return m_hdrFrom; }
    void SetHdrFrom(const QString& value) { m_hdrFrom = value; }
    QString HdrTo() const { return m_hdrTo; }
    void SetHdrTo(const QString& value) { m_hdrTo = value; }
    QString HdrSubject() const { return m_hdrSubject; }
    void SetHdrSubject(const QString& value) { m_hdrSubject = value; }
    QString CharSet() const { return m_charSet; }
    void SetCharSet(const QString& charSet) { m_charSet = charSet; }
    // The last line read ("554 ..." of the client's own when nothing came).
    QString LastResponse() const { return m_lastResponse; }
    // Why the last operation failed before or outside a reply (empty when none did).
    QString ErrorMessage() const { return m_errorMessage; }
    // Required before Connect; not owned (a destroyed wait object reads as none).
    TCustomWait* Wait() const;
    void SetWait(TCustomWait* wait);
    // Seconds a whole reply may take (15).
    int TimeOut() const { return m_timeOut; }
    void SetTimeOut(int seconds) { m_timeOut = seconds; }
    // Free for the owner; the client does not use it.
    int Tag() const { return m_tag; }
    void SetTag(int tag) { m_tag = tag; }
    // 0 not connected, 1 connected and awaiting the greeting, 2 greeted.
    int Stage() const { return int(m_stage); }
    TSmtpStage StageValue() const { return m_stage; }
    // One entry per recipient of the last Mail, in order.
    const QList<TRcptResult>& RcptResults() const { return m_rcptResults; }
    // Where the last Mail stopped (Done after the server took the message).
    TMailStep LastStep() const { return m_step; }
    // The reply that ended the last Mail's transaction (the final one on success).
    const TSmtpReply& LastReply() const { return m_lastReply; }
    // Pipelining (RFC 2920) is used when the server's EHLO reply offers it and this is on (the
    // default): the recipient commands between two pauses go out in one write.
    bool PipeliningAllowed() const { return m_pipeliningAllowed; }
    void SetPipeliningAllowed(bool on) { m_pipeliningAllowed = on; }
    // True when the last Mail pipelined its recipients.
    bool Pipelined() const { return m_pipelined; }
    // With pipelining offered and at most 100 recipients, MAIL FROM, the RCPTs and DATA go out
    // as one group (RFC 2920), so a message costs two round trips instead of four. Off by
    // default; for senders of many small transactions (one message per recipient).
    bool EnvelopeGroup() const { return m_envelopeGroup; }
    void SetEnvelopeGroup(bool on) { m_envelopeGroup = on; }
    // True while the message text (after DATA's 354, before the final ".") is being sent.
    bool SendingData() const { return m_inData; }
    // Owned by the client; never null.
    TWSocket* Socket() const { return m_socket.get(); }
    // The pause before the 1st, 101st, 201st ... RCPT TO, in milliseconds (1000). Waiting keeps
    // the event loop turning; PausedMs() is the time spent so in the last Mail.
    int RcptPause() const { return m_rcptPauseMs; }
    void SetRcptPause(int ms) { m_rcptPauseMs = ms; }
    qint64 PausedMs() const { return m_pausedMs; }

    // The server's own settings section. Without one (Present false) the dialogue is the plain
    // one: HELO, no TLS, Port as set. With one: its port, EHLO (HELO when EHLO is refused with
    // a 5xx), and AUTH PLAIN or LOGIN when a user is set.
    const TServerSettings& ServerSettings() const { return m_server; }
    void SetServerSettings(const TServerSettings& settings) { m_server = settings; }
    // When set, every Connect first reads the section of Host from this settings file (the
    // main window names "Quorvel.ini"), so whoever sets Host gets that server's settings.
    QString SettingsFile() const { return m_settingsFile; }
    void SetSettingsFile(const QString& path) { m_settingsFile = path; }
    // What the server's EHLO reply offered (empty after HELO).
    const TEhloReply& Ehlo() const { return m_ehlo; }
    // The extensions, keywords in upper case ("SIZE 1000000", "AUTH PLAIN LOGIN", "STARTTLS").
    const QStringList& Extensions() const { return m_ehlo.Extensions; }
    // The SIZE the server announced, 0 when none.
    qint64 SizeLimit() const { return m_ehlo.Size; }
    // The name HELO/EHLO greets with when SignOn is empty: the host's fully qualified name, or
    // the connection's local address as a literal ("[192.0.2.1]") when it has none.
    QString GreetingName() const;
    // The lines of the last reply read.
    const QStringList& ReplyLines() const { return m_replyLines; }

    // The date text of the Date header: "ddd, d mmm yyyy hh:mm:ss" with English names.
    static QString DateText(const QDateTime& when);
    // A header value as one well-formed field body: line breaks inside it become folds
    // (address lists get a comma between the lines), blank lines are dropped.
    static QString FoldValue(const QString& value, bool addressList);
    // A header buffer after the owner's hook, as the physical lines that go out: line breaks
    // normalised to CR LF, blank lines dropped, stray lines folded, lines over the limit folded.
    static QString SanitizeHeader(const QString& buffer);

    // Every line sent ("> ...") and read ("< ..."), and the client's own messages.
    TSmtpDisplay OnDisplay;
    // Fills MsgLine with body line LineNum (from 1); clearing More ends the body. Without a
    // handler the body is empty.
    TSmtpGetDataEvent OnGetData;
    // Each header field in turn, to change or blank out (a blank one is dropped).
    TSmtpHeaderLineEvent OnHeaderLine;
    // The header fields the client built, before OnHeaderLine: add or remove fields here.
    TSmtpHeadersEvent OnHeaders;
    // The header buffers exactly as they go out (after OnHeaderLine and folding): the last
    // moment to sign them. Lines added here are written as they stand.
    TSmtpHeadersEvent OnHeadersFinal;
    // Every complete reply, lost ones included.
    TSmtpReplyEvent OnReply;

protected:
    virtual void TriggerGetData(int LineNum, QString& MsgLine, int MaxLen, bool& More);
    virtual void TriggerHeaderLine(QString& Msg, int Size);
    virtual void TriggerHeaders(QStringList& headers);
    virtual void TriggerHeadersFinal(QStringList& lines);
    virtual bool OpenAttachment(const QString& fileName);
    // The next line of base64 text of the open attachment (60 characters, 45 bytes, except
    // possibly the last). Returns false when the line reached the end of the file; `failed`
    // is set when the file could not be read.
    virtual bool EncodeLine(QString& line, bool& failed);
    virtual void CloseAttachment();
    // Reads the next block of the open attachment once the last is used up; false on a read error.
    bool FillAttachmentBuffer();
    // A lower bound of the message's size on the wire, checked against the server's SIZE.
    virtual qint64 EstimatedSize() const { return 0; }
    // Body lines ready for the wire (CR LF ended, nothing to stuff) appended to `wire`; false
    // when the next line comes from TriggerGetData.
    virtual bool RawBodyBlock(QByteArray&) { return false; }

    void Display(const QString& msg);
    void SendCommand(const QString& line);
    // A line holding a secret: `shown` is what the display and the trace get instead.
    void SendCommandShown(const QString& line, const QString& shown);
    int GetResponse();
    bool Expect(int code, bool closeOnMismatch);
    bool Expect2(int code1, int code2, bool closeOnMismatch);
    // Ends the connection from inside a message: the server discards the unfinished message.
    void AbandonMessage(const QString& reason);
    void SetError(const QString& text);

    std::unique_ptr<TWSocket> m_socket;
    QFile m_attachment;
    QByteArray m_attachmentBuffer;
    qsizetype m_attachmentPos = 0;

private:
    bool DoConnect();
    // EHLO (or HELO after a 5xx) and, with a user set, AUTH. False when the connection failed.
    bool Greet(const QString& signOn);
    bool Authenticate();
    bool StartTls();
    bool DoMail();
    // MAIL FROM, RCPT and DATA in one group; false when the message is not to be sent (the
    // reply that says why is LastReply).
    bool SendEnvelopeGroup(const QString& from);
    // The RCPT TO commands of the current transaction; ends it at the first 4xx.
    void SendRecipients();
    // Why an envelope address cannot go out as one (empty when it can).
    static QString RcptRefusal(const QString& rcpt);
    // Reads the reply to one RCPT TO into `result`; true when it was a 4xx.
    bool ReadRcptReply(TRcptResult& result);
    // Runs a public operation: a socket failure inside it becomes false plus ErrorMessage.
    bool Guarded(const std::function<bool()>& operation);
    // One reply line with the socket's 254-character pieces joined. False when the line did
    // not end (timeout, closed); `tooLong` when it passed reply::MaxLineChars.
    bool ReadWholeLine(int timeoutSec, QString& line, bool& tooLong);
    void CloseSocket();
    bool FlushOutput();
    void Pause(int ms);
    void WakeLoop();
    bool WaitFor(const std::function<bool()>& done, int timeoutSec);

    TServerSettings m_server;
    QString m_settingsFile;
    TEhloReply m_ehlo;
    QStringList m_replyLines;
    QString m_host;
    QString m_port = QStringLiteral("smtp");
    QString m_signOn;
    QString m_fromName;
    QStringList m_rcptName;
    QString m_hdrFrom;
    QString m_hdrTo;
    QString m_hdrSubject;
    TSmtpStage m_stage = TSmtpStage::Disconnected;
    QList<TRcptResult> m_rcptResults;
    TMailStep m_step = TMailStep::None;
    TSmtpReply m_lastReply;
    QString m_lastVerb; // the command the next reply answers
    bool m_pipeliningAllowed = true;
    bool m_pipelined = false;
    bool m_envelopeGroup = false;
    bool m_quietReplies = false; // replies read only to stay in step: not reported to OnReply
    bool m_inData = false;
    int m_readDepth = 0; // > 0 while a reply line is awaited
    QString m_charSet = QStringLiteral("iso-8859-1");
    QString m_lastResponse;
    QString m_errorMessage;
    QPointer<TCustomWait> m_wait;
    int m_timeOut = 15;
    bool m_timeoutFlag = false;
    bool m_dataSent = false;
    int m_tag = 0;
    int m_rcptPauseMs = 1000;
    qint64 m_pausedMs = 0;
    TEventPump m_pump; // pending events are processed in time slices, not after every line
    QByteArray m_output; // lines not yet handed to the socket (sent before any reply is read)
    TCountdown* m_waiting = nullptr; // the innermost WaitFor
};

class TSmtpClient : public TCustomSmtpClient
{
    Q_OBJECT
public:
    explicit TSmtpClient(QObject* owner = nullptr);

    bool Mail() override;

    const QStringList& EmailFiles() const { return m_emailFiles; }
    // Checks every name: a missing file raises SmtpException "File not found '...'" (the names
    // accepted before it stay in the list).
    void SetEmailFiles(const QStringList& files);
    // The multipart boundary of the last Mail with attachments.
    QString Boundary() const { return m_boundary; }
    // "= Multipart Boundary " + the time as "mmmddyyhhnn" (abbreviated month name of the
    // system's locale, or the English one where that name has characters a boundary may not).
    static QString MakeBoundary(const QDateTime& when);

protected:
    void TriggerGetData(int LineNum, QString& MsgLine, int MaxLen, bool& More) override;
    void TriggerHeaderLine(QString& Msg, int Size) override;
    qint64 EstimatedSize() const override;
    bool RawBodyBlock(QByteArray& wire) override;

private:
    // The open attachment is fully encoded: close it, and after the last one the closing boundary.
    void AttachmentDone();
    void AttachmentUnreadable(const QString& file);
    QStringList m_pending;
    QStringList m_emailFiles;
    int m_fileIndex = 0;
    QString m_boundary;
    bool m_fileOpen = false;
    bool m_inBody = false;
    int m_bodyLine = 0;
};
