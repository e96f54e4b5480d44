// The New Mail panel inside the main window: its controls, their sizes, and the mail check's
// commands wired to the menu and the list panel.
#include "app/LabelEffect.h"
#include "app/MainForm.h"
#include "inbox/NewMailPanel.h"
#include "lists/ListPanel.h"
#include "lists/ListPropertiesPanel.h"
#include "platform/IniFile.h"
#include "platform/Sound.h"
#include "support/FakeDialogs.h"
#include "support/TestUtil.h"

#include <QAction>
#include <QDir>
#include <QListWidget>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>
#include <QToolButton>

class TestMainFormMail : public QObject
{
    Q_OBJECT
private:
    QTemporaryDir m_home;
    TFakeDialogs* m_dialogs = nullptr;

    std::unique_ptr<TMainForm> start()
    {
        qputenv("QUORVEL_HOME", QFile::encodeName(m_home.path()));
        qputenv("QUORVEL_NO_SOUND", "1");
        const QString path = m_home.path() + QStringLiteral("/news.qvl");
        MailListRecord h;
        h.SetText(MailListRecord::Name, QStringLiteral("news"));
        h.SetText(MailListRecord::FilePath, path);
        testutil::writeAll(path, h.Serialize());
        TIniFile ini(m_home.path() + QStringLiteral("/Quorvel.ini"));
        ini.WriteInteger(QStringLiteral("Mail Lists"), QStringLiteral("Count"), 1);
        ini.WriteString(QStringLiteral("Mail Lists"), QStringLiteral("List0"), path);
        ini.UpdateFile();
        auto dialogs = std::make_unique<TFakeDialogs>();
        m_dialogs = dialogs.get();
        static TSoundPlayer sounds;
        auto form = std::make_unique<TMainForm>(sounds, std::move(dialogs));
        form->resize(800, 600);
        form->show();
        QCoreApplication::processEvents();
        return form;
    }

private slots:
    void panelHoldsTheMailControls()
    {
        auto form = start();
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
        auto form = start();
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
