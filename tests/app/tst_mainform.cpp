// Start-up, side and sliding panels, status line, about box and the close sequence.
#include "app/GeneralPropertiesPanel.h"
#include "app/LabelEffect.h"
#include "app/MainForm.h"
#include "app/SettingsFile.h"
#include "app/StatusLine.h"
#include "editor/SigForm.h"
#include "lists/ListPanel.h"
#include "lists/ListPropertiesPanel.h"
#include "net/Pop3Client.h"
#include "net/ServerSecurityDialog.h"
#include "net/ServerSettings.h"
#include "net/Wait.h"
#include "net/WaitView.h"
#include "platform/ComponentNames.h"
#include "platform/IniFile.h"
#include "support/WindowHarness.h"
#include "support/ScriptedServer.h"
#include "support/TestUtil.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>
#include <QTextEdit>
#include <QTimer>
#include <QToolButton>

class TestMainForm : public QObject, private TWindowHarness
{
    Q_OBJECT
private:
    TMainForm& start(int w = 800, int h = 600)
    {
        StartWindow(w, h);
        m_sounds->ClearHistory(); // the splash is not the form's
        return *m_form;
    }

    QString listPath(const QString& name) const { return home(name + "/" + name + ".qvl"); }

    // Writes the lists named (all but "gone") and a catalog of them under `count`, with the user's name.
    void writeCatalog(const QStringList& names, int count, const QString& user = {})
    {
        TIniFile ini(home("Quorvel.ini"));
        ini.WriteInteger("Mail Lists", "Count", count);
        for (int i = 0; i < names.size(); ++i) {
            ini.WriteString("Mail Lists", "List" + QString::number(i), listPath(names[i]));
            if (names[i] == "gone")
                continue;
            QDir().mkpath(home(names[i]));
            MailListRecord h;
            h.SetText(MailListRecord::Name, names[i]);
            h.SetText(MailListRecord::FilePath, listPath(names[i]));
            testutil::writeAll(listPath(names[i]), h.Serialize());
        }
        if (!user.isEmpty())
            ini.WriteString("User Settings", "User", user);
        QVERIFY(ini.UpdateFile());
    }

    QWidget* panel(const char* name) { return m_form->Panel(QLatin1String(name)); }
    TLabelEffect* title(const char* name) { return m_form->findChild<TLabelEffect*>(QLatin1String(name)); }

private slots:
    void init() { InitWindowHome(); }
    void cleanup() { ResetWindow(); }

    void firstStartCreatesTheFolders()
    {
        start();
        QVERIFY(QFileInfo(home("User")).isDir());
        QVERIFY(QFileInfo(home("User/Sent Mail")).isDir());
        QVERIFY(QFileInfo(home("Inbox")).isDir());
        QVERIFY(m_dialogs->messages.isEmpty());
        QCOMPARE(m_form->windowTitle(), QStringLiteral("Quorvel 1.3.1"));
    }

    void foldersThatCannotBeCreatedAreReportedOneByOne()
    {
        // Files in the way make every folder creation fail, also for a privileged user.
        testutil::writeAll(home("User"), "x");
        testutil::writeAll(home("Inbox"), "x");
        start();
        QCOMPARE(m_dialogs->texts(), (QStringList{"Could not create directory " + home("User") + ".",
                                                  "Could not create directory " + home("User/Sent Mail") + ".",
                                                  "Could not create directory " + home("Inbox") + "."}));
        for (const auto& m : m_dialogs->messages)
            QCOMPARE(m.type, TDialogService::mtError);
        QVERIFY(m_form->isVisible());
    }

    void menuItems_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("shortcut");
        QTest::addColumn<bool>("enabled");
        auto row = [](const char* n, const char* c, const char* s, bool e) {
            QTest::newRow(n) << QString::fromLatin1(n) << QString::fromLatin1(c) << QString::fromLatin1(s) << e;
        };
        row("NewMailList1", "New List...", "", true);
        row("OpenMailList1", "Open List...", "", true);
        row("ImportMailList1", "&Extract E-Mail Addresses...", "", false);
        row("NewNewsletter1", "New...", "Ctrl+N", true);
        row("OpenFile1", "&Open...", "Ctrl+O", true);
        row("SaveFile1", "&Save", "Ctrl+S", true);
        row("CloseFile1", "&Close", "Ctrl+W", true);
        row("ImportText1", "&Import Text...", "Ctrl+I", true);
        row("Exit1", "E&xit", "", true);
        row("Clear1", "Cle&ar", "Ctrl+Del", true);
        row("Find1", "&Find...", "Ctrl+F", false);
        row("Replace1", "&Replace...", "Ctrl+R", false);
        row("Font1", "&Font...", "", false);
        row("CheckMail1", "&Check Mail...", "Ctrl+M", false); // no list selected at start
        row("CancelSend1", "Cancel Send", "Esc", false);
        row("InsertDate1", "Insert &Date", "Ctrl+D", false);
        row("InsertTime1", "Insert &Time", "Ctrl+T", false);
        row("CheckSpelling1", "&Check Spelling...", "F7", false);
        row("Digest1", "&Digest...", "", true);
        row("Hints1", "&Hints", "", true);
        row("AboutQuorvel1", "About Quorvel...", "", true);
        row("HarrowlinWebSite1", "Harrowlin Web Site", "", true);
    }
    void menuItems()
    {
        QFETCH(QString, name);
        QFETCH(QString, caption);
        QFETCH(QString, shortcut);
        QFETCH(bool, enabled);
        start();
        QAction* a = m_form->findChild<QAction*>(name);
        QVERIFY(a);
        QCOMPARE(a->text(), caption);
        QCOMPARE(a->shortcut().toString(), shortcut);
        QCOMPARE(a->isEnabled(), enabled);
        QVERIFY(!a->menu() && !a->associatedObjects().isEmpty()); // it sits in a menu
    }

    void menuItemsAreExactlyTheNamedOnes()
    {
        start();
        for (const char* n : names::kActions) {
            QAction* a = m_form->findChild<QAction*>(QLatin1String(n));
            QVERIFY2(a && !a->associatedObjects().isEmpty(), n);
            QCOMPARE(m_form->Action(QLatin1String(n)), a);
        }
#ifdef QT_NO_DEBUG // a debug build stops at the assertion instead
        // Asking for any other name is reported and creates nothing.
        QTest::ignoreMessage(QtCriticalMsg, "Quorvel: no menu item is named \"CheckAllBtn\"");
        QAction* stray = m_form->Action("CheckAllBtn");
        QVERIFY(stray && stray->associatedObjects().isEmpty());
        QVERIFY(!m_form->findChild<QAction*>("CheckAllBtn"));
#endif
    }

    void catalogIsReadSortedAndAnUnreadableListIsKept()
    {
        writeCatalog({"zulu", "gone", "Alpha"}, 3);
        start();
        QCOMPARE(m_dialogs->messages.size(), 1);
        QVERIFY(m_dialogs->messages.first().text.contains(home("gone/gone.qvl")));
        QListWidget* lb = m_form->ListPanel()->ListsLB();
        QCOMPARE(lb->count(), 2);
        QCOMPARE(lb->item(0)->text(), QStringLiteral("Alpha"));
        QCOMPARE(lb->item(1)->text(), QStringLiteral("zulu"));
        QVERIFY(m_form->close());
        const TIniFile after(home("Quorvel.ini"));
        QCOMPARE(after.ReadInteger("Mail Lists", "Count", 0), 3);
        QCOMPARE(after.ReadString("Mail Lists", "List0", {}), home("Alpha/Alpha.qvl"));
        QCOMPARE(after.ReadString("Mail Lists", "List1", {}), home("zulu/zulu.qvl"));
        QCOMPARE(after.ReadString("Mail Lists", "List2", {}), home("gone/gone.qvl"));
    }

    void catalogHolesGiveOneMessageAndAreNotWrittenBack()
    {
        writeCatalog({"Alpha"}, 5000);
        start();
        QCOMPARE(m_dialogs->messages.size(), 1);
        QVERIFY2(m_dialogs->messages.first().text.contains("4999"), qPrintable(m_dialogs->messages.first().text));
        QCOMPARE(m_form->ListPanel()->ListsLB()->count(), 1);
        QVERIFY(m_form->close());
        const TIniFile after(home("Quorvel.ini"));
        QCOMPARE(after.ReadInteger("Mail Lists", "Count", 0), 1);
        QCOMPARE(after.ReadSection("Mail Lists"), (QStringList{"Count", "List0"}));
    }

    void unreadableSettingsAreReportedAtStart()
    {
        QVERIFY(QDir().mkpath(home("Quorvel.ini")));
        start();
        QCOMPARE(m_dialogs->messages.size(), 1);
        QVERIFY(m_dialogs->messages.first().text.startsWith("Could not read the settings file " + home("Quorvel.ini")));
    }

    void closeWritesTheSettings()
    {
        start();
        m_form->State().GeneralSettings.User = "Closing User";
        m_form->findChild<QAction*>("Sounds1")->trigger();
        m_form->findChild<QAction*>("Exit1")->trigger();
        QVERIFY(!m_form->isVisible());
        const TIniFile ini(home("Quorvel.ini"));
        QCOMPARE(ini.ReadString("User Settings", "User", {}), QStringLiteral("Closing User"));
        QCOMPARE(ini.ReadString("User Settings", "Sounds", {}), QStringLiteral("0"));
        QCOMPARE(ini.ReadString("User Settings", "Color", {}), QStringLiteral("8847360"));
    }

    // The catalog reaches the settings file as soon as a list is added, removed or moved, so a program
    // that is killed does not forget a list whose folder it already made. Only the catalog is
    // written: other settings still wait for closing.
    void catalogIsWrittenWhenAListIsAddedOrRemoved_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QStringList>("catalog");
        QTest::newRow("new list") << "new list" << QStringList{"Alpha", "Gamma"};
        QTest::newRow("import") << "import" << QStringList{"Alpha", "Gamma"};
        QTest::newRow("remove") << "remove" << QStringList{};
        QTest::newRow("rename (its folder and file move)") << "rename" << QStringList{"Renamed"};
    }
    void catalogIsWrittenWhenAListIsAddedOrRemoved()
    {
        QFETCH(QString, how);
        QFETCH(QStringList, catalog);
        writeCatalog({"Alpha"}, 1, "Ann");
        start();
        m_form->State().GeneralSettings.User = "Not Yet Saved";
        m_dialogs->clear();
        if (how == "new list") {
            m_form->ListPropertiesPanel()->NewMailList1Click();
            m_form->ListPropertiesPanel()->Field(QStringLiteral("ListNameEDT"))->setText("Gamma");
            m_form->ListPropertiesPanel()->SaveBtn()->click();
        } else if (how == "import") {
            QTemporaryDir elsewhere;
            const QString src = elsewhere.filePath("exported.qvl");
            MailListRecord h;
            h.SetText(MailListRecord::Name, "Gamma");
            h.SetText(MailListRecord::FilePath, "/old/place.qvl");
            QVERIFY(testutil::writeAll(src, h.Serialize()));
            m_dialogs->openFiles.enqueue(src);
            m_form->ListPanel()->OpenMailList1Click();
        } else if (how == "rename") {
            m_form->ListPanel()->OpenList(0);
            m_form->ListPropertiesPanel()->EditListBtnClick();
            m_form->ListPropertiesPanel()->Field(QStringLiteral("ListNameEDT"))->setText("Renamed");
            m_form->ListPropertiesPanel()->SaveBtn()->click();
        } else {
            m_form->ListPanel()->ListsLB()->setCurrentRow(0);
            m_form->ListPanel()->RemoveMailList1Click();
        }
        for (const TFakeDialogs::Message& m : m_dialogs->messages)
            QVERIFY2(m.type != TDialogService::mtError, qPrintable(m.text));
        QCOMPARE(m_form->ListPanel()->ListsLB()->count(), catalog.size());
        QStringList paths;
        for (const QString& name : catalog)
            paths << listPath(name);
        // Read from disk while the window is still open, as the next start would.
        const TSettingsData onDisk = settingsfile::Load(settingsfile::FileName());
        QCOMPARE(onDisk.ListPaths, paths);
        QCOMPARE(onDisk.General.User, QStringLiteral("Ann"));
        QVERIFY(m_form->isVisible());
    }

    void closeEndsAnOpenPopSessionWithQuit()
    {
        TScriptedServer server;
        server.Send("+OK ready").Reply("+OK user").Reply("+OK pass").Reply("+OK 0 0").Reply("+OK bye").Close();
        start();
        TPop3Client* pop = m_form->Pop3Client1();
        QCOMPARE(pop->Wait(), static_cast<TCustomWait*>(m_form->Wait1()));
        QVERIFY(!m_form->Wait1()->Visible());
        auto* waitView = m_form->findChild<TWaitView*>(QStringLiteral("Wait1"));
        QVERIFY(waitView && waitView->Wait() == m_form->Wait1() && !waitView->isVisible());
        pop->SetHost("127.0.0.1");
        pop->SetPort(server.PortText());
        pop->SetUserName("u");
        pop->SetPassWord("p");
        QVERIFY(pop->Connect());
        QVERIFY(pop->Stat());
        QVERIFY(m_form->close());
        QCOMPARE(server.Lines().last(), QByteArray("QUIT"));
    }

    void newsletterTabOpensCollapsesAndFollowsTheRightEdge()
    {
        start(800, 600);
        TLabelEffect* t = title("NewsletterLBL");
        QWidget* p = panel("NewsLetterPanel");
        const int cw = m_form->ClientWidth();
        const int ch = m_form->ClientHeight();
        QCOMPARE(p->geometry(), QRect(cw - 24, 3, 24, 94));
        QCOMPARE(t->toolTip(), QStringLiteral("Show panel"));

        emit t->clicked();
        QCOMPARE(p->geometry(), QRect(256, 3, cw - 256, ch - 40));
        QCOMPARE(m_form->ActiveEditor(), QStringLiteral("Letter"));
        for (const char* n : {"InsertDate1", "InsertTime1", "Find1", "Replace1", "Font1"})
            QVERIFY2(m_form->Action(n)->isEnabled(), n);
        QCOMPARE(t->toolTip(), QStringLiteral("Hide panel"));
        QCOMPARE(m_sounds->History(), QStringList{"tamo103.cls"});

        // A wider window keeps the panel's width and moves it to the right edge.
        const int width = p->width();
        m_form->resize(760, 600);
        QTRY_COMPARE(m_form->ClientWidth(), cw - 40);
        QCOMPARE(p->width(), width);
        QCOMPARE(p->x() + p->width(), m_form->ClientWidth());

        emit t->clicked();
        QCOMPARE(p->geometry(), QRect(m_form->ClientWidth() - 24, 3, 24, 94));
        for (const char* n : {"InsertDate1", "InsertTime1", "Find1", "Replace1", "Font1", "CheckSpelling1"})
            QVERIFY2(!m_form->Action(n)->isEnabled(), n);
        QCOMPARE(m_sounds->History(), (QStringList{"tamo103.cls", "tamo104.cls"}));
    }

    void fileEditorButtonsOpenTheirKind_data()
    {
        QTest::addColumn<bool>("general");
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("kind");
        QTest::newRow("list header") << false << 0 << "HeaderEDT" << "Header";
        QTest::newRow("list footer") << false << 1 << "FooterEDT" << "Footer";
        QTest::newRow("list signature") << false << 2 << "SignatureEDT" << "Sig";
        QTest::newRow("general header") << true << 0 << "UserHeaderEDT" << "UserHeader";
        QTest::newRow("general footer") << true << 1 << "UserFooterEDT" << "UserFooter";
        QTest::newRow("general signature") << true << 2 << "UserSigEDT" << "UserSig";
    }

    // The two properties panels hand their editor buttons to the header/footer/signature
    // editor as the program's entry wires them.
    void fileEditorButtonsOpenTheirKind()
    {
        QFETCH(bool, general);
        QFETCH(int, index);
        QFETCH(QString, field);
        QFETCH(QString, kind);
        start(800, 600);
        TSigForm sig(*m_form);
        QCOMPARE(sig.AttachButtons(TSigForm::TFileOwner::List, m_form->ListPropertiesPanel()->FileEditors()), 3);
        QCOMPARE(sig.AttachButtons(TSigForm::TFileOwner::General, m_form->GeneralPanel()->FileEditors()), 3);
        const TFileEditors& editors = general ? m_form->GeneralPanel()->FileEditors()
                                              : m_form->ListPropertiesPanel()->FileEditors();
        QCOMPARE(editors[size_t(index)].second->objectName(), field);
        editors[size_t(index)].first->click();
        QCOMPARE(sig.SigFileKind(), kind);
        sig.close();
    }

    void focusingAPaneSetsTheFindCommands_data()
    {
        QTest::addColumn<QString>("pane");
        QTest::addColumn<bool>("replace");
        QTest::newRow("letter") << QStringLiteral("Letter") << true;
        QTest::newRow("message") << QStringLiteral("Message") << false;
        QTest::newRow("digest") << QStringLiteral("Digest") << false;
    }

    // Every rich-text pane's focus applies the same rules: it is the active editor, Find is on,
    // Replace and Replace All only for the letter.
    void focusingAPaneSetsTheFindCommands()
    {
        QFETCH(QString, pane);
        QFETCH(bool, replace);
        start(800, 600);
        auto* replaceAll = m_form->findChild<QPushButton*>(QStringLiteral("ReplaceAllBtn"));
        QVERIFY(replaceAll);
        for (const char* n : {"Find1", "Replace1"})
            m_form->Action(QLatin1String(n))->setEnabled(!replace);
        replaceAll->setEnabled(!replace);
        m_form->SetActiveEditor(QString());
        QFocusEvent in(QEvent::FocusIn, Qt::OtherFocusReason);
        QApplication::sendEvent(m_form->EditorPane(pane), &in);
        QCOMPARE(m_form->ActiveEditor(), pane);
        QVERIFY(m_form->Action("Find1")->isEnabled());
        QCOMPARE(m_form->Action("Replace1")->isEnabled(), replace);
        QCOMPARE(replaceAll->isEnabled(), replace);
    }

    void mailAndDigestTabs()
    {
        start(800, 600);
        const int cw = m_form->ClientWidth();
        const int ch = m_form->ClientHeight();
        emit title("NewMailLBL")->clicked();
        QCOMPARE(panel("NewMailPanel")->geometry(), QRect(256, 3, cw - 256, ch - 40));
        QCOMPARE(m_form->ActiveEditor(), QStringLiteral("Message"));
        QVERIFY(m_form->Action("Find1")->isEnabled() && !m_form->Action("Replace1")->isEnabled());
        emit title("NewMailLBL")->clicked();
        QCOMPARE(panel("NewMailPanel")->geometry(), QRect(cw - 24, 102, 24, 85));

        emit title("ViewDigestLBL")->clicked();
        QCOMPARE(panel("DigestPanel")->geometry(), QRect(256, 3, cw - 256, ch - 40));
        QCOMPARE(m_form->findChild<QWidget*>("DigestRE")->height(), ch - 40 - 54);
        QCOMPARE(m_form->ActiveEditor(), QStringLiteral("Digest"));
        QVERIFY(m_form->Action("Font1")->isEnabled() && !m_form->Action("Replace2")->isEnabled());
        emit title("ViewDigestLBL")->clicked();
        QCOMPARE(panel("DigestPanel")->geometry(), QRect(cw - 24, 192, 24, 99));
        QVERIFY(m_form->Action("Replace2")->isEnabled());

        // The View menu opens a collapsed panel, and only brings an open one forward.
        m_form->Action("NewMail1")->trigger();
        QCOMPARE(panel("NewMailPanel")->height(), ch - 40);
        m_form->SetActiveEditor("Digest");
        m_form->Action("NewMail1")->trigger();
        QCOMPARE(panel("NewMailPanel")->height(), ch - 40);
        QCOMPARE(m_form->ActiveEditor(), QStringLiteral("Message"));
    }

    void mailListsTitleTwiceThenSoundsOff()
    {
        start();
        QWidget* p = panel("MailListPanel");
        QCOMPARE(p->geometry(), QRect(0, 3, 253, 361));
        emit title("MailListLBL")->clicked();
        QCOMPARE(p->geometry(), QRect(-229, 3, 253, 85));
        emit title("MailListLBL")->clicked();
        QCOMPARE(p->geometry(), QRect(0, 3, 253, 361));
        QCOMPARE(m_sounds->History(), (QStringList{"tamo104.cls", "tamo103.cls"}));

        // With sounds off, neither the title nor the about box plays anything.
        m_sounds->ClearHistory();
        m_form->Action("Sounds1")->trigger();
        emit title("MailListLBL")->clicked();
        m_form->Action("AboutQuorvel1")->trigger();
        QVERIFY(m_sounds->History().isEmpty());
    }

    void generalPropertiesSlidesInAndCancelKeepsSettings()
    {
        writeCatalog({"One"}, 1, "Stored Name");
        start(800, 600);
        const QByteArray fileBefore = testutil::readAll(home("Quorvel.ini"));
        TGeneralPropertiesPanel* gp = m_form->GeneralPanel();
        m_form->Action("GeneralProperties1")->trigger();
        QCOMPARE(gp->geometry(), QRect(m_form->ClientWidth() - 384, 3, 384, 300));
        QVERIFY(gp->isVisible());
        QCOMPARE(m_form->Status(), QStringLiteral("Status: Displaying general properties..."));
        QCOMPARE(m_sounds->History(), QStringList{"tamo105.cls"});
        for (const QString& b : TListPanel::SlidingPanelButtons())
            QVERIFY2(!m_form->ListPanel()->Button(b)->isEnabled(), qPrintable(b));
        QLineEdit* name = gp->Field("UserOpNameEDT");
        QCOMPARE(name->text(), QStringLiteral("Stored Name"));
        name->setText("Changed");
        gp->findChild<QPushButton*>("UserCancelBtn")->click();
        QCOMPARE(gp->height(), 0);
        QVERIFY(!gp->isVisible());
        QCOMPARE(m_form->State().GeneralSettings.User, QStringLiteral("Stored Name"));
        QCOMPARE(testutil::readAll(home("Quorvel.ini")), fileBefore);
        QVERIFY(name->text().isEmpty());
        // Buttons back, then trimmed to what the list state allows (no list selected).
        QVERIFY(m_form->ListPanel()->Button("NewListbtn")->isEnabled());
        QVERIFY(!m_form->ListPanel()->Button("EditListBtn")->isEnabled());

        m_form->Action("GeneralProperties1")->trigger();
        QCOMPARE(name->text(), QStringLiteral("Stored Name"));
        name->setText(QString(150, u'n'));
        gp->se_Timeout()->setValue(45);
        gp->findChild<QPushButton*>("UserSaveBtn")->click();
        const TIniFile saved(home("Quorvel.ini"));
        QCOMPARE(saved.ReadString("User Settings", "User", {}), QString(100, u'n'));
        QCOMPARE(saved.ReadInteger("User Settings", "Timeout", 0), 45);
        QCOMPARE(saved.ReadString("Mail Lists", "List0", {}), home("One/One.qvl"));
    }

    // The dialog edits the section of the server now in the field; saving the general
    // properties afterwards keeps that section.
    void serverSecurityFromGeneralProperties()
    {
        start();
        TGeneralPropertiesPanel* gp = m_form->GeneralPanel();
        m_form->Action("GeneralProperties1")->trigger();
        gp->SecurityBtn(TMailProtocol::Smtp)->click();
        QCOMPARE(m_dialogs->texts(),
                 QStringList{"Enter the SMTP server first: its security settings are kept under its name."});
        gp->Field("UserSMTPEDT")->setText("mail.example.org");
        QTimer::singleShot(0, [] {
            auto* d = qobject_cast<TServerSecurityDialog*>(QApplication::activeModalWidget());
            QVERIFY(d);
            QVERIFY(d->windowTitle().contains("SMTP mail.example.org"));
            auto* security = d->findChild<QComboBox*>("SecurityCB");
            security->setCurrentIndex(security->findText("TLS"));
            d->findChild<QLineEdit*>("PortEDT")->setText("2465");
            d->accept();
        });
        gp->SecurityBtn(TMailProtocol::Smtp)->click();
        gp->findChild<QPushButton*>("UserSaveBtn")->click();
        const TServerSettings s = serversettings::Load(TIniFile(home("Quorvel.ini")), TMailProtocol::Smtp, "mail.example.org");
        QVERIFY(s.Present);
        QCOMPARE(s.Port, 2465);
        QCOMPARE(s.Security, TMailSecurity::Tls);
        QCOMPARE(TIniFile(home("Quorvel.ini")).ReadString("User Settings", "SMTP", {}), QStringLiteral("mail.example.org"));
    }

    void browseButtonsFillTheirField()
    {
        start();
        TGeneralPropertiesPanel* gp = m_form->GeneralPanel();
        m_form->Action("GeneralProperties1")->trigger();
        m_dialogs->openFiles.enqueue("/tmp/footer.txt");
        gp->findChild<QToolButton*>("UserFooterBtn")->click();
        QCOMPARE(gp->Field("UserFooterEDT")->text(), QStringLiteral("/tmp/footer.txt"));
        QCOMPARE(m_dialogs->openRequests.last().title, QStringLiteral("Open Footer Text File"));
        QCOMPARE(m_dialogs->openRequests.last().filterIndex, 1);
    }

    void aboutBoxAnimatesAndCloses()
    {
        start(800, 600);
        m_form->Action("AboutQuorvel1")->trigger();
        QWidget* a1 = m_form->findChild<QWidget*>("AboutPanel1");
        QWidget* a2 = m_form->findChild<QWidget*>("AboutPanel2");
        QVERIFY(a1->isVisible() && a2->isVisible());
        QCOMPARE(a1->pos(), QPoint(m_form->width() - 300, 16));
        QCOMPARE(a1->size(), QSize(254, 136));
        QCOMPARE(a2->y(), m_form->ClientHeight() - 148);
        QCOMPARE(m_sounds->History(), QStringList{"tamo106.cls"});
        QVERIFY(m_form->Status().startsWith("Status:") && m_form->Status().contains("1.3"));
        QTimer* timer = m_form->findChild<QTimer*>("AboutTimer1");
        QTRY_VERIFY_WITH_TIMEOUT(!timer->isActive(), 10000);
        QCOMPARE(a2->width(), 265);
        QLabel* caption = m_form->findChild<QLabel*>("AboutCaptionLBL");
        QCOMPARE(caption->y(), 16);
        // The picture is in the program, and the caption is whole on the strip.
        const QLabel* image = m_form->findChild<QLabel*>("Image1");
        QVERIFY(!image->pixmap().isNull());
        QVERIFY2(caption->fontMetrics().horizontalAdvance(caption->text()) <= caption->width(),
                 qPrintable(QString::number(caption->fontMetrics().horizontalAdvance(caption->text()))));
        QVERIFY(caption->geometry().right() < a2->width() && caption->geometry().bottom() < a2->height());
        m_form->Image1Click();
        QVERIFY(!a1->isVisible() && !a2->isVisible());
        QCOMPARE(m_form->Status(), QStringLiteral("Status:"));
    }

    void theWindowHasItsIcon()
    {
        start();
        QVERIFY(!m_form->windowIcon().pixmap(32).isNull());
        QVERIFY(!QPixmap(":/pictures/splash.png").isNull());
    }

    // Every control of every General Properties page shows whole inside its page.
    void generalPropertiesPagesShowEveryControlWhole()
    {
        start(800, 600);
        m_form->Action("GeneralProperties1")->trigger();
        auto* pages = m_form->GeneralPanel()->findChild<QTabWidget*>("UserOpPages");
        QVERIFY(pages);
        for (int i = 0; i < pages->count(); ++i) {
            pages->setCurrentIndex(i);
            QWidget* page = pages->widget(i);
            QCoreApplication::processEvents();
            for (QWidget* w : page->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
                const QRect r = w->geometry();
                QVERIFY2(page->rect().contains(r), qPrintable(pages->tabText(i) + ": " + w->objectName() + " at "
                                                                + QString::number(r.bottom()) + " of "
                                                                + QString::number(page->height())));
                if (auto* box = qobject_cast<QCheckBox*>(w))
                    QVERIFY2(box->sizeHint().height() <= r.height(), qPrintable(w->objectName()));
            }
        }
    }

    // A screen reader finds a status bar whose name and value are the text.
    void statusLineIsAnAnnouncedStatusBar()
    {
        start();
        QWidget* label = m_form->findChild<QWidget*>("StatusBar");
        QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(label);
        QVERIFY(iface);
        QCOMPARE(iface->role(), QAccessible::StatusBar);
        QCOMPARE(iface->text(QAccessible::Name), QStringLiteral("Status:"));
        m_form->SetStatus("Status: Saving list...");
        QCOMPARE(iface->text(QAccessible::Name), QStringLiteral("Status: Saving list..."));
        QCOMPARE(iface->text(QAccessible::Value), QStringLiteral("Status: Saving list..."));
    }

    void statusTextIsReadableOnAnyColour_data()
    {
        QTest::addColumn<QString>("color");
        QTest::newRow("none (navy)") << QString();
        QTest::newRow("white") << "16777215";
        QTest::newRow("yellow") << "65535";
        QTest::newRow("mid grey") << "8421504";
        QTest::newRow("black") << "0";
        QTest::newRow("design blue") << "8847360";
    }
    void statusTextIsReadableOnAnyColour()
    {
        QFETCH(QString, color);
        if (!color.isEmpty()) {
            TIniFile ini(home("Quorvel.ini"));
            ini.WriteString("User Settings", "Color", color);
            QVERIFY(ini.UpdateFile());
        }
        start();
        auto* label = m_form->findChild<QLabel*>("StatusBar");
        const QColor text = label->palette().color(QPalette::WindowText);
        const QColor strip = m_form->Panel("StatusPanel")->palette().color(QPalette::Window);
        QVERIFY2(statusline::ContrastRatio(text, strip) >= 4.5,
                 qPrintable(text.name() + " on " + strip.name()));
        // A colour chosen later keeps it readable too.
        m_dialogs->colors.enqueue(QColor(250, 250, 210));
        m_form->Action("BackgroundColor1")->trigger();
        QCOMPARE(m_form->Panel("StatusPanel")->palette().color(QPalette::Window), QColor(250, 250, 210));
        QVERIFY(statusline::ContrastRatio(label->palette().color(QPalette::WindowText), QColor(250, 250, 210)) >= 4.5);
    }

    void statusLineAndGauge()
    {
        start();
        QTimer* t = m_form->findChild<QTimer*>("ClearStatusTimer1");
        QVERIFY(t->isActive());
        QCOMPARE(t->interval(), 10000);
        m_form->SetStatus("Status: Busy");
        QMetaObject::invokeMethod(t, "timeout");
        QCOMPARE(m_form->Status(), QStringLiteral("Status:"));
        QWidget* gauge = m_form->findChild<QWidget*>("Gauge1");
        QVERIFY(!gauge->isVisible());
        m_form->ShowGauge(qint64(100000) * 100000); // n * n for a big list does not overflow
        QVERIFY(gauge->isVisible());
        m_form->HideGauge();
        QVERIFY(!gauge->isVisible());
        QWidget* sp = m_form->Panel("StatusPanel");
        QCOMPARE(sp->height(), 24);
        QCOMPARE(gauge->x(), sp->width() - gauge->width() - 10);
    }

    void hintsToggleSwallowsToolTips()
    {
        start();
        QWidget* b = m_form->ListPanel()->Button("NewListbtn");
        QHelpEvent tip(QEvent::ToolTip, QPoint(2, 2), b->mapToGlobal(QPoint(2, 2)));
        m_form->Action("Hints1")->trigger();
        QVERIFY(!m_form->HintsOn());
        QVERIFY(static_cast<QObject*>(m_form.get())->eventFilter(b, &tip));
        m_form->Action("Hints1")->trigger();
        QVERIFY(!static_cast<QObject*>(m_form.get())->eventFilter(b, &tip));
    }

    void undoIsOffInTheListBoxes()
    {
        start();
        m_form->activateWindow();
        m_form->ListPanel()->ListsLB()->setEnabled(true);
        m_form->ListPanel()->ListsLB()->setFocus();
        QTRY_VERIFY(!m_form->Action("Undo1")->isEnabled());
        m_form->GeneralPanel()->se_Timeout()->setFocus();
        QTRY_VERIFY(m_form->Action("Undo1")->isEnabled());
    }
};

QTEST_MAIN(TestMainForm)
#include "tst_mainform.moc"
