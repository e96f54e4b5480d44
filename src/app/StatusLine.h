#pragma once
// The status line's label `StatusBar`: to assistive technology a status bar whose name and value
// are its text, announced on every change; and the text colour that stays readable on whatever
// colour the user gives the strip.
#include <QColor>
#include <QLabel>

class TStatusLabel : public QLabel
{
    Q_OBJECT
public:
    explicit TStatusLabel(QWidget* parent = nullptr);
    // Sets the text and tells assistive technology (name and value changed).
    void SetStatusText(const QString& text);
};

namespace statusline {
// Black or white, whichever contrasts more with `background` (WCAG relative luminance).
QColor ReadableTextColor(const QColor& background);
// The contrast ratio of two colours, 1 to 21.
double ContrastRatio(const QColor& a, const QColor& b);
} // namespace statusline
