#include "net/DkimDialog.h"

#include "net/DialogParts.h"
#include "platform/Dialogs.h"
#include "platform/IniFile.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFile>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

using dialogparts::Named;

TDkimDialog::TDkimDialog(TDialogService& dialogs, const QString& iniPath, const QString& baseFolder,
                         const QString& fromDomain, QWidget* parent)
    : QDialog(parent), m_dialogs(dialogs), m_baseFolder(baseFolder), m_iniPath(iniPath)
{
    setObjectName(QStringLiteral("DkimDlg"));
    setWindowTitle(QStringLiteral("DKIM Signing"));
    auto* top = new QVBoxLayout(this);
    auto* intro = new QLabel(QStringLiteral("Messages whose From address is in this domain go out signed with your "
                                            "private key (RSA, PEM, made for example with \"openssl genpkey "
                                            "-algorithm RSA -pkeyopt rsa_keygen_bits:2048 -out news.pem\")."),
                             this);
    intro->setWordWrap(true);
    top->addWidget(intro);
    auto* fields = new QFormLayout;
    top->addLayout(fields);
    m_fromDomain = Named(new QLineEdit(fromDomain, this), "FromDomainEDT");
    fields->addRow(QStringLiteral("&From domain:"), m_fromDomain);
    m_signing = Named(new QCheckBox(QStringLiteral("Si&gn messages from this domain"), this), "SigningCB");
    m_signing->setChecked(true);
    fields->addRow(QString(), m_signing);
    m_selector = Named(new QLineEdit(this), "SelectorEDT");
    m_selector->setPlaceholderText(QStringLiteral("news2026"));
    fields->addRow(QStringLiteral("&Selector:"), m_selector);
    m_keyFile = Named(new QLineEdit(this), "KeyFileEDT");
    auto* browse = Named(new QPushButton(QStringLiteral("&Browse..."), this), "BrowseBtn");
    auto* keyRow = new QHBoxLayout;
    keyRow->addWidget(m_keyFile, 1);
    keyRow->addWidget(browse);
    auto* keyLabel = new QLabel(QStringLiteral("Private &key file:"), this);
    keyLabel->setBuddy(m_keyFile);
    fields->addRow(keyLabel, keyRow);
    m_domain = Named(new QLineEdit(this), "DomainEDT");
    fields->addRow(QStringLiteral("Signing &domain (d=):"), m_domain);
    top->addWidget(new QLabel(QStringLiteral("Publish this TXT record in the domain's DNS:"), this));
    m_record = Named(new QPlainTextEdit(this), "RecordMEM");
    m_record->setReadOnly(true);
    m_record->setMaximumHeight(90);
    top->addWidget(m_record);

    m_error = dialogparts::ErrorLine(this);
    top->addWidget(m_error);

    auto* buttons = dialogparts::OkCancel(this);
    top->addWidget(buttons);

    connect(m_fromDomain, &QLineEdit::editingFinished, this, [this] { DomainChanged(); });
    connect(m_keyFile, &QLineEdit::editingFinished, this, [this] { ShowRecord(); });
    connect(m_selector, &QLineEdit::editingFinished, this, [this] { ShowRecord(); });
    connect(m_domain, &QLineEdit::editingFinished, this, [this] { ShowRecord(); });
    connect(browse, &QPushButton::clicked, this, [this] {
        TFileDialogRequest rq;
        rq.title = QStringLiteral("Private key");
        rq.filters = {QStringLiteral("PEM keys (*.pem *.key)"), QStringLiteral("All files (*)")};
        rq.fileName = m_keyFile->text();
        rq.mustExist = true;
        if (m_dialogs.OpenFile(rq, this)) {
            m_keyFile->setText(rq.fileName);
            ShowRecord();
        }
    });
    DomainChanged();
    setMinimumWidth(520);
}

void TDkimDialog::DomainChanged()
{
    const TDkimSettings s = dkimsign::Load(TIniFile(m_iniPath), m_fromDomain->text(), m_baseFolder);
    m_signing->setChecked(true);
    m_selector->setText(s.Selector);
    m_keyFile->setText(s.KeyFile);
    m_domain->setText(s.Domain == s.FromDomain ? QString() : s.Domain);
    m_domain->setPlaceholderText(s.FromDomain);
    ShowRecord();
}

TDkimSettings TDkimDialog::Settings() const
{
    TDkimSettings s;
    s.Present = true;
    s.FromDomain = m_fromDomain->text().trimmed().toLower();
    s.Selector = m_selector->text().trimmed();
    s.KeyFile = m_keyFile->text().trimmed();
    s.Domain = m_domain->text().trimmed().toLower();
    if (s.Domain.isEmpty())
        s.Domain = s.FromDomain;
    s.KeyPath = dkimsign::KeyPath(s.KeyFile, m_baseFolder);
    return s;
}

bool TDkimDialog::Signing() const
{
    return m_signing->isChecked();
}

void TDkimDialog::ShowRecord()
{
    const TDkimSettings s = Settings();
    TDkimSigner signer;
    QString error;
    if (!dkimsign::Validate(s).isEmpty() || !dkimsign::LoadSigner(s, signer, error)) {
        m_record->clear();
        return;
    }
    // A TXT string holds at most 255 characters: a 2048-bit key's record takes two.
    const QString text = dkimsign::DnsRecord(signer);
    QStringList strings;
    for (qsizetype i = 0; i < text.size(); i += 255)
        strings << u'"' + text.mid(i, 255) + u'"';
    m_record->setPlainText(dkimsign::DnsName(signer) + QStringLiteral("  TXT  ") + strings.join(u' '));
}

void TDkimDialog::accept()
{
    if (Signing()) {
        const TDkimSettings s = Settings();
        QString error = dkimsign::Validate(s);
        TDkimSigner signer;
        if (error.isEmpty())
            dkimsign::LoadSigner(s, signer, error);
        if (!error.isEmpty()) {
            m_error->setText(error);
            m_error->show();
            return;
        }
    } else if (m_fromDomain->text().trimmed().isEmpty()) {
        m_error->setText(QStringLiteral("Enter the From domain."));
        m_error->show();
        return;
    }
    QDialog::accept();
}

bool TDkimDialog::Edit(TDialogService& dialogs, QWidget* parent, const QString& fromDomain, const QString& iniPath,
                       const QString& baseFolder)
{
    TDkimDialog dialog(dialogs, iniPath, baseFolder, fromDomain, parent);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    // Read again: the file may have changed while the dialog was open.
    TIniFile ini(iniPath);
    const TDkimSettings s = dialog.Settings();
    if (dialog.Signing())
        dkimsign::Save(ini, s);
    else
        ini.EraseSection(dkimsign::SectionName(s.FromDomain));
    if (!ini.UpdateFile()) {
        dialogs.Error(QStringLiteral("The DKIM settings of '%1' could not be written to \"%2\".").arg(s.FromDomain, iniPath),
                      parent);
        return false;
    }
    return true;
}
