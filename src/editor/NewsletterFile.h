#pragma once
// The newsletter document file: the body (RTF stream or plain text), CR LF, the subject line,
// CR LF. A file name (not folder) containing ".txt" in any letter case means a plain-text body;
// every other name means rich text. No widgets here: the panel hands in the body's QTextDocument.
#include <QByteArray>
#include <QString>
#include <QStringList>

class QTextDocument;

namespace newsletterfile {

bool IsPlainTextName(const QString& path);

// Why the bytes are neither text nor RTF ("a ZIP archive (.docx, .odt, ...)", "binary data"),
// or "" when they can be shown as a document. Opening such a file would show garbage, and
// saving it would destroy the original.
QString NotTextReason(QByteArrayView bytes);

// Text with CR LF line ends, in bytes DecodeText reads back exactly: Windows-1252 where that
// is unambiguous, else UTF-8 with a byte-order mark (textfile::encode).
QByteArray EncodeText(QStringView text);
// UTF-8 when valid, else Windows-1252; every line break becomes "\n".
QString DecodeText(QByteArrayView bytes);
// The last line a line-by-line reader sees: a break at the very end ends the last line
// rather than starting an empty one. "" for empty text.
QString LastLine(QStringView text);

struct TLoadResult
{
    QString subject;
    bool rich = false;  // the body was read from an RTF stream
    QString warning;    // damage found in the RTF stream ("" when none)
    QStringList unsupported; // what the file holds that the document cannot keep
};

// Fills `body` from a document file's bytes and recovers the subject. `plainName`: the file's
// name marks a plain-text document.
TLoadResult Parse(const QByteArray& bytes, bool plainName, QTextDocument* body);
// The bytes of a document file.
QByteArray Compose(const QTextDocument& body, const QString& subject, bool plainName);

// File wrappers; on failure `error` names the file and the reason. Load refuses a file that
// is neither text nor RTF.
bool Load(const QString& path, QTextDocument* body, TLoadResult* result, QString* error);
bool Save(const QString& path, const QTextDocument& body, const QString& subject, QString* error);

} // namespace newsletterfile
