#include "send/SendJob.h"

#include "net/Countdown.h"
#include "net/SmtpClient.h"
#include "net/Wait.h"
#include "platform/Regional.h"
#include "platform/TextFile.h"
#include "send/Digest.h"
#include "send/MessageEncoding.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QEvent>
#include <QPointer>
#include <QScopeGuard>
#include <QTimer>

#include <stdexcept>

namespace {

bool IsRejection(const TSmtpReply& r)
{
    // One refused recipient ends the whole send: nobody gets a message the list owner must fix.
    return !r.Lost && (r.Code == 550 || r.Code == 503);
}

// A wait for the server's limits holds back input as the send's other waits do: only what the
// owner lets through (Cancel Send) gets to the window.
class TInputHold
{
public:
    explicit TInputHold(TCustomWait* wait) : m_wait(wait)
    {
        if (m_wait)
            m_wait->HoldInput(true);
    }
    ~TInputHold()
    {
        if (m_wait)
            m_wait->HoldInput(false);
    }
    TInputHold(const TInputHold&) = delete;
    TInputHold& operator=(const TInputHold&) = delete;

private:
    QPointer<TCustomWait> m_wait;
};

} // namespace

TSendJob::TSendJob(TSmtpClient& client, TSendObserver& observer) : m_client(client), m_observer(observer) {}

QString TSendJob::NowText()
{
    const QDateTime now = QDateTime::currentDateTime();
    return regional::ShortDateText(now.date()) + u' ' + regional::LongTimeText(now.time());
}

QString TSendJob::OutcomeText(const TRecipientResult& r)
{
    switch (r.Outcome) {
    case TRecipientOutcome::Delivered:
        return QStringLiteral("delivered in transaction %1").arg(r.Transaction);
    case TRecipientOutcome::Refused:
        return QStringLiteral("refused: ") + r.Reply;
    case TRecipientOutcome::Deferred:
        return QStringLiteral("deferred: ") + r.Reply;
    case TRecipientOutcome::Unconfirmed:
        return QStringLiteral("not confirmed (the connection ended before the server's answer to the message)");
    case TRecipientOutcome::NotAttempted:
        break;
    }
    return r.Reply.isEmpty() ? QStringLiteral("not attempted") : QStringLiteral("not attempted: ") + r.Reply;
}

void TSendJob::Bind()
{
    m_client.OnDisplay = [this](TCustomSmtpClient*, const QString& msg) { OnDisplay(msg); };
    m_client.OnReply = [this](TCustomSmtpClient*, const TSmtpReply& r) { OnReply(r); };
    m_client.OnGetData = [this](TCustomSmtpClient*, int n, QString& line, int, bool& more) { GetData(n, line, more); };
    m_client.OnHeaderLine = [this](TCustomSmtpClient*, QString& msg, int) { HeaderLine(msg); };
    m_client.OnHeadersFinal = [this](TCustomSmtpClient*, QStringList& lines) { SignHeaders(lines); };
}

void TSendJob::Unbind()
{
    m_client.OnDisplay = nullptr;
    m_client.OnReply = nullptr;
    m_client.OnGetData = nullptr;
    m_client.OnHeaderLine = nullptr;
    m_client.OnHeadersFinal = nullptr;
}

void TSendJob::Settle(int index, TRecipientOutcome outcome, const QString& reply, int transaction)
{
    TRecipientResult& r = m_results[index];
    r.Outcome = outcome;
    r.Reply = reply;
    r.Transaction = transaction;
    if (outcome != TRecipientOutcome::NotAttempted)
        ++m_settled;
    m_observer.RecipientDone(index, r);
}

void TSendJob::OnDisplay(const QString& line)
{
    // One message per recipient: the log holds the first message's text line by line, the
    // others' commands and replies only (10,000 messages of 20 KB would make a 200 MB log).
    if (m_request && m_request->MessageFor && m_transactions > 0 && m_client.SendingData())
        return;
    m_dialogueLog << line;
    if (line.contains(QLatin1String("RCPT TO:")))
        m_lastRcptLine = line;
    m_observer.SendDialogue(line);
}

void TSendJob::OnReply(const TSmtpReply& r)
{
    if (r.TimedOut)
        m_timeoutLog << m_lastRcptLine << QStringLiteral("< ") + r.Text;
    if (IsRejection(r) && m_rejection.isEmpty() && !m_cancelled) {
        m_rejection = r.Text;
        m_client.Quit(); // hangs up at once from inside the reply wait
        return;
    }
    if (r.Command == QLatin1String("RCPT") && !r.Lost && (r.Code < 400 || r.Code >= 500)) {
        ++m_answeredInTxn;
        m_observer.SendProgress(TSendPhase::Recipients, m_settled + m_answeredInTxn, m_results.size());
    } else if (r.Command == QLatin1String("DATA") && r.Code == 354) {
        m_observer.SendProgress(TSendPhase::Data, 0, m_message.BodyLines.size());
    }
}

void TSendJob::GetData(int lineNum, QString& line, bool& more)
{
    const QStringList& lines = m_message.BodyLines;
    if (lineNum > lines.size()) {
        more = false;
        return;
    }
    line = lines[lineNum - 1];
    m_observer.SendProgress(TSendPhase::Data, lineNum, lines.size());
}

void TSendJob::HeaderLine(QString& msg)
{
    const TSendRequest& rq = *m_request;
    if (msg.startsWith(QLatin1String("Subject:"))) {
        if (!rq.Mailer.isEmpty())
            msg += QStringLiteral("\r\n") + rq.Mailer;
    } else if (msg.startsWith(QLatin1String("Content-Type:"))) {
        if (!m_message.ContentType.isEmpty())
            msg = QStringLiteral("Content-Type: ") + m_message.ContentType;
        if (!m_message.TransferEncoding.isEmpty())
            msg += QStringLiteral("\r\nContent-Transfer-Encoding: ") + m_message.TransferEncoding;
    } else if (msg.startsWith(QLatin1String("Date:"))) {
        msg += u' ' + msgenc::ZoneText(QDateTime::currentDateTime());
        // One message in however many transactions: one Message-ID.
        msg += QStringLiteral("\r\nMessage-ID: ") + m_messageId;
        if (!rq.ListUnsubscribe.isEmpty())
            msg += QStringLiteral("\r\nList-Unsubscribe: ") + rq.ListUnsubscribe;
    }
}

void TSendJob::SignHeaders(QStringList& lines)
{
    if (!m_signer.Valid())
        return;
    // Over the body GetData serves, exactly as it goes out.
    QString error;
    const QString signature = dkimsign::Sign(m_signer, lines, m_message.BodyLines, &error);
    if (signature.isEmpty()) // never an unsigned message: the transaction is abandoned
        throw std::runtime_error(QStringLiteral("The message could not be signed (%1); it was not sent")
                                     .arg(error)
                                     .toStdString());
    lines.prepend(signature);
}

void TSendJob::Cancel()
{
    if (!m_running || m_cancelled)
        return;
    m_cancelled = true;
    if (m_waitLoop)
        m_waitLoop->End();
    // Inside a wait or the message text this hangs up at once; the interrupted Mail runs out.
    m_client.Quit();
}

void TSendJob::PrepareMessage(const QList<int>& batch, int offered)
{
    TSmtpClient& c = m_client;
    if (m_request->MessageFor) {
        m_message = m_request->MessageFor(batch.first());
        c.SetHdrTo(m_message.HdrTo);
        c.SetHdrSubject(m_message.HdrSubject);
        c.SetCharSet(m_message.CharSet);
        m_messageId = msgenc::MessageId(m_request->Sender, QDateTime::currentDateTime());
    }
    if (m_splitting) {
        // The client's pause comes before every hundredth recipient of the send, not of each
        // of its (possibly one-recipient) messages.
        const bool crosses = offered % 100 == 0 || offered / 100 != (offered + int(batch.size()) - 1) / 100;
        c.SetRcptPause(crosses ? m_rcptPause : 0);
    }
}

bool TSendJob::PaceWait(const TPacer& pacer, const TPaceStep& step)
{
    // An hour is longer than any server keeps an idle session: hang up and come back.
    if (m_client.Stage() != 0)
        m_client.Quit();
    const TPacing& pacing = m_request->Pacing;
    const qint64 until = pacing.NowMs() + step.WaitMs;
    int sent = 0;
    for (const TRecipientResult& r : std::as_const(m_results))
        sent += r.Outcome == TRecipientOutcome::Delivered ? 1 : 0;
    // The gauge shows who has it so far, not the last message's text.
    m_observer.SendProgress(TSendPhase::Recipients, sent, m_results.size());
    TCountdown wait;
    m_waitLoop = &wait;
    TInputHold hold(m_client.Wait());
    QTimer tick;
    tick.setSingleShot(true);
    QString shown;
    const auto update = [&] {
        const qint64 left = until - pacing.NowMs();
        if (m_cancelled || left <= 0) {
            wait.End();
            return;
        }
        const QString text = pacer.WaitText(step, left, sent, int(m_results.size()));
        if (text != shown) {
            if (shown.isEmpty())
                m_dialogueLog << text;
            shown = text;
            m_observer.SendWaiting(text);
        }
        // A cancel quits the loop at once; the tick only counts down.
        tick.start(int(std::min<qint64>(left, 200)));
    };
    QObject::connect(&tick, &QTimer::timeout, update);
    update();
    if (tick.isActive())
        wait.Run();
    tick.stop();
    m_waitLoop = nullptr;
    m_observer.SendWaiting(QString());
    return !m_cancelled;
}

bool TSendJob::OpenRecord(QString& error)
{
    const TSendRequest& rq = *m_request;
    if (!m_record.Load(rq.RecordFile, rq.RecordKey, &error))
        return false;
    for (int i = 0; i < m_results.size(); ++i)
        if (m_record.Delivered().contains(m_results[i].Address.toLower()))
            Settle(i, TRecipientOutcome::Delivered, QStringLiteral("delivered before (send record)"));
    return m_record.Open(rq.Pacing.NowMs(), rq.Pacing.DayMs(), &error);
}

QList<int> TSendJob::Transaction(const QList<int>& pending, bool& ended, QString& reason)
{
    QStringList addresses;
    addresses.reserve(pending.size());
    for (int i : pending)
        addresses << m_results[i].Address;
    m_client.SetRcptName(addresses);
    m_answeredInTxn = 0;
    const bool ok = m_client.Mail();
    const TMailStep step = m_client.LastStep();
    const TSmtpReply last = m_client.LastReply();
    const QList<TRcptResult>& answers = m_client.RcptResults();
    // Lost before the message went: whatever the server accepted was never sent.
    const bool lostBefore = !ok && m_client.Stage() == 0 && step != TMailStep::Message;
    const bool lostAfter = !ok && step == TMailStep::Message && last.Lost;
    if (ok)
        ++m_transactions;
    QList<int> rest;
    QString firstRefusal;
    for (qsizetype k = 0; k < pending.size(); ++k) {
        const int index = pending[k];
        // No answer at all: the transaction ended before its RCPT (MAIL FROM refused).
        const TRcptResult a = k < answers.size() ? answers[k] : TRcptResult{{}, TRcptState::NotAttempted, {}};
        switch (a.State) {
        case TRcptState::Accepted:
            if (ok)
                Settle(index, TRecipientOutcome::Delivered, a.Reply, m_transactions);
            else if (lostAfter)
                Settle(index, TRecipientOutcome::Unconfirmed, last.Text);
            else if (step == TMailStep::Message && !m_cancelled)
                Settle(index, last.Code >= 400 && last.Code < 500 ? TRecipientOutcome::Deferred : TRecipientOutcome::Refused,
                       last.Text);
            else
                rest << index;
            break;
        case TRcptState::Refused:
            if (firstRefusal.isEmpty())
                firstRefusal = a.Reply;
            Settle(index, TRecipientOutcome::Refused, a.Reply);
            break;
        case TRcptState::Deferred:
            if (firstRefusal.isEmpty())
                firstRefusal = a.Reply;
            m_results[index].Reply = a.Reply;
            rest << index;
            break;
        case TRcptState::NotAttempted:
            rest << index;
            break;
        }
    }
    ended = false;
    if (m_cancelled || !m_rejection.isEmpty()) {
        ended = true;
    } else if (ok) {
        // Go on with who is left: deferred and not yet offered recipients.
    } else if (lostBefore && !last.TimedOut) {
        // The server hung up (421, or a drop): the caller connects again for the rest.
        reason = last.Text.isEmpty() ? m_client.ErrorMessage() : last.Text;
    } else if (step == TMailStep::Recipients) {
        // No recipient was taken: the first refusal (or deferral) explains why. When every
        // one of a batch was refused, the next batch goes on.
        ended = !(m_splitting && rest.isEmpty());
        reason = firstRefusal.isEmpty() ? last.Text : firstRefusal;
    } else {
        ended = true;
        reason = last.Text.isEmpty() ? m_client.ErrorMessage() : last.Text;
    }
    return rest;
}

TSendSummary TSendJob::Run(const TSendRequest& rq)
{
    TSendSummary summary;
    if (m_running)
        return summary;
    m_running = true;
    m_cancelled = false;
    m_request = &rq;
    m_rejection.clear();
    m_transactions = 0;
    m_settled = 0;
    m_message = {rq.HdrTo, rq.HdrSubject, rq.CharSet, rq.TransferEncoding, rq.BodyLines, rq.ContentType};
    const TSendLimits& limits = rq.Pacing.Limits;
    m_splitting = bool(rq.MessageFor) || limits.MaxRecipientsPerMessage > 0 || limits.MaxRecipientsPerDay > 0;
    m_rcptPause = m_client.RcptPause();
    // One message per recipient: MAIL, RCPT and DATA in one group where the server pipelines.
    const bool envelopeGroup = m_client.EnvelopeGroup();
    m_client.SetEnvelopeGroup(bool(rq.MessageFor));
    m_recording = false;
    m_results.clear();
    m_results.reserve(rq.Recipients.size());
    for (const QString& a : rq.Recipients)
        m_results.append({a.trimmed(), TRecipientOutcome::NotAttempted, 0, QString()});
    summary.Total = int(m_results.size());
    const QString started = QStringLiteral("Started: ") + NowText();
    m_timeoutLog = {QStringLiteral("SMTP Send Timeouts"), started, QString()};
    m_dialogueLog = {QStringLiteral("SMTP Send Dialogue"), started, QString()};
    m_lastRcptLine.clear();
    auto done = qScopeGuard([this, envelopeGroup] {
        m_client.SetRcptPause(m_rcptPause);
        m_client.SetEnvelopeGroup(envelopeGroup);
        m_record.Close();
        Unbind();
        m_request = nullptr;
        m_signer = {};
        m_running = false;
    });

    if (rq.Dkim.Present) {
        QString error;
        if (!dkimsign::LoadSigner(rq.Dkim, m_signer, error)) {
            summary.Reason = error + QStringLiteral("; nothing was sent");
            return summary; // before the archive and the network: this message must not go unsigned
        }
    }

    if (!rq.ArchiveFolder.isEmpty()) {
        summary.ArchiveFile = archive::Write(rq.ArchiveFolder, rq.ArchiveSubject, rq.ArchiveText, &summary.ArchiveError);
        if (summary.ArchiveFile.isEmpty()) {
            summary.Reason = summary.ArchiveError;
            return summary; // nothing reached the network, so no log either
        }
    }

    if (!rq.RecordFile.isEmpty()) {
        QString error;
        if (!OpenRecord(error)) {
            summary.Reason = error;
            return summary; // the record is what keeps anyone from a second copy
        }
        m_recording = true;
    }

    Bind();
    TSmtpClient& c = m_client;
    c.SetHost(rq.Server);
    c.SetSignOn(QString());
    c.SetEmailFiles({});
    c.SetTimeOut(rq.TimeoutSec);
    c.SetCharSet(rq.CharSet);
    c.SetHdrFrom(rq.HdrFrom);
    c.SetHdrTo(rq.HdrTo);
    c.SetHdrSubject(rq.HdrSubject);
    c.SetFromName(rq.Sender);
    m_messageId = msgenc::MessageId(rq.Sender, QDateTime::currentDateTime());
    m_observer.SendProgress(TSendPhase::Connecting, 0, summary.Total);

    // Connects; on failure `why` says what went wrong.
    const auto connect = [&c](QString& why) {
        try {
            if (c.Connect())
                return true;
            why = c.ErrorMessage();
        } catch (const std::exception& e) {
            c.Abort();
            why = QString::fromUtf8(e.what());
        }
        return false;
    };
    QList<int> pending;
    for (int i = 0; i < summary.Total; ++i)
        if (m_results[i].Outcome != TRecipientOutcome::Delivered)
            pending << i;
    TPacer pacer(rq.Pacing);
    pacer.SetHistory(m_record.History());
    if (limits.Any() && !pending.isEmpty()) {
        // The record's messages may still fill the hour: wait before connecting at all.
        const TPaceStep first = pacer.Next(rq.Pacing.NowMs(), rq.MessageFor ? 1 : int(pending.size()));
        if (first.WaitMs > 0)
            PaceWait(pacer, first);
    }
    QString reason;
    QString refused; // the first refusal of a message of its own
    // Everyone may have it already (the record): nothing to connect for.
    const bool connected = !m_cancelled && !pending.isEmpty() && connect(reason);
    summary.Connected = connected;

    bool reconnected = false; // one new connection after a loss, until a transaction succeeds
    bool waited = false;      // the connection was closed for a wait, not lost
    QString loss;
    int offered = 0;
    while (connected && !pending.isEmpty() && !m_cancelled) {
        int size = rq.MessageFor ? 1 : int(pending.size());
        if (limits.Any()) {
            const TPaceStep step = pacer.Next(rq.Pacing.NowMs(), size);
            if (step.WaitMs > 0) {
                if (!PaceWait(pacer, step))
                    break;
                waited = true;
                continue;
            }
            size = step.Recipients;
        }
        if (c.Stage() == 0 && waited) {
            waited = false;
            reconnected = false;
            if (!connect(reason))
                break;
        } else if (c.Stage() == 0) {
            if (reconnected) {
                reason = loss;
                break;
            }
            reconnected = true;
            OnDisplay(QStringLiteral("Connection lost (%1); connecting again").arg(loss));
            if (QString why; !connect(why)) {
                reason = loss + QStringLiteral(" (connecting again failed: %1)").arg(why);
                break;
            }
        }
        const int before = m_transactions;
        const int settledBefore = m_settled;
        bool ended = false;
        QString why;
        const QList<int> batch = pending.mid(0, size);
        const QList<int> later = pending.mid(size);
        try {
            PrepareMessage(batch, offered);
            offered += int(batch.size());
            pending = Transaction(batch, ended, why) + later;
        } catch (const std::exception& e) {
            // A transport failure the client did not turn into a result.
            c.Abort();
            why = QString::fromUtf8(e.what());
            ended = true;
        }
        if (m_transactions > before) {
            QStringList got;
            for (int i : batch)
                if (m_results[i].Outcome == TRecipientOutcome::Delivered)
                    got << m_results[i].Address;
            const qint64 now = rq.Pacing.NowMs();
            pacer.Sent(now, int(got.size()));
            if (m_recording && !m_record.Append(now, got, &why)) {
                // Without the record a later resume would send these a second copy.
                ended = true;
            }
        }
        if (ended) {
            reason = why;
            break;
        }
        if (m_transactions > before) {
            reconnected = false;
        } else if (c.Stage() == 0) {
            loss = why;
        } else if (m_splitting && m_settled > settledBefore) {
            // Every recipient of this message was refused; the next message goes on, and the
            // first such refusal explains the ending when nothing else does.
            if (refused.isEmpty())
                refused = why;
        } else {
            reason = why; // the server keeps the session but takes nobody: stop
            break;
        }
    }
    if (!m_rejection.isEmpty())
        reason = m_rejection;
    if (reason.isEmpty())
        reason = refused;
    if (c.Stage() != 0)
        c.Quit();

    for (const TRecipientResult& r : std::as_const(m_results))
        summary.Delivered += r.Outcome == TRecipientOutcome::Delivered ? 1 : 0;
    summary.Transactions = m_transactions;
    if (m_recording && summary.Delivered == summary.Total)
        m_record.Remove(); // complete: nothing left to resume

    if (m_cancelled)
        summary.End = TSendEnd::Cancelled;
    else if (summary.Delivered == summary.Total)
        summary.End = TSendEnd::Sent;
    else
        summary.End = summary.Delivered > 0 ? TSendEnd::Partial : TSendEnd::NothingSent;
    if (summary.End != TSendEnd::Sent)
        summary.Reason = m_cancelled ? QStringLiteral("Send canceled.") : reason;
    FinishLogs(summary);
    return summary;
}

void TSendJob::FinishLogs(TSendSummary& summary)
{
    const QString finished = QStringLiteral("Finished: ") + NowText();
    m_dialogueLog << QString()
                  << QStringLiteral("Sent: %1 of %2 recipients in %3 %4")
                         .arg(summary.Delivered)
                         .arg(summary.Total)
                         .arg(summary.Transactions)
                         .arg(summary.Transactions == 1 ? QStringLiteral("transaction") : QStringLiteral("transactions"));
    if (!summary.Reason.isEmpty())
        m_dialogueLog << QStringLiteral("Ended: ") + summary.Reason;
    for (const TRecipientResult& r : std::as_const(m_results))
        if (r.Outcome != TRecipientOutcome::Delivered)
            m_dialogueLog << QStringLiteral("Not sent: ") + r.Address + QStringLiteral(" - ") + OutcomeText(r);
    m_dialogueLog << QString() << finished;
    m_timeoutLog << QString() << finished;
    const QString& folder = m_request->LogFolder;
    if (folder.isEmpty())
        return;
    QString error;
    if (!textfile::writeText(folder + QStringLiteral("MailDialog.txt"), m_dialogueLog.join(u'\n') + u'\n', &error)
        || !textfile::writeText(folder + QStringLiteral("Timeout.txt"), m_timeoutLog.join(u'\n') + u'\n', &error))
        summary.LogError = error;
}
