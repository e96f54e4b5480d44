#pragma once
// The search engine behind the find panel, free of widgets. It works on a pane's whole text
// (one character per line break, as the pane's cursor positions count them).
//
// Case-insensitive comparison folds only the letters A to Z. Whole words are delimited before
// by a space, a line break, the start of the text or the search's start position, and after
// by a space, a line break, the end of the text or (searching backward) the start position.
// Tabs and punctuation are not delimiters.
#include <QList>
#include <QString>

struct TSearchOptions
{
    bool caseSensitive = false;
    bool wholeWords = false;
    bool backward = false;
};

struct TSpan
{
    qsizetype start = -1;
    qsizetype length = 0;
    qsizetype end() const { return start + length; }
    bool found() const { return start >= 0; }
    bool operator==(const TSpan&) const = default;
};

namespace textsearch {

// Lower-cases A to Z, nothing else.
QString FoldAscii(QStringView text);
bool EqualsFolded(QStringView a, QStringView b);

// Forward: the first match starting at or after `from`. Backward: the last match ending at or
// before `from`. `from` is clamped to the text.
TSpan Find(QStringView text, QStringView pattern, qsizetype from, const TSearchOptions& options);

// What a run of search steps that replaces each match ("Replace All") touches, computed on
// the text before any replacement. `selection` is the pane's selection when the run starts.
struct TReplacePlan
{
    QList<TSpan> replace;  // spans of the original text, in the order they are visited
    TSpan lastFound;       // the last match a step selected (invalid when none)
};
TReplacePlan PlanReplaceAll(QStringView text, QStringView pattern, TSpan selection,
                            bool replaceTextEmpty, const TSearchOptions& options);

} // namespace textsearch
