// What assistive technology finds in the main window (every panel, hidden ones too), General
// Properties, the wizard and help windows: every control that takes the focus has a name a
// person can understand (never empty, never its component name), labels say their text,
// windows have window roles.
#include "app/GeneralPropertiesPanel.h"
#include "app/MainForm.h"
#include "guide/HelpViewer.h"
#include "guide/NLWizardForm.h"
#include "support/WindowHarness.h"

#include <QAccessible>
#include <QAction>
#include <QLabel>
#include <QTest>

namespace {
// "<objectName>: <problem>" for every focusable control below `iface` without a proper name.
// Hidden panels count too (they open later); pop-ups (a combo box's list) are windows of their own.
void unnamedControls(QAccessibleInterface* iface, QStringList* out, QWidget* window, int depth = 0)
{
    if (!iface || depth > 40)
        return;
    QObject* o = iface->object();
    if (o && o->isWidgetType() && static_cast<QWidget*>(o)->window() != window)
        return;
    // A label must say its text, not its component name.
    if (iface->role() == QAccessible::StaticText && o && !o->objectName().isEmpty()
        && iface->text(QAccessible::Name) == o->objectName())
        *out << o->objectName() + QStringLiteral(": a label named by its component name");
    if (iface->state().focusable && o) {
        const QString name = iface->text(QAccessible::Name).trimmed();
        if (name.isEmpty())
            *out << (o->objectName().isEmpty() ? QString::fromLatin1(o->metaObject()->className()) + QStringLiteral(" in ")
                                                      + (o->parent() ? o->parent()->objectName() : QString())
                                                : o->objectName())
                        + QStringLiteral(": no name");
        else if (name == o->objectName())
            *out << o->objectName() + QStringLiteral(": named by its component name");
    }
    for (int i = 0; i < iface->childCount(); ++i)
        unnamedControls(iface->child(i), out, window, depth + 1);
}
} // namespace

class TestAccessNames : public QObject, private TWindowHarness
{
    Q_OBJECT
private slots:
    void init()
    {
        InitWindowHome();
        StartWindow();
        QVERIFY(m_form->isVisible());
    }
    void cleanup() { ResetWindow(); }

    void everyControlHasAName_data()
    {
        QTest::addColumn<QString>("window");
        QTest::newRow("General Properties") << "UserOptionsPanel";
        QTest::newRow("wizard") << "NLWizardForm";
        QTest::newRow("help") << "HelpViewer";
        QTest::newRow("main window") << "MainForm";
    }
    void everyControlHasAName()
    {
        QFETCH(QString, window);
        QWidget* root = nullptr;
        std::unique_ptr<THelpViewer> help;
        if (window == "UserOptionsPanel") {
            m_form->Action("GeneralProperties1")->trigger();
            root = m_form->GeneralPanel();
        } else if (window == "MainForm") {
            root = m_form.get();
        } else if (window == "NLWizardForm") {
            root = m_form->NLWizardForm();
            root->show();
        } else {
            help = std::make_unique<THelpViewer>();
            help->show();
            root = help.get();
        }
        QVERIFY(root && root->isVisible());
        QStringList problems;
        unnamedControls(QAccessible::queryAccessibleInterface(root), &problems, root->window());
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join(u'\n')));
    }

    void windowsHaveWindowRoles()
    {
        QCOMPARE(QAccessible::queryAccessibleInterface(m_form->NLWizardForm())->role(), QAccessible::Dialog);
        THelpViewer help;
        QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(&help);
        QCOMPARE(iface->role(), QAccessible::Window);
        QCOMPARE(iface->text(QAccessible::Name), QStringLiteral("Quorvel Help"));
    }

    void wizardLabelsSayTheirText()
    {
        m_form->Action("MailList1")->trigger();
        TNLWizardForm* wizard = m_form->NLWizardForm();
        for (QLabel* label : {wizard->Label1(), wizard->StepLBL(), wizard->StepNameLBL()}) {
            QVERIFY(!label->text().isEmpty());
            QCOMPARE(QAccessible::queryAccessibleInterface(label)->text(QAccessible::Name), label->text());
        }
    }

    void mainWindowControlsAreNamed_data()
    {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("name");
        QTest::newRow("lists") << "ListsLB" << "Mail lists";
        QTest::newRow("addresses") << "MailList" << "Addresses";
        QTest::newRow("digest") << "DigestRE" << "Digest";
    }
    void mainWindowControlsAreNamed()
    {
        QFETCH(QString, control);
        QFETCH(QString, name);
        QWidget* w = m_form->findChild<QWidget*>(control);
        QVERIFY(w);
        QCOMPARE(QAccessible::queryAccessibleInterface(w)->text(QAccessible::Name), name);
    }

    void theAboutPictureIsNamed()
    {
        QWidget* image = m_form->findChild<QWidget*>("Image1");
        QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(image);
        QCOMPARE(iface->text(QAccessible::Name), QStringLiteral("About Quorvel"));
        QCOMPARE(iface->text(QAccessible::Description), QStringLiteral("Click to close"));
    }
};

QTEST_MAIN(TestAccessNames)
#include "tst_accessnames.moc"
