#include "support/FakeShell.h"

#include "platform/ComponentNames.h"

void TFakeShell::OpenSlidingPanel(QWidget* panel, int width, int height, QWidget* focus, bool playSound)
{
    panel->setParent(&window);
    panel->setGeometry(window.width() - width, 3, width, height);
    panel->setVisible(true);
    if (playSound)
        sounds << QStringLiteral("tamo105.cls");
    if (focus)
        focus->setFocus();
    openPanels.removeAll(panel);
    openPanels << panel;
}

void TFakeShell::CloseSlidingPanel(QWidget* panel, int width)
{
    panel->setVisible(false);
    panel->setGeometry(window.width() - width, 3, width, 0);
    openPanels.removeAll(panel);
}

bool TFakeShell::EditPanelOpen() const
{
    for (QWidget* p : openPanels) {
        if (p->objectName() != names::SendMailPanel)
            return true;
    }
    return false;
}

QAction* TFakeShell::Action(const QString& name)
{
    if (!names::IsAction(name))
        qFatal("No menu item is named \"%s\"", qPrintable(name));
    QAction*& a = actions[name];
    if (!a) {
        a = new QAction(name, &window);
        a->setObjectName(name);
    }
    return a;
}
