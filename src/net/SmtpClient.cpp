#include "net/SmtpClient.h"

#include "net/Wait.h"
#include "platform/Cp1252.h"
#include "platform/EventPump.h"
#include "platform/Regional.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QScopeGuard>
#include <QTimer>

namespace {

constexpr int kOutputChunk = 32 * 1024;

bool HasLineBreak(const QString& text)
{
    return text.contains(u'\r') || text.contains(u'\n');
}

// The pieces of a text between its line breaks (CR LF, CR or LF).
QStringList SplitLines(const QString& text)
{
    QStringList out;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u'\r' || c == u'\n') {
            out << text.mid(start, i - start);
            if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
                ++i;
            start = i + 1;
        }
    }
    out << text.mid(start);
    return out;
}

// "Name:" with a name of printable characters other than the colon.
bool LooksLikeField(const QString& line)
{
    const qsizetype colon = line.indexOf(u':');
    if (colon <= 0)
        return false;
    for (qsizetype i = 0; i < colon; ++i) {
        const char16_t c = line[i].unicode();
        if (c < 33 || c > 126)
            return false;
    }
    return true;
}

bool IsBlank(QChar c)
{
    return c == u' ' || c == u'\t';
}

// The line without trailing white space and with every white space run longer than `most`
// shrunk to one blank.
QString ShrinkBlankRuns(const QString& line, qsizetype most)
{
    qsizetype end = line.size();
    while (end > 0 && IsBlank(line[end - 1]))
        --end;
    QString out;
    out.reserve(end);
    for (qsizetype i = 0; i < end;) {
        qsizetype j = i;
        while (j < end && IsBlank(line[j]))
            ++j;
        if (j == i)
            out += line[j++];
        else if (j - i > most)
            out += u' ';
        else
            out += QStringView(line).mid(i, j - i);
        i = j;
    }
    return out;
}

// Folds one physical line longer than the limit at white space (the white space starts the
// continuation, so unfolding gives the line back); a run without white space is broken hard.
// No physical line may be white space only, or a lenient receiver takes it for the end of
// the header: so trailing white space goes, a run too long for one line shrinks to a blank,
// and a fold point must leave text on both sides.
QString FoldLong(const QString& line, int limit)
{
    if (line.size() <= limit)
        return line;
    QString rest = ShrinkBlankRuns(line, limit / 2);
    QString out;
    const qsizetype nameEnd = std::max<qsizetype>(rest.indexOf(u':') + 1, 1);
    bool first = true;
    while (rest.size() > limit) {
        qsizetype text = 0; // the first character that is not white space
        while (IsBlank(rest[text]))
            ++text;
        qsizetype cut = -1;
        for (qsizetype i = limit; i > std::max(text, first ? nameEnd : qsizetype(1)); --i) {
            if (IsBlank(rest[i])) {
                cut = i;
                break;
            }
        }
        if (cut < 0) {
            out += rest.left(limit) + QStringLiteral("\r\n");
            rest = u' ' + rest.mid(limit);
        } else {
            out += rest.left(cut) + QStringLiteral("\r\n");
            rest = rest.mid(cut);
        }
        first = false;
    }
    return out + rest;
}

int ReplyCode(const QString& reply)
{
    qsizetype i = 0;
    while (i < reply.size() && (reply[i] == u'\t' || reply[i] == u'\r' || reply[i] == u'\n' || reply[i] == u' '))
        ++i;
    qint64 n = 0;
    for (; i < reply.size() && reply[i] >= u'0' && reply[i] <= u'9'; ++i)
        n = std::min<qint64>(n * 10 + (reply[i].unicode() - u'0'), INT_MAX);
    return int(n);
}

bool StartsWithCode(const QString& reply)
{
    return reply.size() >= 3 && reply[0].isDigit() && reply[1].isDigit() && reply[2].isDigit();
}

// A file name as it may stand inside a quoted header parameter.
QString SafeParameter(const QString& name)
{
    QString out = name;
    for (QChar& c : out)
        if (c.unicode() < 32 || c == u'"' || c == u'\\' || c.unicode() == 127)
            c = u'_';
    return out;
}

} // namespace

// ---------------------------------------------------------------------------------------------

TCustomSmtpClient::TCustomSmtpClient(QObject* owner) : QObject(owner), m_socket(std::make_unique<TWSocket>())
{
    m_socket->OnSessionClosed = [this](TCustomWSocket*, quint16) {
        if (m_wait)
            m_wait->Stop();
        m_stage = 0;
        WakeLoop();
    };
}

TCustomSmtpClient::~TCustomSmtpClient()
{
    m_socket->OnSessionClosed = nullptr;
    m_socket->OnDataSent = nullptr;
    if (m_loop)
        m_loop->quit();
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
    static const char* const days[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
    static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const QDate d = when.date();
    const QTime t = when.time();
    return QStringLiteral("%1, %2 %3 %4 %5")
        .arg(QLatin1String(days[d.dayOfWeek() - 1]))
        .arg(d.day())
        .arg(QLatin1String(months[d.month() - 1]))
        .arg(d.year(), 4, 10, QLatin1Char('0'))
        .arg(t.toString(QStringLiteral("HH:mm:ss")));
}

QString TCustomSmtpClient::FoldValue(const QString& value, bool addressList)
{
    if (!HasLineBreak(value))
        return value;
    QStringList pieces;
    for (const QString& p : SplitLines(value)) {
        const QString t = p.trimmed();
        if (!t.isEmpty())
            pieces << t;
    }
    QString out;
    for (qsizetype i = 0; i < pieces.size(); ++i) {
        if (i > 0) {
            const bool separated = out.endsWith(u',') || out.endsWith(u';');
            out += (addressList && !separated) ? QStringLiteral(",\r\n\t") : QStringLiteral("\r\n\t");
        }
        out += pieces[i];
    }
    return out;
}

QString TCustomSmtpClient::SanitizeHeader(const QString& buffer)
{
    QStringList lines;
    for (const QString& piece : SplitLines(buffer)) {
        if (piece.trimmed().isEmpty())
            continue; // a blank line would end the header
        QString line = piece;
        if (!lines.isEmpty() && line[0] != u' ' && line[0] != u'\t' && !LooksLikeField(line))
            line.prepend(u'\t'); // not a field of its own: a continuation of the one before
        lines << FoldLong(line, HeaderLineLimit);
    }
    return lines.join(QStringLiteral("\r\n"));
}

// --- dialogue ------------------------------------------------------------------------------

void TCustomSmtpClient::WakeLoop()
{
    if (m_loop && (!m_loopDone || m_loopDone()))
        m_loop->quit();
}

bool TCustomSmtpClient::WaitFor(const std::function<bool()>& done, int timeoutMs)
{
    if (done())
        return true;
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    timer.start(std::max(timeoutMs, 0));
    QEventLoop* const outerLoop = m_loop;
    std::function<bool()> outerDone = m_loopDone;
    m_loop = &loop;
    m_loopDone = done;
    auto restore = qScopeGuard([&] {
        m_loop = outerLoop;
        m_loopDone = outerDone;
    });
    while (!done() && timer.isActive())
        loop.exec();
    return done();
}

void TCustomSmtpClient::Pause(int ms)
{
    if (ms <= 0 || m_stage == 0)
        return;
    QElapsedTimer clock;
    clock.start();
    // The event loop keeps turning, and a connection that ends (a cancel) ends the pause.
    WaitFor([this] { return m_stage == 0; }, ms);
    m_pausedMs += clock.elapsed();
}

void TCustomSmtpClient::SendCommand(const QString& line)
{
    if (m_stage == 0)
        return;
    Display(QStringLiteral("> ") + line);
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
    if (m_stage == 0 || m_socket->State() != wsConnected) {
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
    m_stage = 0;
}

int TCustomSmtpClient::GetResponse()
{
    if (m_stage != 0)
        FlushOutput();
    if (m_stage == 0) {
        m_lastResponse = QStringLiteral("554 not connected");
        Display(QStringLiteral("< ") + m_lastResponse);
        return 554;
    }
    QElapsedTimer clock;
    clock.start();
    const qint64 limitMs = qint64(std::max(m_timeOut, 1)) * 1000;
    int lines = 0;
    bool broken = false;
    bool real = false;
    for (;;) {
        m_pump.Pump();
        // The whole reply, however many lines, gets TimeOut seconds.
        const qint64 leftMs = limitMs - clock.elapsed();
        if (lines > 0 && leftMs <= 0) {
            m_timeoutFlag = true;
            m_lastResponse = QStringLiteral("554 receive timeout");
            Display(QStringLiteral("< ") + m_lastResponse);
            break;
        }
        const int leftSec = int(std::max<qint64>(1, (leftMs + 999) / 1000));
        const bool ended = m_socket->ReadLine(lines == 0 ? m_timeOut : leftSec, m_lastResponse);
        if (!ended && m_socket->State() == wsConnected)
            m_timeoutFlag = true; // also when another client owns the wait object's OnTimeout
        real = ended && !m_timeoutFlag;
        if (m_timeoutFlag)
            m_lastResponse = QStringLiteral("554 receive timeout");
        else if (!ended)
            m_lastResponse = QStringLiteral("554 not connected"); // the server hung up
        Display(QStringLiteral("< ") + m_lastResponse);
        if (m_timeoutFlag || !ended)
            break;
        if (m_lastResponse.size() < 4 || m_lastResponse[3] != u'-')
            break;
        if (++lines >= MaxReplyLines) {
            m_lastResponse = QStringLiteral("554 reply too long");
            Display(QStringLiteral("< ") + m_lastResponse);
            broken = true;
            break;
        }
    }
    const bool timedOut = m_timeoutFlag;
    m_timeoutFlag = false;
    // After a lost, endless or garbled reply the dialogue is out of step: close, so that every
    // further command reads "554 not connected" instead of the answer to an earlier one.
    if (timedOut || broken || (real && !StartsWithCode(m_lastResponse))) {
        if (m_lastResponse.trimmed().isEmpty()) {
            // An empty line is no reason a user could read when the command fails.
            m_lastResponse = QStringLiteral("554 empty reply");
            Display(QStringLiteral("< ") + m_lastResponse);
        }
        try {
            m_socket->Close();
        } catch (const ESocketException&) {
        }
        m_stage = 0;
    }
    return ReplyCode(m_lastResponse);
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

bool TCustomSmtpClient::Connect()
{
    if (!m_wait) {
        m_errorMessage = QStringLiteral("No wait object");
        Display(m_errorMessage);
        return false;
    }
    ClaimWaitTimeout(m_wait, this, &m_timeoutFlag);
    if (m_stage != 0)
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
    QString signOn = m_signOn;
    try {
        if (signOn.isEmpty())
            signOn = TCustomWSocket::LocalHostName();
        m_socket->SetProto(QStringLiteral("tcp"));
        m_socket->SetPort(m_port);
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
    m_stage = 1;
    if (!Expect(220, true))
        return false;
    SendCommand(QStringLiteral("HELO ") + signOn);
    if (!Expect(250, true))
        return false;
    m_stage = 2;
    return true;
}

bool TCustomSmtpClient::Mail()
{
    if (m_stage == 0 && !Connect())
        return false;
    m_timeoutFlag = false;
    m_pausedMs = 0;
    const QString from = m_fromName.trimmed();
    if (HasLineBreak(from)) {
        SetError(QStringLiteral("The sender address contains a line break"));
        Display(QStringLiteral("The sender address contains a line break"));
        return false;
    }
    SendCommand(QStringLiteral("MAIL FROM:<") + from + u'>');
    if (!Expect(250, false))
        return false;
    TEventPump pump;
    for (qsizetype i = 0; i < m_rcptName.size(); ++i) {
        if (i % 100 == 0)
            Pause(m_rcptPauseMs);
        pump.Pump();
        const QString rcpt = m_rcptName[i].trimmed();
        if (HasLineBreak(rcpt)) {
            // Refused like a recipient the server refuses: the message goes on without it.
            const QString why = QStringLiteral("Recipient refused, it contains a line break: ") + FoldValue(rcpt, true).replace(QLatin1String("\r\n\t"), QLatin1String(" "));
            SetError(why);
            Display(why);
            continue;
        }
        SendCommand(QStringLiteral("RCPT TO:<") + rcpt + u'>');
        Expect2(250, 251, false);
    }
    SendCommand(QStringLiteral("DATA"));
    if (!Expect(354, false))
        return false;

    QStringList headers;
    headers << QStringLiteral("From: ") + FoldValue(m_hdrFrom, true)
            << QStringLiteral("To: ") + FoldValue(m_hdrTo, true)
            << QStringLiteral("Subject: ") + FoldValue(m_hdrSubject, false)
            << QStringLiteral("Mime-Version: 1.0")
            << QStringLiteral("Content-Type: text/plain; charset=\"") + FoldValue(m_charSet, false) + u'"'
            << QStringLiteral("Date: ") + DateText(QDateTime::currentDateTime());
    TriggerHeaders(headers);
    for (const QString& header : std::as_const(headers)) {
        pump.Pump();
        QString buffer = header;
        TriggerHeaderLine(buffer, HeaderBufferSize);
        buffer = SanitizeHeader(buffer);
        if (!buffer.isEmpty())
            SendCommand(buffer);
    }
    SendCommand(QString());

    bool more = true;
    int lineNum = 1;
    while (more && m_stage == 2) {
        QString line;
        try {
            TriggerGetData(lineNum, line, BodyLineMax, more);
        } catch (...) {
            more = false; // the message still ends properly, shorter
        }
        if (!more || m_stage != 2)
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
    SendCommand(QStringLiteral("."));
    return Expect(250, false);
}

bool TCustomSmtpClient::Quit()
{
    if (m_stage == 0)
        return true;
    bool ok = false;
    try {
        SendCommand(QStringLiteral("QUIT"));
        ok = GetResponse() == 221;
    } catch (...) {
        ok = false;
    }
    m_stage = 0;
    m_output.clear();
    try {
        m_socket->Close();
    } catch (...) {
    }
    return ok;
}

bool TCustomSmtpClient::Rset()
{
    if (m_stage == 0)
        return true;
    try {
        SendCommand(QStringLiteral("RSET"));
        return GetResponse() == 250;
    } catch (...) {
        return false;
    }
}

bool TCustomSmtpClient::Abort()
{
    m_stage = 0;
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

bool TCustomSmtpClient::OpenAttachment(const QString& fileName)
{
    m_attachment.close();
    m_attachment.setFileName(fileName);
    m_attachmentBuffer.clear();
    m_attachmentPos = 0;
    return m_attachment.open(QIODevice::ReadOnly);
}

bool TCustomSmtpClient::EncodeLine(QString& line, bool& failed)
{
    failed = false;
    // The file is read in large blocks (a multiple of 45 bytes) and encoded 45 bytes per line.
    if (m_attachmentPos >= m_attachmentBuffer.size()) {
        m_attachmentBuffer = m_attachment.read(45 * 1456);
        m_attachmentPos = 0;
        if (m_attachment.error() != QFileDevice::NoError) {
            failed = true;
            line.clear();
            return false;
        }
    }
    const qsizetype n = std::min<qsizetype>(45, m_attachmentBuffer.size() - m_attachmentPos);
    line = QString::fromLatin1(QByteArray::fromRawData(m_attachmentBuffer.constData() + m_attachmentPos, n).toBase64());
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
    static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const QDate d = when.date();
    QString month = regional::Locale().monthName(d.month(), QLocale::ShortFormat);
    // RFC 2046 boundary characters only; otherwise the English name.
    static const QString allowed = QStringLiteral("'()+_,-./:=? ");
    bool ok = !month.isEmpty();
    for (const QChar c : month)
        if (!(c.unicode() < 128 && (c.isLetterOrNumber() || allowed.contains(c))))
            ok = false;
    if (!ok)
        month = QLatin1String(months[d.month() - 1]);
    return QStringLiteral("= Multipart Boundary ") + month + when.toString(QStringLiteral("ddyyHHmm"));
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
            AbandonMessage(QStringLiteral("Cannot read attachment '") + m_emailFiles.value(m_fileIndex) + u'\'');
            More = false;
            return;
        }
        if (!left) {
            CloseAttachment();
            m_fileOpen = false;
            ++m_fileIndex;
            if (m_fileIndex >= m_emailFiles.size())
                m_pending << QString() << QStringLiteral("--") + m_boundary + QStringLiteral("--");
        }
        More = true;
        return;
    }
    if (m_fileIndex < m_emailFiles.size()) {
        const QString file = m_emailFiles[m_fileIndex];
        MsgLine.clear();
        if (!OpenAttachment(file)) {
            // Sending the message without it would report a loss as a success.
            AbandonMessage(QStringLiteral("Cannot read attachment '") + file + u'\'');
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
