#include "net/ServerSecurityDialog.h"

#include "net/DialogParts.h"
#include "net/DkimDialog.h"
#include "platform/Dialogs.h"
#include "platform/IniFile.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

using dialogparts::Named;

namespace {

QLabel* WrappedLabel(const QString& text, const char* name, QWidget* parent)
{
    auto* l = Named(new QLabel(text, parent), name);
    l->setWordWrap(true);
    l->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return l;
}
} // namespace

TServerSecurityDialog::TServerSecurityDialog(const TServerSecurityForm& form, QWidget* parent)
    : QDialog(parent), m_form(form)
{
    setObjectName(QStringLiteral("ServerSecurityDlg"));
    const bool smtp = form.Protocol == TMailProtocol::Smtp;
    setWindowTitle(QStringLiteral("Server Security - %1").arg(serversettings::SectionName(form.Protocol, form.Host)));
    auto* top = new QVBoxLayout(this);
    auto* fields = new QFormLayout;
    top->addLayout(fields);

    m_security = Named(new QComboBox(this), "SecurityCB");
    m_security->addItem(QStringLiteral("None"), int(TMailSecurity::None));
    m_security->addItem(smtp ? QStringLiteral("STARTTLS") : QStringLiteral("STARTTLS (STLS)"), int(TMailSecurity::StartTls));
    m_security->addItem(QStringLiteral("TLS"), int(TMailSecurity::Tls));
    m_security->setCurrentIndex(m_security->findData(int(form.Security)));
    fields->addRow(QStringLiteral("&Security:"), m_security);

    m_port = Named(new QLineEdit(form.Port, this), "PortEDT");
    m_port->setMaxLength(5);
    fields->addRow(QStringLiteral("&Port:"), m_port);

    if (smtp) {
        m_user = Named(new QLineEdit(form.User, this), "UserEDT");
        fields->addRow(QStringLiteral("&User name:"), m_user);
        m_password = Named(new QLineEdit(form.Password, this), "PasswordEDT");
        m_password->setEchoMode(QLineEdit::Password);
        fields->addRow(QStringLiteral("Pass&word:"), m_password);
        m_remember = Named(new QCheckBox(QStringLiteral("&Remember password"), this), "RememberCB");
        m_remember->setChecked(form.RememberPassword);
        fields->addRow(QString(), m_remember);
        // The provider's published limits: the send splits and waits by them.
        const auto limit = [&](const QString& value, const char* name, const QString& label) {
            auto* e = Named(new QLineEdit(value, this), name);
            e->setMaxLength(9);
            e->setPlaceholderText(QStringLiteral("no limit"));
            fields->addRow(label, e);
            return e;
        };
        m_maxPerMessage = limit(form.MaxRecipientsPerMessage, "MaxRcptMsgEDT", QStringLiteral("Recipients per &message:"));
        m_maxPerHour = limit(form.MaxMessagesPerHour, "MaxMsgHourEDT", QStringLiteral("Messages per &hour:"));
        m_maxPerDay = limit(form.MaxRecipientsPerDay, "MaxRcptDayEDT", QStringLiteral("Recipients per &day:"));
    } else {
        top->addWidget(WrappedLabel(QStringLiteral("The POP user name and password are those of the POP page."),
                                    "PopLoginLBL", this));
    }

    if (!form.Fingerprint.isEmpty()) {
        top->addWidget(WrappedLabel(QStringLiteral("Certificate trusted by hand (SHA-256): %1").arg(form.Fingerprint),
                                    "FingerprintLBL", this));
        m_forget = Named(new QCheckBox(QStringLiteral("&Forget this certificate"), this), "ForgetCB");
        top->addWidget(m_forget);
    }
    if (!form.RefusedFingerprint.isEmpty()) {
        top->addWidget(WrappedLabel(QStringLiteral("The certificate of '%1' was refused as not trusted. Trust it only if "
                                                   "this fingerprint is the server's own (SHA-256): %2")
                                        .arg(form.Host, form.RefusedFingerprint),
                                    "RefusedLBL", this));
        m_trust = Named(new QCheckBox(QStringLiteral("&Trust this certificate"), this), "TrustCB");
        top->addWidget(m_trust);
    }

    m_error = dialogparts::ErrorLine(this);
    top->addWidget(m_error);

    auto* buttons = dialogparts::OkCancel(this);
    if (smtp) {
        m_dkim = Named(buttons->addButton(QStringLiteral("&DKIM signing..."), QDialogButtonBox::ActionRole), "DkimBtn");
        m_dkim->hide();
        connect(m_dkim, &QPushButton::clicked, this, [this] {
            if (m_openDkim)
                m_openDkim();
        });
    }
    top->addWidget(buttons);

    connect(m_security, &QComboBox::currentIndexChanged, this, [this] { SecurityChanged(); });
    SecurityChanged();
    setMinimumWidth(460);
}

void TServerSecurityDialog::SecurityChanged()
{
    TServerSettings s;
    s.Security = TMailSecurity(m_security->currentData().toInt());
    const QString usual = s.PortText(m_form.Protocol);
    m_port->setPlaceholderText(usual == QLatin1String("smtp") ? QStringLiteral("25")
                               : usual == QLatin1String("pop3") ? QStringLiteral("110")
                                                                : usual);
}

void TServerSecurityDialog::SetDkimEditor(std::function<void()> open)
{
    m_openDkim = std::move(open);
    if (m_dkim)
        m_dkim->setVisible(bool(m_openDkim));
}

TServerSecurityForm TServerSecurityDialog::Form() const
{
    TServerSecurityForm f = m_form;
    f.Port = m_port->text().trimmed();
    f.Security = TMailSecurity(m_security->currentData().toInt());
    if (m_user) {
        f.User = m_user->text().trimmed();
        f.Password = m_password->text();
        f.RememberPassword = m_remember->isChecked();
        f.MaxRecipientsPerMessage = m_maxPerMessage->text().trimmed();
        f.MaxMessagesPerHour = m_maxPerHour->text().trimmed();
        f.MaxRecipientsPerDay = m_maxPerDay->text().trimmed();
    }
    f.ForgetFingerprint = m_forget && m_forget->isChecked();
    f.TrustRefused = m_trust && m_trust->isChecked();
    return f;
}

void TServerSecurityDialog::accept()
{
    const QString error = serversecurity::Validate(Form());
    if (!error.isEmpty()) {
        m_error->setText(error);
        m_error->show();
        return;
    }
    QDialog::accept();
}

bool TServerSecurityDialog::Edit(TDialogService& dialogs, QWidget* parent, TMailProtocol protocol, const QString& host,
                                 const QString& iniPath, TPasswordStore& store)
{
    const QString server = host.trimmed();
    const bool smtp = protocol == TMailProtocol::Smtp;
    if (server.isEmpty()) {
        dialogs.Error(QStringLiteral("Enter the %1 server first: its security settings are kept under its name.")
                          .arg(smtp ? QStringLiteral("SMTP") : QStringLiteral("POP")),
                      parent);
        return false;
    }
    TIniFile loaded(iniPath);
    TServerSecurityDialog dialog(serversecurity::Load(loaded, protocol, server, store), parent);
    // The signing section of the sender's domain: the SMTP user name is most often the address.
    dialog.SetDkimEditor([&dialogs, &dialog, iniPath] {
        TDkimDialog::Edit(dialogs, &dialog, dkimsign::AddressDomain(dialog.Form().User), iniPath,
                          QFileInfo(iniPath).absolutePath() + u'/');
    });
    if (dialog.exec() != QDialog::Accepted)
        return false;
    // Read again: "DKIM signing..." may have written the file meanwhile.
    TIniFile ini(iniPath);
    QString where;
    serversecurity::Save(ini, dialog.Form(), store, where);
    if (!ini.UpdateFile()) {
        dialogs.Error(QStringLiteral("The settings of '%1' could not be written to \"%2\".").arg(server, iniPath), parent);
        return false;
    }
    return true;
}
