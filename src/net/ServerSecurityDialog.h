#pragma once
// The "Server security..." dialog of the SMTP and POP pages (List Properties and General
// Properties): port, security, SMTP user name and password, "Remember password", the
// certificate trusted by hand, and the one last refused, offered to trust.
#include "net/ServerSecurity.h"

#include <QDialog>

#include <functional>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class TDialogService;
class TPasswordStore;

class TServerSecurityDialog : public QDialog
{
    Q_OBJECT
public:
    TServerSecurityDialog(const TServerSecurityForm& form, QWidget* parent = nullptr);

    // The form as the controls now have it.
    TServerSecurityForm Form() const;

    // Edits the section of `host` in the settings file `iniPath` (empty host: an error box, no
    // dialog). True when the section was written.
    static bool Edit(TDialogService& dialogs, QWidget* parent, TMailProtocol protocol, const QString& host,
                     const QString& iniPath, TPasswordStore& store);

    // Closes only when the form validates; else says why.
    void accept() override;

    // SMTP: shows "DKIM signing..." beside the buttons, which calls `open`.
    void SetDkimEditor(std::function<void()> open);

private:
    void SecurityChanged();

    TServerSecurityForm m_form;
    QLineEdit* m_port;
    QComboBox* m_security;
    QLineEdit* m_user = nullptr;
    QLineEdit* m_password = nullptr;
    QCheckBox* m_remember = nullptr;
    QCheckBox* m_forget = nullptr;
    QCheckBox* m_trust = nullptr;
    QLineEdit* m_maxPerMessage = nullptr;
    QLineEdit* m_maxPerHour = nullptr;
    QLineEdit* m_maxPerDay = nullptr;
    QLabel* m_error;
    QPushButton* m_dkim = nullptr;
    std::function<void()> m_openDkim;
};
