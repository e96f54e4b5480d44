#pragma once
// What the editor's file commands say and ask in more than one place: the message for a file
// that cannot be read, and the Save As request.
#include "platform/Dialogs.h"

namespace editordialogs {

// "Cannot open file "path". reason"
QString CannotOpenText(const QString& path, const QString& reason);

// "Save As", offering "untitled" with "txt" added to a bare name, asking before replacing.
TFileDialogRequest SaveAsRequest(const QStringList& filters, int filterIndex, const QString& initialDir);

} // namespace editordialogs
