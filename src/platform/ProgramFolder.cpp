#include "platform/ProgramFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#ifndef QUORVEL_SHARE_DIR
#define QUORVEL_SHARE_DIR "/usr/local/share/quorvel"
#endif

namespace {
QString withSeparator(QString path)
{
    if (!path.endsWith(u'/'))
        path += u'/';
    return path;
}

// The share folder of an installed program: <prefix>/share/quorvel beside <prefix>/bin.
QString InstalledShareFolder()
{
    const QString exeDir = QCoreApplication::applicationDirPath();
    if (exeDir.isEmpty())
        return QString();
    return QDir::cleanPath(exeDir + QStringLiteral("/../share/quorvel"));
}

bool RunsInstalled()
{
    const QString share = InstalledShareFolder();
    return !share.isEmpty() && QFileInfo(share).isDir();
}
} // namespace

QString ProgramFolder()
{
    const QString home = qEnvironmentVariable("QUORVEL_HOME");
    if (!home.isEmpty()) {
        QDir().mkpath(home);
        return withSeparator(QDir(home).absolutePath());
    }
    // An installed program never keeps data among the system's programs, even when the
    // folder is writable (a program run by the administrator).
    const QString exeDir = QCoreApplication::applicationDirPath();
    if (!exeDir.isEmpty() && QFileInfo(exeDir).isWritable() && !RunsInstalled())
        return withSeparator(exeDir);
    const QString data = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    QDir().mkpath(data);
    return withSeparator(data);
}

QString ResourcePath(const QString& fileName)
{
    const QString first = ProgramFolder() + fileName;
    const QStringList candidates = {first,
                                    withSeparator(QCoreApplication::applicationDirPath()) + fileName,
                                    withSeparator(InstalledShareFolder()) + fileName,
                                    withSeparator(QStringLiteral(QUORVEL_SHARE_DIR)) + fileName};
    for (const QString& c : candidates) {
        if (QFileInfo::exists(c))
            return c;
    }
    return first;
}
