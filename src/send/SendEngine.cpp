#include "send/SendEngine.h"

#include "lists/GeneralSettings.h"
#include "lists/ListPanel.h"
#include "lists/ListsState.h"
#include "net/SmtpClient.h"
#include "net/Wait.h"
#include "platform/Dialogs.h"
#include "platform/ProgramFolder.h"
#include "platform/Regional.h"
#include "platform/Shell.h"
#include "platform/TextFile.h"
#include "send/Digest.h"
#include "send/DigestPanel.h"
#include "send/MessageEncoding.h"
#include "send/SendMailPanel.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QFileInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QTextEdit>
#include <QTimer>

namespace {
const QString kMailer = QStringLiteral("X-Mailer: Quorvel 1.3 by Harrowlin");
// The status line is repainted at most this often while lines stream past.
constexpr int kPaintMs = 40;

// The addresses between commas, as typed (the client trims each one); pieces holding nothing
// but blanks are no addresses and are dropped.
QStringList SplitRecipients(QString recipients)
{
    QStringList out;
    while (!recipients.isEmpty()) {
        const qsizetype comma = recipients.indexOf(u',');
        const QString piece = comma < 0 ? recipients : recipients.left(comma);
        if (!piece.trimmed().isEmpty())
            out << piece;
        recipients.remove(0, comma < 0 ? recipients.size() : comma + 1);
    }
    return out;
}
} // namespace

TSendEngine::TSendEngine(const TParts& parts, QObject* parent) : QObject(parent), m_p(parts)
{
    m_finishedTimer = new QTimer(this);
    m_finishedTimer->setObjectName(QStringLiteral("FinishedMailTimer1"));
    m_finishedTimer->setTimerType(Qt::PreciseTimer);
    m_finishedTimer->setInterval(1);
    connect(m_finishedTimer, &QTimer::timeout, this, &TSendEngine::FinishedMailTimer1Timer);

    m_p.Smtp.OnGetData = [this](TCustomSmtpClient*, int n, QString& line, int max, bool& more) {
        SmtpClient1GetData(n, line, max, more);
    };
    m_p.Smtp.OnHeaderLine = [this](TCustomSmtpClient*, QString& msg, int size) { SmtpClient1HeaderLine(msg, size); };
    m_p.Smtp.OnDisplay = [this](TCustomSmtpClient*, const QString& msg) { SmtpClient1Display(msg); };
    m_paintClock.start();
}

QString TSendEngine::NowText()
{
    const QDateTime now = QDateTime::currentDateTime();
    return regional::ShortDateText(now.date()) + u' ' + regional::LongTimeText(now.time());
}

// ---------------------------------------------------------------- digest

void TSendEngine::CompileDigest(bool forSending)
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
    m_p.Shell.SetStatus(QStringLiteral("Status: Compiling digest..."), true);
    const int row = m_p.ListPanel.ListsLB()->currentRow();
    const MailListRecord* list = row >= 0 && row < m_p.Lists.ListCatalog.Count() ? m_p.Lists.ListCatalog.At(row) : nullptr;
    const TDigestParts parts = digest::PartsFor(list, m_p.SendPanel.UseUserOptionsCB()->isChecked(), m_p.General);
    const QStringList body = digest::BodyLines(m_p.LetterRE->toPlainText());
    m_p.Digest.Show(digest::Compile(forSending, m_p.SubjectEDT->text(), body, parts));
    QApplication::restoreOverrideCursor();
}

// ---------------------------------------------------------------- logs and archive

void TSendEngine::StartLogs()
{
    const QString started = QStringLiteral("Started: ") + NowText();
    m_timeoutLog = {QStringLiteral("SMTP Send Timeouts"), started, QString()};
    m_dialogueLog = {QStringLiteral("SMTP Send Dialogue"), started, QString()};
    m_lastRcptLine.clear();
}

void TSendEngine::FinishLogs()
{
    const QString finished = QStringLiteral("Finished: ") + NowText();
    if (m_rounds) {
        m_dialogueLog << QString()
                      << QStringLiteral("Sent: %1 transactions, %2 recipients").arg(m_transactions).arg(m_recipientsSent);
    }
    m_dialogueLog << QString() << finished;
    m_timeoutLog << QString() << finished;
    const QString folder = ProgramFolder();
    QString error;
    if (!textfile::writeText(folder + QStringLiteral("MailDialog.txt"), m_dialogueLog.join(u'\n') + u'\n', &error)
        || !textfile::writeText(folder + QStringLiteral("Timeout.txt"), m_timeoutLog.join(u'\n') + u'\n', &error))
        m_p.Shell.Dialogs().Error(QStringLiteral("Could not write the send log in ") + folder + QStringLiteral(":\n") + error,
                                  m_p.Shell.Window());
}

bool TSendEngine::WriteArchive(const QString& folder, const QString& recipients)
{
    const QString subject = m_p.SubjectEDT->text();
    const QString text = archive::Text(subject, NowText(), m_sendFrom, recipients,
                                       digest::BodyLines(m_p.LetterRE->toPlainText()));
    QString error;
    m_lastArchive = archive::Write(folder, subject, text, &error);
    if (m_lastArchive.isEmpty()) {
        Abandon(QString());
        m_p.Shell.Dialogs().Error(error + QStringLiteral("\nThe newsletter was not sent."), m_p.Shell.Window());
        return false;
    }
    return true;
}

// ---------------------------------------------------------------- status and gauge

void TSendEngine::SetStatus(const QString& text)
{
    // Lines stream past far faster than the eye can follow: the label takes the latest text
    // and repaints at most once per interval.
    if (m_paintClock.elapsed() < kPaintMs)
        return;
    m_paintClock.restart();
    m_p.Shell.SetStatus(text, true);
}

void TSendEngine::SetGauge(qint64 progress, qint64 maximum)
{
    if (maximum != m_gaugeMax) {
        m_gaugeMax = maximum;
        m_p.Shell.ShowGauge(maximum);
    }
    m_gauge = progress;
    m_p.Shell.SetGaugeProgress(progress);
}

void TSendEngine::Step()
{
    SetGauge(qMin(m_gauge + 1, m_gaugeMax), m_gaugeMax);
}

// ---------------------------------------------------------------- the send

void TSendEngine::Abandon(const QString& warning)
{
    // Nothing went out: the gauge and "Cancel Send" go back to rest.
    m_p.Shell.HideGauge();
    m_p.Shell.Action(QStringLiteral("CancelSend1"))->setEnabled(false);
    m_p.Shell.StartStatusTimer();
    m_sending = false;
    if (!warning.isEmpty())
        m_p.Shell.Dialogs().Warning(warning, m_p.Shell.Window());
}

bool TSendEngine::ConnectClient()
{
    TSmtpClient& c = m_p.Smtp;
    c.SetHost(m_sendServer);
    c.SetHdrFrom(QString());
    c.SetHdrTo(QString());
    c.SetHdrSubject(QString());
    c.SetSignOn(QString());
    c.SetFromName(QString());
    c.SetEmailFiles({});
    bool connected = false;
    QString error;
    try {
        connected = c.Connect();
        error = c.ErrorMessage();
    } catch (const std::exception& e) {
        error = QString::fromUtf8(e.what());
        c.Abort();
    }
    if (!connected) {
        m_p.Shell.SetStatus(QStringLiteral("Status: Error - ") + error, true);
        m_sending = false;
        return false;
    }
    return true;
}

void TSendEngine::SendToBtnClick()
{
    if (m_sending)
        return; // one send at a time
    TSendMailPanel& panel = m_p.SendPanel;
    const bool addressPage = panel.AddressPageActive();
    const QString memo = panel.SendToMemo()->toPlainText();
    if (addressPage && memo.isEmpty()) {
        m_p.Shell.Dialogs().Warning(QStringLiteral("You must supply atleast one recipient!"), m_p.Shell.Window());
        return;
    }
    m_sending = true;
    m_cancelled = false;
    m_failure.clear();
    m_listSend = !addressPage;
    m_transactions = 0;
    m_recipientsSent = 0;
    m_rounds = false;
    m_lastArchive.clear();
    m_p.Shell.Action(QStringLiteral("CancelSend1"))->setEnabled(true);
    m_gaugeMax = 100;
    m_p.Shell.ShowGauge(m_gaugeMax);
    SetGauge(1, 100);
    m_p.Smtp.SetTimeOut(m_p.Timeout ? m_p.Timeout() : 15);
    StartLogs();
    m_dataStarted = false;
    m_p.Shell.StopStatusTimer();
    m_sendDone = false;
    CompileDigest(true);
    m_recipients.clear();
    m_p.Smtp.RcptName().clear();
    m_listUnsubscribe.clear();

    const QString subject = m_p.SubjectEDT->text();
    const int row = m_p.ListPanel.ListsLB()->currentRow();
    MailListRecord* selected = row >= 0 && row < m_p.Lists.ListCatalog.Count() ? m_p.Lists.ListCatalog.At(row) : nullptr;
    QString hdrTo;

    if (addressPage) {
        const QString server = panel.ServersCB()->currentText().trimmed();
        const QString from = panel.FromSendToEDT()->text().trimmed();
        if (server.isEmpty() || from.isEmpty()) {
            QStringList missing;
            if (server.isEmpty())
                missing << QStringLiteral("a SMTP server");
            if (from.isEmpty())
                missing << QStringLiteral("your E-mail address (From)");
            Abandon(QStringLiteral("You must provide ") + missing.join(QStringLiteral(" and ")) + u'!');
            return;
        }
        m_sendServer = server;
        m_recipients = memo + u',';
        m_sendFrom = from;
        const bool useGeneral = panel.UseUserOptionsCB()->isChecked();
        QString folder;
        if (m_p.General.SaveLetters && useGeneral)
            folder = ProgramFolder() + QStringLiteral("User/Sent Mail/");
        else if (selected && selected->HasOption('4'))
            folder = QFileInfo(selected->Text(MailListRecord::FilePath)).absolutePath() + QStringLiteral("/Sent Mail/");
        else if (m_p.General.SaveLetters)
            folder = ProgramFolder() + QStringLiteral("User/Sent Mail/");
        if (!folder.isEmpty() && !WriteArchive(folder, m_recipients))
            return;
        if (!ConnectClient())
            return;
        hdrTo = panel.BCCCB()->isChecked() ? QString() : memo;
    } else {
        MailListRecord* list = m_p.Lists.CurrentList;
        const QString server = list ? list->Text(MailListRecord::SmtpServer).trimmed() : QString();
        const QString reply = list ? list->Text(MailListRecord::Reply).trimmed() : QString();
        if (server.isEmpty() || reply.isEmpty()) {
            Abandon(QStringLiteral("You must provide a SMTP Server address and your E-mail address!"));
            return;
        }
        const QStringList addresses = panel.CheckedAddresses();
        for (const QString& a : addresses)
            m_recipients += a + u',';
        SetGauge(m_gauge, addresses.size() + 2);
        m_sendFrom = reply;
        if (list->HasOption('4')
            && !WriteArchive(QFileInfo(list->Text(MailListRecord::FilePath)).absolutePath() + QStringLiteral("/Sent Mail/"),
                             m_recipients))
            return;
        m_sendServer = server;
        if (!ConnectClient())
            return;
        hdrTo = list->Text(MailListRecord::ToAddress);
        if (list->HasOption('5'))
            m_listUnsubscribe = msgenc::ListUnsubscribe(list->HasOption('7'), reply,
                                                        list->Text(MailListRecord::SubjectKey), list->HasOption('6'),
                                                        list->Text(MailListRecord::ToKey));
    }

    // The message as it goes out: the character set and transfer encoding its text needs.
    const msgenc::TBody body = msgenc::EncodeBody(m_p.Digest.Lines());
    m_wireLines = body.Lines;
    m_transferEncoding = body.TransferEncoding;
    TSmtpClient& c = m_p.Smtp;
    c.SetCharSet(body.CharSet);
    c.SetHost(m_sendServer);
    c.SetHdrFrom(msgenc::EncodeAddressList(m_sendFrom));
    c.SetFromName(m_sendFrom);
    c.SetHdrTo(msgenc::EncodeAddressList(hdrTo));
    c.SetHdrSubject(msgenc::EncodeWords(subject));
    const QStringList recipients = SplitRecipients(m_recipients);
    m_recipients.clear();
    if (addressPage) {
        SetGauge(m_gauge, recipients.size() + 2);
        m_p.Shell.SetStatus(QStringLiteral("Status: Sending headers."), true);
        m_paintClock.restart();
    }
    RunMail(recipients);
}

void TSendEngine::RunMail(const QStringList& recipients)
{
    // Recipients the server defers (4xx, typically a limit per message) get the same message in
    // further transactions on the same connection, until none is deferred or a round takes none.
    TSmtpClient& c = m_p.Smtp;
    QStringList pending = recipients;
    bool ok = false;
    for (;;) {
        m_roundAccepted = 0;
        m_roundDeferred.clear();
        m_deferReply.clear();
        m_dataStarted = false;
        c.SetRcptName(pending);
        try {
            ok = c.Mail();
        } catch (const std::exception& e) {
            // A socket failure the client did not turn into a result: the send failed.
            m_failure = QString::fromUtf8(e.what());
            c.Abort();
            ok = false;
        }
        for (const TRcptResult& r : c.RcptResults()) {
            if (r.State == TRcptState::Accepted) {
                ++m_roundAccepted;
            } else if (r.State == TRcptState::Deferred) {
                m_roundDeferred << r.Address;
                m_deferReply = r.Reply;
            }
        }
        if (m_sendDone) {
            // Rejected or cancelled: already reported.
            m_sending = false;
            return;
        }
        if (!ok)
            break;
        ++m_transactions;
        m_recipientsSent += m_roundAccepted;
        if (m_roundDeferred.isEmpty())
            break;
        m_rounds = true;
        pending = m_roundDeferred;
        m_roundDeferred.clear(); // sent on in the next round
    }
    if (ok)
        Succeed();
    else
        Fail();
}

QString TSendEngine::DeferralNote() const
{
    // A round whose recipients were all deferred ends the send: say so, with the server's reply.
    if (m_roundDeferred.isEmpty() || m_roundAccepted > 0)
        return {};
    const qsizetype n = m_roundDeferred.size();
    QString reply = m_deferReply;
    if (reply.size() >= 4 && reply[0].isDigit() && reply[1].isDigit() && reply[2].isDigit())
        reply = reply.mid(4);
    return reply + (n == 1 ? QStringLiteral(" (1 recipient not sent)") : QStringLiteral(" (%1 recipients not sent)").arg(n));
}

void TSendEngine::Succeed()
{
    SetGauge(m_gaugeMax, m_gaugeMax);
    QString text = QStringLiteral("Status: Mail was successfully sent.");
    if (m_rounds)
        text += QStringLiteral(" (%1 transactions, %2 recipients)").arg(m_transactions).arg(m_recipientsSent);
    m_p.Shell.SetStatus(text, true);
    m_p.Shell.HideGauge();
    m_sendDone = true;
    m_p.Smtp.Quit();
    m_finishedTimer->start();
    FinishLogs();
    m_sending = false;
    emit SendFinished(true);
}

void TSendEngine::Fail()
{
    // The server did not take the message (or the connection went): say so, with its reply.
    TSmtpClient& c = m_p.Smtp;
    // A dropped connection answers every later command "554 not connected"; the first error
    // says what happened.
    QString reply = c.Stage() == 0 && !c.ErrorMessage().isEmpty() ? c.ErrorMessage() : c.LastResponse();
    if (reply.size() >= 4 && reply[0].isDigit() && reply[1].isDigit() && reply[2].isDigit())
        reply = reply.mid(4);
    if (reply.trimmed().isEmpty())
        reply = c.ErrorMessage();
    if (!m_failure.isEmpty())
        reply = m_failure;
    if (const QString note = DeferralNote(); !note.isEmpty()) {
        reply = note;
        m_rounds = true;
    }
    m_p.Shell.SetStatus(QStringLiteral("Status: Error - ") + reply, true);
    m_sendDone = true;
    c.Quit();
    FinishLogs();
    m_sending = false;
    emit SendFinished(false);
}

void TSendEngine::Reject(const QString& reply)
{
    // A "503" to DATA after a round of only deferred recipients is about the deferral.
    const QString note = DeferralNote();
    if (!note.isEmpty())
        m_rounds = true;
    m_p.Shell.SetStatus(QStringLiteral("Status: Error - ") + (note.isEmpty() ? reply : note), true);
    m_sendDone = true;
    m_p.Smtp.Quit();
    FinishLogs();
    emit SendFinished(false);
}

// ---------------------------------------------------------------- client events

void TSendEngine::SmtpClient1GetData(int LineNum, QString& MsgLine, int MaxLen, bool& More)
{
    Q_UNUSED(MaxLen); // encoded lines never exceed SMTP's limit; nothing is cut
    m_dataStarted = true;
    if (LineNum > m_wireLines.size()) {
        More = false;
        return;
    }
    MsgLine = m_wireLines[LineNum - 1];
}

void TSendEngine::SmtpClient1HeaderLine(QString& Msg, int Size)
{
    Q_UNUSED(Size);
    if (Msg.startsWith(QLatin1String("Subject:"))) {
        Msg += QStringLiteral("\r\n") + kMailer;
    } else if (Msg.startsWith(QLatin1String("Content-Type:")) && !m_transferEncoding.isEmpty()) {
        Msg += QStringLiteral("\r\nContent-Transfer-Encoding: ") + m_transferEncoding;
    } else if (Msg.startsWith(QLatin1String("Date:"))) {
        const QDateTime now = QDateTime::currentDateTime();
        Msg += u' ' + msgenc::ZoneText(now);
        Msg += QStringLiteral("\r\nMessage-ID: ") + msgenc::MessageId(m_sendFrom, now);
        if (!m_listUnsubscribe.isEmpty())
            Msg += QStringLiteral("\r\nList-Unsubscribe: ") + m_listUnsubscribe;
    }
}

void TSendEngine::SmtpClient1Display(const QString& Msg)
{
    m_p.Shell.ProcessMessages();
    const bool received = Msg.startsWith(u'<');
    const QString m = received ? Msg.mid(2) : Msg;
    m_dialogueLog << Msg;
    if (Msg.contains(QLatin1String("RCPT TO:")))
        m_lastRcptLine = Msg;
    if (Msg.contains(QLatin1String("554")) && Msg.contains(QLatin1String("timeout")))
        m_timeoutLog << m_lastRcptLine << Msg;
    const bool coded = received && Msg.size() > 2 && Msg[2].isDigit();
    if (coded && !m_sendDone) {
        bool isNumber = false;
        const int code = Msg.mid(2, 3).toInt(&isNumber);
        if (isNumber && (code == 550 || code == 503)) {
            Reject(m.mid(4));
            return;
        }
        if (isNumber && code == 354) {
            m_p.Shell.SetStatus(QStringLiteral("Status: Sending message..."), true);
            m_paintClock.restart();
            m_dataStarted = true;
            SetGauge(1, m_wireLines.size() + 8);
            return;
        }
    }
    if (m_sendDone)
        return;
    if (!m_dataStarted) {
        SetStatus(QStringLiteral("Status: ") + m);
        if (coded && Msg.contains(u'@') && !Msg.contains(QLatin1String("MAIL FROM")))
            Step();
    } else {
        SetStatus(QStringLiteral("Status: Sending message..."));
        Step();
    }
}

// ---------------------------------------------------------------- cancel and close

void TSendEngine::CancelSend1Click()
{
    const bool wasSending = m_sending && !m_sendDone;
    // Inside the message data the client hangs up before the final "." (the server discards
    // the unfinished message) and reports true.
    if (!m_p.Smtp.Quit())
        return;
    if (wasSending) {
        m_cancelled = true;
        m_sendDone = true; // the interrupted Mail runs out without reporting
    }
    m_p.SendPanel.CancelSendToBtnClick();
    m_p.Shell.Action(QStringLiteral("CancelSend1"))->setEnabled(false);
    m_p.Shell.SetStatus(QStringLiteral("Status: Send canceled."), true);
}

void TSendEngine::FinishedMailTimer1Timer()
{
    m_finishedTimer->stop();
    m_p.SendPanel.ClearAndHide();
}
