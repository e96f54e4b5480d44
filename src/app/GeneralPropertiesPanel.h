#pragma once
// The General Properties panel `UserOptionsPanel`: sliding edit panel with the pages
// "General", "SMTP", "POP" and "Misc.", editing `GeneralSettings`, the general time-out and
// automatic list saving.
#include "lists/GeneralSettings.h"
#include "net/ServerSettings.h"
#include "platform/PanelWidgets.h"

#include <QFrame>
#include <functional>

class QCheckBox;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTabWidget;
class QToolButton;
class TShell;

class TGeneralPropertiesPanel : public QFrame
{
    Q_OBJECT
public:
    static constexpr int kWidth = 384;
    static constexpr int kHeight = 300;

    // `saveSettings` writes the settings file; `closed` runs after every close (the main window
    // re-enables its buttons and applies UpdateListControls there).
    TGeneralPropertiesPanel(TShell& shell, TGeneralSettings& settings, std::function<void()> saveSettings,
                            QWidget* parent);

    QSpinBox* se_Timeout() const { return m_timeout; }
    QCheckBox* cb_AutoSaveLists() const { return m_autoSave; }
    QTabWidget* Pages() const { return m_pages; }
    QLineEdit* Field(const QString& name) const;
    // The editor buttons of the header, footer and signature file fields, with their fields.
    const TFileEditors& FileEditors() const { return m_fileEditors; }

    void GeneralProperties1Click();
    void UserSaveBtnClick();
    void UserCancelBtnClick();
    void BrowseClick(QLineEdit* field, const QString& title);
    // "Server security..." of the SMTP / POP page: the section of the server now in the field.
    void ServerSecurityClick(TMailProtocol protocol);
    QPushButton* SecurityBtn(TMailProtocol protocol) const
    {
        return protocol == TMailProtocol::Smtp ? m_smtpSecurityBtn : m_popSecurityBtn;
    }

private:
    void ClearFields();
    void Close();

    TShell& m_shell;
    TGeneralSettings& m_settings;
    std::function<void()> m_saveSettings;
    QTabWidget* m_pages;
    QLineEdit* m_name;
    QLineEdit* m_email;
    QLineEdit* m_smtp;
    QLineEdit* m_pop;
    QLineEdit* m_username;
    QLineEdit* m_password;
    QLineEdit* m_header;
    QLineEdit* m_footer;
    QLineEdit* m_sig;
    QCheckBox* m_includeHeader;
    QCheckBox* m_includeFooter;
    QCheckBox* m_includeSig;
    QCheckBox* m_saveLetters;
    QCheckBox* m_sendFormatted;
    QCheckBox* m_autoSave;
    QSpinBox* m_timeout;
    QPushButton* m_smtpSecurityBtn;
    QPushButton* m_popSecurityBtn;
    TFileEditors m_fileEditors{};
};
