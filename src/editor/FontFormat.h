#pragma once
// A font dialog's choice as a character format for a rich-text pane.
#include <QColor>
#include <QFont>
#include <QTextCharFormat>

QTextCharFormat FormatOfFont(const QFont& font, const QColor& color);
