#include "app/MainForm.h"

#include "app/AboutBox.h"
#include "app/GeneralPropertiesPanel.h"
#include "app/LabelEffect.h"
#include "app/Pictures.h"
#include "app/StatusLine.h"
#include "editor/FindPanel.h"
#include "editor/NewsletterEditor.h"
#include "guide/DesktopLinks.h"
#include "guide/NLWizardForm.h"
#include "inbox/NewMailPanel.h"
#include "lists/AddressPanel.h"
#include "lists/AddressTools.h"
#include "lists/ListFile.h"
#include "lists/ListPanel.h"
#include "lists/ListPropertiesPanel.h"
#include "net/Pop3Client.h"
#include "net/SmtpClient.h"
#include "net/Wait.h"
#include "net/WaitView.h"
#include "platform/ComponentNames.h"
#include "platform/Dialogs.h"
#include "platform/PanelFace.h"
#include "platform/ProgramFolder.h"
#include "platform/Registry.h"
#include "platform/Sound.h"
#include "spell/NewsletterSpelling.h"
#include "send/DigestPanel.h"
#include "send/SendEngine.h"
#include "send/SendMailPanel.h"

#include <QAbstractButton>
#include <QAction>
#include <QKeyEvent>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QMenuBar>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QCheckBox>
#include <QTableWidget>
#include <QTextEdit>
#include <QTimer>

#include <algorithm>
#include <tuple>
#include <QToolButton>

namespace {
const QString kTitle = QStringLiteral("Quorvel 1.3.1");
const QColor kDesignColor(0, 0, 0x87); // colour value 8847360
const QColor kNavy(0, 0, 128);         // colour value 8388608

// Side panel geometry: collapsed tab sizes and the tops of the right-hand tabs.
constexpr int kTab = 24;
constexpr int kNewsletterCollapsedH = 94;
constexpr int kNewMailCollapsedH = 85;
constexpr int kNewMailTop = 102;
constexpr int kDigestCollapsedH = 99;
constexpr int kDigestTop = 192;
constexpr int kOpenLeft = 256;
} // namespace

TMainForm::TMainForm(TSoundPlayer& sounds, std::unique_ptr<TDialogService> dialogs, QWidget* parent)
    : QMainWindow(parent), m_sounds(sounds), m_dialogs(dialogs ? std::move(dialogs) : std::make_unique<TQtDialogService>())
{
    InitPictures();
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(kTitle);
    setWindowIcon(QIcon(QStringLiteral(":/pictures/icon.png")));

    // FormCreate, in order.
    m_state.HelpFile = ResourcePath(QStringLiteral("Help.hlp"));
    {
        TRegistry reg;
        reg.SetRootKey(TRegistry::HKEY_LOCAL_MACHINE);
        m_state.SpellerPresent = reg.KeyExists(QStringLiteral("\\SOFTWARE\\Microsoft\\Shared Tools\\Proofing Tools\\Spelling"));
    }
    m_state.NewsletterWizardActive = false;
    m_state.MailListWizardActive = false;

    m_central = new QWidget(this);
    m_central->setObjectName(QStringLiteral("MainClient"));
    m_central->setAutoFillBackground(true);
    QPalette pal = m_central->palette();
    pal.setColor(QPalette::Window, kDesignColor);
    m_central->setPalette(pal);
    m_central->installEventFilter(this);
    setCentralWidget(m_central);
    resize(587, 435);

    BuildMenus();
    BuildMailComponents();
    BuildPanels();
    BuildStatusPanel();
    m_aboutBox = new TAboutBox(*this, m_central, this);
    BuildSending();
    BuildGuide();

    m_clearStatusTimer = new QTimer(this);
    m_clearStatusTimer->setObjectName(QStringLiteral("ClearStatusTimer1"));
    m_clearStatusTimer->setInterval(10000);
    connect(m_clearStatusTimer, &QTimer::timeout, this, &TMainForm::ClearStatusTimer1Timer);
    m_clearStatusTimer->start();

    qApp->installEventFilter(this); // hints toggle
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
        // Undo has nothing to act on in the two list boxes.
        const bool inLists = now && m_listPanel
                             && (now == m_listPanel->ListsLB() || now == m_listPanel->MailList()
                                 || m_listPanel->MailList()->isAncestorOf(now));
        Action(QStringLiteral("Undo1"))->setEnabled(!inLists);
    });

    LoadSettings();
    m_listPanel->SortCatalog();
    EnsureFolders();
    m_listPanel->UpdateListControls();
    UpdateSizeLimits();
}

TMainForm::~TMainForm()
{
    // Destroying the widgets moves the focus; the panels must not hear about it any more.
    disconnect(qApp, nullptr, this, nullptr);
    qApp->removeEventFilter(this);
    m_listPanel = nullptr;
}

int TMainForm::ClientWidth() const
{
    return m_central->width();
}

int TMainForm::ClientHeight() const
{
    return m_central->height();
}

QWidget* TMainForm::Panel(const QString& name) const
{
    return m_panels.value(name);
}

// ---------------------------------------------------------------- menus

QAction* TMainForm::AddAction(QMenu* menu, const char* name, const QString& caption, const QKeySequence& key,
                              bool enabled)
{
    Q_ASSERT_X(names::IsAction(QLatin1String(name)) && !m_actions.contains(QLatin1String(name)), "AddAction", name);
    auto* a = new QAction(caption, this);
    a->setObjectName(QLatin1String(name));
    m_actions.insert(QLatin1String(name), a);
    if (!key.isEmpty())
        a->setShortcut(key);
    a->setEnabled(enabled);
    if (menu)
        menu->addAction(a);
    return a;
}

QAction* TMainForm::Action(const QString& name)
{
    if (QAction* a = m_actions.value(name))
        return a;
    // Only the menu items exist: any other name is a mistake in the caller, never a new item.
    Q_ASSERT_X(false, "TMainForm::Action", qPrintable(name));
    qCritical("Quorvel: no menu item is named \"%s\"", qPrintable(name));
    if (!m_unknownAction)
        m_unknownAction = new QAction(this); // in no menu; keeps a release build running
    return m_unknownAction;
}

void TMainForm::BuildMenus()
{
    QMenuBar* bar = menuBar();
    QMenu* file = bar->addMenu(QStringLiteral("&File"));
    file->setObjectName(QStringLiteral("File1"));
    QMenu* lists = file->addMenu(QStringLiteral("Mail &Lists"));
    lists->setObjectName(QStringLiteral("MailLists1"));
    AddAction(lists, "NewMailList1", QStringLiteral("New List..."));
    AddAction(lists, "OpenMailList1", QStringLiteral("Open List..."));
    AddAction(lists, "RemoveMailList1", QStringLiteral("Remove List"));
    lists->addSeparator();
    // The address buttons have no keyboard path of their own: these items press them, and
    // are enabled as the buttons are.
    for (const auto& [name, caption, key, button] :
         {std::tuple{"NewAddress1", "New &Address...", "Ctrl+Shift+A", "NewBtn"},
          std::tuple{"EditAddress1", "&Edit Address...", "Ctrl+Shift+E", "Editbtn"},
          std::tuple{"RemoveAddress1", "Re&move Address", "Ctrl+Shift+D", "RemoveBtn"}}) {
        connect(AddAction(lists, name, QString::fromLatin1(caption), QKeySequence(QString::fromLatin1(key))),
                &QAction::triggered, this, [this, button = QString::fromLatin1(button)] {
                    QToolButton* b = m_listPanel->Button(button);
                    if (b && b->isEnabled())
                        b->click();
                    else
                        QApplication::beep();
                });
    }
    connect(lists, &QMenu::aboutToShow, this, [this] {
        for (const auto& [name, button] : {std::pair{"NewAddress1", "NewBtn"}, std::pair{"EditAddress1", "Editbtn"},
                                           std::pair{"RemoveAddress1", "RemoveBtn"}}) {
            QToolButton* b = m_listPanel->Button(QString::fromLatin1(button));
            Action(QString::fromLatin1(name))->setEnabled(b && b->isEnabled());
        }
    });
    lists->addSeparator();
    AddAction(lists, "ExportMailList1", QStringLiteral("Export List..."));
    AddAction(lists, "ImportMailList1", QStringLiteral("&Extract E-Mail Addresses..."), {}, false);
    AddAction(lists, "ImportCsv1", QStringLiteral("Import CSV..."), {}, false);
    AddAction(lists, "ExportCsv1", QStringLiteral("Export CSV..."), {}, false);
    QMenu* news = file->addMenu(QStringLiteral("&Newsletter"));
    news->setObjectName(QStringLiteral("Newsletter3"));
    AddAction(news, "NewNewsletter1", QStringLiteral("New..."), QKeySequence(QStringLiteral("Ctrl+N")));
    AddAction(news, "OpenFile1", QStringLiteral("&Open..."), QKeySequence(QStringLiteral("Ctrl+O")));
    AddAction(news, "SaveFile1", QStringLiteral("&Save"), QKeySequence(QStringLiteral("Ctrl+S")));
    AddAction(news, "SaveFileAs1", QStringLiteral("Save &As..."));
    AddAction(news, "CloseFile1", QStringLiteral("&Close"), QKeySequence(QStringLiteral("Ctrl+W")));
    AddAction(file, "ImportText1", QStringLiteral("&Import Text..."), QKeySequence(QStringLiteral("Ctrl+I")));
    file->addSeparator();
    QMenu* wizards = file->addMenu(QStringLiteral("&Wizards"));
    wizards->setObjectName(QStringLiteral("Wizards1"));
    AddAction(wizards, "MailList1", QStringLiteral("&Mail List"));
    AddAction(wizards, "Newsletter1", QStringLiteral("&Newsletter"));
    file->addSeparator();
    connect(AddAction(file, "Exit1", QStringLiteral("E&xit")), &QAction::triggered, this, &QWidget::close);

    QMenu* edit = bar->addMenu(QStringLiteral("&Edit"));
    edit->setObjectName(QStringLiteral("Edit1"));
    AddAction(edit, "Undo1", QStringLiteral("&Undo"), QKeySequence(QStringLiteral("Ctrl+Z")));
    edit->addSeparator();
    AddAction(edit, "Cut1", QStringLiteral("Cu&t"), QKeySequence(QStringLiteral("Ctrl+X")));
    AddAction(edit, "Copy1", QStringLiteral("&Copy"), QKeySequence(QStringLiteral("Ctrl+C")));
    AddAction(edit, "Paste1", QStringLiteral("&Paste"), QKeySequence(QStringLiteral("Ctrl+V")));
    AddAction(edit, "Clear1", QStringLiteral("Cle&ar"), QKeySequence(QStringLiteral("Ctrl+Del")));
    AddAction(edit, "SelectAll1", QStringLiteral("Select A&ll"), QKeySequence(QStringLiteral("Ctrl+A")));
    edit->addSeparator();
    AddAction(edit, "Find1", QStringLiteral("&Find..."), QKeySequence(QStringLiteral("Ctrl+F")), false);
    AddAction(edit, "Replace1", QStringLiteral("&Replace..."), QKeySequence(QStringLiteral("Ctrl+R")), false);

    QMenu* format = bar->addMenu(QStringLiteral("F&ormat"));
    format->setObjectName(QStringLiteral("Format1"));
    AddAction(format, "Font1", QStringLiteral("&Font..."), {}, false);

    QMenu* tools = bar->addMenu(QStringLiteral("&Tools"));
    tools->setObjectName(QStringLiteral("Tools1"));
    AddAction(tools, "CheckMail1", QStringLiteral("&Check Mail..."), QKeySequence(QStringLiteral("Ctrl+M")));
    AddAction(tools, "CancelSend1", QStringLiteral("Cancel Send"), QKeySequence(Qt::Key_Escape), false);
    tools->addSeparator();
    AddAction(tools, "Pemtrix1", QStringLiteral("Pemtrix"));
    tools->addSeparator();
    AddAction(tools, "InsertDate1", QStringLiteral("Insert &Date"), QKeySequence(QStringLiteral("Ctrl+D")), false);
    AddAction(tools, "InsertTime1", QStringLiteral("Insert &Time"), QKeySequence(QStringLiteral("Ctrl+T")), false);
    AddAction(tools, "CheckSpelling1", QStringLiteral("&Check Spelling..."), QKeySequence(QStringLiteral("F7")), false);
    tools->addSeparator();
    AddAction(tools, "PurgeInbox1", QStringLiteral("&Purge Inbox"));

    QMenu* view = bar->addMenu(QStringLiteral("&View"));
    view->setObjectName(QStringLiteral("View1"));
    AddAction(view, "Digest1", QStringLiteral("&Digest..."));
    connect(AddAction(view, "Newsletter2", QStringLiteral("&Newsletter...")), &QAction::triggered, this,
            &TMainForm::Newsletter2Click);
    connect(AddAction(view, "NewMail1", QStringLiteral("New &Mail...")), &QAction::triggered, this,
            &TMainForm::NewMail1Click);

    QMenu* options = bar->addMenu(QStringLiteral("O&ptions"));
    options->setObjectName(QStringLiteral("Options1"));
    AddAction(options, "GeneralProperties1", QStringLiteral("&General Properties..."));
    AddAction(options, "ListProperties1", QStringLiteral("&List Properties..."));
    AddAction(options, "BackgroundColor1", QStringLiteral("&Background Color..."));
    options->addSeparator();
    QAction* hints = AddAction(options, "Hints1", QStringLiteral("&Hints"));
    hints->setCheckable(true);
    hints->setChecked(true);
    connect(hints, &QAction::triggered, this, &TMainForm::Hints1Click);
    QAction* soundsItem = AddAction(options, "Sounds1", QStringLiteral("&Sounds"));
    soundsItem->setCheckable(true);
    soundsItem->setChecked(true);
    connect(soundsItem, &QAction::triggered, this, &TMainForm::Sounds1Click);

    QMenu* help = bar->addMenu(QStringLiteral("&Help"));
    help->setObjectName(QStringLiteral("Help1"));
    AddAction(help, "Help2", QStringLiteral("Help..."));
    help->addSeparator();
    AddAction(help, "HarrowlinWebSite1", QStringLiteral("Harrowlin Web Site"));
    AddAction(help, "QuorvelHomePage1", QStringLiteral("Quorvel Home Page"));
    help->addSeparator();
    connect(AddAction(help, "AboutQuorvel1", QStringLiteral("About Quorvel...")), &QAction::triggered, this,
            [this] { m_aboutBox->AboutQuorvel1Click(); });

    // The editor panes' pop-up menu.
    m_popupMenu = new QMenu(this);
    m_popupMenu->setObjectName(QStringLiteral("PopupMenu1"));
    AddAction(m_popupMenu, "Find2", QStringLiteral("&Find..."), QKeySequence(QStringLiteral("Ctrl+F")));
    AddAction(m_popupMenu, "Replace2", QStringLiteral("&Replace..."), QKeySequence(QStringLiteral("Ctrl+R")));
    AddAction(m_popupMenu, "Font2", QStringLiteral("F&ont..."));
    // Shown in the menu only: the Edit menu's items own the keys.
    for (const char* n : {"Find2", "Replace2"})
        Action(QLatin1String(n))->setShortcutContext(Qt::WidgetShortcut);

    for (QAction* a : std::as_const(m_actions)) {
        QString plain = a->text();
        plain.remove(u'&');
        a->setStatusTip(QString());
        a->setToolTip(plain);
    }
}

// ---------------------------------------------------------------- panels

QWidget* TMainForm::MakeSidePanel(const QString& name, const QString& labelName, const QString& title,
                                  TLabelEffect** label, bool titleOnRight)
{
    auto* panel = new QFrame(m_central);
    panel->setObjectName(name);
    panel->setAccessibleName(title);
    ApplyPanelFace(panel);

    auto* l = new TLabelEffect(title, panel);
    l->setObjectName(labelName);
    l->setAccessibleName(title);
    QPalette lp = l->palette();
    lp.setColor(QPalette::Window, QColor(0, 0, 128));
    lp.setColor(QPalette::WindowText, QColor(0xFF, 0xE0, 0x80));
    l->setPalette(lp);
    l->setProperty("titleOnRight", titleOnRight);
    *label = l;
    SetTitleHint(l, false);
    panel->installEventFilter(this);
    m_panels.insert(name, panel);
    return panel;
}

void TMainForm::SetTitleHint(TLabelEffect* label, bool open)
{
    const QString hint = open ? QStringLiteral("Hide panel") : QStringLiteral("Show panel");
    label->setToolTip(hint);
    label->setAccessibleDescription(hint);
}

void TMainForm::BuildPanels()
{
    const int cw = ClientWidth();

    QWidget* lists = MakeSidePanel(QStringLiteral("MailListPanel"), QStringLiteral("MailListLBL"),
                                   QStringLiteral("Mail Lists"), &m_mailListLBL, true);
    lists->setGeometry(0, 3, 253, 361);
    m_mailListLBL->setGeometry(229, 0, kTab, 361);
    connect(m_mailListLBL, &TLabelEffect::clicked, this, &TMainForm::MailListLBLClick);
    m_listPanel = new TListPanel(*this, m_state.Lists, lists, this);
    connect(m_listPanel, &TListPanel::CatalogChanged, this, &TMainForm::SaveCatalog);
    SetTitleHint(m_mailListLBL, true);
    connect(Action(QStringLiteral("OpenMailList1")), &QAction::triggered, this,
            [this] { m_listPanel->OpenMailList1Click(); });
    connect(Action(QStringLiteral("RemoveMailList1")), &QAction::triggered, this,
            [this] { m_listPanel->RemoveMailList1Click(); });

    QWidget* news = MakeSidePanel(QStringLiteral("NewsLetterPanel"), QStringLiteral("NewsletterLBL"),
                                  QStringLiteral("Newsletter"), &m_newsletterLBL, false);
    news->setGeometry(cw - kTab, 3, kTab, kNewsletterCollapsedH);
    m_newsletterLBL->setGeometry(0, 0, kTab, kNewsletterCollapsedH);
    connect(m_newsletterLBL, &TLabelEffect::clicked, this, &TMainForm::NewsletterLBLClick);
    // The newsletter editor builds its controls inside the panel.
    auto* newsletter = new TNewsletterEditor(*this, news, this);
    m_newsletter = newsletter;
    connect(newsletter, &TNewsletterEditor::TitleActionRequested, this, &TMainForm::NewsletterLBLClick);
    connect(newsletter, &TNewsletterEditor::BackgroundColorChosen, this, [this](const QColor& color) {
        QPalette pal = m_central->palette();
        pal.setColor(QPalette::Window, color);
        m_central->setPalette(pal);
        SetStatusPanelColor(color);
    });
    CloseNewsletter = [newsletter] { return newsletter->CloseFile1Click(); };
    // SpellChecker1 and the spelling commands (CheckSpelling1, F7, CheckSpellingBtn).
    auto* spelling = new TNewsletterSpelling(*this, *newsletter, this);
    spelling->SpellerUnavailable = [this] { m_state.SpellerPresent = false; };

    QWidget* mail = MakeSidePanel(QStringLiteral("NewMailPanel"), QStringLiteral("NewMailLBL"),
                                  QStringLiteral("New Mail"), &m_newMailLBL, false);
    mail->setGeometry(cw - kTab, kNewMailTop, kTab, kNewMailCollapsedH);
    m_newMailLBL->setGeometry(0, 0, kTab, kNewMailCollapsedH);
    connect(m_newMailLBL, &TLabelEffect::clicked, this, &TMainForm::NewMailLBLClick);
    // The mail check builds the panel's toolbar, grid and message pane.
    m_newMail = new TNewMailPanel(*this, m_state.Lists, m_state.Inbox, *m_listPanel, *m_pop3Client1, mail, this);
    m_newMail->TogglePanel = [this] { NewMailLBLClick(); };
    m_newMail->OpenNewsletter = [this] { OpenNewsletterPanel(); };
    m_messageRE = m_newMail->MessageRE();

    QWidget* digest = MakeSidePanel(QStringLiteral("DigestPanel"), QStringLiteral("ViewDigestLBL"),
                                    QStringLiteral("View Digest"), &m_viewDigestLBL, false);
    digest->setGeometry(cw - kTab, kDigestTop, kTab, kDigestCollapsedH);
    m_viewDigestLBL->setGeometry(0, 0, kTab, kDigestCollapsedH);
    connect(m_viewDigestLBL, &TLabelEffect::clicked, this, &TMainForm::ViewDigestLBLClick);
    m_digestRE = new QTextEdit(digest);
    m_digestRE->setObjectName(QStringLiteral("DigestRE"));
    m_digestRE->setAccessibleName(QStringLiteral("Digest"));
    m_digestRE->setReadOnly(false);
    m_digestRE->setGeometry(32, 40, 200, 45);
    for (QTextEdit* pane : {m_messageRE, m_digestRE}) {
        pane->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(pane, &QWidget::customContextMenuRequested, this,
                [this, pane](const QPoint& p) { m_popupMenu->popup(pane->mapToGlobal(p)); });
    }

    // The find panel starts off screen at the left.
    auto* find = new TFindPanel(*this, m_central);
    m_findPanel = find;
    find->setGeometry(-307, ClientHeight() - 300, 296, 134);

    m_generalPanel = new TGeneralPropertiesPanel(*this, m_state.GeneralSettings, [this] { SaveSettings(); }, m_central);
    m_generalPanel->setGeometry(cw - TGeneralPropertiesPanel::kWidth, 3, TGeneralPropertiesPanel::kWidth, 0);
    m_panels.insert(QStringLiteral("UserOptionsPanel"), m_generalPanel);
    connect(Action(QStringLiteral("GeneralProperties1")), &QAction::triggered, this,
            [this] { m_generalPanel->GeneralProperties1Click(); });
    connect(m_generalPanel->cb_AutoSaveLists(), &QCheckBox::toggled, this,
            [this](bool on) { m_state.Lists.AutoSaveLists = on; });
    // SpeedButton4-6 on this panel open the header/footer/signature editor (wired by
    // TSigForm::AttachButtons in main.cpp).

    // List properties, address entry, extraction and export.
    m_listPropertiesPanel = new TListPropertiesPanel(*this, m_state.Lists, *m_listPanel, m_central);
    m_listPropertiesPanel->setGeometry(cw - TListPropertiesPanel::kWidth, 3, TListPropertiesPanel::kWidth, 0);
    m_panels.insert(QStringLiteral("NewMLPanel"), m_listPropertiesPanel);
    m_addressPanel = new TAddressPanel(*this, m_state.Lists, *m_listPanel, m_central);
    m_addressPanel->setGeometry(cw - TAddressPanel::kWidth, 3, TAddressPanel::kWidth, 0);
    m_panels.insert(QStringLiteral("NewAddPanel"), m_addressPanel);
    m_addressTools = new TAddressTools(*this, m_state.Lists, *m_listPanel, this);
    connect(Action(QStringLiteral("NewMailList1")), &QAction::triggered, this,
            [this] { m_listPropertiesPanel->NewMailList1Click(); });
    connect(Action(QStringLiteral("ListProperties1")), &QAction::triggered, this,
            [this] { m_listPropertiesPanel->ListProperties1Click(); });
    m_newMail->OpenListPropertiesOnPop = [this] {
        m_listPropertiesPanel->ListProperties1Click();
        QTabWidget* pages = m_listPropertiesPanel->Pages();
        for (int i = 0; i < pages->count(); ++i) {
            if (pages->tabText(i) == QLatin1String("POP"))
                pages->setCurrentIndex(i);
        }
        m_listPropertiesPanel->Field(QStringLiteral("POPEDT"))->setFocus();
    };
    connect(Action(QStringLiteral("ExportMailList1")), &QAction::triggered, this,
            [this] { m_addressTools->ExportMailList1Click(); });
    connect(Action(QStringLiteral("ImportMailList1")), &QAction::triggered, this,
            [this] { m_addressTools->ImportMailList1Click(); });
    connect(Action(QStringLiteral("ImportCsv1")), &QAction::triggered, this, [this] { m_addressTools->ImportCsv1Click(); });
    connect(Action(QStringLiteral("ExportCsv1")), &QAction::triggered, this, [this] { m_addressTools->ExportCsv1Click(); });
    // SpeedButton1-3 on the list properties panel open the header/footer/signature editor
    // (wired by TSigForm::AttachButtons in main.cpp).
}

void TMainForm::BuildStatusPanel()
{
    m_statusPanel = new QWidget(m_central);
    m_statusPanel->setObjectName(QStringLiteral("StatusPanel"));
    m_statusPanel->setAutoFillBackground(true);
    SetStatusPanelColor(kNavy);
    m_statusBar = new TStatusLabel(m_statusPanel);
    m_statusBar->setText(QStringLiteral("Status:"));
    m_statusBar->setObjectName(QStringLiteral("StatusBar"));
    m_statusBar->setGeometry(8, 4, 200, 16);
    m_gauge = new QProgressBar(m_statusPanel);
    m_gauge->setObjectName(QStringLiteral("Gauge1"));
    m_gauge->setRange(0, 1000);
    m_gauge->setTextVisible(true);
    m_gauge->setGeometry(0, 4, 150, 16);
    m_gauge->setVisible(false);
    m_panels.insert(QStringLiteral("StatusPanel"), m_statusPanel);
}

void TMainForm::SetStatusPanelColor(const QColor& color)
{
    QPalette pal = m_statusPanel->palette();
    pal.setColor(QPalette::Window, color);
    pal.setColor(QPalette::WindowText, statusline::ReadableTextColor(color));
    m_statusPanel->setPalette(pal);
}

void TMainForm::BuildMailComponents()
{
    // The wait object belongs to the window; its painted view is a child of the window,
    // hidden and off screen, shown only while the clients wait.
    m_wait1 = new TWait(this);
    m_wait1->SetCaption(QStringLiteral("60"));
    m_wait1->SetInterval(1000);
    auto* waitView = new TWaitView(m_wait1, m_central);
    waitView->setObjectName(QStringLiteral("Wait1"));
    waitView->move(-220, 0);

    m_pop3Client1 = new TPop3Client(this);
    m_pop3Client1->setObjectName(QStringLiteral("Pop3Client1"));
    m_pop3Client1->SetPort(QStringLiteral("pop3"));
    m_pop3Client1->SetSettingsFile(settingsfile::FileName()); // per-server sections
    m_pop3Client1->SetWait(m_wait1);
    m_pop3Client1->SetTimeOut(15);

    m_smtpClient1 = new TSmtpClient(this);
    m_smtpClient1->setObjectName(QStringLiteral("SmtpClient1"));
    m_smtpClient1->SetPort(QStringLiteral("smtp"));
    m_smtpClient1->SetWait(m_wait1);
    m_smtpClient1->SetCharSet(QStringLiteral("iso-8859-1"));
    m_smtpClient1->SetSettingsFile(settingsfile::FileName()); // per-server sections
}

void TMainForm::BuildGuide()
{
    // The wizard window floats above this one and is hidden until a wizard starts.
    m_wizard = new TNLWizardForm(*this, m_state.NewsletterWizardActive, m_state.MailListWizardActive, this);
    connect(Action(QStringLiteral("Newsletter1")), &QAction::triggered, m_wizard, &TNLWizardForm::Newsletter1Click);
    connect(Action(QStringLiteral("MailList1")), &QAction::triggered, m_wizard, &TNLWizardForm::MailList1Click);
    m_listPropertiesPanel->SetWizard(m_wizard);
    connect(m_newsletter, &TNewsletterEditor::NewsletterStarted, m_wizard, &TNLWizardForm::NewNewsletterStarted);

    m_desktopLinks = new TDesktopLinks(*this, this);
    m_desktopLinks->SetHelpFile(m_state.HelpFile);
}

void TMainForm::BuildSending()
{
    // Send panel, send engine (which binds SmtpClient1's events) and the digest pane.
    m_sendPanel = new TSendMailPanel(*this, m_state.Lists, m_state.GeneralSettings, *m_listPanel, m_central);
    m_listPanel->SetCheckAllBtn(m_sendPanel->CheckAllBtn());
    // Reply puts the sender's address on the send panel's address page.
    m_newMail->AddReplyAddress = [this](const QString& address) { m_sendPanel->AddReplyAddress(address); };
    m_sendPanel->setGeometry(ClientWidth() - TSendMailPanel::kWidth, 3, TSendMailPanel::kWidth, 0);
    m_sendPanel->setVisible(false);
    m_panels.insert(QStringLiteral("SendMailPanel"), m_sendPanel);
    m_digestPanel = new TDigestPanel(*this, m_panels.value(QStringLiteral("DigestPanel")), m_digestRE, this);
    m_digestPanel->SaveDefaultFont = [this](const QFont& font, const QColor& color) {
        QString error;
        if (!SettingsWritten(settingsfile::SaveDigestFont(settingsfile::FileName(), font, color, &error), error))
            return false;
        TDigestFontSpec& f = m_state.DigestFont;
        f.Name = font.family();
        f.Size = font.pointSize();
        f.Bold = font.bold();
        f.Italic = font.italic();
        f.Underline = font.underline();
        f.StrikeOut = font.strikeOut();
        f.Color = color;
        return true;
    };
    m_sendEngine = new TSendEngine({*this, m_state.Lists, m_state.GeneralSettings, *m_listPanel, *m_sendPanel,
                                    *m_digestPanel, *m_smtpClient1, m_newsletter->SubjectEDT(), m_newsletter->LetterRE(),
                                    [this] { return m_generalPanel->se_Timeout()->value(); }},
                                   this);
    CompileDigest = [this] { m_sendEngine->CompileDigest(false); };
    connect(m_newsletter->Button(QStringLiteral("SendMailToBtn")), &QToolButton::clicked, m_sendPanel,
            &TSendMailPanel::SendMailToBtnClick);
    connect(m_sendPanel, &TSendMailPanel::SendRequested, m_sendEngine, &TSendEngine::SendToBtnClick);
    connect(Action(QStringLiteral("CancelSend1")), &QAction::triggered, m_sendEngine, &TSendEngine::CancelSend1Click);
    connect(Action(QStringLiteral("Digest1")), &QAction::triggered, this, [this] {
        QWidget* p = m_panels.value(QStringLiteral("DigestPanel"));
        if (p->height() <= kDigestCollapsedH) {
            ViewDigestLBLClick();
        } else {
            m_state.ActiveEditor = QStringLiteral("Digest");
            p->raise();
        }
    });
}

// ---------------------------------------------------------------- start-up

void TMainForm::EnsureFolders()
{
    const QString base = ProgramFolder();
    for (const QString& folder : {QStringLiteral("User"), QStringLiteral("User/Sent Mail"), QStringLiteral("Inbox")}) {
        if (QDir(base + folder).exists())
            continue;
        if (!QDir().mkdir(base + folder))
            m_dialogs->Error(QStringLiteral("Could not create directory ") + base + folder + u'.', this);
    }
}

void TMainForm::LoadCatalog(const QStringList& paths)
{
    m_state.Lists.ListCatalog.Clear();
    m_state.Lists.UnreadableLists.clear();
    for (const QString& path : paths) {
        auto header = std::make_unique<MailListRecord>();
        QString error;
        if (!listfile::ReadHeader(path, header.get(), &error)) {
            // Kept in the settings file: the list may be on a drive that is not there today.
            m_state.Lists.UnreadableLists << path;
            m_dialogs->Error(QStringLiteral("Could not open the mail list file ") + path + QStringLiteral(":\n")
                                 + error + QStringLiteral("\nThe list stays in the catalog but is not shown."),
                             this);
            continue;
        }
        // The file is where we just read it, whatever its header says.
        if (header->Text(MailListRecord::FilePath) != path)
            header->SetText(MailListRecord::FilePath, path);
        m_state.Lists.ListCatalog.Append(std::move(header));
    }
}

void TMainForm::LoadSettings()
{
    const QString path = settingsfile::FileName();
    const TSettingsData d = settingsfile::Load(path);
    if (!d.ReadError.isEmpty()) {
        m_dialogs->Error(QStringLiteral("Could not read the settings file ") + path + QStringLiteral(":\n")
                             + d.ReadError
                             + QStringLiteral("\nDefault settings are used, and the file is not written over."),
                         this);
    }
    if (d.MissingLists > 0) {
        m_dialogs->Error(QStringLiteral("The settings file ") + path + QStringLiteral(" lists ")
                             + QString::number(d.MissingLists)
                             + QStringLiteral(" mail list catalog entries that are missing; they were left out."),
                         this);
    }
    m_state.GeneralSettings = d.General;
    m_generalPanel->se_Timeout()->setValue(d.Timeout);
    if (d.Color) {
        QPalette pal = m_central->palette();
        pal.setColor(QPalette::Window, *d.Color);
        m_central->setPalette(pal);
    }
    SetStatusPanelColor(d.Color ? *d.Color : kNavy);
    Action(QStringLiteral("Hints1"))->setChecked(d.Hints);
    m_hints = d.Hints;
    Action(QStringLiteral("Sounds1"))->setChecked(d.Sounds);
    m_generalPanel->cb_AutoSaveLists()->setChecked(d.AutoSave);
    m_state.Lists.AutoSaveLists = d.AutoSave;
    LoadCatalog(d.ListPaths);
    m_state.DigestFont = d.DigestFont;
    m_digestPanel->SetDigestFont(d.DigestFont.ToFont(), d.DigestFont.Color);
}

QStringList TMainForm::CatalogPaths() const
{
    QStringList paths;
    for (int i = 0; i < m_state.Lists.ListCatalog.Count(); ++i)
        paths << m_state.Lists.ListCatalog.At(i)->Text(MailListRecord::FilePath);
    return paths + m_state.Lists.UnreadableLists;
}

bool TMainForm::SettingsWritten(bool ok, const QString& error)
{
    if (!ok)
        m_dialogs->Error(QStringLiteral("Could not write the settings file ") + settingsfile::FileName()
                             + QStringLiteral(":\n") + error,
                         this);
    return ok;
}

void TMainForm::SaveCatalog()
{
    QString error;
    SettingsWritten(settingsfile::SaveCatalog(settingsfile::FileName(), CatalogPaths(), &error), error);
}

bool TMainForm::SaveSettings()
{
    TSettingsData d;
    d.General = m_state.GeneralSettings;
    d.Timeout = m_generalPanel->se_Timeout()->value();
    d.Color = m_central->palette().color(QPalette::Window);
    d.Hints = Action(QStringLiteral("Hints1"))->isChecked();
    d.Sounds = Action(QStringLiteral("Sounds1"))->isChecked();
    d.AutoSave = m_generalPanel->cb_AutoSaveLists()->isChecked();
    d.ListPaths = CatalogPaths();
    QString error;
    return SettingsWritten(settingsfile::Save(settingsfile::FileName(), d, &error), error);
}

void TMainForm::UpdateSizeLimits()
{
    setMinimumSize(600, 435);
    // The tracking limit applies to a window the user sizes; maximised takes the screen.
    if (isMaximized() || isFullScreen())
        setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    else
        setMaximumSize(800, 600);
}

void TMainForm::showEvent(QShowEvent* e)
{
    QMainWindow::showEvent(e);
    if (!m_activated) {
        m_activated = true;
        FormResize();
        QTimer::singleShot(0, this, &TMainForm::FormActivate);
    }
}

void TMainForm::changeEvent(QEvent* e)
{
    QMainWindow::changeEvent(e);
    if (e->type() == QEvent::WindowStateChange)
        UpdateSizeLimits();
}

void TMainForm::FormActivate()
{
    OfferRecovery();
    if (m_state.ShowWizardOnActivate) {
        m_state.ShowWizardOnActivate = false;
        Action(QStringLiteral("MailList1"))->trigger();
    }
}

void TMainForm::FormResize()
{
    const int cw = ClientWidth();
    const int ch = ClientHeight();
    m_statusPanel->setGeometry(0, ch - 24, cw, 24);
    m_statusBar->resize(qMax(0, cw - 22), m_statusBar->height());
    for (const char* n : {"NewsLetterPanel", "NewMailPanel", "DigestPanel"}) {
        QWidget* p = m_panels.value(QLatin1String(n));
        p->move(cw - p->width(), p->y());
    }
    m_gauge->move(m_statusPanel->width() - m_gauge->width() - 10, m_gauge->y());
    m_statusPanel->raise();
}

// ---------------------------------------------------------------- events

bool TMainForm::eventFilter(QObject* watched, QEvent* e)
{
    switch (e->type()) {
    case QEvent::KeyPress:
        m_sessionSaved = false; // someone is at the window again
        if (static_cast<QKeyEvent*>(e)->key() == Qt::Key_Escape && static_cast<QKeyEvent*>(e)->modifiers() == Qt::NoModifier
            && CancelSlidingPanel(watched))
            return true;
        break;
    case QEvent::MouseButtonPress:
        m_sessionSaved = false;
        break;
    case QEvent::ToolTip:
        if (!m_hints)
            return true; // hints off: swallow every tool tip
        break;
    case QEvent::Resize:
        if (watched == m_central) {
            FormResize();
        } else if (watched == m_panels.value(QStringLiteral("DigestPanel"))) {
            m_digestRE->resize(m_digestRE->width(), qMax(0, static_cast<QWidget*>(watched)->height() - 54));
        }
        break;
    case QEvent::MouseButtonRelease:
        if (watched == m_panels.value(QStringLiteral("NewsLetterPanel")))
            static_cast<QWidget*>(watched)->raise();
        break;
    default:
        break;
    }
    return QMainWindow::eventFilter(watched, e);
}

bool TMainForm::HintsOn() const
{
    return m_hints;
}

// ---------------------------------------------------------------- shell services

void TMainForm::SetStatus(const QString& text, bool paintNow)
{
    m_statusBar->SetStatusText(text);
    if (paintNow)
        m_statusBar->repaint();
}

QString TMainForm::Status() const
{
    return m_statusBar->text();
}

void TMainForm::StopStatusTimer()
{
    m_clearStatusTimer->stop();
}

void TMainForm::StartStatusTimer()
{
    m_clearStatusTimer->start();
}

void TMainForm::ClearStatusTimer1Timer()
{
    SetStatus(QStringLiteral("Status:"));
}

void TMainForm::PlaySound(const QString& fileName)
{
    if (Action(QStringLiteral("Sounds1"))->isChecked())
        m_sounds.Play(fileName);
}

void TMainForm::ShowGauge(qint64 maximum)
{
    m_gaugeMax = qMax<qint64>(1, maximum);
    m_gauge->setValue(0);
    m_gauge->setVisible(true);
    m_gauge->repaint();
}

void TMainForm::SetGaugeProgress(qint64 progress)
{
    const int v = int(std::clamp<qint64>(progress * 1000 / m_gaugeMax, 0, 1000));
    if (v != m_gauge->value())
        m_gauge->setValue(v);
}

void TMainForm::HideGauge()
{
    m_gauge->setVisible(false);
}

void TMainForm::OpenSlidingPanel(QWidget* panel, int width, int height, QWidget* focus, bool playSound)
{
    panel->raise();
    panel->setVisible(true);
    panel->setGeometry(ClientWidth() - width, 3, width, panel->height());
    if (playSound)
        PlaySound(QStringLiteral("tamo105.cls"));
    panel->resize(width, height);
    if (panel->objectName() != names::SendMailPanel && !m_editPanels.contains(panel))
        m_editPanels << panel;
    if (!m_slidingPanels.contains(panel))
        m_slidingPanels << panel;
    m_listPanel->UpdateListControls();
    if (focus)
        focus->setFocus();
}

void TMainForm::CloseSlidingPanel(QWidget* panel, int width)
{
    panel->setVisible(false);
    panel->setGeometry(ClientWidth() - width, 3, width, 0);
    m_editPanels.removeAll(panel);
    m_slidingPanels.removeAll(panel);
    // Another edit panel still open keeps everything it disabled disabled.
    m_listPanel->UpdateListControls();
}

QWidget* TMainForm::FocusedSlidingPanel() const
{
    QWidget* focus = QApplication::focusWidget();
    for (QWidget* panel : m_slidingPanels) {
        if (focus && panel->isVisible() && panel->isAncestorOf(focus))
            return panel;
    }
    return nullptr;
}

bool TMainForm::CancelSlidingPanel(QObject* watched)
{
    QWidget* panel = FocusedSlidingPanel();
    if (!panel || !watched->isWidgetType() || !panel->isAncestorOf(static_cast<QWidget*>(watched)))
        return false;
    // Escape is the panel's own Cancel button.
    for (QAbstractButton* b : panel->findChildren<QAbstractButton*>()) {
        if (b->objectName().endsWith(QLatin1String("CancelBtn")) && b->isVisible() && b->isEnabled()) {
            b->click();
            return true;
        }
    }
    return false;
}

bool TMainForm::TabStop(QWidget* w, QWidget* confine) const
{
    if (!w || w->window() != this || !w->isEnabled() || !w->isVisible() || w->focusProxy()
        || (w->focusPolicy() & Qt::TabFocus) != Qt::TabFocus)
        return false;
    if (confine && !confine->isAncestorOf(w))
        return false;
    // A collapsed side panel clips its controls away, an open one covers the tabs below it:
    // what cannot be seen takes no focus.
    return !w->visibleRegion().isEmpty();
}

void TMainForm::LeaveCollapsedPanel(QWidget* panel)
{
    // Keys typed into a control that has just been folded away would go where nobody sees.
    QWidget* focus = QApplication::focusWidget();
    if (focus && panel->isAncestorOf(focus))
        focusNextPrevChild(true);
}

bool TMainForm::focusNextPrevChild(bool next)
{
    QWidget* start = QApplication::focusWidget();
    if (!start || start->window() != this)
        return QMainWindow::focusNextPrevChild(next);
    // An open sliding panel keeps Tab inside itself.
    QWidget* confine = FocusedSlidingPanel();
    QWidget* w = start;
    for (int guard = 0; guard < 10000; ++guard) {
        w = next ? w->nextInFocusChain() : w->previousInFocusChain();
        if (!w || w == start)
            return true;
        if (TabStop(w, confine)) {
            w->setFocus(next ? Qt::TabFocusReason : Qt::BacktabFocusReason);
            return true;
        }
    }
    return true;
}

bool TMainForm::EditPanelOpen() const
{
    return !m_editPanels.isEmpty();
}

void TMainForm::ProcessMessages()
{
    m_pump.Pump();
}

QTextEdit* TMainForm::EditorPane(const QString& name)
{
    if (name == QLatin1String("Message"))
        return m_messageRE;
    if (name == QLatin1String("Digest"))
        return m_digestRE;
    if (name == QLatin1String("Letter"))
        return m_newsletter ? m_newsletter->LetterRE() : nullptr;
    return nullptr;
}

QLineEdit* TMainForm::Subject()
{
    return m_newsletter ? m_newsletter->SubjectEDT() : nullptr;
}

void TMainForm::FocusEditor(const QString& name)
{
    const bool letter = name == QLatin1String("Letter");
    m_state.ActiveEditor = name;
    UpdateEditorCommands({.Find = true, .Replace = letter, .ReplaceAll = letter});
}

// ---------------------------------------------------------------- side panels

void TMainForm::MailListLBLClick()
{
    QWidget* p = m_panels.value(QStringLiteral("MailListPanel"));
    if (p->x() != 0) {
        p->raise();
        p->setGeometry(0, p->y(), p->width(), 361);
        m_mailListLBL->resize(kTab, 361);
        PlaySound(QStringLiteral("tamo103.cls"));
        SetTitleHint(m_mailListLBL, true);
    } else {
        p->setGeometry(-229, p->y(), p->width(), 85);
        m_mailListLBL->resize(kTab, 85);
        PlaySound(QStringLiteral("tamo104.cls"));
        SetTitleHint(m_mailListLBL, false);
    }
}

void TMainForm::NewsletterLBLClick()
{
    QWidget* p = m_panels.value(QStringLiteral("NewsLetterPanel"));
    const int cw = ClientWidth();
    const int ch = ClientHeight();
    if (p->height() < 95) {
        p->raise();
        p->setGeometry(kOpenLeft, p->y(), cw - kOpenLeft, ch - 40);
        m_newsletter->FitToPanelWidth();
        UpdateEditorCommands({.Find = true, .Replace = true, .Font = true, .ReplaceAll = true, .InsertDateTime = true});
        m_state.ActiveEditor = QStringLiteral("Letter");
        PlaySound(QStringLiteral("tamo103.cls"));
        SetTitleHint(m_newsletterLBL, true);
    } else {
        p->setGeometry(cw - kTab, p->y(), kTab, kNewsletterCollapsedH);
        p->lower();
        LeaveCollapsedPanel(p);
        UpdateEditorCommands(
            {.Find = false, .Replace = false, .Font = false, .InsertDateTime = false, .CheckSpelling = false});
        PlaySound(QStringLiteral("tamo104.cls"));
        SetTitleHint(m_newsletterLBL, false);
    }
}

void TMainForm::NewMailLBLClick()
{
    QWidget* p = m_panels.value(QStringLiteral("NewMailPanel"));
    const int cw = ClientWidth();
    const int ch = ClientHeight();
    if (p->height() < 86) {
        p->raise();
        p->setGeometry(kOpenLeft, 3, cw - kOpenLeft, ch - 40); // the panel sizes its controls
        UpdateEditorCommands({.Find = true, .Replace = false, .ReplaceAll = false});
        m_state.ActiveEditor = QStringLiteral("Message");
        PlaySound(QStringLiteral("tamo103.cls"));
        SetTitleHint(m_newMailLBL, true);
    } else {
        p->setGeometry(cw - kTab, kNewMailTop, kTab, kNewMailCollapsedH);
        p->lower();
        LeaveCollapsedPanel(p);
        UpdateEditorCommands({.Find = false, .Replace = false});
        PlaySound(QStringLiteral("tamo104.cls"));
        SetTitleHint(m_newMailLBL, false);
    }
}

void TMainForm::ViewDigestLBLClick()
{
    QWidget* p = m_panels.value(QStringLiteral("DigestPanel"));
    const int cw = ClientWidth();
    const int ch = ClientHeight();
    if (p->height() <= 99) {
        if (m_state.Lists.ListCatalog.Count() > 0 && CompileDigest) {
            QApplication::setOverrideCursor(Qt::WaitCursor);
            CompileDigest();
            QApplication::restoreOverrideCursor();
        }
        p->raise();
        p->setGeometry(kOpenLeft, 3, cw - kOpenLeft, ch - 40);
        m_digestRE->resize(p->width() - 40, m_digestRE->height());
        UpdateEditorCommands(
            {.Find = true, .Replace = false, .Font = true, .ReplaceAll = false, .PopupReplace = false});
        m_state.ActiveEditor = QStringLiteral("Digest");
        PlaySound(QStringLiteral("tamo103.cls"));
        SetTitleHint(m_viewDigestLBL, true);
    } else {
        p->setGeometry(cw - kTab, kDigestTop, kTab, kDigestCollapsedH);
        p->lower();
        LeaveCollapsedPanel(p);
        UpdateEditorCommands({.Find = false, .Replace = false, .Font = false, .PopupReplace = true});
        PlaySound(QStringLiteral("tamo104.cls"));
        SetTitleHint(m_viewDigestLBL, false);
    }
}

void TMainForm::OpenNewsletterPanel()
{
    QWidget* p = m_panels.value(QStringLiteral("NewsLetterPanel"));
    if (p->height() < 95) {
        NewsletterLBLClick();
        return;
    }
    p->raise();
    p->setGeometry(kOpenLeft, p->y(), ClientWidth() - kOpenLeft, ClientHeight() - 40);
    m_newsletter->FitToPanelWidth();
}

void TMainForm::UpdateEditorCommands(const TEditorCommands& c)
{
    auto set = [this](const char* name, const std::optional<bool>& on) {
        if (on)
            Action(QLatin1String(name))->setEnabled(*on);
    };
    set("Find1", c.Find);
    set("Replace1", c.Replace);
    set("Font1", c.Font);
    set("Replace2", c.PopupReplace);
    set("InsertDate1", c.InsertDateTime);
    set("InsertTime1", c.InsertDateTime);
    set("CheckSpelling1", c.CheckSpelling);
    if (c.ReplaceAll && m_findPanel)
        m_findPanel->ReplaceAllBtn()->setEnabled(*c.ReplaceAll);
}

void TMainForm::Newsletter2Click()
{
    QWidget* p = m_panels.value(QStringLiteral("NewsLetterPanel"));
    if (p->height() == kNewsletterCollapsedH) {
        NewsletterLBLClick();
    } else {
        m_state.ActiveEditor = QStringLiteral("Letter");
        p->raise();
    }
}

void TMainForm::NewMail1Click()
{
    QWidget* p = m_panels.value(QStringLiteral("NewMailPanel"));
    if (p->height() == kNewMailCollapsedH) {
        NewMailLBLClick();
    } else {
        m_state.ActiveEditor = QStringLiteral("Message");
        p->raise();
    }
}

// ---------------------------------------------------------------- toggles, about

void TMainForm::Sounds1Click()
{
    // QAction already inverted its check mark.
}

void TMainForm::Hints1Click()
{
    m_hints = Action(QStringLiteral("Hints1"))->isChecked();
}

void TMainForm::Image1Click()
{
    m_aboutBox->Image1Click();
}
