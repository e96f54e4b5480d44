// The main window from the keyboard: Tab and Shift+Tab never walk into what cannot be seen (a
// collapsed side panel, the panels behind an open one); an open sliding panel keeps Tab inside
// itself, and Escape there is its Cancel.
#include "app/GeneralPropertiesPanel.h"
#include "app/MainForm.h"
#include "editor/NewsletterEditor.h"
#include "lists/ListPanel.h"
#include "OneListHome.h"
#include "support/WindowHarness.h"

#include <QAction>
#include <QApplication>
#include <QFocusEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QTest>
#include <QTextEdit>

class TestKeyboard : public QObject, private TWindowHarness
{
    Q_OBJECT
private:
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

    void startForm()
    {
        StartWindow();
        m_form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
    }

private slots:
    void init()
    {
        InitWindowHome();
        startForm();
    }
    void cleanup() { ResetWindow(); }

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

    // The only list opens from the keyboard, and the address commands have menu items.
    void listAndAddressCommandsFromTheKeyboard()
    {
        m_form.reset();
        onelist::Write(m_home->path(), "Club", {"ann@example.org", "bob@example.org"}, true);
        startForm();
        QListWidget* lists = m_form->ListPanel()->ListsLB();
        QCOMPARE(lists->count(), 1);
        lists->setFocus();
        lists->setCurrentRow(0); // highlighted, not yet open
        QVERIFY(!m_form->State().Lists.CurrentList);
        QTest::keyClick(lists, Qt::Key_Return);
        QVERIFY(m_form->State().Lists.CurrentList);
        QCOMPARE(m_form->State().Lists.ListEntries.Count(), 2);

        QAction* add = m_form->Action("NewAddress1");
        QCOMPARE(add->shortcut(), QKeySequence("Ctrl+Shift+A"));
        add->trigger();
        QVERIFY(m_form->Panel("NewAddPanel")->isVisible());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        QVERIFY(!m_form->Panel("NewAddPanel")->isVisible());

        m_form->ListPanel()->SelectEntry(0);
        m_form->Action("RemoveAddress1")->trigger();
        QCOMPARE(m_form->State().Lists.ListEntries.Count(), 1);
        // Nothing selected: the item does nothing (and the menu shows it disabled).
        m_form->ListPanel()->SelectEntry(-1);
        m_form->Action("RemoveAddress1")->trigger();
        QCOMPARE(m_form->State().Lists.ListEntries.Count(), 1);
    }

    // Alt+E hands the keyboard to the menu bar: Find and Replace stay for the newsletter body.
    void theMenuBarTakingTheKeyboardKeepsFindAndReplace_data()
    {
        QTest::addColumn<int>("reason");
        QTest::addColumn<bool>("kept");
        QTest::newRow("menu bar") << int(Qt::MenuBarFocusReason) << true;
        QTest::newRow("pop-up menu") << int(Qt::PopupFocusReason) << true;
        QTest::newRow("Tab away") << int(Qt::TabFocusReason) << false;
    }
    void theMenuBarTakingTheKeyboardKeepsFindAndReplace()
    {
        QFETCH(int, reason);
        QFETCH(bool, kept);
        m_form->Action("Newsletter2")->trigger();
        QTextEdit* letter = m_form->Newsletter()->LetterRE();
        letter->setFocus();
        QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(letter));
        QVERIFY(m_form->Action("Find1")->isEnabled() && m_form->Action("Replace1")->isEnabled());
        QFocusEvent out(QEvent::FocusOut, Qt::FocusReason(reason));
        QApplication::sendEvent(letter, &out);
        QCOMPARE(m_form->Action("Find1")->isEnabled(), kept);
        QCOMPARE(m_form->Action("Replace1")->isEnabled(), kept);
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
