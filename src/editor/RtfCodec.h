#pragma once
// Our own RTF codec between QTextDocument and RTF byte streams.
//
// The writer produces what a rich-text control writes (a font table, a colour table, character
// runs with \f \fs \b \i \ul \strike \cf, \tab, \line, non-ASCII text as \'hh in Windows-1252 or
// \uN? beyond it) and everything else the pane shows: paragraph alignment, indents and spacing,
// lists, tables, PNG and JPEG pictures and hyperlinks, so a document reopens as it was shown.
//
// The reader takes that back, and RTF from word processors. It skips every destination it does
// not show (style sheet, document info, ignorable \* groups) and every unknown control word, and
// names what it skips that the document cannot hold (objects, drawings, footnotes, headers,
// other picture formats). It stops at the close of the outermost group, so bytes after the
// stream (a document's subject line) never reach the text. Damaged input (unbalanced braces,
// huge numbers, deep nesting, truncation, binary data) yields what can be read; it never
// crashes or hangs.
#include <QByteArray>
#include <QString>
#include <QStringList>

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
    QStringList unsupported; // content read past because the document cannot hold it
};

// Replaces the document's content (and its undo history) with the stream's text.
ReadResult Read(QByteArrayView bytes, QTextDocument* doc);

// The whole document as one RTF group (no trailing line break).
QByteArray Write(const QTextDocument& doc);

} // namespace rtf
