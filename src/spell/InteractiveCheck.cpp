#include "spell/InteractiveCheck.h"

#include "spell/SpellerLibrary.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>

#include <algorithm>

namespace {
bool isWordChar(QChar c)
{
    return c.isLetterOrNumber() || c.isMark() || c == u'\'' || c == QChar(0x2019) || c.isSurrogate();
}

// Calls `f` with a rich or plain text control (the same calls serve both); false for others.
template <class F>
bool onTextEdit(QWidget* control, F f)
{
    if (auto* rich = qobject_cast<QTextEdit*>(control))
        return f(rich), true;
    if (auto* plain = qobject_cast<QPlainTextEdit*>(control))
        return f(plain), true;
    return false;
}

int selectionStart(QWidget* control)
{
    int start = 0;
    if (!onTextEdit(control, [&](auto* edit) { start = edit->textCursor().selectionStart(); }))
        if (auto* line = qobject_cast<QLineEdit*>(control))
            start = line->hasSelectedText() ? line->selectionStart() : line->cursorPosition();
    return start;
}
} // namespace

namespace casing {

TCase CaseOf(QStringView word)
{
    int letters = 0, upper = 0;
    bool firstUpper = false, restLower = true;
    for (const QChar c : word) {
        if (!c.isLetter())
            continue;
        if (letters == 0)
            firstUpper = c.isUpper();
        else if (!c.isLower())
            restLower = false;
        ++letters;
        upper += c.isUpper() ? 1 : 0;
    }
    if (letters == 0)
        return TCase::Other;
    if (upper == 0)
        return TCase::Lower;
    if (letters > 1 && upper == letters)
        return TCase::Upper;
    if (firstUpper && restLower)
        return TCase::Capitalised;
    return TCase::Other;
}

namespace {
// `word` with its first letter upper- or lower-cased, the rest as it is.
QString WithFirstLetter(QString word, bool upper)
{
    for (QChar& c : word)
        if (c.isLetter()) {
            c = upper ? c.toUpper() : c.toLower();
            break;
        }
    return word;
}

QString InCase(const QString& word, TCase form)
{
    switch (form) {
    case TCase::Lower: return word.toLower();
    case TCase::Upper: return word.toUpper();
    case TCase::Capitalised: return WithFirstLetter(word.toLower(), true);
    case TCase::Other: break;
    }
    return word;
}
} // namespace

QList<std::pair<QString, QString>> ChangeForms(const QString& word, const QString& replacement)
{
    QList<std::pair<QString, QString>> out{{word, replacement}};
    const TCase wordCase = CaseOf(word);
    const TCase replacementCase = CaseOf(replacement);
    for (const TCase form : {TCase::Lower, TCase::Capitalised, TCase::Upper}) {
        const QString found = InCase(word, form);
        if (found == word || std::any_of(out.cbegin(), out.cend(), [&](const auto& p) { return p.first == found; }))
            continue;
        QString changed = replacement;
        if (form == TCase::Upper)
            changed = replacement.toUpper();
        else if (wordCase == TCase::Upper && replacementCase == TCase::Upper)
            changed = InCase(replacement, form); // the capitals were the found word's
        else if (form == TCase::Capitalised)
            changed = WithFirstLetter(replacement, true);
        else if (wordCase != TCase::Lower && replacementCase == TCase::Capitalised)
            changed = WithFirstLetter(replacement, false); // the capital came from where the word stood
        out.append({found, changed});
    }
    return out;
}

} // namespace casing

TInteractiveCheck::TInteractiveCheck(TSpellHost& host, TSpellerLibrary& engine, QObject* parent)
    : QObject(parent), m_host(host), m_engine(engine)
{
}

QString TInteractiveCheck::ControlText(QWidget* control)
{
    QString text;
    if (!onTextEdit(control, [&](auto* edit) { text = edit->document()->toRawText(); }))
        if (auto* line = qobject_cast<QLineEdit*>(control))
            text = line->text();
    return text;
}

void TInteractiveCheck::Start(QWidget* control, const QString& text)
{
    m_control = control;
    m_buffer = text;
    if (m_control) {
        int start = std::clamp(selectionStart(m_control), 0, int(m_buffer.size()));
        // The start of the word at or before the caret.
        while (start > 0 && (m_buffer.at(start - 1) == u' ' || m_buffer.at(start - 1) == u'\t')
               && !(start < m_buffer.size() && isWordChar(m_buffer.at(start))))
            --start;
        while (start > 0 && isWordChar(m_buffer.at(start - 1)))
            --start;
        m_pos = start;
    } else {
        m_pos = 0;
    }
    m_count = int(m_buffer.size()) - m_pos;
    m_errStart = m_pos;
    m_errLen = 0;
    m_suggestions.assign(1024, 0);
    m_ratings.assign(255, 0);
}

void TInteractiveCheck::ReleaseBuffers()
{
    m_suggestions.clear();
    m_suggestions.shrink_to_fit();
    m_ratings.clear();
    m_ratings.shrink_to_fit();
}

// ---- the operations ----------------------------------------------------------------------------

TSpellReturnCode TInteractiveCheck::VerifyNext()
{
    if (!m_host.IsOpen() || !m_engine.IsReady())
        return 0;
    if (m_suggestions.empty())
        m_suggestions.assign(1024, 0);
    if (m_ratings.empty())
        m_ratings.assign(255, 0);
    const int limit = std::min<int>(m_pos + std::max(0, m_count), m_buffer.size());
    int from = std::min<int>(m_pos, m_buffer.size());
    // Pieces after the first start where the previous one ended, so an error never lies
    // before the position.
    do {
        const int end = TSpellerLibrary::PieceEnd(m_buffer, from, limit);
        const SPLINPUT in{uint16_t(end - from), 1, 1, splstateNone, TSpellerLibrary::Units(m_buffer) + from, nullptr, nullptr};
        m_ret = SPLRETURN{};
        m_ret.cch = uint16_t(m_suggestions.size());
        m_ret.lrgsz = m_suggestions.data();
        m_ret.lrgbRating = m_ratings.data();
        m_ret.cbRate = uint16_t(m_ratings.size());
        m_suggestions[0] = 0;
        TSpellerLibrary::Fail(m_engine.Verify(in, m_ret));
        if (m_ret.scrs != splstatNoErrors) {
            m_errStart = from + m_ret.ichError;
            m_errLen = std::min<int>(m_ret.cchError, m_buffer.size() - m_errStart);
            if (m_control)
                SelectInControl(m_errStart, m_errLen);
            return m_ret.scrs;
        }
        from = end;
    } while (from < limit);
    return 0;
}

QString TInteractiveCheck::FirstSuggestion() const
{
    if (m_suggestions.empty())
        return {};
    const uint16_t* p = m_suggestions.data();
    size_t n = 0;
    while (n < m_suggestions.size() && p[n])
        ++n;
    return QString(reinterpret_cast<const QChar*>(p), qsizetype(n));
}

void TInteractiveCheck::SelectInControl(int start, int length)
{
    if (!onTextEdit(m_control, [&](auto* edit) {
            QTextCursor c(edit->document());
            c.setPosition(start);
            c.setPosition(start + length, QTextCursor::KeepAnchor);
            edit->setTextCursor(c);
        }))
        if (auto* line = qobject_cast<QLineEdit*>(m_control.data()))
            line->setSelection(start, length);
}

void TInteractiveCheck::TextChanged(int pos, int len, const QString& newWord, int nextPos)
{
    // The control gets the same change as the buffer, at the same place (the user may have
    // moved its selection while a modeless dialog was up).
    if (m_control && ControlText(m_control).mid(pos, len) == m_buffer.mid(pos, len)) {
        SelectInControl(pos, len);
        if (!onTextEdit(m_control, [&](auto* edit) { edit->textCursor().insertText(newWord); }))
            if (auto* line = qobject_cast<QLineEdit*>(m_control.data()))
                line->insert(newWord);
    }
    m_buffer.replace(pos, len, newWord);
    m_pos = std::clamp(nextPos, 0, int(m_buffer.size()));
    m_count = int(m_buffer.size()) - m_pos;
    m_errLen = 0;
    if (OnChange)
        OnChange(pos, len, newWord);
}

void TInteractiveCheck::ReplaceError(const QString& newWord)
{
    if (!m_host.IsOpen())
        return;
    TextChanged(m_errStart, m_errLen, newWord, m_errStart);
}

void TInteractiveCheck::ChangeOnce(const QString& newWord)
{
    if (!m_host.IsOpen())
        return;
    m_engine.AddChange(splListChangeOnce, ErrorWord(), newWord);
    TextChanged(m_errStart, m_errLen, newWord, m_errStart);
}

void TInteractiveCheck::ChangeAlways(const QString& newWord)
{
    if (!m_host.IsOpen())
        return;
    // Every case form of the word is changed, keeping the capitals it is found with.
    for (const auto& [found, replacement] : casing::ChangeForms(ErrorWord(), newWord))
        m_engine.AddChange(splListChangeAlways, found, replacement);
    TextChanged(m_errStart, m_errLen, newWord, m_errStart + int(newWord.size()));
}

void TInteractiveCheck::Advance(int n)
{
    const int next = std::clamp(m_pos + n, 0, int(m_buffer.size()));
    m_count -= next - m_pos;
    m_pos = next;
}

void TInteractiveCheck::SkipError()
{
    Advance(m_errStart + m_errLen - m_pos);
}

void TInteractiveCheck::SkipAll()
{
    if (!m_host.IsOpen())
        return;
    m_engine.SkipForSession(ErrorWord());
    SkipError();
}

void TInteractiveCheck::AddWord()
{
    if (!m_host.IsOpen())
        return;
    m_engine.AddToUserDictionary(ErrorWord());
    Advance(m_errStart - m_pos);
}

void TInteractiveCheck::DeleteError()
{
    if (!m_host.IsOpen())
        return;
    const int p = m_errStart;
    if (p == 0) // nothing before the word to take with it
        TextChanged(0, m_errLen, QString(), 0);
    else
        TextChanged(p - 1, m_errLen + 1, QString(), p);
}

int TInteractiveCheck::SkipTags()
{
    const int n = int(m_buffer.size());
    while (m_pos < n && m_buffer.at(m_pos) == u'<') {
        qsizetype end = -1;
        if (m_pos + 1 < n && m_buffer.at(m_pos + 1) == u'%') {
            end = m_buffer.indexOf(QLatin1String("%>"), m_pos + 2);
            end = end < 0 ? -1 : end + 2;
        } else if (QStringView(m_buffer).mid(m_pos).startsWith(QLatin1String("<!--"))) {
            end = m_buffer.indexOf(QLatin1String("-->"), m_pos + 4);
            end = end < 0 ? -1 : end + 3;
        } else {
            end = m_buffer.indexOf(u'>', m_pos + 1);
            end = end < 0 ? -1 : end + 1;
        }
        m_pos = end < 0 ? n : int(end);
        while (m_pos < n && m_buffer.at(m_pos).unicode() < 32)
            ++m_pos;
    }
    const qsizetype next = m_buffer.indexOf(u'<', m_pos);
    m_count = int((next < 0 ? n : next) - m_pos);
    return m_count;
}

void TInteractiveCheck::Suggest(const QString& word, QStringList& list)
{
    list.clear();
    if (m_host.IsOpen() && m_engine.IsReady() && !word.isEmpty())
        m_engine.Suggest(word, list);
}
