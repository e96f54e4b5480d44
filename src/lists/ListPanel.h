#pragma once
// The "Mail Lists" panel's contents: the catalog list box `ListsLB`, the address list box
// `MailList` with `ListNameLBL`, and the list and address buttons; opening, saving, importing
// and removing lists, and the rule that enables the list commands.
#include "lists/ListsState.h"

#include <QObject>
#include <QPointer>
#include <QWidget>
#include <QString>

class QLabel;
class QListView;
class QListWidget;
class QToolButton;
class TMailListModel;
class TShell;

class TListPanel : public QObject
{
    Q_OBJECT
public:
    // Creates the controls inside `panel` (the MailListPanel frame, content area 229 x 361).
    TListPanel(TShell& shell, TListsState& state, QWidget* panel, QObject* parent = nullptr);

    QListWidget* ListsLB() const { return m_listsLB; }
    QListView* MailList() const { return m_mailList; }
    TMailListModel* MailListModel() const { return m_model; }
    QLabel* ListNameLBL() const { return m_listNameLBL; }
    QToolButton* Button(const QString& name) const; // NewListbtn, EditListBtn, ... CheckMailBtn

    // The send panel's select-all button, which the list rules disable with the lists.
    void SetCheckAllBtn(QWidget* button) { m_checkAllBtn = button; }

    // The buttons a sliding edit panel disables while it is open.
    static const QStringList& SlidingPanelButtons();

    // True while a list operation that processes events is in progress: no other command that
    // reads or writes a list runs then (the save button is disabled, the others refuse).
    bool Busy() const { return m_busy > 0; }
    // Marks such an operation for its lifetime.
    class TBusyScope
    {
    public:
        explicit TBusyScope(TListPanel& p);
        ~TBusyScope();
        TBusyScope(const TBusyScope&) = delete;
        TBusyScope& operator=(const TBusyScope&) = delete;

    private:
        TListPanel& m_p;
    };
    // ListsLB and MailList together, as long list operations disable them.
    void SetListBoxesEnabled(bool on);

    // The selected MailList line, or -1.
    int SelectedEntry() const;
    void SelectEntry(int row);

    // -- handlers and shared operations --
    void SortCatalog();
    void ListsLBClick();
    bool SaveCurrentList();
    // Before the open list is closed or replaced: with its changes only in memory (automatic
    // saving off), asks Yes (save) / No (drop them) / Cancel. False: keep it open.
    bool AskToSaveList();
    void OpenMailList1Click();
    void RemoveMailList1Click();
    void UpdateListControls();
    void SaveListBtnClick();
    // Opens the list at catalog position `row` (as a click on that line).
    void OpenList(int row);
    // Selects the first ListsLB line equal to `name` (exact); returns its row or -1.
    int SelectListByName(const QString& name);
    // Sorts ListEntries and refills MailList, with the gauge and status of a long sort.
    void SortEntries();
    // The ListNameLBL text for the open list.
    QString ListNameText() const;

signals:
    // A list was opened (the New Mail toolbar follows the open list).
    void ListOpened();
    // A list was added to or removed from the catalog, or its file moved.
    void CatalogChanged();

private:
    QToolButton* MakeButton(QWidget* parent, const QString& name, const QString& hint, int icon, int x, int y);
    void UpdateSaveButton();
    // Puts the ListsLB highlight on the open list (none when no list is open).
    void HighlightCurrentList();

    TShell& m_shell;
    TListsState& m_state;
    QListWidget* m_listsLB;
    QListView* m_mailList;
    TMailListModel* m_model;
    QLabel* m_listNameLBL;
    QList<QToolButton*> m_buttons;
    QPointer<QWidget> m_checkAllBtn;
    int m_busy = 0;
};
