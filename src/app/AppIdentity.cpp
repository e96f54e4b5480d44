#include "app/AppIdentity.h"

#include <QGuiApplication>

namespace appidentity {

void Apply()
{
    QCoreApplication::setApplicationName(kName);
    QCoreApplication::setApplicationVersion(kVersion);
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        QGuiApplication::setApplicationDisplayName(kName + u' ' + kVersion);
        QGuiApplication::setDesktopFileName(kDesktopId);
    }
}

} // namespace appidentity
