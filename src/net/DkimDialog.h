#pragma once
// "DKIM Signing", reached from the SMTP "Server security..." dialog: the [DKIM domain] section
// of one From domain (selector, key file, signing domain), the key checked on OK, and the DNS
// TXT record the domain owner publishes for it shown ready to copy.
#include "net/Dkim.h"

#include <QDialog>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class TDialogService;

class TDkimDialog : public QDialog
{
    Q_OBJECT
public:
    // Shows the section of `fromDomain` (a guess; empty: the user types it) in the settings file
    // `iniPath`, and another domain's as soon as it is typed; `baseFolder` resolves a relative
    // key file.
    TDkimDialog(TDialogService& dialogs, const QString& iniPath, const QString& baseFolder, const QString& fromDomain,
                QWidget* parent = nullptr);

    // The section as the fields now have it (KeyPath resolved).
    TDkimSettings Settings() const;
    // Unticked "Sign messages from this domain": the section is to be removed.
    bool Signing() const;

    // Edits the section of `fromDomain` (a guess, the user may change it) in `iniPath`. True
    // when the file was written.
    static bool Edit(TDialogService& dialogs, QWidget* parent, const QString& fromDomain, const QString& iniPath,
                     const QString& baseFolder);

    // Closes only when the From domain is given and, when signing, the fields validate and the
    // key can be read; else says why.
    void accept() override;

private:
    void DomainChanged();
    void ShowRecord();

    TDialogService& m_dialogs;
    QString m_baseFolder;
    QString m_iniPath;
    QLineEdit* m_fromDomain;
    QLineEdit* m_selector;
    QLineEdit* m_keyFile;
    QLineEdit* m_domain;
    QCheckBox* m_signing;
    QPlainTextEdit* m_record;
    QLabel* m_error;
};
