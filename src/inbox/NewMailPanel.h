#pragma once
// The New Mail panel: its toolbar, the new-mail grid and the message pane; the mail check over
// the main window's POP3 client, the Inbox files, reading and deleting, the logout with the
// deletion queue, Purge Inbox, the list maintenance, and reply, forward, save and print.
#include "inbox/InboxState.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>

#include <functional>

class QTableWidget;
class QTextEdit;
class QTimer;
class QToolButton;
class QWidget;
class TListPanel;
class TPop3Client;
class TShell;
struct TListsState;

class TNewMailPanel : public QObject
{
    Q_OBJECT
public:
    // Builds the controls inside `frame` (the NewMailPanel side panel; its title tab takes the
    // left 24 pixels) and takes over the client's message events.
    TNewMailPanel(TShell& shell, TListsState& lists, TInboxState& inbox, TListPanel& listPanel,
                  TPop3Client& pop3, QWidget* frame, QObject* parent = nullptr);

    QTableWidget* NewMailSG() const { return m_grid; }
    QTextEdit* MessageRE() const { return m_message; }
    QWidget* NewMailTB() const { return m_toolbar; }
    QToolButton* Button(const QString& name) const; // ReplyBtn ... CloseNewMailBtn
    QTimer* QuitTimer1() const { return m_quitTimer; }
    TInboxState& State() { return m_inbox; }

    // Hooks the main window fills in.
    std::function<void()> TogglePanel;              // NewMailLBLClick: opens or collapses the panel
    std::function<void()> OpenListPropertiesOnPop;  // the list properties, POP page, POP server field
    std::function<void()> OpenNewsletter;           // the Newsletter panel opened and in front
    // Reply's address line: added to the send panel's address memo, whose "Send to Address"
    // page becomes the active one (the send subsystem provides it).
    std::function<void(const QString& address)> AddReplyAddress;

    // -- handlers --
    void CheckMail1Click();
    void CheckMailBtnClick() { CheckMail1Click(); }
    void ConnectBtnClick();
    void NewMailSGDblClick();
    void DeleteMailBtnClick();
    void CloseNewMailBtnClick();
    void QuitTimer1Timer();
    void PurgeInbox1Click();
    void MaintainBtnClick();
    void ReplyBtnClick();
    void ForwardBtnClick();
    void SaveMailBtnClick();
    void PrintMailBtnClick();
    void SaveAttachmentBtnClick(); // one attachment: saved; several: a menu to choose from
    // Saves attachment `index` of the message shown (as listed in the pane) through the save
    // dialog.
    void SaveAttachment(int index);

    // -- shared operations --
    bool RunPopCommand(const QString& label);
    void NewMailButtonsUpdate();
    void SaveInboxMessage();
    void ListMaintenance();
    void Pop3Client1MessageBegin();
    void Pop3Client1MessageLine(const QString& line, bool cut);
    void Pop3Client1MessageEnd();

    // Appends a record as the grid's last filled row (the mail check's way of listing one).
    void AddRecord(const TMailRecord& record);
    // No message listed.
    bool GridEmpty() const { return m_inbox.MailRecords.isEmpty(); }
    // The Inbox folder beside the program.
    static QString InboxFolder();
    // The maintenance log of the open list for today.
    QString MaintenanceLogPath() const;
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
    bool PopBusy() const { return m_popBusy > 0; }
    // The client is still in the session whose numbers the records and the queue hold.
    bool SessionLive() const;
    // Sends the queued deletions (Close, maintenance, the QUIT tick).
    void ApplyDeleteQueue();
    // After the server ended the session: logs in again and finds the messages to delete anew
    // by unique id. False (and the user told) when that cannot be done safely.
    bool Reattach();
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
    int m_popBusy = 0;
    bool m_checking = false;
    bool m_lineContinues = false; // the last message line was cut and continues
    bool m_saveErrorShown = false;
    bool m_inboxFolderMade = false;
    QString m_shownFile;      // the Inbox file shown in the message pane
    int m_gridFilled = 0;     // records shown in the grid
    QElapsedTimer m_gridClock;
};
