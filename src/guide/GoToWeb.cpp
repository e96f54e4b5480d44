#include "guide/GoToWeb.h"

#include "platform/Registry.h"

#include <QDesktopServices>
#include <QProcess>
#include <QUrl>

namespace gotoweb {

QString BrowserCommand(TRegistry& registry)
{
    registry.SetRootKey(TRegistry::HKEY_CLASSES_ROOT);
    const QString command = QStringLiteral("\\shell\\open\\command");
    for (const char* type : {".HTM", ".HTML", ".SHTML", ".SHTM"}) {
        const QString key = QLatin1String(type);
        QString found;
        if (registry.OpenKeyReadOnly(key)) {
            // The class name is read into a buffer of 1025 bytes.
            const QString className = registry.ReadString(QString()).left(1024);
            registry.CloseKey();
            if (!className.isEmpty() && registry.OpenKeyReadOnly(className + command)) {
                found = registry.ReadString(QString());
                registry.CloseKey();
            }
            if (found.isEmpty() && registry.OpenKeyReadOnly(key + command)) {
                found = registry.ReadString(QString());
                registry.CloseKey();
            }
        }
        if (!found.isEmpty())
            return found;
    }
    return QString();
}

QString StripPlaceholders(const QString& command)
{
    QString out;
    qsizetype i = 0;
    for (; i + 1 < command.size(); ++i) {
        if (command[i] == u'%')
            ++i; // the "%" and the character after it
        else
            out += command[i];
    }
    if (i < command.size())
        out += command[i];
    return out;
}

Launch ParseCommand(const QString& command, const QString& url)
{
    Launch launch;
    const QString upper = command.toUpper();
    qsizetype end = -1;
    for (const char* ext : {".EXE", ".BAT", ".COM"}) {
        const qsizetype at = upper.lastIndexOf(QLatin1String(ext));
        if (at >= 0)
            end = qMax(end, at + 4);
    }
    if (end < 0)
        return launch;
    launch.program = upper.left(end);
    QString rest = upper.mid(end).trimmed();
    while (rest.startsWith(u'"'))
        rest.remove(0, 1);
    if (launch.program.startsWith(u'"'))
        launch.program.remove(0, 1);
    launch.arguments = rest + u' ' + url;
    launch.ok = true;
    return launch;
}

} // namespace gotoweb

TGoToWeb::TGoToWeb(QObject* parent) : QObject(parent)
{
    setObjectName(QStringLiteral("GoToWeb1"));
    OpenUrl = [](const QString& url) { return QDesktopServices::openUrl(QUrl::fromUserInput(url)); };
    StartProgram = [](const QString& program, const QString& arguments) {
        return QProcess::startDetached(program, QProcess::splitCommand(arguments));
    };
}

bool TGoToWeb::Execute()
{
    TRegistry registry;
    const QString command = gotoweb::StripPlaceholders(gotoweb::BrowserCommand(registry));
    if (command.isEmpty())
        return OpenUrl(m_url);
    const gotoweb::Launch launch = gotoweb::ParseCommand(command, m_url);
    return launch.ok && StartProgram(launch.program, launch.arguments);
}
