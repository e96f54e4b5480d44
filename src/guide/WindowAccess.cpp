#include "guide/WindowAccess.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QVariant>
#include <QWidget>

namespace {
const char* kRoleProperty = "quorvelAccessibleRole";

QAccessibleInterface* windowFactory(const QString&, QObject* object)
{
    if (!object || !object->isWidgetType())
        return nullptr;
    const QVariant role = object->property(kRoleProperty);
    if (!role.isValid())
        return nullptr;
    return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::Role(role.toInt()));
}
} // namespace

namespace windowaccess {

void SetWindowRole(QWidget* window, bool dialog)
{
    static const bool installed = [] {
        QAccessible::installFactory(windowFactory);
        return true;
    }();
    Q_UNUSED(installed);
    window->setProperty(kRoleProperty, int(dialog ? QAccessible::Dialog : QAccessible::Window));
}

} // namespace windowaccess
