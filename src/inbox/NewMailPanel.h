#pragma once
// The New Mail panel: its toolbar, the new-mail grid and the message pane; the window's side of
// the mail check (TMailCheckJob does the POP3 work over the main window's client), reading,
// Purge Inbox, and reply, forward, save and print.
#include "inbox/InboxState.h"
#include "inbox/MailCheckJob.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class QTableWidget;
class QTextEdit;
class QTimer;
class QToolButton;
class QWidget;
class TListPanel;
class TPop3Client;
class TShell;
struct TListsState;

class TNewMailPanel : public QObject, private TMailCheckObserver
{
    Q_OBJECT
public:
    // Builds the controls inside `frame` (the NewMailPanel side panel; its title tab takes the
    // left 24 pixels) and takes over the client's message events.
    TNewMailPanel(TShell& shell, TListsState& lists, TInboxState& inbox, TListPanel& listPanel,
                  TPop3Client& pop3, QWidget* frame, QObject* parent = nullptr);
    ~TNewMailPanel() override;

    QTableWidget* NewMailSG() const { return m_grid; }
    QTextEdit* MessageRE() const { return m_message; }
    QWidget* NewMailTB() const { return m_toolbar; }
    QToolButton* Button(const QString& name) const; // ReplyBtn ... CloseNewMailBtn; null for another name
    // The QUIT tick's timer, owned by the panel.
    QTimer* QuitTimer1() const { return m_quitTimer; }
    TInboxState& State() { return m_inbox; }
    // Owned by the panel, alive as long as it is.
    TMailCheckJob& Job() { return *m_job; }

    // Hooks the main window fills in.
    std::function<void()> TogglePanel;              // NewMailLBLClick: opens or collapses the panel
    std::function<void()> OpenListPropertiesOnPop;  // the list properties, POP page, POP server field
    std::function<void()> OpenNewsletter;           // the Newsletter panel opened and in front
    // Reply's address line: added to the send panel's address memo, whose "Send to Address"
    // page becomes the active one (the send subsystem provides it).
    std::function<void(const QString& address)> AddReplyAddress;

    // -- handlers --
    // Checks the open list's POP server, opening the panel; warns when there is no list or no
    // server, does nothing while a session is open.
    void CheckMail1Click();
    void CheckMailBtnClick() { CheckMail1Click(); }
    void ConnectBtnClick();
    // Shows the selected row's Inbox file in the message pane and marks it read.
    void NewMailSGDblClick();
    // Queues the selected message for deletion at logout; nothing while a command runs.
    void DeleteMailBtnClick();
    // Logs out (the queued deletions first); nothing while a command runs.
    void CloseNewMailBtnClick();
    // Sends QUIT, or waits another tick while a command runs.
    void QuitTimer1Timer();
    // Removes every file in the Inbox folder, after asking.
    void PurgeInbox1Click();
    void MaintainBtnClick();
    // Both start a new letter ("Re: " or "Fwd: " before the subject): a reply quotes the
    // selected text and gives its sender (Reply-To before From) to the send panel; a forward
    // carries the whole message.
    void ReplyBtnClick();
    void ForwardBtnClick();
    // Saves the pane's text to a file the user picks; Print prints it.
    void SaveMailBtnClick();
    void PrintMailBtnClick();
    void SaveAttachmentBtnClick(); // one attachment: saved; several: a menu to choose from
    // Saves attachment `index` of the message shown (as listed in the pane) through the save
    // dialog.
    void SaveAttachment(int index);

    // -- shared operations --
    // Enables the toolbar buttons for the session's state and the grid's rows.
    void NewMailButtonsUpdate();
    void ListMaintenance() { m_job->Maintain(); }

    // Appends a record as the grid's last filled row (the mail check's way of listing one).
    void AddRecord(const TMailRecord& record) { m_job->AddRecord(record); }
    // No message listed.
    bool GridEmpty() const { return m_inbox.MailRecords.isEmpty(); }
    // The Inbox folder beside the program.
    static QString InboxFolder() { return TMailCheckJob::InboxFolder(); }
    // The maintenance log of the open list for today.
    QString MaintenanceLogPath() const { return m_job->MaintenanceLogPath(); }
    // Sizes the controls to the frame (the panel's resize).
    void NewMailPanelResize();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QToolButton* MakeButton(const QString& name, const QString& hint, int icon);
    bool PanelOpen() const;
    void BringToFront();
    void ClosePanel();
    void ResetGrid();
    void SetRowTexts(int row, const TMailRecord& record);
    void RemoveRow(int row);
    // Shows the records not yet in the grid.
    void FlushGrid();
    void MessageREChange();
    void Logout();
    bool PopBusy() const { return m_job->Busy(); }

    // TMailCheckObserver: the job's reports shown in the window.
    void MailStatus(const QString& text, bool paintNow) override;
    void CommandDone(TPopStep step, bool ok) override;
    void RecordAdded(const TMailRecord& record) override;
    void RecordRemoved(int index) override;
    void RecordsCleared() override;
    void MessagesListed() override;
    void LogoutDue(bool closePanel) override;
    void EntriesRemoved() override;
    void MailError(const QString& text) override;
    void MailWarning(const QString& text) override;
    // The pane's header as received (after the separator), or the whole pane without one.
    QStringList ReceivedHeader() const;
    QString SelectedSubjectCell() const;

    TShell& m_shell;
    TListsState& m_lists;
    TInboxState& m_inbox;
    TListPanel& m_listPanel;
    TPop3Client& m_pop3;
    QWidget* m_frame;
    QWidget* m_toolbar;
    QTableWidget* m_grid;
    QTextEdit* m_message;
    QTimer* m_quitTimer;
    QList<QToolButton*> m_buttons;
    std::unique_ptr<TMailCheckJob> m_job;
    QString m_shownFile;      // the Inbox file shown in the message pane
    int m_gridFilled = 0;     // records shown in the grid
    QElapsedTimer m_gridClock;
};
