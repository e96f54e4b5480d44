#include "app/GeneralPropertiesPanel.h"

#include "app/SettingsFile.h"
#include "net/PasswordStore.h"
#include "net/ServerSecurityDialog.h"
#include "platform/Named.h"
#include "platform/Dialogs.h"
#include "platform/PanelFace.h"
#include "platform/PanelWidgets.h"
#include "platform/Shell.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QStyle>
#include <QTabWidget>
#include <QToolButton>

TGeneralPropertiesPanel::TGeneralPropertiesPanel(TShell& shell, TGeneralSettings& settings,
                                                 std::function<void()> saveSettings, QWidget* parent)
    : QFrame(parent), m_shell(shell), m_settings(settings), m_saveSettings(std::move(saveSettings))
{
    setObjectName(QStringLiteral("UserOptionsPanel"));
    setAccessibleName(QStringLiteral("General Properties"));
    ApplyPanelFace(this);

    auto* title = Named(new QLabel(QStringLiteral("General Properties"), this), QStringLiteral("UserOpLBL"));
    title->setAccessibleName(QString()); // a label says its text
    QFont tf = title->font();
    tf.setBold(true);
    tf.setPointSize(tf.pointSize() + 2);
    title->setFont(tf);
    title->setGeometry(10, 6, 360, 22);

    m_pages = Named(new QTabWidget(this), QStringLiteral("UserOpPages"), QStringLiteral("General properties pages"));
    m_pages->setGeometry(6, 32, 372, 226);

    auto* general = new QWidget;
    auto* intro = new QLabel(QStringLiteral("Enter general information to be used when a mailing list is not selected."),
                             general);
    intro->setWordWrap(true);
    intro->setGeometry(8, 8, 350, 36);
    m_name = AddLabelledEdit(general, QStringLiteral("UserOpNameEDT"), QStringLiteral("Name:"), TGeneralSettings::kShort, 118, 56, 240);
    m_email = AddLabelledEdit(general, QStringLiteral("UserEmailEDT"), QStringLiteral("E-mail Address:"), TGeneralSettings::kShort, 118, 86, 240);
    // The Misc. page is full: the sender's choice of format sits with the sender.
    m_sendFormatted = Named(new QCheckBox(QStringLiteral("Send formatted (HTML and text)"), general),
                            QStringLiteral("UserFormattedCB"), QStringLiteral("Send formatted (HTML and text)"));
    m_sendFormatted->setGeometry(118, 116, 240, 20);
    m_pages->addTab(general, QStringLiteral("General"));

    auto* smtp = new QWidget;
    m_smtp = AddLabelledEdit(smtp, QStringLiteral("UserSMTPEDT"), QStringLiteral("SMTP Server:"), TGeneralSettings::kShort, 118, 16, 240);
    auto* tl = new QLabel(QStringLiteral("General time-out for all lists (seconds):"), smtp);
    tl->setGeometry(8, 56, 250, 18);
    m_timeout = Named(new QSpinBox(smtp), QStringLiteral("se_Timeout"),
                      QStringLiteral("General time-out for all lists (seconds)"));
    m_timeout->setRange(1, 10000);
    m_timeout->setValue(15);
    m_timeout->setGeometry(262, 53, 90, 22);
    tl->setBuddy(m_timeout);
    m_smtpSecurityBtn = Named(new QPushButton(QStringLiteral("Server security..."), smtp),
                              QStringLiteral("UserSMTPSecurityBtn"), QStringLiteral("SMTP server security"));
    m_smtpSecurityBtn->setGeometry(118, 90, 140, 26);
    connect(m_smtpSecurityBtn, &QPushButton::clicked, this, [this] { ServerSecurityClick(TMailProtocol::Smtp); });
    m_pages->addTab(smtp, QStringLiteral("SMTP"));

    auto* pop = new QWidget;
    m_pop = AddLabelledEdit(pop, QStringLiteral("UserPOPEDT"), QStringLiteral("POP Server:"), TGeneralSettings::kShort, 118, 16, 240);
    m_username = AddLabelledEdit(pop, QStringLiteral("UserUsernameEDT"), QStringLiteral("POP Username:"), TGeneralSettings::kShort, 118, 46, 240);
    m_password = AddLabelledEdit(pop, QStringLiteral("UserPassEDT"), QStringLiteral("POP Password:"), TGeneralSettings::kLong, 118, 76, 240);
    m_password->setEchoMode(QLineEdit::Password);
    m_popSecurityBtn = Named(new QPushButton(QStringLiteral("Server security..."), pop),
                             QStringLiteral("UserPOPSecurityBtn"), QStringLiteral("POP server security"));
    m_popSecurityBtn->setGeometry(118, 110, 140, 26);
    connect(m_popSecurityBtn, &QPushButton::clicked, this, [this] { ServerSecurityClick(TMailProtocol::Pop3); });
    m_pages->addTab(pop, QStringLiteral("POP"));

    auto* misc = new QWidget;
    const TFileFieldSpec rows[] = {
        {"UserHeaderEDT", "Header file:", "UserHeaderBtn", "Open Header Text File", "SpeedButton4",
         "Create or edit header file"},
        {"UserFooterEDT", "Footer file:", "UserFooterBtn", "Open Footer Text File", "SpeedButton5",
         "Create or edit footer file"},
        {"UserSigEDT", "Signature file:", "UserSigBtn", "Open Signature Text File", "SpeedButton6",
         "Create or edit signature file"},
    };
    QLineEdit** fields[] = {&m_header, &m_footer, &m_sig};
    const auto browse = [this](QLineEdit* field, const QString& title) { BrowseClick(field, title); };
    for (int i = 0; i < 3; ++i) {
        const TFileField made = AddFileField(misc, rows[i], 118, 6 + 28 * i, 176, browse);
        *fields[i] = made.Field;
        m_fileEditors[size_t(i)] = {made.EditBtn, made.Field};
    }
    m_includeHeader = Named(new QCheckBox(QStringLiteral("Always include header file"), misc), QStringLiteral("UserHeaderCB"), QStringLiteral("Always include header file"));
    m_includeFooter = Named(new QCheckBox(QStringLiteral("Always include footer file"), misc), QStringLiteral("UserFooterCB"), QStringLiteral("Always include footer file"));
    m_includeSig = Named(new QCheckBox(QStringLiteral("Always include signature file"), misc), QStringLiteral("UserSigCB"), QStringLiteral("Always include signature file"));
    m_saveLetters = Named(new QCheckBox(QStringLiteral("Save sent newsletters"), misc), QStringLiteral("UserSNCB"), QStringLiteral("Save sent newsletters"));
    m_autoSave = Named(new QCheckBox(QStringLiteral("Automatically save lists"), misc), QStringLiteral("cb_AutoSaveLists"), QStringLiteral("Automatically save lists"));
    m_autoSave->setChecked(true);
    // Twenty pixels a row, so the last one ends well inside the page (about 198 high).
    int y = 90;
    for (QCheckBox* box : {m_includeHeader, m_includeFooter, m_includeSig, m_saveLetters, m_autoSave}) {
        box->setGeometry(8, y, 250, 20);
        y += 20;
    }
    m_pages->addTab(misc, QStringLiteral("Misc."));

    auto* save = Named(new QPushButton(QStringLiteral("&Save"), this), QStringLiteral("UserSaveBtn"), QStringLiteral("&Save"));
    auto* cancel = Named(new QPushButton(QStringLiteral("&Cancel"), this), QStringLiteral("UserCancelBtn"),
                         QStringLiteral("&Cancel"));
    save->setGeometry(212, 264, 78, 26);
    cancel->setGeometry(296, 264, 78, 26);
    connect(save, &QPushButton::clicked, this, [this] { UserSaveBtnClick(); });
    connect(cancel, &QPushButton::clicked, this, [this] { UserCancelBtnClick(); });

    setVisible(false);
}

QLineEdit* TGeneralPropertiesPanel::Field(const QString& name) const
{
    return findChild<QLineEdit*>(name);
}

void TGeneralPropertiesPanel::GeneralProperties1Click()
{
    if (m_shell.EditPanelOpen())
        return; // another edit panel (or this one) is open
    m_shell.SetStatus(QStringLiteral("Status: Displaying general properties..."));
    m_pages->setCurrentIndex(0);
    m_name->setText(m_settings.User);
    m_email->setText(m_settings.Email);
    m_smtp->setText(m_settings.SMTP);
    m_pop->setText(m_settings.POP);
    m_username->setText(m_settings.Username);
    m_password->setText(m_settings.Password);
    m_header->setText(m_settings.HeaderFile);
    m_footer->setText(m_settings.FooterFile);
    m_sig->setText(m_settings.SigFile);
    m_includeHeader->setChecked(m_settings.IncludeHeader);
    m_includeFooter->setChecked(m_settings.IncludeFooter);
    m_includeSig->setChecked(m_settings.IncludeSig);
    m_saveLetters->setChecked(m_settings.SaveLetters);
    m_sendFormatted->setChecked(m_settings.SendFormatted);
    m_shell.OpenSlidingPanel(this, kWidth, kHeight, m_name);
}

void TGeneralPropertiesPanel::BrowseClick(QLineEdit* field, const QString& title)
{
    m_shell.Dialogs().BrowseIntoField(field, title, m_shell.Window());
}

void TGeneralPropertiesPanel::UserSaveBtnClick()
{
    m_shell.CloseSlidingPanel(this, kWidth);
    m_settings.User = m_name->text();
    m_settings.Email = m_email->text();
    m_settings.SMTP = m_smtp->text();
    m_settings.POP = m_pop->text();
    m_settings.Username = m_username->text();
    m_settings.Password = m_password->text();
    m_settings.HeaderFile = m_header->text();
    m_settings.FooterFile = m_footer->text();
    m_settings.SigFile = m_sig->text();
    m_settings.IncludeHeader = m_includeHeader->isChecked();
    m_settings.IncludeFooter = m_includeFooter->isChecked();
    m_settings.IncludeSig = m_includeSig->isChecked();
    m_settings.SaveLetters = m_saveLetters->isChecked();
    m_settings.SendFormatted = m_sendFormatted->isChecked();
    m_settings.Normalise();
    if (m_saveSettings)
        m_saveSettings();
    ClearFields();
}

void TGeneralPropertiesPanel::UserCancelBtnClick()
{
    m_shell.CloseSlidingPanel(this, kWidth);
    ClearFields();
}

void TGeneralPropertiesPanel::ClearFields()
{
    for (QLineEdit* e : {m_name, m_email, m_smtp, m_pop, m_username, m_password, m_header, m_footer, m_sig})
        e->clear();
    for (QCheckBox* c : {m_includeHeader, m_includeFooter, m_includeSig, m_saveLetters, m_sendFormatted})
        c->setChecked(false);
}

void TGeneralPropertiesPanel::ServerSecurityClick(TMailProtocol protocol)
{
    const QLineEdit* server = protocol == TMailProtocol::Smtp ? m_smtp : m_pop;
    TServerSecurityDialog::Edit(m_shell.Dialogs(), m_shell.Window(), protocol, server->text(), settingsfile::FileName(),
                                passwordstore::Default());
}
