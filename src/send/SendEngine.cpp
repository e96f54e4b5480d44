#include "send/SendEngine.h"

#include "lists/GeneralSettings.h"
#include "lists/ListPanel.h"
#include "lists/MailListRecord.h"
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
#include "send/HtmlMail.h"
#include "send/MessageEncoding.h"
#include "send/Personalise.h"
#include "send/SendMailPanel.h"
#include "platform/IniFile.h"

#include <QAction>
#include <QEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCryptographicHash>
#include <QDateTime>
#include <QFileInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTextDocument>
#include <QTextEdit>
#include <QTimer>

#include <memory>

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
// The page's language (mail programs and screen readers go by it): the regional settings'.
QString HtmlLanguage()
{
    const QString tag = regional::Locale().bcp47Name();
    return tag.isEmpty() || tag == QLatin1String("C") ? QStringLiteral("en") : tag;
}
} // namespace

TSendEngine::TSendEngine(const TParts& parts, QObject* parent)
    : QObject(parent), m_p(parts), m_job(parts.Smtp, *this)
{
    m_finishedTimer = new QTimer(this);
    m_finishedTimer->setObjectName(QStringLiteral("FinishedMailTimer1"));
    m_finishedTimer->setTimerType(Qt::PreciseTimer);
    m_finishedTimer->setInterval(1);
    connect(m_finishedTimer, &QTimer::timeout, this, &TSendEngine::FinishedMailTimer1Timer);
    // The panel's Cancel during a send stops the send instead of clearing the panel under it.
    // The panel may outlive the engine (the window destroys its children in any order).
    connect(&m_p.SendPanel, &TSendMailPanel::SendTestRequested, this, &TSendEngine::SendTestBtnClick);
    m_p.SendPanel.CancelRunningSend = [engine = QPointer<TSendEngine>(this)] {
        if (!engine || !engine->m_job.Running())
            return false;
        engine->CancelSend1Click();
        return true;
    };
    m_paintClock.start();
}

TSendEngine::~TSendEngine() = default;

QString TSendEngine::NowText()
{
    return TSendJob::NowText();
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
    TDigestTexts texts = digest::Texts(body, parts);
    QString subject = m_p.SubjectEDT->text();
    // A personalised newsletter shows as its first subscriber will get it.
    TSubscriberFields first;
    const bool personal = personalise::Scan(subject, texts).HasFields && FirstSubscriber(first);
    if (personal) {
        texts = personalise::Apply(texts, first);
        subject = personalise::Apply(subject, first);
    }
    const QStringList lines = digest::Compile(forSending, subject, texts);
    if (parts.Formatted) {
        // The text part is the digest as mailed (no subject line), the HTML part the same
        // blocks around the rich text.
        const QStringList text = forSending ? lines : digest::Compile(true, QString(), texts);
        const QString sender = list ? list->Text(MailListRecord::Reply) : m_p.General.Email;
        const QString id = msgenc::MessageId(sender.trimmed(), QDateTime::currentDateTime());
        m_p.Digest.ShowFormatted(text, FormattedPage(*m_p.LetterRE->document(), FormattedBlocks(parts),
                                                     personal ? &first : nullptr, subject, id.mid(1, id.size() - 2)));
    } else {
        m_p.Digest.Show(lines);
    }
    QApplication::restoreOverrideCursor();
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
    // The bar is told only when it would show another step of a thousandth: a reply per
    // recipient must not cost a repaint per recipient.
    const auto step = [](qint64 p, qint64 m) { return m > 0 ? p * 1000 / m : 0; };
    const bool newMax = maximum != m_gaugeMax;
    if (newMax) {
        m_gaugeMax = maximum;
        m_p.Shell.ShowGauge(maximum);
    }
    const bool moved = newMax || step(progress, maximum) != step(m_gauge, maximum) || progress == maximum;
    m_gauge = progress;
    if (moved)
        m_p.Shell.SetGaugeProgress(progress);
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

bool TSendEngine::LetThroughDuringSend(QObject* watched, QEvent* event) const
{
    // A wait of the send throws input away; "Cancel Send" must still get through: its shortcut,
    // the menus that lead to it (no other item can be chosen), and the panel's Cancel.
    QAction* cancel = m_p.Shell.Action(QStringLiteral("CancelSend1"));
    const QObject* panelCancel = m_p.SendPanel.CancelSendToBtn();
    if (event->type() == QEvent::Shortcut)
        return watched == cancel || watched == panelCancel;
    if (watched == panelCancel)
        return true;
    if (qobject_cast<QMenuBar*>(watched))
        return true;
    if (auto* menu = qobject_cast<QMenu*>(watched)) {
        if (event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space)
                return menu->activeAction() == cancel;
            return key == Qt::Key_Up || key == Qt::Key_Down || key == Qt::Key_Left || key == Qt::Key_Right
                || key == Qt::Key_Escape;
        }
        QAction* at = menu->actionAt(static_cast<QMouseEvent*>(event)->position().toPoint());
        return at == nullptr || at == cancel || at->menu() != nullptr;
    }
    return false;
}

htmlmail::TBlocks TSendEngine::FormattedBlocks(const TDigestParts& parts)
{
    return {digest::FileLines(parts.HeaderFile), digest::FileLines(parts.SigFile), digest::FileLines(parts.FooterFile)};
}

htmlmail::THtml TSendEngine::FormattedPage(const QTextDocument& letter, const htmlmail::TBlocks& blocks,
                                           const TSubscriberFields* fields, const QString& subject,
                                           const QString& idSuffix)
{
    if (!fields)
        return htmlmail::Write(letter, blocks, subject, HtmlLanguage(), idSuffix);
    const htmlmail::TBlocks own{personalise::Apply(blocks.Header, *fields), personalise::Apply(blocks.Signature, *fields),
                                personalise::Apply(blocks.Footer, *fields)};
    const std::unique_ptr<QTextDocument> doc(letter.clone());
    personalise::Apply(*doc, *fields);
    return htmlmail::Write(*doc, own, subject, HtmlLanguage(), idSuffix);
}

TSendEngine::TFormattedTemplate TSendEngine::PrepareFormatted(const QTextDocument& letter,
                                                              const htmlmail::TBlocks& blocks,
                                                              const QString& subject, const QString& idSuffix)
{
    TFormattedTemplate t;
    t.Blocks = blocks;
    t.Subject = subject;
    t.IdSuffix = idSuffix;
    t.Page = htmlmail::Write(letter, blocks, subject, HtmlLanguage(), idSuffix);
    const int written = personalise::Count(letter.toPlainText()) + personalise::Count(subject)
        + personalise::Count(blocks.Header) + personalise::Count(blocks.Signature) + personalise::Count(blocks.Footer);
    t.Direct = personalise::Count(t.Page.Text) == written;
    if (!t.Direct)
        t.Letter.reset(letter.clone()); // written anew for each recipient
    return t;
}

htmlmail::THtml TSendEngine::FormattedFor(const TFormattedTemplate& t, const TSubscriberFields& fields, int index)
{
    if (!t.Direct)
        return FormattedPage(*t.Letter, t.Blocks, &fields, personalise::Apply(t.Subject, fields),
                             QString::number(index) + u'.' + t.IdSuffix);
    htmlmail::THtml page = t.Page;
    page.Text = personalise::ApplyHtml(t.Page.Text, fields);
    return page;
}

bool TSendEngine::FirstSubscriber(TSubscriberFields& fields) const
{
    TSendMailPanel& panel = m_p.SendPanel;
    if (panel.AddressPageActive()) {
        const QString first = panel.SendToMemo()->toPlainText().section(u',', 0, 0).trimmed();
        fields = {};
        fields.Email = first;
        return !first.isEmpty();
    }
    const QList<int> rows = panel.CheckedRows();
    if (rows.isEmpty() || rows.first() >= m_p.Lists.ListEntries.Count())
        return false;
    fields = personalise::FromRecord(m_p.Lists.ListEntries.At(rows.first()));
    return true;
}

void TSendEngine::SendToBtnClick()
{
    Send(false);
}

void TSendEngine::SendTestBtnClick()
{
    Send(true);
}

void TSendEngine::Send(bool test)
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
    m_listSend = !addressPage;
    m_testSend = test;
    m_dataPhase = false;
    m_summary = {};
    m_rows.clear();
    m_p.Shell.Action(QStringLiteral("CancelSend1"))->setEnabled(true);
    m_gaugeMax = 100;
    m_p.Shell.ShowGauge(m_gaugeMax);
    SetGauge(1, 100);
    m_p.Shell.StopStatusTimer();
    CompileDigest(true);

    TSendRequest rq;
    rq.TimeoutSec = m_p.Timeout ? m_p.Timeout() : 15;
    rq.LogFolder = ProgramFolder();
    rq.Mailer = kMailer;
    const QString subject = (test ? QStringLiteral("[Test] ") : QString()) + m_p.SubjectEDT->text();
    const int row = m_p.ListPanel.ListsLB()->currentRow();
    MailListRecord* selected = row >= 0 && row < m_p.Lists.ListCatalog.Count() ? m_p.Lists.ListCatalog.At(row) : nullptr;
    QString hdrTo;
    QString recipientsText; // the archive's To line: every address followed by a comma

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
        m_sendFrom = from;
        recipientsText = memo + u',';
        rq.Recipients = SplitRecipients(recipientsText);
        const bool useGeneral = panel.UseUserOptionsCB()->isChecked();
        if (m_p.General.SaveLetters && useGeneral)
            rq.ArchiveFolder = ProgramFolder() + QStringLiteral("User/Sent Mail/");
        else if (selected && selected->HasOption('4'))
            rq.ArchiveFolder = QFileInfo(selected->Text(MailListRecord::FilePath)).absolutePath() + QStringLiteral("/Sent Mail/");
        else if (m_p.General.SaveLetters)
            rq.ArchiveFolder = ProgramFolder() + QStringLiteral("User/Sent Mail/");
        hdrTo = panel.BCCCB()->isChecked() ? QString() : memo;
    } else {
        MailListRecord* list = m_p.Lists.CurrentList;
        const QString server = list ? list->Text(MailListRecord::SmtpServer).trimmed() : QString();
        const QString reply = list ? list->Text(MailListRecord::Reply).trimmed() : QString();
        if (server.isEmpty() || reply.isEmpty()) {
            Abandon(QStringLiteral("You must provide a SMTP Server address and your E-mail address!"));
            return;
        }
        m_rows = panel.CheckedRows();
        for (int r : std::as_const(m_rows)) {
            const QString a = TSendMailPanel::EntryAddress(panel.SendToModel()->Item(r));
            rq.Recipients << a;
            recipientsText += a + u',';
        }
        m_sendFrom = reply;
        m_sendServer = server;
        if (list->HasOption('4'))
            rq.ArchiveFolder = QFileInfo(list->Text(MailListRecord::FilePath)).absolutePath() + QStringLiteral("/Sent Mail/");
        hdrTo = list->Text(MailListRecord::ToAddress);
        if (list->HasOption('5'))
            rq.ListUnsubscribe = msgenc::ListUnsubscribe(list->HasOption('7'), reply,
                                                         list->Text(MailListRecord::SubjectKey), list->HasOption('6'),
                                                         list->Text(MailListRecord::ToKey));
    }
    if (!rq.ArchiveFolder.isEmpty()) {
        rq.ArchiveSubject = subject;
        rq.ArchiveText = archive::Text(subject, NowText(), m_sendFrom, recipientsText,
                                       digest::BodyLines(m_p.LetterRE->toPlainText()));
    }
    // RFC 5322 wants a To field; recipients kept from each other get the empty group.
    if (hdrTo.trimmed().isEmpty())
        hdrTo = QStringLiteral("undisclosed-recipients:;");

    // Fields: every recipient's own message. An unknown one stops the send before anything.
    const int listRow = m_p.ListPanel.ListsLB()->currentRow();
    const MailListRecord* shown = listRow >= 0 && listRow < m_p.Lists.ListCatalog.Count() ? m_p.Lists.ListCatalog.At(listRow) : nullptr;
    const TDigestTexts texts = digest::Texts(digest::BodyLines(m_p.LetterRE->toPlainText()),
                                             digest::PartsFor(shown, panel.UseUserOptionsCB()->isChecked(), m_p.General));
    const personalise::TScan scan = personalise::Scan(subject, texts);
    if (!scan.Unknown.isEmpty()) {
        Abandon(QStringLiteral("The newsletter has an unknown field %1 (the fields are %2). Nothing was sent.")
                    .arg(scan.Unknown, personalise::FieldNames().join(QStringLiteral(", "))));
        return;
    }
    // The provider's limits of this server; one that cannot be read stops the send.
    if (const QString ini = m_p.Smtp.SettingsFile(); !ini.isEmpty()) {
        QString error;
        rq.Pacing.Limits = serversettings::LoadLimits(TIniFile(ini), m_sendServer, &error);
        if (!error.isEmpty()) {
            Abandon(error + QStringLiteral(". Nothing was sent."));
            return;
        }
    }
    QList<TSubscriberFields> fields;
    if (test) {
        // Only the sender gets it: no archive, no record, nobody unchecked.
        TSubscriberFields first;
        if (FirstSubscriber(first))
            fields << first;
        rq.Recipients = {m_sendFrom};
        rq.ArchiveFolder.clear();
        hdrTo = m_sendFrom;
    } else if (scan.HasFields) {
        for (qsizetype i = 0; i < rq.Recipients.size(); ++i) {
            if (m_listSend && i < m_rows.size() && m_rows[i] < m_p.Lists.ListEntries.Count()) {
                fields << personalise::FromRecord(m_p.Lists.ListEntries.At(m_rows[i]));
            } else {
                TSubscriberFields f;
                f.Email = rq.Recipients[i].trimmed();
                fields << f;
            }
        }
    }
    const bool formatted = m_p.Digest.Html() != nullptr;
    if (scan.HasFields && formatted) {
        // Every recipient's own page and text part around the same rich text.
        // The rich text as it is now: the letter may change during a long paced send.
        const QString id = msgenc::MessageId(m_sendFrom.trimmed(), QDateTime::currentDateTime());
        const auto page = std::make_shared<const TFormattedTemplate>(PrepareFormatted(
            *m_p.LetterRE->document(),
            FormattedBlocks(digest::PartsFor(shown, panel.UseUserOptionsCB()->isChecked(), m_p.General)), subject,
            id.mid(1, id.size() - 2)));
        rq.MessageFor = [page, texts, subject, fields, test, to = msgenc::EncodeAddressList(hdrTo)](int i) {
            const TSubscriberFields& f = fields[test ? 0 : i];
            TMessageParts m = personalise::Message(texts, subject, f, test ? to : QString());
            const htmlmail::TMime mime = htmlmail::Compose(
                digest::Compile(true, QString(), personalise::Apply(texts, f)), FormattedFor(*page, f, i));
            m.ContentType = mime.ContentType;
            m.TransferEncoding = mime.TransferEncoding;
            m.BodyLines = mime.BodyLines;
            return m;
        };
    } else if (scan.HasFields) {
        rq.MessageFor = [texts, subject, fields, test, to = msgenc::EncodeAddressList(hdrTo)](int i) {
            return personalise::Message(texts, subject, fields.value(test ? 0 : i), test ? to : QString());
        };
    }
    // A long send keeps its record beside the list until everyone has it (a restart resumes).
    if (m_listSend && !test && (scan.HasFields || rq.Pacing.Limits.Any()) && m_p.Lists.CurrentList) {
        const QFileInfo listFile(m_p.Lists.CurrentList->Text(MailListRecord::FilePath));
        rq.RecordFile = listFile.absolutePath() + u'/' + listFile.completeBaseName() + QStringLiteral(" send record.txt");
        QCryptographicHash key(QCryptographicHash::Sha256);
        key.addData(subject.toUtf8());
        for (const QString& l : digest::Compile(true, QString(), texts))
            key.addData(QByteArray(l.toUtf8() + '\n'));
        rq.RecordKey = QString::fromLatin1(key.result().toHex());
    }

    // The message as it goes out: the character set and transfer encoding its text needs, or
    // the formatted message the digest shows.
    if (const htmlmail::THtml* html = m_p.Digest.Html()) {
        const htmlmail::TMime mime = htmlmail::Compose(m_p.Digest.Lines(), *html);
        rq.ContentType = mime.ContentType;
        rq.TransferEncoding = mime.TransferEncoding;
        rq.BodyLines = mime.BodyLines;
    } else {
        const msgenc::TBody body = msgenc::EncodeBody(m_p.Digest.Lines());
        rq.BodyLines = body.Lines;
        rq.TransferEncoding = body.TransferEncoding;
        rq.CharSet = body.CharSet;
    }
    rq.Server = m_sendServer;
    rq.Sender = m_sendFrom;
    rq.Dkim = dkimsign::LoadFromFile(m_sendFrom);
    rq.HdrFrom = msgenc::EncodeAddressList(m_sendFrom);
    rq.HdrTo = msgenc::EncodeAddressList(hdrTo);
    rq.HdrSubject = msgenc::EncodeWords(subject);
    m_request = rq;
    SetGauge(0, std::max<qsizetype>(rq.Recipients.size(), 1));
    if (addressPage) {
        m_p.Shell.SetStatus(QStringLiteral("Status: Sending headers."), true);
        m_paintClock.restart();
    }

    TCustomWait* wait = m_p.Smtp.Wait();
    if (wait)
        wait->PassInput = [this](QObject* watched, QEvent* event) { return LetThroughDuringSend(watched, event); };
    const TSendSummary summary = m_job.Run(m_request);
    if (wait)
        wait->PassInput = nullptr;
    Ended(summary);
}

void TSendEngine::Ended(const TSendSummary& summary)
{
    m_summary = summary;
    m_sending = false;
    if (!summary.ArchiveError.isEmpty()) {
        Abandon(QString());
        m_p.Shell.Dialogs().Error(summary.ArchiveError + QStringLiteral("\nThe newsletter was not sent."), m_p.Shell.Window());
        return;
    }
    TSendMailPanel& panel = m_p.SendPanel;
    // Who got it is no longer checked (or typed), so Send again reaches exactly the rest.
    const QList<TRecipientResult>& results = m_job.Results();
    if (summary.End != TSendEnd::Sent && summary.Delivered > 0 && !m_testSend) {
        if (m_listSend) {
            for (qsizetype i = 0; i < results.size() && i < m_rows.size(); ++i)
                if (results[i].Outcome == TRecipientOutcome::Delivered)
                    panel.SendToModel()->SetChecked(m_rows[i], false);
        } else {
            QStringList rest;
            for (const TRecipientResult& r : results)
                if (r.Outcome != TRecipientOutcome::Delivered)
                    rest << r.Address;
            panel.SendToMemo()->setPlainText(rest.join(QStringLiteral(", ")));
        }
    }
    const QString count = QStringLiteral(" (%1 of %2 sent)").arg(summary.Delivered).arg(summary.Total);
    m_p.Shell.HideGauge();
    switch (summary.End) {
    case TSendEnd::Sent:
        if (m_testSend) {
            // The panel stays for the real send.
            m_p.Shell.Action(QStringLiteral("CancelSend1"))->setEnabled(false);
            m_p.Shell.SetStatus(QStringLiteral("Status: Test mail was sent to ") + m_sendFrom + u'.', true);
            break;
        }
        m_p.Shell.SetStatus(QStringLiteral("Status: Mail was successfully sent.") + count, true);
        m_finishedTimer->start();
        break;
    case TSendEnd::Cancelled:
        m_p.Shell.Action(QStringLiteral("CancelSend1"))->setEnabled(false);
        m_p.Shell.SetStatus(QStringLiteral("Status: Send canceled.") + count, true);
        break;
    case TSendEnd::Partial:
    case TSendEnd::NothingSent: {
        QString reply = summary.Reason;
        if (reply.size() >= 4 && reply[0].isDigit() && reply[1].isDigit() && reply[2].isDigit())
            reply = reply.mid(4);
        m_p.Shell.SetStatus(QStringLiteral("Status: Error - ") + reply + count, true);
        break;
    }
    }
    if (!summary.LogError.isEmpty())
        m_p.Shell.Dialogs().Error(QStringLiteral("Could not write the send log in ") + ProgramFolder()
                                      + QStringLiteral(":\n") + summary.LogError,
                                  m_p.Shell.Window());
    emit SendFinished(summary.End == TSendEnd::Sent);
}

// ---------------------------------------------------------------- job reports

void TSendEngine::SendProgress(TSendPhase phase, qint64 done, qint64 total)
{
    switch (phase) {
    case TSendPhase::Connecting:
        break;
    case TSendPhase::Recipients:
        if (m_dataPhase) {
            m_dataPhase = false;
            m_paintClock.restart();
        }
        SetGauge(done, std::max<qint64>(total, 1));
        break;
    case TSendPhase::Data:
        if (!m_dataPhase) {
            m_dataPhase = true;
            m_p.Shell.SetStatus(QStringLiteral("Status: Sending message..."), true);
            m_paintClock.restart();
        }
        SetGauge(done, std::max<qint64>(total, 1));
        break;
    }
}

void TSendEngine::SendDialogue(const QString& line)
{
    SmtpClient1Display(line);
}

void TSendEngine::RecipientDone(int, const TRecipientResult&)
{
    // The check list is brought up to date once the send has ended (Ended).
}

void TSendEngine::SendWaiting(const QString& text)
{
    if (!text.isEmpty()) {
        m_p.Shell.SetStatus(QStringLiteral("Status: ") + text, true);
        m_paintClock.restart();
    }
}

void TSendEngine::SmtpClient1Display(const QString& Msg)
{
    m_p.Shell.ProcessMessages();
    if (m_dataPhase) {
        SetStatus(QStringLiteral("Status: Sending message..."));
        return;
    }
    SetStatus(QStringLiteral("Status: ") + (Msg.startsWith(u'<') ? Msg.mid(2) : Msg));
}

// ---------------------------------------------------------------- cancel and close

void TSendEngine::CancelSend1Click()
{
    if (m_job.Running()) {
        // The job ends at once; Ended reports it and keeps the panel for the rest.
        m_job.Cancel();
        return;
    }
    if (!m_p.Smtp.Quit())
        return;
    m_p.SendPanel.CancelSendToBtnClick();
    m_p.Shell.Action(QStringLiteral("CancelSend1"))->setEnabled(false);
    m_p.Shell.SetStatus(QStringLiteral("Status: Send canceled."), true);
}

void TSendEngine::FinishedMailTimer1Timer()
{
    m_finishedTimer->stop();
    m_p.SendPanel.ClearAndHide();
}
