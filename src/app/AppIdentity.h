#pragma once
// How the program names itself to the desktop: application name and version, and the desktop
// entry its windows belong to (the Wayland app id; on X11 the window class is the application
// name, which the entry's StartupWMClass names).
#include <QString>

namespace appidentity {
// The desktop entry's id, without ".desktop"; also the metainfo component id.
inline const QString kDesktopId = QStringLiteral("example.harrowlin.quorvel");
inline const QString kName = QStringLiteral("Quorvel");
inline const QString kVersion = QStringLiteral("1.3.1");

// Sets the names on the application object (a QCoreApplication for printing only).
void Apply();
} // namespace appidentity
