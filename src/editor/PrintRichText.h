#pragma once
// Prints a rich-text pane under a heading: on the first page a rule of underscores, the
// heading text and a second rule; the text follows from 2000 twips below the top of every
// page, 250 twips from the left edge.
#include <QString>

class QPrinter;
class QTextDocument;
class QTextEdit;
class TShell;

// The core: prints `doc` as a job named `jobName` with `heading` on the first page. Returns
// false and sets `error` when the printer cannot be used.
bool PrintRichText(QPrinter& printer, const QString& jobName, const QString& heading,
                   const QTextDocument& doc, QString* error = nullptr);

// The pane form the panels use. The heading is the newsletter subject (the shell's Subject())
// for the panes "LetterRE" and "DigestRE", and `title` for any other pane.
bool PrintRichText(QPrinter& printer, TShell& shell, const QString& title, QTextEdit* pane,
                   QString* error = nullptr);

// The panels' Print command: the printer dialog through the shell's dialog service, then the
// pane; a failure is shown as `errorPrefix` followed by the reason.
void PrintPaneWithDialog(TShell& shell, const QString& title, QTextEdit* pane,
                         const QString& errorPrefix = QString());
