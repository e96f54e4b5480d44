#include "inbox/NewMailPanel.h"

#include "lists/ListPanel.h"
#include "lists/ListsState.h"
#include "net/Pop3Client.h"
#include "net/Wait.h"
#include "net/WSocket.h"
#include "platform/Dialogs.h"
#include "platform/ProgramFolder.h"
#include "platform/Shell.h"
#include "platform/TextFile.h"

#include <QAction>
#include <QDateTime>
#include <QDir>
#include <QEvent>
#include <QHeaderView>
#include <QListWidget>
#include <QPointer>
#include <QScrollBar>
#include <QStyle>
#include <QTableWidget>
#include <QTextEdit>
#include <QTimer>
#include <QToolButton>

namespace {
constexpr int kLeft = 32;      // right of the title tab
constexpr int kGridTop = 40;
constexpr int kMessageTop = 140;
} // namespace

TNewMailPanel::TNewMailPanel(TShell& shell, TListsState& lists, TInboxState& inbox, TListPanel& listPanel,
                             TPop3Client& pop3, QWidget* frame, QObject* parent)
    : QObject(parent), m_shell(shell), m_lists(lists), m_inbox(inbox), m_listPanel(listPanel), m_pop3(pop3),
      m_frame(frame)
{
    m_toolbar = new QWidget(frame);
    m_toolbar->setObjectName(QStringLiteral("NewMailTB"));
    m_toolbar->setAccessibleName(QStringLiteral("New mail toolbar"));
    m_toolbar->setGeometry(kLeft, 6, 200, 30);
    MakeButton(QStringLiteral("ReplyBtn"), QStringLiteral("Reply to mail"), QStyle::SP_ArrowBack);
    MakeButton(QStringLiteral("ForwardBtn"), QStringLiteral("Forward mail"), QStyle::SP_ArrowForward);
    MakeButton(QStringLiteral("DeleteMailBtn"), QStringLiteral("Delete mail"), QStyle::SP_TrashIcon);
    MakeButton(QStringLiteral("SaveMailBtn"), QStringLiteral("Save mail"), QStyle::SP_DialogSaveButton);
    MakeButton(QStringLiteral("PrintMailBtn"), QStringLiteral("Print"), QStyle::SP_FileDialogDetailedView);
    MakeButton(QStringLiteral("MaintainBtn"), QStringLiteral("Auto maintain list"), QStyle::SP_BrowserReload);
    MakeButton(QStringLiteral("ConnectBtn"), QStringLiteral("Check mail"), QStyle::SP_ArrowDown);
    MakeButton(QStringLiteral("CloseNewMailBtn"), QStringLiteral("Close mail"), QStyle::SP_DialogCloseButton);
    MakeButton(QStringLiteral("SaveAttachmentBtn"), QStringLiteral("Save attachment"), QStyle::SP_FileLinkIcon);
    connect(Button(QStringLiteral("SaveAttachmentBtn")), &QToolButton::clicked, this,
            &TNewMailPanel::SaveAttachmentBtnClick);
    connect(Button(QStringLiteral("ReplyBtn")), &QToolButton::clicked, this, &TNewMailPanel::ReplyBtnClick);
    connect(Button(QStringLiteral("ForwardBtn")), &QToolButton::clicked, this, &TNewMailPanel::ForwardBtnClick);
    connect(Button(QStringLiteral("DeleteMailBtn")), &QToolButton::clicked, this, &TNewMailPanel::DeleteMailBtnClick);
    connect(Button(QStringLiteral("SaveMailBtn")), &QToolButton::clicked, this, &TNewMailPanel::SaveMailBtnClick);
    connect(Button(QStringLiteral("PrintMailBtn")), &QToolButton::clicked, this, &TNewMailPanel::PrintMailBtnClick);
    connect(Button(QStringLiteral("MaintainBtn")), &QToolButton::clicked, this, &TNewMailPanel::MaintainBtnClick);
    connect(Button(QStringLiteral("ConnectBtn")), &QToolButton::clicked, this, &TNewMailPanel::ConnectBtnClick);
    connect(Button(QStringLiteral("CloseNewMailBtn")), &QToolButton::clicked, this,
            &TNewMailPanel::CloseNewMailBtnClick);

    m_grid = new QTableWidget(1, 3, frame);
    m_grid->setObjectName(QStringLiteral("NewMailSG"));
    m_grid->setAccessibleName(QStringLiteral("New mail"));
    m_grid->setToolTip(QStringLiteral("Double click to read message"));
    m_grid->setAccessibleDescription(QStringLiteral("Double click to read message"));
    m_grid->setHorizontalHeaderLabels({QStringLiteral("From"), QStringLiteral("Subject"), QStringLiteral("Date")});
    m_grid->verticalHeader()->hide();
    m_grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_grid->setSelectionMode(QAbstractItemView::SingleSelection);
    m_grid->setWordWrap(false);
    m_grid->verticalHeader()->setDefaultSectionSize(18);
    m_grid->setGeometry(kLeft, kGridTop, 352, 96);
    m_grid->setColumnWidth(0, 138);
    m_grid->setColumnWidth(1, 140);
    m_grid->setColumnWidth(2, 74);
    ResetGrid();
    connect(m_grid, &QTableWidget::cellDoubleClicked, this, [this](int, int) { NewMailSGDblClick(); });
    connect(m_grid, &QTableWidget::cellClicked, this, [this](int, int) {
        BringToFront();
        NewMailButtonsUpdate();
    });

    m_message = new QTextEdit(frame);
    m_message->setObjectName(QStringLiteral("MessageRE"));
    m_message->setAccessibleName(QStringLiteral("Message"));
    m_message->setReadOnly(true);
    m_message->setAcceptRichText(false);
    m_message->setLineWrapMode(QTextEdit::NoWrap);
    m_message->setGeometry(kLeft, kMessageTop, 352, 100);
    connect(m_message, &QTextEdit::textChanged, this, &TNewMailPanel::MessageREChange);
    m_message->installEventFilter(this);
    m_message->viewport()->installEventFilter(this);
    m_toolbar->installEventFilter(this);
    frame->installEventFilter(this);

    m_quitTimer = new QTimer(this);
    m_quitTimer->setObjectName(QStringLiteral("QuitTimer1"));
    m_quitTimer->setInterval(1000);
    m_quitTimer->setSingleShot(true);
    connect(m_quitTimer, &QTimer::timeout, this, &TNewMailPanel::QuitTimer1Timer);

    m_pop3.OnMessageBegin = [this](TPop3Client*) { Pop3Client1MessageBegin(); };
    m_pop3.OnMessageLine = [this](TPop3Client* c) { Pop3Client1MessageLine(c->LastResponse(), c->LastLineCut()); };
    m_pop3.OnMessageEnd = [this](TPop3Client*) { Pop3Client1MessageEnd(); };
    // The client may outlive the panel (the main window's close): the hook checks for it.
    m_pop3.OnSessionEnded = [self = QPointer<TNewMailPanel>(this)](TPop3Client*) {
        // The server ended the session while the user reads: say so now, not at Close.
        if (self && !self->PopBusy() && !self->m_checking && self->m_inbox.Session > 0
            && self->m_pop3.Session() == self->m_inbox.Session)
            self->m_shell.SetStatus(QStringLiteral("Status: The server ended the session. Deleting will log in again."));
    };

    connect(m_shell.Action(QStringLiteral("CheckMail1")), &QAction::triggered, this, &TNewMailPanel::CheckMail1Click);
    connect(m_shell.Action(QStringLiteral("PurgeInbox1")), &QAction::triggered, this, &TNewMailPanel::PurgeInbox1Click);
    if (QToolButton* b = m_listPanel.Button(QStringLiteral("CheckMailBtn")))
        connect(b, &QToolButton::clicked, this, &TNewMailPanel::CheckMailBtnClick);
    connect(&m_listPanel, &TListPanel::ListOpened, this, &TNewMailPanel::NewMailButtonsUpdate);
    connect(m_listPanel.ListsLB(), &QListWidget::itemSelectionChanged, this, &TNewMailPanel::NewMailButtonsUpdate);

    for (QToolButton* b : std::as_const(m_buttons))
        b->setEnabled(false);
    NewMailPanelResize();
}

QToolButton* TNewMailPanel::MakeButton(const QString& name, const QString& hint, int icon)
{
    auto* b = new QToolButton(m_toolbar);
    b->setObjectName(name);
    b->setToolTip(hint);
    b->setAccessibleName(hint);
    b->setAccessibleDescription(hint);
    b->setIcon(m_toolbar->style()->standardIcon(QStyle::StandardPixmap(icon)));
    b->setAutoRaise(true);
    b->setGeometry(int(m_buttons.size()) * 28, 2, 26, 26);
    b->installEventFilter(this);
    m_buttons << b;
    return b;
}

QToolButton* TNewMailPanel::Button(const QString& name) const
{
    for (QToolButton* b : m_buttons) {
        if (b->objectName() == name)
            return b;
    }
    return nullptr;
}

QString TNewMailPanel::InboxFolder()
{
    return ProgramFolder() + QStringLiteral("Inbox");
}

// ---------------------------------------------------------------- panel

bool TNewMailPanel::PanelOpen() const
{
    return m_frame->height() >= 86;
}

void TNewMailPanel::BringToFront()
{
    m_frame->raise();
}

void TNewMailPanel::ClosePanel()
{
    if (PanelOpen() && TogglePanel)
        TogglePanel();
}

void TNewMailPanel::NewMailPanelResize()
{
    NewMailButtonsUpdate();
    const int w = qMax(60, m_frame->width() - 40);
    m_toolbar->resize(w, m_toolbar->height());
    m_message->setGeometry(kLeft, kMessageTop, w, qMax(0, m_frame->height() - 148));
    m_grid->resize(w, m_grid->height());
    // A third each of what the vertical scroll bar and the frame leave, so no horizontal bar.
    const int inner = w - 2 * m_grid->frameWidth() - m_grid->verticalScrollBar()->sizeHint().width();
    const int col = qMax(20, inner / 3);
    for (int c = 0; c < 3; ++c)
        m_grid->setColumnWidth(c, col);
}

bool TNewMailPanel::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::Resize:
        if (watched == m_frame)
            NewMailPanelResize();
        break;
    case QEvent::MouseButtonRelease:
        BringToFront();
        break;
    case QEvent::FocusIn:
        if (watched == m_message) {
            m_shell.FocusEditor(QStringLiteral("Message"));
        }
        break;
    case QEvent::FocusOut:
        if (watched == m_message) { // MessageREExit
            m_shell.Action(QStringLiteral("Find1"))->setEnabled(false);
            m_shell.Action(QStringLiteral("Replace1"))->setEnabled(false);
        }
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

void TNewMailPanel::MessageREChange()
{
    const bool has = !m_message->document()->isEmpty();
    for (const char* n : {"ReplyBtn", "ForwardBtn", "SaveMailBtn", "PrintMailBtn"})
        Button(QLatin1String(n))->setEnabled(has);
    if (!has) {
        m_shownFile.clear();
        Button(QStringLiteral("SaveAttachmentBtn"))->setEnabled(false);
    }
}

void TNewMailPanel::NewMailButtonsUpdate()
{
    const bool disconnected = m_pop3.ProtocolState() == pop3Disconnected && !m_checking;
    QListWidget* lb = m_listPanel.ListsLB();
    const bool listSelected = lb->currentItem() && lb->currentItem()->isSelected();
    Button(QStringLiteral("ConnectBtn"))->setEnabled(disconnected && listSelected);
    Button(QStringLiteral("CloseNewMailBtn"))->setEnabled(!disconnected);
    const bool listed = !GridEmpty();
    if (!listed) {
        for (const char* n : {"CloseNewMailBtn", "MaintainBtn", "DeleteMailBtn"})
            Button(QLatin1String(n))->setEnabled(false);
    } else {
        for (const char* n : {"CloseNewMailBtn", "MaintainBtn", "DeleteMailBtn"})
            Button(QLatin1String(n))->setEnabled(true);
    }
}

// ---------------------------------------------------------------- grid

void TNewMailPanel::ResetGrid()
{
    m_gridFilled = 0;
    m_grid->clearContents();
    m_grid->setRowCount(1);
    for (int c = 0; c < 3; ++c)
        m_grid->setItem(0, c, new QTableWidgetItem());
}

void TNewMailPanel::SetRowTexts(int row, const TMailRecord& record)
{
    if (row >= m_grid->rowCount())
        m_grid->setRowCount(row + 1);
    const QString texts[3] = {record.From, record.Subject, record.Date};
    for (int c = 0; c < 3; ++c) {
        if (QTableWidgetItem* item = m_grid->item(row, c))
            item->setText(texts[c]);
        else
            m_grid->setItem(row, c, new QTableWidgetItem(texts[c]));
    }
}

void TNewMailPanel::AddRecord(const TMailRecord& record)
{
    m_inbox.MailRecords.append(record);
    // Every change of the grid makes the view lay out all its rows again: during a check the
    // grid takes the new rows about ten times a second, not one by one.
    if (!m_checking || m_gridClock.elapsed() >= 100)
        FlushGrid();
}

void TNewMailPanel::FlushGrid()
{
    const int count = int(m_inbox.MailRecords.size());
    if (m_gridFilled < count) {
        // The grid keeps one empty row ahead of the records while a check fills it.
        m_grid->setRowCount(qMax(1, m_checking ? count + 1 : count));
        for (int row = m_gridFilled; row < count; ++row)
            SetRowTexts(row, m_inbox.MailRecords[row]);
        m_gridFilled = count;
    }
    m_gridClock.restart();
}

void TNewMailPanel::RemoveRow(int row)
{
    m_gridFilled = qMax(0, m_gridFilled - 1);
    if (m_grid->rowCount() > 1) {
        m_grid->removeRow(row);
    } else {
        for (int c = 0; c < 3; ++c) {
            if (QTableWidgetItem* item = m_grid->item(0, c))
                item->setText(QString());
        }
    }
}

QString TNewMailPanel::SelectedSubjectCell() const
{
    const int row = m_grid->currentRow();
    QTableWidgetItem* item = row >= 0 ? m_grid->item(row, 1) : nullptr;
    return item ? item->text() : QString();
}

// ---------------------------------------------------------------- POP3 commands

bool TNewMailPanel::RunPopCommand(const QString& label)
{
    ++m_popBusy;
    m_inbox.LastPopCommand = label;
    m_pop3.SetMsgNum(m_inbox.CurrentMsgNum);
    const QString host = m_pop3.Host();
    if (label == QLatin1String("Connect"))
        m_shell.SetStatus(QStringLiteral("Status: Connecting to host ") + host + QStringLiteral("..."), true);
    else if (label == QLatin1String("User"))
        m_shell.SetStatus(QStringLiteral("Status: Sending user information..."), true);
    else if (label == QLatin1String("Pass"))
        m_shell.SetStatus(QStringLiteral("Status: Sending user password..."), true);
    else if (label == QLatin1String("Delete"))
        m_shell.SetStatus(QStringLiteral("Status: Deleting message ") + QString::number(m_inbox.CurrentMsgNum)
                              + QStringLiteral("..."),
                          true);

    bool ok = false;
    QString exceptionText;
    try {
        if (label == QLatin1String("Connect"))
            ok = m_pop3.Connect();
        else if (label == QLatin1String("User"))
            ok = m_pop3.User();
        else if (label == QLatin1String("Pass"))
            ok = m_pop3.Pass();
        else if (label == QLatin1String("Stat"))
            ok = m_pop3.Stat();
        else if (label == QLatin1String("Retr"))
            ok = m_pop3.Retr();
        else if (label == QLatin1String("Delete"))
            ok = m_pop3.Dele();
        else if (label == QLatin1String("Quit"))
            ok = m_pop3.Quit();
        else if (label == QLatin1String("Uidl"))
            ok = m_pop3.Uidl();
    } catch (const ESocketException& e) {
        // A connection the server dropped: the command failed; the state follows the socket.
        exceptionText = e.Message();
        ok = false;
    }
    --m_popBusy;

    if (label == QLatin1String("Connect")) {
        m_inbox.DeletePending = false;
        if (ok) {
            m_shell.SetStatus(QStringLiteral("Status: Connected to ") + host);
            Button(QStringLiteral("ConnectBtn"))->setEnabled(false);
            Button(QStringLiteral("CloseNewMailBtn"))->setEnabled(true);
        } else {
            Button(QStringLiteral("ConnectBtn"))->setEnabled(true);
            Button(QStringLiteral("CloseNewMailBtn"))->setEnabled(false);
            ClosePanel();
            m_message->clear();
            ResetGrid();
            m_inbox.MailRecords.clear();
            const QString why = exceptionText.isEmpty() ? m_pop3.ErrorMessage() : QStringLiteral("-ERR ") + exceptionText;
            m_shell.SetStatus(QStringLiteral("Status: ") + label + QStringLiteral(" failed - ") + why);
            m_quitTimer->start();
        }
    } else if (label == QLatin1String("User") || label == QLatin1String("Pass")) {
        if (ok) {
            m_shell.SetStatus(label == QLatin1String("User") ? QStringLiteral("Status: User authorized...")
                                                             : QStringLiteral("Status: Password verified..."));
        } else {
            m_shell.SetStatus(QStringLiteral("Status: Username or password is not valid. Please correct and try again."));
            m_quitTimer->start();
        }
    } else if (label == QLatin1String("Stat")) {
        if (ok)
            m_shell.SetStatus(QStringLiteral("Status: ") + QString::number(m_pop3.MsgCount())
                              + QStringLiteral(" message on server"));
    } else if (label == QLatin1String("Delete")) {
        if (ok) {
            m_shell.SetStatus(QStringLiteral("Status: Message deleted."));
            NewMailButtonsUpdate();
            Button(QStringLiteral("DeleteMailBtn"))->setEnabled(!GridEmpty());
        }
    } else if (label == QLatin1String("Quit")) {
        // The client is disconnected whatever the server answered: the session's records and
        // numbers mean nothing any more.
        m_inbox.DeletePending = false;
        m_shell.SetStatus(m_inbox.SessionNote.isEmpty() ? QStringLiteral("Status:")
                                                        : QStringLiteral("Status: ") + m_inbox.SessionNote);
        m_inbox.SessionNote.clear();
        m_inbox.SentDeletions.clear();
        m_inbox.UniqueIds.clear();
        m_inbox.Session = 0;
        m_message->clear();
        ResetGrid();
        m_inbox.MailRecords.clear();
        NewMailButtonsUpdate();
        Button(QStringLiteral("ConnectBtn"))->setEnabled(true);
        Button(QStringLiteral("CloseNewMailBtn"))->setEnabled(false);
        m_shell.StartStatusTimer();
    }
    return ok;
}

// ---------------------------------------------------------------- the mail check

void TNewMailPanel::ConnectBtnClick()
{
    BringToFront();
    CheckMail1Click();
}

void TNewMailPanel::CheckMail1Click()
{
    MailListRecord* list = m_lists.CurrentList;
    if (!list) {
        m_shell.Dialogs().Warning(QStringLiteral("Open a mail list first: mail is checked on the POP server of the open list."),
                                  m_shell.Window());
        return;
    }
    if (list->Text(MailListRecord::PopServer).trimmed().isEmpty()) {
        m_shell.Dialogs().Warning(QStringLiteral("You must specify a POP server to retrieve mail from."), m_shell.Window());
        if (OpenListPropertiesOnPop)
            OpenListPropertiesOnPop();
        return;
    }
    if (m_pop3.ProtocolState() != pop3Disconnected || m_checking || PopBusy())
        return;
    m_checking = true;
    m_shell.StopStatusTimer();
    m_shell.SetStatus(QStringLiteral("Status: Checking for new mail..."), true);
    if (PanelOpen()) {
        BringToFront();
        m_shell.PlaySound(QStringLiteral("tamo103.cls"));
    } else if (TogglePanel) {
        TogglePanel(); // opens it, with its sound
    }
    m_frame->setVisible(true);
    m_grid->setEnabled(false);
    // Records of an earlier session (one the server ended) carry its message numbers: never
    // let them reach this session's DELE commands.
    m_message->clear();
    ResetGrid();
    m_inbox.MailRecords.clear();
    m_shell.ProcessMessages();

    m_inbox.LastPopCommand.clear();
    m_inbox.DeleteQueue.clear();
    m_inbox.SentDeletions.clear();
    m_inbox.UniqueIds.clear();
    m_inbox.SessionNote.clear();
    m_inbox.Session = 0;
    m_inbox.AwaitingMessage = true;
    m_saveErrorShown = false;
    m_inboxFolderMade = false;
    m_gridClock.start();
    // "host:port" reaches a server on another port than the POP3 one.
    QString host = list->Text(MailListRecord::PopServer).trimmed();
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
    m_pop3.SetUserName(list->Text(MailListRecord::PopUser));
    m_pop3.SetPassWord(list->Password());

    const bool loggedIn = RunPopCommand(QStringLiteral("Connect")) && RunPopCommand(QStringLiteral("User"))
                          && RunPopCommand(QStringLiteral("Pass"));
    if (!loggedIn) {
        m_checking = false;
        m_grid->setEnabled(true);
        NewMailButtonsUpdate();
        return;
    }
    m_inbox.Session = m_pop3.Session();
    RunPopCommand(QStringLiteral("Stat"));
    const int count = m_pop3.MsgCount();
    if (count < 1) {
        m_checking = false;
        m_shell.SetStatus(QStringLiteral("Status: No mail on host ") + m_pop3.Host()
                          + QStringLiteral(". Logging out of server..."));
        ClosePanel();
        m_grid->setEnabled(true);
        m_quitTimer->start();
        NewMailButtonsUpdate();
        return;
    }
    Button(QStringLiteral("MaintainBtn"))->setEnabled(true);
    // The ids let deletions find the messages again should the server end this session.
    if (RunPopCommand(QStringLiteral("Uidl")))
        m_inbox.UniqueIds = m_pop3.UniqueIds();
    for (int n = 1; n <= count; ++n) {
        m_inbox.CurrentMsgNum = n;
        RunPopCommand(QStringLiteral("Retr"));
        // A session the server ended cannot deliver the rest.
        if (m_pop3.ProtocolState() == pop3Disconnected)
            break;
    }
    FlushGrid();
    m_checking = false;
    m_grid->setEnabled(true);
    m_shell.SetStatus(QStringLiteral("Status: Successfully retrieved ") + QString::number(m_inbox.MailRecords.size())
                      + QStringLiteral(" messages."));
    // The empty row the check kept ahead of the records.
    if (m_grid->rowCount() > 1 && m_grid->rowCount() > m_inbox.MailRecords.size())
        m_grid->setRowCount(m_grid->rowCount() - 1);
    if (!m_inbox.MailRecords.isEmpty())
        m_grid->selectRow(0);
    NewMailButtonsUpdate();
    if (list == m_lists.CurrentList && list->HasOption('5') && !m_inbox.MailRecords.isEmpty())
        ListMaintenance();
}

void TNewMailPanel::Pop3Client1MessageBegin()
{
    if (m_inbox.LastPopCommand != QLatin1String("Retr") || !m_inbox.AwaitingMessage)
        return;
    m_shell.SetStatus(QStringLiteral("Status: Retrieving message ") + QString::number(m_inbox.CurrentMsgNum)
                      + QStringLiteral("..."));
    m_inbox.AwaitingMessage = false;
    m_inbox.CurrentMail = TMailRecord();
    m_inbox.CurrentMail.MsgNum = m_inbox.CurrentMsgNum;
    m_inbox.MessageLines.clear();
    m_inbox.InboxLines.clear();
    m_lineContinues = false;
}

void TNewMailPanel::Pop3Client1MessageLine(const QString& line, bool cut)
{
    if (m_inbox.LastPopCommand != QLatin1String("Retr"))
        return;
    // The client cuts lines at 254 characters: join the pieces back into the line sent.
    if (m_lineContinues && !m_inbox.MessageLines.isEmpty())
        m_inbox.MessageLines.last() += line;
    else
        m_inbox.MessageLines.append(line);
    m_lineContinues = cut;
}

void TNewMailPanel::Pop3Client1MessageEnd()
{
    if (m_inbox.LastPopCommand != QLatin1String("Retr"))
        return;
    mailtext::FillRecord(m_inbox.CurrentMail, m_inbox.MessageLines);
    SaveInboxMessage();
    AddRecord(m_inbox.CurrentMail);
    m_inbox.AwaitingMessage = true;
    m_shell.SetStatus(QStringLiteral("Status: Message ") + QString::number(m_inbox.CurrentMsgNum)
                      + QStringLiteral(" retrieved."));
    m_inbox.InboxLines.clear();
    m_inbox.MessageLines.clear();
    m_lineContinues = false;
}

void TNewMailPanel::SaveInboxMessage()
{
    m_inbox.InboxLines = mailtext::InboxLines(m_inbox.MessageLines);
    if (!m_inboxFolderMade) // once per check, not once per message
        m_inboxFolderMade = QDir().mkpath(InboxFolder());
    QString error;
    // The readable copy, and beside it the whole message as received (attachments included).
    const QString path = mailtext::WriteNewFilePair(
        InboxFolder(), mailtext::InboxBaseName(QDateTime::currentDateTime(), m_inbox.CurrentMail.MsgNum),
        mailtext::FileBytes(m_inbox.InboxLines), QStringLiteral(".eml"), mailtext::MessageBytes(m_inbox.MessageLines),
        &error);
    m_inbox.CurrentMail.FileName = path;
    if (path.isEmpty() && !m_saveErrorShown) {
        // Once per check: the message stays on the server and in the grid.
        m_saveErrorShown = true;
        m_shell.Dialogs().Error(error + QStringLiteral("\nThe message stays on the server."), m_shell.Window());
    }
}

// ---------------------------------------------------------------- reading, deleting, logout

void TNewMailPanel::NewMailSGDblClick()
{
    const int row = m_grid->currentRow();
    if (GridEmpty() || row < 0 || row >= m_inbox.MailRecords.size())
        return;
    const TMailRecord& record = m_inbox.MailRecords[row];
    m_inbox.MessageLines.clear();
    m_inbox.InboxLines.clear();
    m_message->clear();
    m_inbox.CurrentMsgNum = record.MsgNum;
    if (m_lists.CurrentList && m_lists.CurrentList->HasOption('8'))
        mailtext::QueueAppend(m_inbox.DeleteQueue, record.MsgNum);
    m_shell.SetStatus(QStringLiteral("Status: Displaying message ") + QString::number(record.MsgNum)
                      + QStringLiteral("..."));
    QString text, error;
    if (record.FileName.isEmpty() || !textfile::readText(record.FileName, &text, &error)) {
        m_shell.Dialogs().Error(QStringLiteral("Could not read the message file ")
                                    + (record.FileName.isEmpty() ? QStringLiteral("(never written)") : record.FileName)
                                    + (error.isEmpty() ? QString() : QStringLiteral(":\n") + error),
                                m_shell.Window());
        return;
    }
    if (text.endsWith(QLatin1String("\r\n")))
        text.chop(2);
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    m_message->setPlainText(text);
    m_shownFile = record.FileName;
    QByteArray whole;
    const bool attached = textfile::readBytes(mailtext::WholeMessagePath(record.FileName), &whole, nullptr)
                          && !mailtext::Attachments(whole).isEmpty();
    Button(QStringLiteral("SaveAttachmentBtn"))->setEnabled(attached);
}

void TNewMailPanel::DeleteMailBtnClick()
{
    BringToFront();
    const int row = m_grid->currentRow();
    if (row < 0 || row >= m_inbox.MailRecords.size() || PopBusy())
        return;
    m_inbox.DeletePending = true;
    m_inbox.CurrentMsgNum = m_inbox.MailRecords[row].MsgNum;
    mailtext::QueueAppend(m_inbox.DeleteQueue, m_inbox.CurrentMsgNum);
    m_inbox.MailRecords.removeAt(row);
    RemoveRow(row);
    m_message->clear();
    NewMailButtonsUpdate();
    if (GridEmpty())
        Logout();
}

void TNewMailPanel::CloseNewMailBtnClick()
{
    if (PopBusy())
        return;
    Logout();
}

void TNewMailPanel::Logout()
{
    BringToFront();
    if ((m_lists.CurrentList && m_lists.CurrentList->HasOption('8')) || m_inbox.DeletePending)
        ApplyDeleteQueue();
    m_shell.SetStatus(QStringLiteral("Status: Logging out of host ") + m_pop3.Host() + QStringLiteral("..."));
    ClosePanel();
    m_quitTimer->start();
}

void TNewMailPanel::QuitTimer1Timer()
{
    m_quitTimer->stop();
    if (PopBusy() || m_checking) {
        m_quitTimer->start(); // another command still runs: quit once it is done
        return;
    }
    // DELEs sent in a session that ended without QUIT were never carried out.
    if (!m_inbox.SentDeletions.isEmpty() && !SessionLive())
        ApplyDeleteQueue();
    const qsizetype deleted = m_inbox.SentDeletions.size();
    if (!RunPopCommand(QStringLiteral("Quit")) && deleted > 0)
        m_shell.SetStatus(QStringLiteral("Status: The server did not confirm the logout: the ") + QString::number(deleted)
                          + QStringLiteral(" messages deleted may still be on the server."));
}

bool TNewMailPanel::SessionLive() const
{
    return m_inbox.Session > 0 && m_pop3.Session() == m_inbox.Session && m_pop3.ProtocolState() == pop3Transaction;
}

void TNewMailPanel::ApplyDeleteQueue()
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
            RunPopCommand(QStringLiteral("Delete"));
            if (!SessionLive())
                break;
        }
        if (SessionLive())
            return;
    }
}

bool TNewMailPanel::Reattach()
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
        m_shell.SetStatus(QStringLiteral("Status: The server ended the session: ") + count
                          + QStringLiteral(" messages marked for deletion stay on the server."));
        m_shell.Dialogs().Warning(QStringLiteral("The POP server ended the session before the deletions took effect. ")
                                      + why + QStringLiteral(" The ") + count
                                      + QStringLiteral(" messages marked for deletion stay on the server; check mail "
                                                       "again to delete them."),
                                  m_shell.Window());
        return false;
    };
    // Another session numbers the messages its own way: without ids nothing can be matched.
    if (ids.contains(QString()))
        return keep(QStringLiteral("It gives no message ids (UIDL), so the messages cannot be found again safely."));
    m_shell.SetStatus(QStringLiteral("Status: The server ended the session. Logging in again..."), true);
    if (m_pop3.ProtocolState() == pop3Transaction || m_pop3.ProtocolState() == pop3Update)
        m_pop3.Quit(); // a session of someone else's making: not ours to use
    const bool loggedIn = RunPopCommand(QStringLiteral("Connect")) && RunPopCommand(QStringLiteral("User"))
                          && RunPopCommand(QStringLiteral("Pass"));
    if (!loggedIn)
        return keep(QStringLiteral("Logging in again failed."));
    if (!RunPopCommand(QStringLiteral("Uidl"))) {
        m_quitTimer->start();
        return keep(QStringLiteral("It gives no message ids (UIDL), so the messages cannot be found again safely."));
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
    m_shell.SetStatus(QStringLiteral("Status: ") + m_inbox.SessionNote);
    return true;
}

void TNewMailPanel::PurgeInbox1Click()
{
    if (!m_shell.Dialogs().AskYesNo(QStringLiteral("Are you sure you want to purge the Inbox?"), m_shell.Window()))
        return;
    QDir dir(InboxFolder());
    int count = 0;
    for (const QString& name : dir.entryList(QDir::Files | QDir::NoDotAndDotDot)) {
        if (dir.remove(name))
            ++count;
    }
    m_shell.SetStatus(QStringLiteral("Status: Removed ") + QString::number(count) + QStringLiteral(" files from the Inbox."));
}
