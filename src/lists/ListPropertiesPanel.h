#pragma once
// The list properties panel `NewMLPanel`: a sliding edit panel that creates a mail list (its
// folder, "Sent Mail" subfolder and list file) or edits the open list's header, renaming the
// list's folder and file when its name changes.
#include "lists/ListPlace.h"
#include "net/ServerSettings.h"
#include "platform/PanelWidgets.h"

#include <QFrame>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QTabWidget;
class QToolButton;
class MailListRecord;
class TListPanel;
class TMailListWizardLink;
class TShell;
struct TListsState;

class TListPropertiesPanel : public QFrame
{
    Q_OBJECT
public:
    static constexpr int kWidth = 384;
    static constexpr int kHeight = 300;
    static constexpr int kCommentsCapacity = 255;

    TListPropertiesPanel(TShell& shell, TListsState& state, TListPanel& lists, QWidget* parent);

    // The mail list wizard this panel advances; none until the wizard exists.
    void SetWizard(TMailListWizardLink* wizard) { m_wizard = wizard; }
    // The folder and file renames (tests make them fail).
    void SetFileOps(const listplace::TFileOps& ops) { m_fileOps = ops; }

    QTabWidget* Pages() const { return m_pages; }
    QLabel* NewMLLBL() const { return m_title; }
    QPushButton* SaveBtn() const { return m_saveBtn; }
    QPushButton* CancelBtn() const { return m_cancelBtn; }
    QLineEdit* Field(const QString& name) const;
    // The editor buttons of the header, footer and signature file fields, with their fields.
    const TFileEditors& FileEditors() const { return m_fileEditors; }
    QCheckBox* CheckBox(const QString& name) const;
    QRadioButton* ToRB() const { return m_toRB; }
    QRadioButton* SubjectRB() const { return m_subjectRB; }
    QPlainTextEdit* Memo1() const { return m_memo; }

    void NewMailList1Click();
    void ListProperties1Click();
    void EditListBtnClick();
    void SaveBtnClick();
    void CancelBtnClick();
    void ToRBClick();
    void SubjectRBClick();
    void BrowseClick(QLineEdit* field, const QString& title);
    // "Server security..." of the SMTP / POP page: the section of the server now in the field.
    void ServerSecurityClick(TMailProtocol protocol);
    QPushButton* SecurityBtn(TMailProtocol protocol) const
    {
        return protocol == TMailProtocol::Smtp ? m_smtpSecurityBtn : m_popSecurityBtn;
    }

    // The header fields the panel edits, filled from its controls (every other field of
    // `header` is left as it is).
    void FillHeader(MailListRecord& header) const;
    // The controls filled from a header; check boxes and radio buttons are only turned on.
    void FillControls(const MailListRecord& header);
    // The option digits "1".."9" of the check boxes and radio buttons, in that order.
    QString OptionDigits() const;

private:
    void PagesChange(int index);
    void Slide();
    void SaveNew();
    void SaveExisting();
    // Hides the panel, clears it and gives the buttons back.
    void Close();
    void ClearFields();
    void LimitComments();

    TShell& m_shell;
    TListsState& m_state;
    TListPanel& m_lists;
    TMailListWizardLink* m_wizard = nullptr;
    MailListRecord* m_editing = nullptr; // the list an edit was opened for
    listplace::TFileOps m_fileOps = listplace::TFileOps::Real();
    QLabel* m_title;
    QTabWidget* m_pages;
    QLineEdit* m_listName;
    QLineEdit* m_to;
    QLineEdit* m_reply;
    QPlainTextEdit* m_memo;
    QLineEdit* m_smtp;
    QLineEdit* m_pop;
    QLineEdit* m_username;
    QLineEdit* m_password;
    QCheckBox* m_deleteMail;
    QLineEdit* m_header;
    QLineEdit* m_footer;
    QLineEdit* m_signature;
    QCheckBox* m_headerCB;
    QCheckBox* m_footerCB;
    QCheckBox* m_signatureCB;
    QCheckBox* m_sentCB;
    QCheckBox* m_formattedCB;
    QCheckBox* m_autoCB;
    QRadioButton* m_toRB;
    QLineEdit* m_toKey;
    QRadioButton* m_subjectRB;
    QLineEdit* m_subKey;
    QPushButton* m_smtpSecurityBtn;
    QPushButton* m_popSecurityBtn;
    QPushButton* m_saveBtn;
    QPushButton* m_cancelBtn;
    TFileEditors m_fileEditors{};
};
