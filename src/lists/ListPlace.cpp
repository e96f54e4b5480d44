#include "lists/ListPlace.h"

#include "lists/ListNaming.h"
#include "lists/MailListRecord.h"
#include "platform/Cp1252.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace listplace {

namespace {
// One path component: no separator, not "." or "..", not empty.
bool IsComponent(const QString& s)
{
    return !s.isEmpty() && !s.contains(u'/') && !s.contains(QChar(0)) && s != QLatin1String(".")
           && s != QLatin1String("..");
}

QString WithSlash(const QString& folder)
{
    return folder.endsWith(u'/') ? folder : folder + u'/';
}
} // namespace

bool Storable(const QString& path)
{
    const QByteArray bytes = cp1252::encode(path);
    return bytes.size() <= MailListRecord::Capacity(MailListRecord::FilePath) && cp1252::decode(bytes) == path;
}

TFileOps TFileOps::Real()
{
    TFileOps ops;
    ops.renameDir = [](const QString& from, const QString& to) {
        // rename(2) would replace an empty folder of that name; ours must be new.
        return !QFileInfo::exists(to) && QDir().rename(from, to);
    };
    ops.renameFile = [](const QString& from, const QString& to) { return QFile::rename(from, to); };
    return ops;
}

QString CreateListFolder(const QString& programFolder, const QString& listName, QString* error)
{
    const QString parent = WithSlash(programFolder);
    const QString folder = listnaming::ChooseFolder(parent, listName);
    if (!IsComponent(folder.mid(parent.size())) || !QDir().mkdir(folder)) {
        if (error)
            *error = QStringLiteral("Could not create directory ") + folder + u'.';
        return QString();
    }
    QDir().mkdir(folder + QStringLiteral("/Sent Mail"));
    return folder;
}

QString UnstorableMessage(const QString& path)
{
    return QStringLiteral("Could not create the list file ") + path
           + QStringLiteral(":\nIts path is longer than 255 characters or holds characters a list file cannot store.");
}

QString ImportListFile(const QString& programFolder, const QString& listName, const QString& source,
                       QString* error)
{
    const QString folder = CreateListFolder(programFolder, listName, error);
    if (folder.isEmpty())
        return QString();
    const QString target = listnaming::ChooseFile(folder, listName);
    QString problem;
    if (!IsComponent(target.mid(folder.size() + 1)) || !Storable(target))
        problem = UnstorableMessage(target);
    else if (!QFile::copy(source, target))
        problem = QStringLiteral("Could not copy ") + source + QStringLiteral(" to ") + target + u'.';
    if (problem.isEmpty())
        return target;
    // The folder was made for this copy only.
    QFile::remove(target);
    QDir().rmdir(folder + QStringLiteral("/Sent Mail"));
    QDir().rmdir(folder);
    if (error)
        *error = problem;
    return QString();
}

TRenameResult RenameList(const QString& programFolder, const QString& oldPath, const QString& newName,
                         const TFileOps& ops)
{
    TRenameResult result;
    result.path = oldPath;
    const QString parent = WithSlash(programFolder);
    const QFileInfo old(oldPath);
    const QString oldFolder = old.absolutePath();
    const QString oldFile = old.fileName();
    const bool ownFolder = WithSlash(QFileInfo(oldFolder).absolutePath()) == WithSlash(QDir::cleanPath(parent))
                           && IsComponent(old.dir().dirName());

    QString folder = oldFolder;
    if (ownFolder) {
        const QString newFolder = listnaming::ChooseFolder(parent, newName);
        if (!IsComponent(newFolder.mid(parent.size())) || !ops.renameDir(oldFolder, newFolder)) {
            result.errors << QStringLiteral("Could not rename directory ") + oldFolder + u'/' + QStringLiteral(" to ")
                                 + newFolder + u'.';
            return result; // nothing moved: the list stays where it was
        }
        folder = newFolder;
    }
    const QString moved = folder + u'/' + oldFile;
    const QString newPath = listnaming::ChooseFile(folder, newName);
    if (!IsComponent(newPath.mid(folder.size() + 1)) || !Storable(newPath) || !ops.renameFile(moved, newPath)) {
        result.errors << QStringLiteral("Could not rename file ") + moved + QStringLiteral(" to ") + newPath + u'.';
        if (ownFolder) {
            // Put the folder back so the list keeps its old path.
            if (ops.renameDir(folder, oldFolder))
                result.path = oldPath;
            else
                result.path = moved;
        }
        return result;
    }
    result.path = newPath;
    return result;
}

} // namespace listplace
