#include "editor/EditorDialogs.h"

namespace editordialogs {

QString CannotOpenText(const QString& path, const QString& reason)
{
    return QStringLiteral("Cannot open file \"%1\". %2").arg(path, reason);
}

TFileDialogRequest SaveAsRequest(const QStringList& filters, int filterIndex, const QString& initialDir)
{
    TFileDialogRequest request;
    request.title = QStringLiteral("Save As");
    request.filters = filters;
    request.filterIndex = filterIndex;
    request.fileName = QStringLiteral("untitled");
    request.defaultExt = QStringLiteral("txt");
    request.overwritePrompt = true;
    request.initialDir = initialDir;
    return request;
}

} // namespace editordialogs
