#include "inbox/NewMailPanel.h"

#include "lists/ListPanel.h"
#include "lists/ListsState.h"
#include "net/Pop3Client.h"
#include "platform/Dialogs.h"
#include "platform/Shell.h"
#include "platform/TextFile.h"

#include <QAction>
#include <QDir>
#include <QEvent>
#include <QHeaderView>
#include <QListWidget>
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

    m_job = std::make_unique<TMailCheckJob>(m_pop3, m_inbox, m_lists, static_cast<TMailCheckObserver&>(*this));

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

TNewMailPanel::~TNewMailPanel() = default;

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
    const bool disconnected = m_pop3.ProtocolState() == pop3Disconnected && !m_job->Checking();
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

void TNewMailPanel::RecordAdded(const TMailRecord&)
{
    // Every change of the grid makes the view lay out all its rows again: during a check the
    // grid takes the new rows about ten times a second, not one by one.
    if (!m_job->Checking() || m_gridClock.elapsed() >= 100)
        FlushGrid();
}

void TNewMailPanel::FlushGrid()
{
    const int count = int(m_inbox.MailRecords.size());
    if (m_gridFilled < count) {
        // The grid keeps one empty row ahead of the records while a check fills it.
        m_grid->setRowCount(qMax(1, m_job->Checking() ? count + 1 : count));
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

// ---------------------------------------------------------------- the job's reports

void TNewMailPanel::MailStatus(const QString& text, bool paintNow)
{
    m_shell.SetStatus(text, paintNow);
}

void TNewMailPanel::CommandDone(TPopStep step, bool ok)
{
    switch (step) {
    case TPopStep::Connect:
        Button(QStringLiteral("ConnectBtn"))->setEnabled(!ok);
        Button(QStringLiteral("CloseNewMailBtn"))->setEnabled(ok);
        break;
    case TPopStep::Stat:
        if (ok && m_pop3.MsgCount() > 0)
            Button(QStringLiteral("MaintainBtn"))->setEnabled(true);
        break;
    case TPopStep::Delete:
        if (ok) {
            NewMailButtonsUpdate();
            Button(QStringLiteral("DeleteMailBtn"))->setEnabled(!GridEmpty());
        }
        break;
    case TPopStep::Quit:
        NewMailButtonsUpdate();
        Button(QStringLiteral("ConnectBtn"))->setEnabled(true);
        Button(QStringLiteral("CloseNewMailBtn"))->setEnabled(false);
        m_shell.StartStatusTimer();
        break;
    default:
        break;
    }
}

void TNewMailPanel::RecordRemoved(int index)
{
    RemoveRow(index);
    m_message->clear();
    NewMailButtonsUpdate();
}

void TNewMailPanel::RecordsCleared()
{
    m_message->clear();
    ResetGrid();
}

void TNewMailPanel::MessagesListed()
{
    FlushGrid();
    m_grid->setEnabled(true);
    // The empty row the check kept ahead of the records.
    if (m_grid->rowCount() > 1 && m_grid->rowCount() > m_inbox.MailRecords.size())
        m_grid->setRowCount(m_grid->rowCount() - 1);
    if (!m_inbox.MailRecords.isEmpty())
        m_grid->selectRow(0);
    NewMailButtonsUpdate();
}

void TNewMailPanel::LogoutDue(bool closePanel)
{
    if (closePanel) {
        BringToFront();
        ClosePanel();
    }
    m_quitTimer->start();
}

void TNewMailPanel::EntriesRemoved()
{
    if (m_lists.AutoSaveLists)
        m_listPanel.SaveCurrentList();
    if (m_lists.ListEntries.Count() > 0)
        m_listPanel.SelectEntry(0);
    m_listPanel.UpdateListControls();
}

void TNewMailPanel::MailError(const QString& text)
{
    m_shell.Dialogs().Error(text, m_shell.Window());
}

void TNewMailPanel::MailWarning(const QString& text)
{
    m_shell.Dialogs().Warning(text, m_shell.Window());
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
    if (!m_job->CanCheck())
        return;
    m_shell.StopStatusTimer();
    if (PanelOpen()) {
        BringToFront();
        m_shell.PlaySound(QStringLiteral("tamo103.cls"));
    } else if (TogglePanel) {
        TogglePanel(); // opens it, with its sound
    }
    m_frame->setVisible(true);
    m_grid->setEnabled(false);
    m_message->clear();
    ResetGrid();
    m_shell.ProcessMessages();
    m_gridClock.start();
    const TCheckEnd end = m_job->Check(*list);
    if (end == TCheckEnd::LoginFailed || end == TCheckEnd::NoMail) {
        m_grid->setEnabled(true);
        NewMailButtonsUpdate();
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
    m_job->MarkRead(row);
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
    m_job->Delete(row);
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
    m_job->Logout();
}

void TNewMailPanel::QuitTimer1Timer()
{
    m_quitTimer->stop();
    if (!m_job->QuitTick())
        m_quitTimer->start(); // another command still runs: quit once it is done
}

void TNewMailPanel::MaintainBtnClick()
{
    BringToFront();
    if (PopBusy())
        return;
    m_job->Maintain();
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
