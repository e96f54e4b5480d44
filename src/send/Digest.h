#pragma once
// The message as it is mailed: header file, body, signature file and footer file in that order,
// each block followed by an empty line, and which of the files apply. No widgets here.
#include <QString>
#include <QStringList>

class MailListRecord;
struct TGeneralSettings;

// The three optional files of one send; an empty path means the block does not apply.
struct TDigestParts
{
    QString HeaderFile;
    QString SigFile;
    QString FooterFile;
    bool Formatted = false; // sent as HTML with a text part (list option "9", or the general one)
};

// The blocks' lines read once (a block whose file is missing is left out), so a personalised
// send composes each recipient's message from them in the same order.
struct TDigestTexts
{
    QStringList Body;
    QList<QStringList> Before; // the header block, when it applies
    QList<QStringList> After;  // the signature and footer blocks that apply, in that order
};

namespace digest {

// The list's files and flags ("1" header, "3" signature, "2" footer) when a list is selected and
// the general properties are not forced; otherwise the general ones. A file applies only when
// its flag is on and the file exists. Formatted follows the same choice.
TDigestParts PartsFor(const MailListRecord* selectedList, bool useGeneral, const TGeneralSettings& general);

// The lines of a text file (UTF-8 when valid, else Windows-1252); a final line end adds no
// empty line. Unreadable files give no lines.
QStringList FileLines(const QString& path);

// The body text as lines: every paragraph and every line break inside one starts a line.
QStringList BodyLines(const QString& plainText);

// The digest: "Subject: " + subject and an empty line first when not for sending; then the
// blocks that apply, each followed by an empty line (the body's always).
QStringList Compile(bool forSending, const QString& subject, const QStringList& body, const TDigestParts& parts);
// The body and the files that apply, read once for a personalised send.
TDigestTexts Texts(const QStringList& body, const TDigestParts& parts);
QStringList Compile(bool forSending, const QString& subject, const TDigestTexts& texts);

} // namespace digest

namespace archive {

// Removes every one of : / \ * ? " < > |.
QString RemoveBadFileChars(const QString& name);
// The n-th candidate name of an archive for `subject` (n = 0 is the first try): the subject cut
// to fit 27 characters with the number, then ".txt", bad characters removed.
QString CandidateName(const QString& subject, int n);

// The archive's text: Subject, Date, From, To lines, an empty line, the body lines.
QString Text(const QString& subject, const QString& dateText, const QString& from, const QString& recipients,
             const QStringList& bodyLines);

// Creates the archive under the first free name in `folder` (never replacing a file) and
// writes `text` (Windows-1252 when every character fits it, else UTF-8; CR LF line ends).
// Returns the path, or "" with `error` set.
QString Write(const QString& folder, const QString& subject, const QString& text, QString* error);

} // namespace archive
