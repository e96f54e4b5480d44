#include "guide/Resources.h"

#include "guide/WizardSteps.h"
#include "platform/ProgramFolder.h"
#include "platform/Registry.h"

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

QString SpellerEngine()
{
    TRegistry reg;
    reg.SetRootKey(TRegistry::HKEY_LOCAL_MACHINE);
    if (!reg.OpenKeyReadOnly(QStringLiteral("\\SOFTWARE\\Microsoft\\Shared Tools\\Proofing Tools\\Spelling\\1033\\Normal")))
        return {};
    return TRegistry::FilePathValue(reg.ReadString(QStringLiteral("Engine")));
}

QStringList Report()
{
    QStringList lines{QStringLiteral("Data folder: ") + ProgramFolder()};
    for (const QString& name : Names()) {
        const QString path = ResourcePath(name);
        lines << name + QStringLiteral(": ") + (QFileInfo::exists(path) ? path : QStringLiteral("missing"));
    }
    const QString engine = SpellerEngine();
    lines << QStringLiteral("Speller engine: ")
                 + (engine.isEmpty() ? QStringLiteral("not registered")
                                     : QFileInfo::exists(engine) ? engine : engine + QStringLiteral(" (missing)"));
    return lines;
}

QStringList Missing()
{
    QStringList missing;
    for (const QString& name : Names()) {
        if (!QFileInfo::exists(ResourcePath(name)))
            missing << name;
    }
    if (const QString engine = SpellerEngine(); !engine.isEmpty() && !QFileInfo::exists(engine))
        missing << engine;
    return missing;
}

} // namespace resources
