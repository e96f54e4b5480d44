// The New Mail panel inside the main window: its controls, their sizes, and the mail check's
// commands wired to the menu and the list panel.
#include "app/LabelEffect.h"
#include "app/MainForm.h"
#include "inbox/NewMailPanel.h"
#include "lists/ListPanel.h"
#include "lists/ListPropertiesPanel.h"
#include "OneListHome.h"
#include "support/WindowHarness.h"

#include <QAction>
#include <QListWidget>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>
#include <QTextEdit>
#include <QToolButton>

class TestMainFormMail : public QObject, private TWindowHarness
{
    Q_OBJECT
private:
    // The window over a catalog of one list, "news", with no addresses.
    TMainForm* start()
    {
        onelist::Write(m_home->path(), QStringLiteral("news"), {}, true);
        return &StartWindow();
    }

private slots:
    void init() { InitWindowHome(); }
    void cleanup() { ResetWindow(); }

    void panelHoldsTheMailControls()
    {
        TMainForm* form = start();
        QWidget* panel = form->Panel(QStringLiteral("NewMailPanel"));
        for (const char* n : {"NewMailSG", "MessageRE", "NewMailTB", "ReplyBtn", "ConnectBtn", "CloseNewMailBtn"})
            QVERIFY2(panel->findChild<QWidget*>(QLatin1String(n)), n);
        QCOMPARE(form->EditorPane(QStringLiteral("Message")), form->NewMailPanel()->MessageRE());
        emit form->findChild<TLabelEffect*>(QStringLiteral("NewMailLBL"))->clicked();
        QCOMPARE(form->NewMailPanel()->MessageRE()->height(), panel->height() - 148);
        QCOMPARE(form->NewMailPanel()->NewMailSG()->width(), panel->width() - 40);
        QCOMPARE(form->State().ActiveEditor, QStringLiteral("Message"));
        for (const char* n : {"ReplyBtn", "DeleteMailBtn", "CloseNewMailBtn", "MaintainBtn"})
            QVERIFY2(!form->NewMailPanel()->Button(QLatin1String(n))->isEnabled(), n);
    }

    void checkMailNeedsAPopServer()
    {
        TMainForm* form = start();
        QVERIFY(!form->Action(QStringLiteral("CheckMail1"))->isEnabled()); // no list selected
        form->ListPanel()->ListsLB()->setCurrentRow(0);
        form->ListPanel()->ListsLBClick();
        QVERIFY(form->Action(QStringLiteral("CheckMail1"))->isEnabled());
        QVERIFY(form->NewMailPanel()->Button(QStringLiteral("ConnectBtn"))->isEnabled());
        form->Action(QStringLiteral("CheckMail1"))->trigger();
        QCOMPARE(m_dialogs->texts(), QStringList{"You must specify a POP server to retrieve mail from."});
        QTabWidget* pages = form->ListPropertiesPanel()->Pages();
        QCOMPARE(pages->tabText(pages->currentIndex()), QStringLiteral("POP"));
        QVERIFY(form->ListPropertiesPanel()->height() > 0);
        // The list panel's button runs the same command.
        m_dialogs->clear();
        form->ListPropertiesPanel()->CancelBtnClick();
        form->ListPanel()->Button(QStringLiteral("CheckMailBtn"))->click();
        QCOMPARE(m_dialogs->texts(), QStringList{"You must specify a POP server to retrieve mail from."});
    }
};

QTEST_MAIN(TestMainFormMail)
#include "tst_mainform_mail.moc"
