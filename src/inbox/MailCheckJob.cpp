#include "inbox/MailCheckJob.h"

#include "lists/ListsState.h"
#include "net/Pop3Client.h"
#include "net/WSocket.h"
#include "platform/ProgramFolder.h"

#include <QDateTime>
#include <QDir>

TMailCheckJob::TMailCheckJob(TPop3Client& pop3, TInboxState& inbox, TListsState& lists, TMailCheckObserver& observer)
    : m_pop3(pop3), m_pop3Alive(&pop3), m_inbox(inbox), m_lists(lists), m_observer(observer)
{
    m_pop3.OnMessageBegin = [this](TPop3Client*) { MessageBegin(); };
    m_pop3.OnMessageLine = [this](TPop3Client* c) { MessageLine(c->LastResponse(), c->LastLineCut()); };
    m_pop3.OnMessageEnd = [this](TPop3Client*) { MessageEnd(); };
    m_pop3.OnSessionEnded = [this](TPop3Client*) {
        // The server ended the session while the user reads: say so now, not at Close.
        if (!Busy() && !m_checking && m_inbox.Session > 0 && m_pop3.Session() == m_inbox.Session)
            m_observer.MailStatus(QStringLiteral("Status: The server ended the session. Deleting will log in again."),
                                  false);
    };
}

TMailCheckJob::~TMailCheckJob()
{
    // The client may outlive the job (the main window's close): its events must not reach it.
    if (!m_pop3Alive)
        return;
    m_pop3.OnMessageBegin = nullptr;
    m_pop3.OnMessageLine = nullptr;
    m_pop3.OnMessageEnd = nullptr;
    m_pop3.OnSessionEnded = nullptr;
}

QString TMailCheckJob::InboxFolder()
{
    return ProgramFolder() + QStringLiteral("Inbox");
}

QString TMailCheckJob::StepName(TPopStep step)
{
    switch (step) {
    case TPopStep::Idle:
        return QString();
    case TPopStep::Connect:
        return QStringLiteral("Connect");
    case TPopStep::User:
        return QStringLiteral("User");
    case TPopStep::Pass:
        return QStringLiteral("Pass");
    case TPopStep::Stat:
        return QStringLiteral("Stat");
    case TPopStep::Uidl:
        return QStringLiteral("Uidl");
    case TPopStep::Retr:
        return QStringLiteral("Retr");
    case TPopStep::Delete:
        return QStringLiteral("Delete");
    case TPopStep::Quit:
        return QStringLiteral("Quit");
    }
    return QString();
}

bool TMailCheckJob::SessionLive() const
{
    return m_inbox.Session > 0 && m_pop3.Session() == m_inbox.Session && m_pop3.ProtocolState() == pop3Transaction;
}

void TMailCheckJob::ClearRecords()
{
    m_inbox.MailRecords.clear();
    m_observer.RecordsCleared();
}

void TMailCheckJob::AddRecord(const TMailRecord& record)
{
    m_inbox.MailRecords.append(record);
    m_observer.RecordAdded(m_inbox.MailRecords.last());
}

// ---------------------------------------------------------------- one command

bool TMailCheckJob::Run(TPopStep step)
{
    ++m_busy;
    m_step = step;
    const QString label = StepName(step);
    m_inbox.LastPopCommand = label;
    m_pop3.SetMsgNum(m_inbox.CurrentMsgNum);
    const QString host = m_pop3.Host();
    auto status = [this](const QString& text, bool paintNow = false) { m_observer.MailStatus(text, paintNow); };
    switch (step) {
    case TPopStep::Connect:
        status(QStringLiteral("Status: Connecting to host ") + host + QStringLiteral("..."), true);
        break;
    case TPopStep::User:
        status(QStringLiteral("Status: Sending user information..."), true);
        break;
    case TPopStep::Pass:
        status(QStringLiteral("Status: Sending user password..."), true);
        break;
    case TPopStep::Delete:
        status(QStringLiteral("Status: Deleting message ") + QString::number(m_inbox.CurrentMsgNum) + QStringLiteral("..."),
               true);
        break;
    default:
        break;
    }

    bool ok = false;
    QString exceptionText;
    try {
        switch (step) {
        case TPopStep::Idle:
            break;
        case TPopStep::Connect:
            ok = m_pop3.Connect();
            break;
        case TPopStep::User:
            ok = m_pop3.User();
            break;
        case TPopStep::Pass:
            ok = m_pop3.Pass();
            break;
        case TPopStep::Stat:
            ok = m_pop3.Stat();
            break;
        case TPopStep::Uidl:
            ok = m_pop3.Uidl();
            break;
        case TPopStep::Retr:
            ok = m_pop3.Retr();
            break;
        case TPopStep::Delete:
            ok = m_pop3.Dele();
            break;
        case TPopStep::Quit:
            ok = m_pop3.Quit();
            break;
        }
    } catch (const ESocketException& e) {
        // A connection the server dropped: the command failed; the state follows the socket.
        exceptionText = e.Message();
        ok = false;
    }
    --m_busy;

    switch (step) {
    case TPopStep::Connect:
        m_inbox.DeletePending = false;
        if (ok) {
            status(QStringLiteral("Status: Connected to ") + host);
        } else {
            ClearRecords();
            const QString why = exceptionText.isEmpty() ? m_pop3.ErrorMessage() : QStringLiteral("-ERR ") + exceptionText;
            status(QStringLiteral("Status: ") + label + QStringLiteral(" failed - ") + why);
            m_observer.LogoutDue(true);
        }
        break;
    case TPopStep::User:
    case TPopStep::Pass:
        if (ok) {
            status(step == TPopStep::User ? QStringLiteral("Status: User authorized...")
                                           : QStringLiteral("Status: Password verified..."));
        } else {
            status(QStringLiteral("Status: Username or password is not valid. Please correct and try again."));
            m_observer.LogoutDue(false);
        }
        break;
    case TPopStep::Stat:
        if (ok)
            status(QStringLiteral("Status: ") + QString::number(m_pop3.MsgCount()) + QStringLiteral(" message on server"));
        break;
    case TPopStep::Delete:
        if (ok)
            status(QStringLiteral("Status: Message deleted."));
        break;
    case TPopStep::Quit:
        // The client is disconnected whatever the server answered: the session's records and
        // numbers mean nothing any more.
        m_inbox.DeletePending = false;
        status(m_inbox.SessionNote.isEmpty() ? QStringLiteral("Status:") : QStringLiteral("Status: ") + m_inbox.SessionNote);
        m_inbox.SessionNote.clear();
        m_inbox.SentDeletions.clear();
        m_inbox.UniqueIds.clear();
        m_inbox.Session = 0;
        ClearRecords();
        break;
    default:
        break;
    }
    m_observer.CommandDone(step, ok);
    return ok;
}

// ---------------------------------------------------------------- the check

bool TMailCheckJob::CanCheck() const
{
    return m_pop3.ProtocolState() == pop3Disconnected && !m_checking && !Busy();
}

TCheckEnd TMailCheckJob::Check(const MailListRecord& list)
{
    if (!CanCheck())
        return TCheckEnd::NotStarted;
    m_checking = true;
    m_observer.MailStatus(QStringLiteral("Status: Checking for new mail..."), true);
    // Records of an earlier session (one the server ended) carry its message numbers: never
    // let them reach this session's DELE commands.
    ClearRecords();
    m_inbox.LastPopCommand.clear();
    m_step = TPopStep::Idle;
    m_inbox.DeleteQueue.clear();
    m_inbox.SentDeletions.clear();
    m_inbox.UniqueIds.clear();
    m_inbox.SessionNote.clear();
    m_inbox.Session = 0;
    m_inbox.AwaitingMessage = true;
    m_saveErrorShown = false;
    m_inboxFolderMade = false;
    m_inboxFolder.clear();
    // "host:port" reaches a server on another port than the POP3 one.
    QString host = list.Text(MailListRecord::PopServer).trimmed();
    QString port = QStringLiteral("pop3");
    const qsizetype colon = host.lastIndexOf(u':');
    if (colon > 0 && host.indexOf(u':') == colon) {
        bool ok = false;
        const int number = host.mid(colon + 1).toInt(&ok);
        if (ok && number > 0 && number < 65536) {
            port = QString::number(number);
            host = host.left(colon);
        }
    }
    m_pop3.SetHost(host);
    m_pop3.SetPort(port);
    m_pop3.SetUserName(list.Text(MailListRecord::PopUser));
    m_pop3.SetPassWord(list.Password());

    if (!(Run(TPopStep::Connect) && Run(TPopStep::User) && Run(TPopStep::Pass))) {
        m_checking = false;
        return TCheckEnd::LoginFailed;
    }
    m_inbox.Session = m_pop3.Session();
    Run(TPopStep::Stat);
    const int count = m_pop3.MsgCount();
    if (count < 1) {
        m_checking = false;
        m_observer.MailStatus(QStringLiteral("Status: No mail on host ") + m_pop3.Host()
                                  + QStringLiteral(". Logging out of server..."),
                              false);
        m_observer.LogoutDue(true);
        return TCheckEnd::NoMail;
    }
    // The ids let deletions find the messages again should the server end this session.
    if (Run(TPopStep::Uidl))
        m_inbox.UniqueIds = m_pop3.UniqueIds();
    for (int n = 1; n <= count; ++n) {
        m_inbox.CurrentMsgNum = n;
        Run(TPopStep::Retr);
        // A session the server ended cannot deliver the rest.
        if (m_pop3.ProtocolState() == pop3Disconnected)
            break;
    }
    m_checking = false;
    m_observer.MailStatus(QStringLiteral("Status: Successfully retrieved ") + QString::number(m_inbox.MailRecords.size())
                              + QStringLiteral(" messages."),
                          false);
    m_observer.MessagesListed();
    if (&list == m_lists.CurrentList && list.HasOption('5') && !m_inbox.MailRecords.isEmpty())
        Maintain();
    return TCheckEnd::Listed;
}

void TMailCheckJob::MessageBegin()
{
    if (m_step != TPopStep::Retr || !m_inbox.AwaitingMessage)
        return;
    m_observer.MailStatus(QStringLiteral("Status: Retrieving message ") + QString::number(m_inbox.CurrentMsgNum)
                              + QStringLiteral("..."),
                          false);
    m_inbox.AwaitingMessage = false;
    m_inbox.CurrentMail = TMailRecord();
    m_inbox.CurrentMail.MsgNum = m_inbox.CurrentMsgNum;
    m_inbox.MessageLines.clear();
    m_inbox.InboxLines.clear();
    m_lineContinues = false;
}

void TMailCheckJob::MessageLine(const QString& line, bool cut)
{
    if (m_step != TPopStep::Retr)
        return;
    // The client cuts lines at 254 characters: join the pieces back into the line sent.
    if (m_lineContinues && !m_inbox.MessageLines.isEmpty())
        m_inbox.MessageLines.last() += line;
    else
        m_inbox.MessageLines.append(line);
    m_lineContinues = cut;
}

void TMailCheckJob::MessageEnd()
{
    if (m_step != TPopStep::Retr)
        return;
    mailtext::FillRecord(m_inbox.CurrentMail, m_inbox.MessageLines);
    SaveInboxMessage();
    AddRecord(m_inbox.CurrentMail);
    m_inbox.AwaitingMessage = true;
    m_observer.MailStatus(QStringLiteral("Status: Message ") + QString::number(m_inbox.CurrentMsgNum)
                              + QStringLiteral(" retrieved."),
                          false);
    m_inbox.InboxLines.clear();
    m_inbox.MessageLines.clear();
    m_lineContinues = false;
}

void TMailCheckJob::SaveInboxMessage()
{
    m_inbox.InboxLines = mailtext::InboxLines(m_inbox.MessageLines);
    if (!m_inboxFolderMade) // once per check, not once per message
        m_inboxFolderMade = QDir().mkpath(InboxFolder());
    QString error;
    // The readable copy, and beside it the whole message as received (attachments included).
    // The name's date and time change once a second: formatting them (a time zone lookup and
    // two regional texts) for every message cost more than the rest of the name.
    const qint64 second = QDateTime::currentSecsSinceEpoch();
    if (second != m_stampSecond || m_stamp.isEmpty()) {
        m_stampSecond = second;
        m_stamp = mailtext::InboxBaseName(QDateTime::fromSecsSinceEpoch(second), 0);
        m_stamp.chop(qsizetype(sizeof "0.txt") - 1); // keeps the "_" before the number
    }
    if (m_inboxFolder.isEmpty())
        m_inboxFolder = InboxFolder();
    const QString path = mailtext::WriteNewFilePair(
        m_inboxFolder, m_stamp + QString::number(m_inbox.CurrentMail.MsgNum) + QStringLiteral(".txt"),
        mailtext::FileBytes(m_inbox.InboxLines), QStringLiteral(".eml"), mailtext::MessageBytes(m_inbox.MessageLines),
        &error);
    m_inbox.CurrentMail.FileName = path;
    if (path.isEmpty() && !m_saveErrorShown) {
        // Once per check: the message stays on the server and in the grid.
        m_saveErrorShown = true;
        m_observer.MailError(error + QStringLiteral("\nThe message stays on the server."));
    }
}

// ---------------------------------------------------------------- deleting, logout

void TMailCheckJob::MarkRead(int index)
{
    if (index < 0 || index >= m_inbox.MailRecords.size())
        return;
    m_inbox.CurrentMsgNum = m_inbox.MailRecords[index].MsgNum;
    if (m_lists.CurrentList && m_lists.CurrentList->HasOption('8'))
        mailtext::QueueAppend(m_inbox.DeleteQueue, m_inbox.CurrentMsgNum);
}

void TMailCheckJob::Delete(int index)
{
    if (index < 0 || index >= m_inbox.MailRecords.size() || Busy())
        return;
    m_inbox.DeletePending = true;
    m_inbox.CurrentMsgNum = m_inbox.MailRecords[index].MsgNum;
    mailtext::QueueAppend(m_inbox.DeleteQueue, m_inbox.CurrentMsgNum);
    m_inbox.MailRecords.removeAt(index);
    m_observer.RecordRemoved(index);
    if (m_inbox.MailRecords.isEmpty())
        Logout();
}

void TMailCheckJob::Logout()
{
    if ((m_lists.CurrentList && m_lists.CurrentList->HasOption('8')) || m_inbox.DeletePending)
        ApplyDeleteQueue();
    m_observer.MailStatus(QStringLiteral("Status: Logging out of host ") + m_pop3.Host() + QStringLiteral("..."), false);
    m_observer.LogoutDue(true);
}

bool TMailCheckJob::QuitTick()
{
    if (Busy() || m_checking)
        return false;
    // DELEs sent in a session that ended without QUIT were never carried out.
    if (!m_inbox.SentDeletions.isEmpty() && !SessionLive())
        ApplyDeleteQueue();
    const qsizetype deleted = m_inbox.SentDeletions.size();
    if (!Run(TPopStep::Quit) && deleted > 0)
        m_observer.MailStatus(QStringLiteral("Status: The server did not confirm the logout: the ")
                                  + QString::number(deleted)
                                  + QStringLiteral(" messages deleted may still be on the server."),
                              false);
    return true;
}

void TMailCheckJob::ApplyDeleteQueue()
{
    if (m_inbox.Session == 0) {
        m_inbox.DeleteQueue.clear(); // no session these numbers belong to
        return;
    }
    // A session that ends half way voids every DELE it took: the second round redoes them all.
    for (int round = 0; round < 2; ++round) {
        if (!SessionLive() && !Reattach())
            return;
        int number = 0;
        while (mailtext::QueueTake(m_inbox.DeleteQueue, &number)) {
            // 0: a message the server no longer has; a number sent already needs no second DELE.
            if (number < 1 || m_inbox.SentDeletions.contains(number))
                continue;
            m_inbox.CurrentMsgNum = number;
            m_inbox.SentDeletions << number;
            Run(TPopStep::Delete);
            if (!SessionLive())
                break;
        }
        if (SessionLive())
            return;
    }
}

bool TMailCheckJob::Reattach()
{
    QList<int> numbers = m_inbox.SentDeletions;
    int number = 0;
    while (mailtext::QueueTake(m_inbox.DeleteQueue, &number)) {
        if (number > 0 && !numbers.contains(number))
            numbers << number;
    }
    m_inbox.SentDeletions.clear();
    if (numbers.isEmpty())
        return false;
    QStringList ids;
    for (int n : std::as_const(numbers))
        ids << m_inbox.UniqueIds.value(n);
    const QString count = QString::number(numbers.size());
    auto keep = [&](const QString& why) {
        m_observer.MailStatus(QStringLiteral("Status: The server ended the session: ") + count
                                  + QStringLiteral(" messages marked for deletion stay on the server."),
                              false);
        m_observer.MailWarning(QStringLiteral("The POP server ended the session before the deletions took effect. ") + why
                               + QStringLiteral(" The ") + count
                               + QStringLiteral(" messages marked for deletion stay on the server; check mail "
                                                "again to delete them."));
        return false;
    };
    const QString noIds = QStringLiteral("It gives no message ids (UIDL), so the messages cannot be found again safely.");
    // Another session numbers the messages its own way: without ids nothing can be matched.
    if (ids.contains(QString()))
        return keep(noIds);
    m_observer.MailStatus(QStringLiteral("Status: The server ended the session. Logging in again..."), true);
    if (m_pop3.ProtocolState() == pop3Transaction || m_pop3.ProtocolState() == pop3Update)
        m_pop3.Quit(); // a session of someone else's making: not ours to use
    if (!(Run(TPopStep::Connect) && Run(TPopStep::User) && Run(TPopStep::Pass)))
        return keep(QStringLiteral("Logging in again failed."));
    if (!Run(TPopStep::Uidl)) {
        m_observer.LogoutDue(false);
        return keep(noIds);
    }
    const QHash<int, QString> fresh = m_pop3.UniqueIds();
    QHash<QString, int> byId;
    for (auto it = fresh.cbegin(); it != fresh.cend(); ++it)
        byId.insert(it.value(), it.key());
    for (TMailRecord& r : m_inbox.MailRecords)
        r.MsgNum = byId.value(m_inbox.UniqueIds.value(r.MsgNum), 0);
    int gone = 0;
    for (const QString& id : std::as_const(ids)) {
        if (const int n = byId.value(id, 0))
            mailtext::QueueAppend(m_inbox.DeleteQueue, n);
        else
            ++gone;
    }
    m_inbox.UniqueIds = fresh;
    m_inbox.Session = m_pop3.Session();
    m_inbox.SessionNote = QStringLiteral("The server had ended the session; logged in again and found the ") + count
                          + QStringLiteral(" messages to delete by their ids")
                          + (gone > 0 ? QStringLiteral(" (%1 already gone)").arg(gone) : QString()) + u'.';
    m_observer.MailStatus(QStringLiteral("Status: ") + m_inbox.SessionNote, false);
    return true;
}
