#pragma once
#include <QString>

// The folder every data file is relative to, with its trailing separator:
// $QUORVEL_HOME when set; else the program's own folder when it is writable and not an
// installed program's (one with <prefix>/share/quorvel beside it); else the per-user data folder.
QString ProgramFolder();

// A read-only resource (sound, wizard file, help): looked up in the program folder first,
// then beside the executable, then in the share folder beside the program's <prefix>/bin, then
// in the share folder of the configured prefix. Returns the first path
// that exists, or the program-folder path when none does.
QString ResourcePath(const QString& fileName);
