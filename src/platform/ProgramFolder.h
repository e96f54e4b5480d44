#pragma once
#include <QString>

// The folder every data file is relative to, with its trailing separator:
// $QUORVEL_HOME when set; else the program's own folder when it is writable; else the
// per-user data folder.
QString ProgramFolder();

// A read-only resource (sound, wizard file, help): looked up in the program folder first,
// then beside the executable, then in the installed share folder. Returns the first path
// that exists, or the program-folder path when none does.
QString ResourcePath(const QString& fileName);
