#pragma once
// The address panel `NewAddPanel`: a sliding edit panel that adds one address to the open
// list or edits the selected one, keeping the list in sort-key order and its e-mail
// addresses unique (compared upper-cased). Also the remove-address command, which list
// maintenance runs as well.
#include <QFrame>
#include <QPersistentModelIndex>

class QLabel;
class QLineEdit;
class QPushButton;
class MailListRecord;
class TListPanel;
class TShell;
struct TListsState;

class TAddressPanel : public QFrame
{
    Q_OBJECT
public:
    static constexpr int kWidth = 332;
    static constexpr int kHeight = 230;

    TAddressPanel(TShell& shell, TListsState& state, TListPanel& lists, QWidget* parent);

    QLineEdit* Field(const QString& name) const; // EmailEDT, NameEDT, Address1EDT, Address2EDt, PhoneEDT
    QPushButton* AddBtn() const { return m_addBtn; }
    QPushButton* NACancelBtn() const { return m_cancelBtn; }
    QLabel* NewAddLBL() const { return m_title; }

    void NewBtnClick();
    void EditbtnClick();
    // Removes the selected MailList line's entry; maintenance selects a line and runs this.
    void RemoveBtnClick();
    void AddBtnClick();
    void NACancelBtnClick();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Slide();
    void Add();
    void Edit();
    // Steps shared by every way the panel closes after Add or Edit.
    void Finish();
    void ClearFields();
    void FillEntry(MailListRecord& entry) const;
    int EditedRow() const;

    TShell& m_shell;
    TListsState& m_state;
    TListPanel& m_lists;
    QLabel* m_title;
    QLineEdit* m_email;
    QLineEdit* m_name;
    QLineEdit* m_address1;
    QLineEdit* m_address2;
    QLineEdit* m_phone;
    QPushButton* m_addBtn;
    QPushButton* m_cancelBtn;
    // The entry open for editing: its MailList line, which follows inserts and removals,
    // and the record itself to make sure the line still holds it.
    QPersistentModelIndex m_editIndex;
    const MailListRecord* m_editEntry = nullptr;
    // The field in which Enter went down; only its release there presses AddBtn.
    QObject* m_enterDownIn = nullptr;
};
