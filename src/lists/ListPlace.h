#pragma once
// Making and moving a list's place on disk: its own folder below the program folder (with a
// "Sent Mail" subfolder) and its file inside it, named from the list name by the rules of
// listnaming. A name is used as typed, but never as a path: a name holding a separator
// fails the way a name the file system rejects does.
#include <QString>
#include <QStringList>
#include <functional>

namespace listplace {

// The renames, replaceable so tests can make them fail.
struct TFileOps
{
    std::function<bool(const QString& from, const QString& to)> renameDir;
    std::function<bool(const QString& from, const QString& to)> renameFile;
    static TFileOps Real();
};

// Whether a list file path fits the header's path field (255 characters of Windows-1252):
// the catalog finds the list by that stored path, so a path cut or garbled there is lost.
bool Storable(const QString& path);

// Chooses and creates the folder of a new list and its "Sent Mail" subfolder below
// `programFolder` (which ends with a separator). Returns the folder (without a trailing
// separator), or "" with `error` set when it could not be made.
QString CreateListFolder(const QString& programFolder, const QString& listName, QString* error);

// The message for a list file whose path Storable() refuses.
QString UnstorableMessage(const QString& path);

// Places a copy of the list file `source` as the list `listName` (the name stored in its
// header): a new folder chosen and checked as for a new list, the copy inside it named by the
// file rule. Returns the copy's path, or "" with `error` set when the folder cannot be made,
// the path is not Storable() or the copy fails; nothing is left behind then.
QString ImportListFile(const QString& programFolder, const QString& listName, const QString& source,
                       QString* error);

struct TRenameResult
{
    QString path;       // where the list file is now: the new path, or a path that exists
    QStringList errors; // the messages to show, in order
};

// Moves the list file at `oldPath` to the folder and file names of `newName`. The list's
// folder is renamed only when it is a folder of its own directly below the program folder;
// a list kept anywhere else is renamed inside its folder. When the folder cannot be renamed
// nothing moves; when the file cannot be renamed the folder is moved back, so the result
// always names the file as it now lies on disk.
TRenameResult RenameList(const QString& programFolder, const QString& oldPath, const QString& newName,
                         const TFileOps& ops = TFileOps::Real());

} // namespace listplace
