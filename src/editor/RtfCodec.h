#pragma once
// Our own RTF codec between QTextDocument and RTF byte streams.
//
// The writer produces what a rich-text control writes: a font table, a colour table and
// character runs with \f \fs \b \i \ul \strike \cf, paragraphs (\par, alignment), \tab, \line,
// and non-ASCII text as \'hh in Windows-1252 or \uN? beyond it.
//
// The reader takes that back, and RTF from word processors: it keeps the text and the same
// character and paragraph properties, skips every destination it does not show (style sheet,
// document info, pictures, headers, ignorable \* groups) and every unknown control word. It
// stops at the close of the outermost group, so bytes after the stream (a document's subject
// line) never reach the text. Damaged input (unbalanced braces, huge numbers, deep nesting,
// truncation, binary data) yields what can be read; it never crashes or hangs.
#include <QByteArray>
#include <QString>

class QTextDocument;

namespace rtf {

// Whether the bytes hold an RTF stream: "{\rtf" after optional white space.
bool IsRtf(QByteArrayView bytes);

struct ReadResult
{
    bool rtf = false;        // the bytes started an RTF stream (otherwise nothing was read)
    bool complete = false;   // the outermost group was closed
    qsizetype consumed = 0;  // bytes up to and including the outermost group's close
    QString warning;         // what was wrong with a damaged stream ("" when nothing was)
};

// Replaces the document's content (and its undo history) with the stream's text.
ReadResult Read(QByteArrayView bytes, QTextDocument* doc);

// The whole document as one RTF group (no trailing line break).
QByteArray Write(const QTextDocument& doc);

} // namespace rtf
