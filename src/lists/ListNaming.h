#pragma once
// Where a list lives on disk: its folder below the program folder and its file inside it,
// both derived from the list name with numbered fallbacks when the name is taken.
#include <QString>

namespace listnaming {

// The first free folder path (without trailing separator) for `listName` below `parent`
// (which ends with a separator): the name cut to 32 characters; then cut to 31 + k (1-9),
// cut to 30 + k (10-99), cut to 29 + k (100 and more).
QString ChooseFolder(const QString& parent, const QString& listName);

// The first free list file path in `folder`: the name cut to 28 characters + ".qvl"; then
// cut to 27 + k (1-9), 26 + k (10-99), 25 + k (100 and more), each + ".qvl".
QString ChooseFile(const QString& folder, const QString& listName);

// The plain file name (no fallback): the name cut to 28 characters + ".qvl".
QString BaseFileName(const QString& listName);

// The k-th candidate of either rule (k = 0 is the plain name).
QString NumberedName(const QString& name, int baseLength, int k);

} // namespace listnaming
