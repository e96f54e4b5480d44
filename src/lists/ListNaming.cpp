#include "lists/ListNaming.h"

#include <QFileInfo>

namespace listnaming {

QString NumberedName(const QString& name, int baseLength, int k)
{
    if (k == 0)
        return name.left(baseLength);
    const int cut = k < 10 ? baseLength - 1 : (k < 100 ? baseLength - 2 : baseLength - 3);
    return name.left(cut) + QString::number(k);
}

QString ChooseFolder(const QString& parent, const QString& listName)
{
    for (int k = 0;; ++k) {
        const QString candidate = parent + NumberedName(listName, 32, k);
        if (!QFileInfo::exists(candidate))
            return candidate;
    }
}

QString ChooseFile(const QString& folder, const QString& listName)
{
    for (int k = 0;; ++k) {
        const QString candidate = folder + u'/' + NumberedName(listName, 28, k) + QStringLiteral(".qvl");
        if (!QFileInfo::exists(candidate))
            return candidate;
    }
}

QString BaseFileName(const QString& listName)
{
    return listName.left(28) + QStringLiteral(".qvl");
}

} // namespace listnaming
