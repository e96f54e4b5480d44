// A straight scan over the whole text: every occurrence is found wherever it lies, and a
// word's delimiters are the characters around it, never an artificial chunk edge.
#include "editor/TextSearch.h"

namespace textsearch {
namespace {

inline char16_t Fold(char16_t c)
{
    return (c >= u'A' && c <= u'Z') ? char16_t(c + 32) : c;
}

inline bool IsBreak(QChar c)
{
    const char16_t u = c.unicode();
    return u == u' ' || u == u'\n' || u == u'\r' || u == QChar::ParagraphSeparator ||
           u == QChar::LineSeparator;
}

class Matcher
{
public:
    Matcher(QStringView text, QStringView pattern, bool caseSensitive)
        : m_text(text), m_caseSensitive(caseSensitive)
    {
        m_pattern = caseSensitive ? pattern.toString() : FoldAscii(pattern);
        m_first = m_pattern.isEmpty() ? 0 : m_pattern[0].unicode();
        m_firstUpper = (m_first >= u'a' && m_first <= u'z') ? char16_t(m_first - 32) : m_first;
    }

    qsizetype Length() const { return m_pattern.size(); }

    bool At(qsizetype i) const
    {
        const QChar* t = m_text.data() + i;
        const QChar* p = m_pattern.constData();
        for (qsizetype k = 0; k < m_pattern.size(); ++k)
            if (Fold(t[k].unicode()) != p[k].unicode())
                return false;
        return true;
    }

    // The first candidate starting at or after i (and no later than `last`), or -1.
    qsizetype Next(qsizetype i, qsizetype last) const
    {
        if (i > last)
            return -1;
        if (m_caseSensitive) {
            const qsizetype at = m_text.indexOf(m_pattern, i, Qt::CaseSensitive);
            return (at >= 0 && at <= last) ? at : -1;
        }
        const QChar* t = m_text.data();
        for (; i <= last; ++i) {
            const char16_t c = t[i].unicode();
            if ((c == m_first || c == m_firstUpper) && At(i))
                return i;
        }
        return -1;
    }

    // The last candidate starting at or before i, or -1.
    qsizetype Prev(qsizetype i) const
    {
        if (i < 0)
            return -1;
        if (m_caseSensitive)
            return m_text.lastIndexOf(m_pattern, i, Qt::CaseSensitive);
        const QChar* t = m_text.data();
        for (; i >= 0; --i) {
            const char16_t c = t[i].unicode();
            if ((c == m_first || c == m_firstUpper) && At(i))
                return i;
        }
        return -1;
    }

private:
    QStringView m_text;
    QString m_pattern;
    bool m_caseSensitive;
    char16_t m_first = 0;
    char16_t m_firstUpper = 0;
};

} // namespace

QString FoldAscii(QStringView text)
{
    QString out(text.size(), Qt::Uninitialized);
    QChar* d = out.data();
    for (qsizetype i = 0; i < text.size(); ++i)
        d[i] = QChar(Fold(text[i].unicode()));
    return out;
}

bool EqualsFolded(QStringView a, QStringView b)
{
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i)
        if (Fold(a[i].unicode()) != Fold(b[i].unicode()))
            return false;
    return true;
}

TSpan Find(QStringView text, QStringView pattern, qsizetype from, const TSearchOptions& options)
{
    const qsizetype n = text.size();
    const qsizetype m = pattern.size();
    from = qBound<qsizetype>(0, from, n);
    if (m == 0 || m > n)
        return {};
    const Matcher matcher(text, pattern, options.caseSensitive);

    if (!options.backward) {
        const qsizetype last = n - m;
        for (qsizetype i = matcher.Next(from, last); i >= 0; i = matcher.Next(i + 1, last)) {
            if (!options.wholeWords)
                return {i, m};
            const bool before = i == from || i == 0 || IsBreak(text[i - 1]);
            const bool after = i + m == n || IsBreak(text[i + m]);
            if (before && after)
                return {i, m};
        }
        return {};
    }

    for (qsizetype i = matcher.Prev(from - m); i >= 0; i = matcher.Prev(i - 1)) {
        if (!options.wholeWords)
            return {i, m};
        const bool before = i == 0 || IsBreak(text[i - 1]);
        const bool after = i + m == from || i + m == n || IsBreak(text[i + m]);
        if (before && after)
            return {i, m};
    }
    return {};
}

TReplacePlan PlanReplaceAll(QStringView text, QStringView pattern, TSpan selection,
                            bool replaceTextEmpty, const TSearchOptions& options)
{
    TReplacePlan plan;
    if (pattern.isEmpty())
        return plan;
    const qsizetype n = text.size();
    selection.start = qBound<qsizetype>(0, selection.start, n);
    selection.length = qBound<qsizetype>(0, selection.length, n - selection.start);
    const bool selectionMatches =
        EqualsFolded(text.sliced(selection.start, selection.length), pattern);

    // Each step replaces the selected match, then searches on from the caret. Forward the
    // caret ends after the inserted text; backward it is put at the start of the inserted
    // text, so a replacement that holds the search text is never found again.
    qsizetype from = selection.start;
    if (selectionMatches) {
        if (!replaceTextEmpty)
            plan.replace << selection;
        if (!options.backward)
            from = selection.end();
    }
    for (;;) {
        const TSpan f = Find(text, pattern, from, options);
        if (!f.found())
            break;
        plan.lastFound = f;
        if (!replaceTextEmpty)
            plan.replace << f;
        from = options.backward ? f.start : f.end();
    }
    return plan;
}

} // namespace textsearch
