#include "editor/EditorDialogs.h"

namespace editordialogs {

QString CannotOpenText(const QString& path, const QString& reason)
{
    return QStringLiteral("Cannot open file \"%1\". %2").arg(path, reason);
}

QString NotADocumentText(const QString& path, const QString& what)
{
    return QStringLiteral("The file \"%1\" is not a text or rich-text document and cannot be opened: it is %2.")
        .arg(path, what);
}

QString ReplaceFormQuestion(const QString& path, bool openedRich)
{
    if (openedRich)
        return QStringLiteral("The file \"%1\" was opened as rich text. Saving it writes plain text in its place, "
                              "and its formatting is lost. Replace it anyway?").arg(path);
    return QStringLiteral("The file \"%1\" was opened as plain text. Saving it writes rich text (RTF) in its place, "
                          "which other programs may no longer read as text. Replace it anyway?").arg(path);
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
