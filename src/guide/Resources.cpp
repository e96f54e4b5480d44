#include "guide/Resources.h"

#include "guide/WizardSteps.h"
#include "platform/ProgramFolder.h"

#include <QFileInfo>

namespace resources {

QStringList Names()
{
    QStringList names{QStringLiteral("Help.hlp"), QStringLiteral("registry.ini")};
    for (wizard::Kind kind : {wizard::wkNewsletter, wizard::wkMailList}) {
        for (const wizard::Step& step : wizard::Steps(kind))
            names << step.file;
    }
    for (int i = 101; i <= 106; ++i)
        names << QStringLiteral("tamo%1.cls").arg(i);
    return names;
}

QStringList Report()
{
    QStringList lines{QStringLiteral("Data folder: ") + ProgramFolder()};
    for (const QString& name : Names()) {
        const QString path = ResourcePath(name);
        lines << name + QStringLiteral(": ") + (QFileInfo::exists(path) ? path : QStringLiteral("missing"));
    }
    return lines;
}

QStringList Missing()
{
    QStringList missing;
    for (const QString& name : Names()) {
        if (!QFileInfo::exists(ResourcePath(name)))
            missing << name;
    }
    return missing;
}

} // namespace resources
