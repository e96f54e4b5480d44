// The guide in the main window: the menu items that start the wizards, the main-window actions
// that advance them, the first activation, Help, the web entries and the add-on launch.
#include "app/MainForm.h"
#include "guide/DesktopLinks.h"
#include "guide/GoToWeb.h"
#include "guide/HelpViewer.h"
#include "guide/NLWizardForm.h"
#include "lists/ListPropertiesPanel.h"
#include "platform/Sound.h"
#include "support/FakeDialogs.h"
#include "support/WindowHarness.h"
#include "support/TestUtil.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QToolButton>

class TestGuideWiring : public QObject, private TWindowHarness
{
    Q_OBJECT
private:

    void copyResources(const QString& folder, const QString& pattern)
    {
        const QDir source(testutil::sourceDir() + QStringLiteral("/resources/") + folder);
        for (const QString& f : source.entryList({pattern}, QDir::Files))
            QVERIFY(QFile::copy(source.filePath(f), home(f)));
    }
    TMainForm& start(bool showWizardOnActivate = false)
    {
        return StartWindow(800, 600, TDialogs::Fake,
                           [=](TMainForm& f) { f.State().ShowWizardOnActivate = showWizardOnActivate; });
    }
    void trigger(const char* action) { m_form->Action(QLatin1String(action))->trigger(); }
    TNLWizardForm& wizard() { return *m_form->NLWizardForm(); }
    QString step() { return wizard().StepLBL()->text(); }

private slots:
    void init()
    {
        InitWindowHome();
        copyResources(QStringLiteral("wizard"), QStringLiteral("*.dat"));
    }
    void cleanup() { ResetWindow(); }

    void menuItemsStartTheWizards()
    {
        start();
        trigger("Newsletter1");
        QVERIFY(m_form->State().NewsletterWizardActive);
        QVERIFY(!m_form->Action(QStringLiteral("MailList1"))->isEnabled());
        QTest::mouseClick(wizard().CancelBtn(), Qt::LeftButton);
        trigger("MailList1");
        QVERIFY(m_form->State().MailListWizardActive);
        QVERIFY(!m_form->State().NewsletterWizardActive);
    }

    void firstActivationOpensTheMailListWizard()
    {
        start(true);
        QTRY_VERIFY(m_form->State().MailListWizardActive);
        QVERIFY(!m_form->State().ShowWizardOnActivate);
        QCOMPARE(step(), QStringLiteral("1"));
    }

    // New Newsletter and the list properties pages advance the wizard that runs, and only the
    // mail list wizard follows the pages.
    void mainWindowActionsAdvanceTheWizard_data()
    {
        QTest::addColumn<QString>("wizard"); // the menu item that starts it
        QTest::addColumn<QString>("command");
        QTest::addColumn<QStringList>("pages");
        QTest::addColumn<QStringList>("steps"); // after the command, then after each page shown
        // The step New Newsletter reaches is the wizard's own test.
        QTest::newRow("New Newsletter") << "Newsletter1" << "NewNewsletter1" << QStringList() << QStringList{"2"};
        // The POP page reached straight from step 2.
        QTest::newRow("list pages, mail list wizard") << "MailList1" << "NewMailList1"
                                                      << QStringList{"POP", "Misc.", "Auto Maintenance", "List Info"}
                                                      << QStringList{"2", "4", "5", "7", "7"};
        QTest::newRow("list pages, newsletter wizard") << "Newsletter1" << "NewMailList1" << QStringList{"POP"}
                                                       << QStringList{"1", "1"};
    }
    void mainWindowActionsAdvanceTheWizard()
    {
        QFETCH(QString, wizard);
        QFETCH(QString, command);
        QFETCH(QStringList, pages);
        start();
        m_form->Action(wizard)->trigger();
        m_form->Action(command)->trigger();
        QStringList steps{step()};
        QTabWidget* tabs = m_form->ListPropertiesPanel()->Pages();
        for (const QString& caption : pages) {
            for (int i = 0; i < tabs->count(); ++i) {
                if (tabs->tabText(i) == caption)
                    tabs->setCurrentIndex(i);
            }
            steps << step();
        }
        QTEST(steps, "steps");
        QCOMPARE(m_form->State().NewsletterWizardActive, wizard == QLatin1String("Newsletter1"));
        QCOMPARE(m_form->State().MailListWizardActive, wizard == QLatin1String("MailList1"));
        QVERIFY(m_dialogs->messages.isEmpty());
    }

    void help_data()
    {
        QTest::addColumn<QByteArray>("content"); // "" = no file
        QTest::addColumn<bool>("shown");
        QTest::newRow("the help file") << QByteArray("real") << true;
        QTest::newRow("missing") << QByteArray() << false;
        QTest::newRow("empty") << QByteArray("empty") << false;
    }
    void help()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, shown);
        if (content == "real")
            copyResources(QStringLiteral("help"), QStringLiteral("Help.hlp"));
        else if (content == "empty")
            QVERIFY(testutil::writeAll(home(QStringLiteral("Help.hlp")), QByteArray()));
        start();
        QCOMPARE(m_form->DesktopLinks()->HelpFile(), home(QStringLiteral("Help.hlp")));
        trigger("Help2");
        THelpViewer* viewer = m_form->DesktopLinks()->HelpViewer();
        if (!shown) {
            QCOMPARE(m_dialogs->texts(), QStringList{"Could not find the help File! Please reinstall Quorvel."});
            QCOMPARE(m_dialogs->messages.first().type, TDialogService::mtError);
            QVERIFY(!viewer || !viewer->isVisible());
            return;
        }
        QVERIFY(m_dialogs->messages.isEmpty());
        QVERIFY(viewer && viewer->isVisible());
        QTextBrowser* browser = viewer->Browser();
        const QString text = browser->toPlainText();
        QVERIFY(text.contains(QStringLiteral("Contents")));
        // Every topic of the contents is a link to a place in the file.
        for (const char* topic : {"#newlist", "#send", "#mail", "#maintenance", "#menus", "#wizards"}) {
            QVERIFY2(browser->toHtml().contains(QLatin1String(topic)), topic);
            browser->setSource(QUrl(QLatin1String(topic)));
            QVERIFY(browser->isBackwardAvailable());
        }
    }

    void webEntries_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("url");
        QTest::addColumn<bool>("opens");
        QTest::newRow("maker's site") << "HarrowlinWebSite1" << TDesktopLinks::kMakerSite << true;
        QTest::newRow("home page") << "QuorvelHomePage1" << TDesktopLinks::kHomePage << true;
        QTest::newRow("no browser") << "QuorvelHomePage1" << TDesktopLinks::kHomePage << false;
    }
    void webEntries()
    {
        QFETCH(QString, action);
        QFETCH(QString, url);
        QFETCH(bool, opens);
        qputenv("QUORVEL_REGISTRY", QFile::encodeName(home(QStringLiteral("none.ini"))));
        start();
        QStringList opened;
        m_form->DesktopLinks()->GoToWeb1()->OpenUrl = [&](const QString& u) {
            opened << u;
            return opens;
        };
        m_form->Action(action)->trigger();
        QCOMPARE(opened, QStringList{url});
        QCOMPARE(m_form->DesktopLinks()->GoToWeb1()->Url(), url);
        if (opens) {
            QVERIFY(m_dialogs->messages.isEmpty());
        } else {
            QCOMPARE(m_dialogs->texts(), QStringList{"An error ocurred opening default browser."});
            QCOMPARE(TDialogService::Caption(m_dialogs->messages.first().type), QStringLiteral("Error"));
        }
    }

    void addOn_data()
    {
        QTest::addColumn<bool>("installed");
        QTest::addColumn<bool>("starts");
        QTest::addColumn<QString>("message");
        QTest::newRow("not installed") << false << false << "Pemtrix is not installed on this machine.";
        QTest::newRow("installed") << true << true << "";
        QTest::newRow("installed, cannot start") << true << false << "Could not start %1.";
    }
    void addOn()
    {
        QFETCH(bool, installed);
        QFETCH(bool, starts);
        QFETCH(QString, message);
        const QString path = home(QStringLiteral("Pemtrix 1.0.exe"));
        if (installed)
            QVERIFY(testutil::writeAll(path, "MZ"));
        start();
        QStringList launched;
        m_form->DesktopLinks()->StartAddOn = [&](const QString& p) {
            launched << p;
            return starts;
        };
        trigger("Pemtrix1");
        QCOMPARE(launched, installed ? QStringList{path} : QStringList());
        if (message.isEmpty()) {
            QVERIFY(m_dialogs->messages.isEmpty());
            return;
        }
        QCOMPARE(m_dialogs->texts(), QStringList{message.arg(path)});
        QCOMPARE(m_dialogs->messages.first().type, installed ? TDialogService::mtError : TDialogService::mtInformation);
        QCOMPARE(m_dialogs->messages.first().buttons, int(TDialogService::mbOK));
    }
};

QTEST_MAIN(TestGuideWiring)
#include "tst_guidewiring.moc"
