#pragma once
// Copies of unsaved work written when the program is ended without a person to ask (a
// terminate signal, the desktop session ending): the newsletter, and a mail list whose own file
// could not take its changes. They live in the "Recovery" folder below the program folder until
// the next start offers them back.
#include <QString>
#include <QStringList>

class MailListRecord;
class QTextDocument;
class TAddressList;

namespace recovery {

// The folder, with its trailing separator.
QString Folder();

// The newsletter body and subject, with the name of the file it was opened from ("" for an
// untitled newsletter). Readable by its owner only.
bool WriteNewsletter(const QTextDocument& body, const QString& subject, const QString& fileName, QString* error);

struct TKeptNewsletter
{
    QString path;     // the copy ("" when there is none)
    QString fileName; // the file the newsletter came from ("" when untitled)
};
TKeptNewsletter KeptNewsletter();
void DiscardNewsletter();

// A copy of the open list (header and entries), named after its own file. Returns the copy's
// path, or "" with `error` set.
QString WriteList(const MailListRecord& header, const TAddressList& entries, QString* error);
// The list copies kept, oldest first.
QStringList KeptLists();

} // namespace recovery
