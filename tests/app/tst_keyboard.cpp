// The main window from the keyboard: Tab and Shift+Tab never walk into what cannot be seen (a
// collapsed side panel, the panels behind an open one); an open sliding panel keeps Tab inside
// itself, and Escape there is its Cancel.
#include "app/GeneralPropertiesPanel.h"
#include "app/MainForm.h"
#include "editor/NewsletterEditor.h"
#include "lists/ListPanel.h"
#include "platform/Sound.h"
#include "support/FakeDialogs.h"

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QListView>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>

class TestKeyboard : public QObject
{
    Q_OBJECT
private:
    std::unique_ptr<QTemporaryDir> m_home;
    std::unique_ptr<TSoundPlayer> m_sounds;
    std::unique_ptr<TMainForm> m_form;

    // The widgets the focus visits in `count` presses of `key`, starting at `from`.
    QList<QWidget*> walk(QWidget* from, int count, Qt::KeyboardModifiers mods = Qt::NoModifier)
    {
        from->setFocus();
        QList<QWidget*> seen;
        for (int i = 0; i < count; ++i) {
            QWidget* f = QApplication::focusWidget();
            if (!f)
                break;
            QTest::keyClick(f, Qt::Key_Tab, mods);
            seen << QApplication::focusWidget();
        }
        return seen;
    }

private slots:
    void init()
    {
        m_home = std::make_unique<QTemporaryDir>();
        qputenv("QUORVEL_HOME", QFile::encodeName(m_home->path()));
        qputenv("QUORVEL_NO_SOUND", "1");
        m_sounds = std::make_unique<TSoundPlayer>();
        m_form = std::make_unique<TMainForm>(*m_sounds, std::make_unique<TFakeDialogs>());
        m_form->resize(800, 600);
        m_form->show();
        m_form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
    }
    void cleanup()
    {
        m_form.reset();
        m_sounds.reset();
        m_home.reset();
    }

    void tabPassesOverCollapsedPanels_data()
    {
        QTest::addColumn<bool>("backwards");
        QTest::newRow("Tab") << false;
        QTest::newRow("Shift+Tab") << true;
    }
    void tabPassesOverCollapsedPanels()
    {
        QFETCH(bool, backwards);
        const QList<QWidget*> seen = walk(m_form->ListPanel()->MailList(), 30, backwards ? Qt::ShiftModifier : Qt::NoModifier);
        QVERIFY(!seen.isEmpty());
        for (const char* name : {"NewsLetterPanel", "NewMailPanel", "DigestPanel"}) {
            QWidget* panel = m_form->Panel(QLatin1String(name));
            for (QWidget* w : seen)
                QVERIFY2(!w || !panel->isAncestorOf(w), qPrintable(QLatin1String(name) + ": " + w->objectName()));
        }
        QVERIFY(m_form->Newsletter()->LetterRE()->toPlainText().isEmpty());
    }

    void collapsingThePanelTakesTheFocusOut()
    {
        m_form->Action("Newsletter2")->trigger(); // open
        QTextEdit* letter = m_form->Newsletter()->LetterRE();
        letter->setFocus();
        QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(letter));
        m_form->NewsletterLBLClick(); // collapse
        QVERIFY(QApplication::focusWidget() != letter);
        QTest::keyClicks(QApplication::focusWidget(), "x");
        QVERIFY(letter->toPlainText().isEmpty());
    }

    void anOpenSlidingPanelKeepsTabAndEscapeCancels()
    {
        m_form->State().GeneralSettings.User = "Stored Name";
        m_form->Action("GeneralProperties1")->trigger();
        TGeneralPropertiesPanel* panel = m_form->GeneralPanel();
        QLineEdit* name = panel->Field("UserOpNameEDT");
        QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(name));
        const QList<QWidget*> seen = walk(name, 40);
        QStringList names;
        for (QWidget* w : seen) {
            QVERIFY2(w && panel->isAncestorOf(w), qPrintable(w ? w->objectName() : QStringLiteral("none")));
            names << w->objectName();
        }
        QVERIFY2(names.contains("UserSaveBtn") && names.contains("UserCancelBtn"), qPrintable(names.join(' ')));

        name->setFocus();
        name->setText("Typed Name");
        QTest::keyClick(name, Qt::Key_Escape);
        QVERIFY(!panel->isVisible());
        QVERIFY(!m_form->EditPanelOpen());
        QCOMPARE(m_form->State().GeneralSettings.User, QStringLiteral("Stored Name"));
    }
};

QTEST_MAIN(TestKeyboard)
#include "tst_keyboard.moc"
