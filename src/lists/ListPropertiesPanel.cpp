#include "lists/ListPropertiesPanel.h"

#include "lists/ListFile.h"
#include "lists/ListNaming.h"
#include "lists/ListPanel.h"
#include "lists/ListWizardLink.h"
#include "net/PasswordStore.h"
#include "net/ServerSecurityDialog.h"
#include "platform/Named.h"
#include "platform/PanelFace.h"
#include "platform/PanelWidgets.h"
#include "platform/Cp1252.h"
#include "platform/Dialogs.h"
#include "platform/ProgramFolder.h"
#include "platform/Regional.h"
#include "platform/Shell.h"

#include <QApplication>
#include <QCheckBox>
#include <QDate>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QTabWidget>
#include <QToolButton>

namespace {
const QString kNewTitle = QStringLiteral("New Mail List");

// Memo text holds LF; the record keeps the CR LF line breaks of the platform.
QString ToStored(QString text)
{
    return text.replace(u'\n', QStringLiteral("\r\n"));
}

QString FromStored(QString text)
{
    return text.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(u'\r', u'\n');
}
} // namespace

TListPropertiesPanel::TListPropertiesPanel(TShell& shell, TListsState& state, TListPanel& lists, QWidget* parent)
    : QFrame(parent), m_shell(shell), m_state(state), m_lists(lists)
{
    setObjectName(QStringLiteral("NewMLPanel"));
    setAccessibleName(QStringLiteral("NewMLPanel"));
    ApplyPanelFace(this);

    m_title = Named(new QLabel(kNewTitle, this), QStringLiteral("NewMLLBL"));
    m_title->setAccessibleName(QString()); // a label says its text, whichever title it shows
    QFont tf = m_title->font();
    tf.setBold(true);
    tf.setPointSize(tf.pointSize() + 2);
    m_title->setFont(tf);
    m_title->setGeometry(10, 6, 360, 22);

    m_pages = Named(new QTabWidget(this), QStringLiteral("NewMLPages"), QStringLiteral("List properties pages"));
    m_pages->setGeometry(6, 32, 372, 226);

    // "List Info"
    auto* info = new QWidget;
    auto* intro = new QLabel(QStringLiteral("Fill in the name of the list, the address that will appear in the To "
                                            "field, the reply or return address, and any comments pertaining to "
                                            "this list."),
                             info);
    intro->setObjectName(QStringLiteral("ListInfoLBL"));
    intro->setWordWrap(true);
    intro->setGeometry(8, 4, 352, 44);
    m_listName = AddLabelledEdit(info, QStringLiteral("ListNameEDT"), QStringLiteral("List Name:"), 100, 110, 52, 246);
    m_to = AddLabelledEdit(info, QStringLiteral("ToEDT"), QStringLiteral("To Address:"), 100, 110, 78, 246);
    m_reply = AddLabelledEdit(info, QStringLiteral("ReplyAddressEDT"), QStringLiteral("Reply Address:"), 100, 110, 104, 246);
    auto* memoLabel = new QLabel(QStringLiteral("Comments:"), info);
    memoLabel->setGeometry(8, 133, 98, 18);
    m_memo = Named(new QPlainTextEdit(info), QStringLiteral("Memo1"), QStringLiteral("Comments:"));
    m_memo->setGeometry(110, 130, 246, 62);
    m_memo->setTabChangesFocus(true);
    connect(m_memo, &QPlainTextEdit::textChanged, this, [this] { LimitComments(); });
    m_pages->addTab(info, QStringLiteral("List Info"));

    // "SMTP"
    auto* smtp = new QWidget;
    m_smtp = AddLabelledEdit(smtp, QStringLiteral("SMTPEDT"), QStringLiteral("SMTP Server:"), 75, 110, 16, 246);
    m_smtpSecurityBtn = Named(new QPushButton(QStringLiteral("Server security..."), smtp), QStringLiteral("SMTPSecurityBtn"),
                              QStringLiteral("SMTP server security"));
    m_smtpSecurityBtn->setGeometry(110, 50, 140, 26);
    connect(m_smtpSecurityBtn, &QPushButton::clicked, this, [this] { ServerSecurityClick(TMailProtocol::Smtp); });
    m_pages->addTab(smtp, QStringLiteral("SMTP"));

    // "POP"
    auto* pop = new QWidget;
    m_pop = AddLabelledEdit(pop, QStringLiteral("POPEDT"), QStringLiteral("POP Server:"), 75, 110, 16, 246);
    m_username = AddLabelledEdit(pop, QStringLiteral("UsernameEDT"), QStringLiteral("POP Username:"), 30, 110, 46, 246);
    m_password = AddLabelledEdit(pop, QStringLiteral("PasswordEDT"), QStringLiteral("POP Password:"), 20, 110, 76, 246);
    m_password->setEchoMode(QLineEdit::Password);
    m_deleteMail = Named(new QCheckBox(QStringLiteral("Delete mail from server after reading"), pop),
                         QStringLiteral("DeleteMailCB"), QStringLiteral("Delete mail from server after reading"));
    m_deleteMail->setGeometry(8, 110, 340, 20);
    m_popSecurityBtn = Named(new QPushButton(QStringLiteral("Server security..."), pop), QStringLiteral("POPSecurityBtn"),
                             QStringLiteral("POP server security"));
    m_popSecurityBtn->setGeometry(110, 140, 140, 26);
    connect(m_popSecurityBtn, &QPushButton::clicked, this, [this] { ServerSecurityClick(TMailProtocol::Pop3); });
    m_pages->addTab(pop, QStringLiteral("POP"));

    // "Misc."
    auto* misc = new QWidget;
    const TFileFieldSpec rows[] = {
        {"HeaderEDT", "Header file:", "HeaderBtn", "Open Header Text File", "SpeedButton1",
         "Create or edit header file"},
        {"FooterEDT", "Footer file:", "FooterBtn", "Open Footer Text File", "SpeedButton2",
         "Create or edit footer file"},
        {"SignatureEDT", "Signature file:", "SignatureBtn", "Open Signature Text File", "SpeedButton3",
         "Create or edit signature file"},
    };
    QLineEdit** fields[] = {&m_header, &m_footer, &m_signature};
    const auto browse = [this](QLineEdit* field, const QString& title) { BrowseClick(field, title); };
    for (int i = 0; i < 3; ++i) {
        const TFileField made = AddFileField(misc, rows[i], 110, 4 + 25 * i, 184, browse);
        *fields[i] = made.Field;
        m_fileEditors[size_t(i)] = {made.EditBtn, made.Field};
    }
    auto* options = Named(new QGroupBox(QStringLiteral("Options"), misc), QStringLiteral("OptionsGB"),
                          QStringLiteral("Options"));
    // The file rows are 25 pixels apart so that five option rows of 20 fit below them.
    options->setGeometry(8, 78, 350, 118);
    m_headerCB = Named(new QCheckBox(QStringLiteral("Always include header file"), options), QStringLiteral("HeaderCB"),
                       QStringLiteral("Always include header file"));
    m_footerCB = Named(new QCheckBox(QStringLiteral("Always include footer file"), options), QStringLiteral("FooterCB"),
                       QStringLiteral("Always include footer file"));
    m_signatureCB = Named(new QCheckBox(QStringLiteral("Always include signature file"), options),
                          QStringLiteral("SignatureCB"), QStringLiteral("Always include signature file"));
    m_sentCB = Named(new QCheckBox(QStringLiteral("Save sent newsletters"), options), QStringLiteral("SentCB"),
                     QStringLiteral("Save sent newsletters"));
    m_formattedCB = Named(new QCheckBox(QStringLiteral("Send formatted (HTML and text)"), options),
                          QStringLiteral("FormattedCB"), QStringLiteral("Send formatted (HTML and text)"));
    m_headerCB->setGeometry(10, 16, 320, 20);
    m_footerCB->setGeometry(10, 36, 320, 20);
    m_signatureCB->setGeometry(10, 56, 320, 20);
    m_sentCB->setGeometry(10, 76, 320, 20);
    m_formattedCB->setGeometry(10, 96, 320, 20);
    m_pages->addTab(misc, QStringLiteral("Misc."));

    // "Auto Maintenance"
    auto* autoPage = new QWidget;
    auto* onOff = Named(new QGroupBox(QStringLiteral("Auto On/Off"), autoPage), QStringLiteral("AutoOnOffGB"),
                        QStringLiteral("Auto On/Off"));
    onOff->setGeometry(8, 6, 350, 50);
    m_autoCB = Named(new QCheckBox(QStringLiteral("Automatic list maintenance"), onOff), QStringLiteral("AutoCB"),
                     QStringLiteral("Automatic list maintenance"));
    m_autoCB->setGeometry(10, 22, 320, 20);
    auto* keys = Named(new QGroupBox(QStringLiteral("Maintenance Keys"), autoPage), QStringLiteral("MaintenanceKeysGB"),
                       QStringLiteral("Maintenance Keys"));
    keys->setGeometry(8, 64, 350, 90);
    m_toRB = Named(new QRadioButton(QStringLiteral("To field"), keys), QStringLiteral("ToRB"), QStringLiteral("To field"));
    m_subjectRB = Named(new QRadioButton(QStringLiteral("Subject field"), keys), QStringLiteral("SubjectRB"),
                        QStringLiteral("Subject field"));
    // The click rules below keep the pair exclusive; the automatic exclusivity would refuse
    // to turn the chosen one off from code.
    m_toRB->setAutoExclusive(false);
    m_subjectRB->setAutoExclusive(false);
    m_toRB->setGeometry(10, 24, 110, 20);
    m_subjectRB->setGeometry(10, 56, 110, 20);
    m_toKey = Named(new QLineEdit(keys), QStringLiteral("ToKeyEDT"), QStringLiteral("To field maintenance key"));
    m_toKey->setMaxLength(100);
    m_toKey->setGeometry(124, 22, 214, 22);
    m_subKey = Named(new QLineEdit(keys), QStringLiteral("SubKeyEDT"), QStringLiteral("Subject field maintenance key"));
    m_subKey->setMaxLength(100);
    m_subKey->setGeometry(124, 54, 214, 22);
    connect(m_toRB, &QRadioButton::clicked, this, [this] { ToRBClick(); });
    connect(m_subjectRB, &QRadioButton::clicked, this, [this] { SubjectRBClick(); });
    m_pages->addTab(autoPage, QStringLiteral("Auto Maintenance"));
    ToRBClick();

    m_saveBtn = Named(new QPushButton(QStringLiteral("&Save"), this), QStringLiteral("SaveBtn"), QStringLiteral("&Save"),
                      QStringLiteral("Click to save properties"));
    m_cancelBtn = Named(new QPushButton(QStringLiteral("&Cancel"), this), QStringLiteral("CancelBtn"),
                        QStringLiteral("&Cancel"), QStringLiteral("Click to close properties"));
    m_saveBtn->setGeometry(212, 266, 78, 26);
    m_cancelBtn->setGeometry(296, 266, 78, 26);
    m_saveBtn->setEnabled(false);
    connect(m_listName, &QLineEdit::textChanged, this, [this](const QString& t) { m_saveBtn->setEnabled(!t.isEmpty()); });
    connect(m_saveBtn, &QPushButton::clicked, this, [this] { SaveBtnClick(); });
    connect(m_cancelBtn, &QPushButton::clicked, this, [this] { CancelBtnClick(); });
    connect(m_pages, &QTabWidget::currentChanged, this, [this](int i) { PagesChange(i); });

    if (QToolButton* b = m_lists.Button(QStringLiteral("NewListbtn")))
        connect(b, &QToolButton::clicked, this, [this] { NewMailList1Click(); });
    if (QToolButton* b = m_lists.Button(QStringLiteral("EditListBtn")))
        connect(b, &QToolButton::clicked, this, [this] { EditListBtnClick(); });

    setVisible(false);
}

QLineEdit* TListPropertiesPanel::Field(const QString& name) const
{
    return findChild<QLineEdit*>(name);
}

QCheckBox* TListPropertiesPanel::CheckBox(const QString& name) const
{
    return findChild<QCheckBox*>(name);
}

// ---------------------------------------------------------------- controls

void TListPropertiesPanel::ToRBClick()
{
    m_toRB->setChecked(true);
    m_toKey->setEnabled(true);
    m_subKey->setEnabled(false);
    m_subjectRB->setChecked(false);
}

void TListPropertiesPanel::SubjectRBClick()
{
    m_subjectRB->setChecked(true);
    m_subKey->setEnabled(true);
    m_toKey->setEnabled(false);
    m_toRB->setChecked(false);
}

void TListPropertiesPanel::BrowseClick(QLineEdit* field, const QString& title)
{
    m_shell.Dialogs().BrowseIntoField(field, title, m_shell.Window());
}

void TListPropertiesPanel::LimitComments()
{
    // The limit counts a line break as the two characters it is stored as.
    const QString text = m_memo->toPlainText();
    if (text.size() + text.count(u'\n') <= kCommentsCapacity)
        return;
    int used = 0;
    qsizetype keep = 0;
    for (; keep < text.size(); ++keep) {
        const int cost = text[keep] == u'\n' ? 2 : 1;
        if (used + cost > kCommentsCapacity)
            break;
        used += cost;
    }
    m_memo->setPlainText(text.left(keep));
    m_memo->moveCursor(QTextCursor::End);
}

void TListPropertiesPanel::PagesChange(int index)
{
    if (!m_wizard || !m_wizard->MailListWizardActive())
        return;
    const QString page = m_pages->tabText(index);
    QString step;
    if (page == QLatin1String("SMTP"))
        step = QStringLiteral("2");
    else if (page == QLatin1String("POP"))
        step = QStringLiteral("3");
    else if (page == QLatin1String("Misc."))
        step = QStringLiteral("4");
    else if (page == QLatin1String("Auto Maintenance"))
        step = QStringLiteral("6");
    if (step.isEmpty())
        return;
    m_wizard->SetStepLabel(step);
    m_wizard->Next();
}

QString TListPropertiesPanel::OptionDigits() const
{
    QString digits;
    const std::pair<const QAbstractButton*, char> options[] = {{m_headerCB, '1'}, {m_footerCB, '2'},
                                                               {m_signatureCB, '3'}, {m_sentCB, '4'},
                                                               {m_autoCB, '5'}, {m_toRB, '6'},
                                                               {m_subjectRB, '7'}, {m_deleteMail, '8'},
                                                               {m_formattedCB, '9'}};
    for (const auto& [button, digit] : options) {
        if (button->isChecked())
            digits += QLatin1Char(digit);
    }
    return digits;
}

void TListPropertiesPanel::FillHeader(MailListRecord& h) const
{
    h.SetText(MailListRecord::Name, m_listName->text());
    h.SetText(MailListRecord::Reply, m_reply->text());
    h.SetText(MailListRecord::ToAddress, m_to->text());
    h.SetText(MailListRecord::SmtpServer, m_smtp->text());
    h.SetText(MailListRecord::PopServer, m_pop->text());
    h.SetText(MailListRecord::PopUser, m_username->text());
    h.SetPassword(m_password->text());
    h.SetText(MailListRecord::HeaderFile, m_header->text());
    h.SetText(MailListRecord::FooterFile, m_footer->text());
    h.SetText(MailListRecord::SigFile, m_signature->text());
    h.SetText(MailListRecord::Options, OptionDigits());
    h.SetText(MailListRecord::Comments, ToStored(m_memo->toPlainText()));
    h.SetText(MailListRecord::ToKey, m_toKey->text());
    h.SetText(MailListRecord::SubjectKey, m_subKey->text());
}

void TListPropertiesPanel::FillControls(const MailListRecord& h)
{
    m_listName->setText(h.Text(MailListRecord::Name));
    m_to->setText(h.Text(MailListRecord::ToAddress));
    m_reply->setText(h.Text(MailListRecord::Reply));
    m_memo->setPlainText(FromStored(h.Text(MailListRecord::Comments)));
    m_smtp->setText(h.Text(MailListRecord::SmtpServer));
    m_pop->setText(h.Text(MailListRecord::PopServer));
    m_username->setText(h.Text(MailListRecord::PopUser));
    m_password->setText(h.Password());
    m_header->setText(h.Text(MailListRecord::HeaderFile));
    m_footer->setText(h.Text(MailListRecord::FooterFile));
    m_signature->setText(h.Text(MailListRecord::SigFile));
    m_toKey->setText(h.Text(MailListRecord::ToKey));
    m_subKey->setText(h.Text(MailListRecord::SubjectKey));
    const std::pair<QCheckBox*, char> boxes[] = {{m_headerCB, '1'}, {m_footerCB, '2'}, {m_signatureCB, '3'},
                                                 {m_sentCB, '4'},   {m_autoCB, '5'},   {m_deleteMail, '8'},
                                                 {m_formattedCB, '9'}};
    for (const auto& [box, digit] : boxes) {
        if (h.HasOption(digit))
            box->setChecked(true);
    }
    if (h.HasOption('6'))
        ToRBClick();
    if (h.HasOption('7'))
        SubjectRBClick();
}

void TListPropertiesPanel::ClearFields()
{
    for (QLineEdit* e : {m_listName, m_to, m_reply, m_smtp, m_pop, m_username, m_password, m_header, m_footer,
                         m_signature, m_toKey, m_subKey})
        e->clear();
    m_memo->clear();
    for (QCheckBox* c : {m_deleteMail, m_headerCB, m_footerCB, m_signatureCB, m_sentCB, m_autoCB, m_formattedCB})
        c->setChecked(false);
    ToRBClick();
}

// ---------------------------------------------------------------- open

void TListPropertiesPanel::Slide()
{
    m_pages->setCurrentIndex(0);
    m_shell.OpenSlidingPanel(this, kWidth, kHeight, m_listName);
    m_lists.UpdateListControls();
}

void TListPropertiesPanel::NewMailList1Click()
{
    if (m_lists.Busy() || m_shell.EditPanelOpen())
        return;
    m_shell.SetStatus(QStringLiteral("Status: New mail list..."));
    Slide();
    if (m_wizard && m_wizard->MailListWizardActive() && m_wizard->StepLabel() == QLatin1String("1"))
        m_wizard->Next();
}

void TListPropertiesPanel::EditListBtnClick()
{
    if (!m_state.CurrentList || m_lists.Busy() || m_shell.EditPanelOpen())
        return;
    m_title->setText(QStringLiteral("Edit Mail List"));
    ListProperties1Click();
}

void TListPropertiesPanel::ListProperties1Click()
{
    if (!m_state.CurrentList || m_lists.Busy() || m_shell.EditPanelOpen())
        return;
    m_shell.SetStatus(QStringLiteral("Status: Displaying list properties..."));
    m_state.EditingList = true;
    m_editing = m_state.CurrentList;
    ClearFields();
    FillControls(*m_state.CurrentList);
    Slide();
}

// ---------------------------------------------------------------- save, cancel

void TListPropertiesPanel::SaveBtnClick()
{
    if (m_listName->text().isEmpty())
        return;
    if (m_lists.Busy()) {
        QApplication::beep(); // a list operation is still running; save when it ends
        return;
    }
    if (m_state.EditingList)
        SaveExisting();
    else
        SaveNew();
}

void TListPropertiesPanel::SaveNew()
{
    // The new list replaces the open one: Cancel keeps the panel open with what was typed.
    if (!m_lists.AskToSaveList())
        return;
    m_shell.CloseSlidingPanel(this, kWidth);
    m_title->setText(kNewTitle);

    auto header = std::make_unique<MailListRecord>();
    FillHeader(*header);
    header->SetText(MailListRecord::DateMark, regional::ShortDateText(QDate::currentDate()).left(7));
    const QString name = header->Text(MailListRecord::Name);
    QString error;
    // The open list keeps its entries until the new list exists: a list that cannot be
    // created must not cost the open one its addresses.
    const QString folder = listplace::CreateListFolder(ProgramFolder(), name, &error);
    if (folder.isEmpty()) {
        m_shell.Dialogs().Error(error, m_shell.Window());
    } else {
        const QString path = listnaming::ChooseFile(folder, name);
        if (QFileInfo::exists(path)) {
            m_shell.Dialogs().Error(QStringLiteral("File already exists!"), m_shell.Window());
        } else if (!listplace::Storable(path)) {
            m_shell.Dialogs().Error(listplace::UnstorableMessage(path), m_shell.Window());
        } else {
            header->SetText(MailListRecord::FilePath, path);
            const TAddressList none;
            if (!listfile::Write(path, *header, none, &error)) {
                m_shell.Dialogs().Error(QStringLiteral("Could not create the list file ") + path
                                            + QStringLiteral(":\n") + error,
                                        m_shell.Window());
            } else {
                MailListRecord* added = m_state.ListCatalog.Append(std::move(header));
                m_lists.SortCatalog();
                emit m_lists.CatalogChanged();
                // By identity, not by name: two lists may share a name.
                const int row = m_state.ListCatalog.IndexOf(added);
                m_lists.ListsLB()->setCurrentRow(row);
                m_lists.OpenList(row);
            }
        }
    }
    Close();
}

void TListPropertiesPanel::SaveExisting()
{
    m_shell.CloseSlidingPanel(this, kWidth);
    m_title->setText(kNewTitle);
    m_state.EditingList = false;

    // The list the panel was opened for, whatever happened to be clicked meanwhile.
    MailListRecord* current = m_editing;
    if (!current || current != m_state.CurrentList || m_state.ListCatalog.IndexOf(current) < 0) {
        m_shell.Dialogs().Error(QStringLiteral("The list whose properties were shown is no longer open; "
                                               "nothing was saved."),
                                m_shell.Window());
        Close();
        return;
    }
    const QString oldName = current->Text(MailListRecord::Name);
    const QString oldPath = current->Text(MailListRecord::FilePath);
    MailListRecord edited = *current; // keeps the creation date and the path until set below
    FillHeader(edited);
    const QString newName = edited.Text(MailListRecord::Name);
    QString path = oldPath;
    if (newName != oldName) {
        const listplace::TRenameResult r = listplace::RenameList(ProgramFolder(), oldPath, newName, m_fileOps);
        for (const QString& message : r.errors)
            m_shell.Dialogs().Error(message, m_shell.Window());
        path = r.path; // always a path the list file is at
    }
    edited.SetText(MailListRecord::FilePath, path);
    *current = edited;

    m_lists.SortCatalog();
    if (path != oldPath)
        emit m_lists.CatalogChanged();
    m_lists.ListsLB()->setCurrentRow(m_state.ListCatalog.IndexOf(current));
    // The addresses in memory are the list: they are written with the new header, so
    // changes not yet saved are kept rather than replaced by the file's older copy.
    m_lists.UpdateListControls();
    emit m_lists.ListOpened();
    m_lists.SaveCurrentList();
    Close();
}

void TListPropertiesPanel::CancelBtnClick()
{
    m_shell.CloseSlidingPanel(this, kWidth);
    m_title->setText(kNewTitle);
    Close();
}

void TListPropertiesPanel::Close()
{
    ClearFields();
    m_state.EditingList = false;
    m_editing = nullptr;
    m_lists.UpdateListControls();
}

void TListPropertiesPanel::ServerSecurityClick(TMailProtocol protocol)
{
    const QLineEdit* server = protocol == TMailProtocol::Smtp ? m_smtp : m_pop;
    TServerSecurityDialog::Edit(m_shell.Dialogs(), m_shell.Window(), protocol, server->text(),
                                ProgramFolder() + QStringLiteral("Quorvel.ini"), passwordstore::Default());
}
