#pragma once
// What the editor's file commands say and ask in more than one place: the message for a file
// that cannot be read, and the Save As request.
#include "platform/Dialogs.h"

namespace editordialogs {

// "Cannot open file "path". reason"
QString CannotOpenText(const QString& path, const QString& reason);

// A file that is neither text nor RTF; `what` says what it looks like.
QString NotADocumentText(const QString& path, const QString& what);

// The question before a save replaces a file with the other body form than it was opened as.
// `openedRich`: the file was read as rich text (and would now be written as plain text).
QString ReplaceFormQuestion(const QString& path, bool openedRich);

// "Save As", offering "untitled" with "txt" added to a bare name, asking before replacing.
TFileDialogRequest SaveAsRequest(const QStringList& filters, int filterIndex, const QString& initialDir);

} // namespace editordialogs
