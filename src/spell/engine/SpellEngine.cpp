// The speller engine: the entry points of spell/SpellApi.h over Hunspell.
//
// One session per SpellInit. A session holds its options, its main dictionaries (one Hunspell
// object each, with a cache of judged words), its user dictionaries (word sets saved to their
// files on every change) and the session-only lists: change-once, change-always and, unless a
// user dictionary was opened as the ignore-always list, ignore-always.
#include "spell/SpellApi.h"

#include <hunspell/hunspell.hxx>

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSaveFile>
#include <QSet>
#include <QString>
#include <QStringConverter>
#include <QStringList>

#include <algorithm>
#include <map>
#include <memory>
#include <mutex>
#include <optional>

#define SPL_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

struct MainDictionary
{
    std::unique_ptr<Hunspell> hunspell;
    bool utf8 = true;
    std::optional<QStringEncoder> encoder; // when the dictionary is not UTF-8
    std::optional<QStringDecoder> decoder;
    uint16_t language = 0;
    QHash<QString, bool> judged; // word -> correct; the dictionary never changes once open
};

struct UserDictionary
{
    QString path;
    QSet<QString> words;
    bool readOnly = false;
};

struct Session
{
    uint32_t options = 0;
    SPLSPECIALCHARS special{};
    std::map<SPLREF, MainDictionary> mains;
    std::map<SPLREF, UserDictionary> users;
    SPLREF ignoreAlwaysUdr = 0; // a user dictionary that is the ignore-always list, or 0
    QSet<QString> ignoreAlways;
    QHash<QString, QString> changeOnce;
    QHash<QString, QString> changeAlways;
    QStringList pendingSuggestions; // what command 4 hands out next
    int pendingRank = 0;
    SPLREF nextRef = 1;
};

std::mutex g_mutex;
std::map<SPLID, std::unique_ptr<Session>> g_sessions;
SPLID g_nextId = 1;

Session* session(SPLID id)
{
    const auto it = g_sessions.find(id);
    return it == g_sessions.end() ? nullptr : it->second.get();
}

QString fromUtf16(const uint16_t* s)
{
    if (!s)
        return {};
    qsizetype n = 0;
    while (s[n])
        ++n;
    return QString(reinterpret_cast<const QChar*>(s), n);
}

// --- character classes -------------------------------------------------------------------

char32_t codePointAt(const uint16_t* text, int n, int i, int* units)
{
    const char16_t c = text[i];
    if (QChar::isHighSurrogate(c) && i + 1 < n && QChar::isLowSurrogate(text[i + 1])) {
        *units = 2;
        return QChar::surrogateToUcs4(c, text[i + 1]);
    }
    *units = 1;
    return c;
}

bool isLetterOrDigit(char32_t c)
{
    return QChar::isLetterOrNumber(c) || QChar::isMark(c);
}

bool isApostrophe(char32_t c) { return c == u'\'' || c == 0x2019; }

bool isSoftHyphen(const Session& s, char32_t c)
{
    return c == 0x00AD || (s.special.bHyphenSoft && c == s.special.bHyphenSoft && c < 0x20);
}

bool isJoiner(const Session& s, char32_t c)
{
    return isApostrophe(c) || c == u'-' || c == 0x2011 || isSoftHyphen(s, c);
}

bool isLineEnd(char16_t c) { return c == u'\r' || c == u'\n' || c == 0x2029 || c == 0x2028 || c == 0x0B; }
bool isBlank(char16_t c) { return c == u' ' || c == u'\t' || c == 0x00A0; }

// --- words ----------------------------------------------------------------------------------

bool hasDigit(const QString& w)
{
    return std::any_of(w.begin(), w.end(), [](QChar c) { return c.isDigit(); });
}

bool allCaps(const QString& w)
{
    bool letter = false;
    for (const QChar c : w) {
        if (c.isLower())
            return false;
        letter = letter || c.isLetter();
    }
    return letter;
}

bool isRomanNumeral(const QString& w)
{
    static const QString upper = QStringLiteral("IVXLCDM");
    static const QString lower = QStringLiteral("ivxlcdm");
    const QString& set = w.front().isUpper() ? upper : lower;
    return std::all_of(w.begin(), w.end(), [&](QChar c) { return set.contains(c); });
}

bool isCapitalised(const QString& w)
{
    return !w.isEmpty() && w.front().isUpper() && w.mid(1) == w.mid(1).toLower();
}

bool inUserLists(const Session& s, const QString& w)
{
    auto has = [&](const QString& x) {
        if (s.ignoreAlways.contains(x))
            return true;
        for (const auto& [ref, udr] : s.users) {
            if (udr.words.contains(x))
                return true;
        }
        return false;
    };
    if (has(w))
        return true;
    // A lower-case entry also accepts its capitalised and all-capitals forms, a capitalised
    // one its all-capitals form.
    if ((isCapitalised(w) || allCaps(w)) && has(w.toLower()))
        return true;
    return allCaps(w) && w.size() > 1 && has(w.left(1) + w.mid(1).toLower());
}

// The word in the dictionary's code page, when every character survives the trip (encoders
// put "?" for what they cannot hold).
bool encodable(MainDictionary& d, const QString& w, QByteArray* bytes)
{
    *bytes = d.encoder->encode(w);
    const bool bad = d.encoder->hasError();
    d.encoder->resetState();
    if (bad)
        return false;
    const QString back = d.decoder->decode(*bytes);
    d.decoder->resetState();
    return back == w;
}

// Dictionary spelling of a word: correct, or a word the dictionary's code page cannot hold
// (never reported: the dictionary cannot judge it).
bool dictionaryAccepts(MainDictionary& d, const QString& w)
{
    const auto cached = d.judged.constFind(w);
    if (cached != d.judged.constEnd())
        return *cached;
    bool ok = true;
    if (d.utf8) {
        ok = d.hunspell->spell(w.toUtf8().toStdString());
    } else {
        QByteArray bytes;
        if (encodable(d, w, &bytes))
            ok = d.hunspell->spell(bytes.toStdString());
    }
    if (d.judged.size() > 200000)
        d.judged.clear();
    d.judged.insert(w, ok);
    return ok;
}

QStringList dictionarySuggestions(MainDictionary& d, const QString& w)
{
    QStringList out;
    std::vector<std::string> list;
    if (d.utf8) {
        list = d.hunspell->suggest(w.toUtf8().toStdString());
    } else {
        QByteArray bytes;
        if (!encodable(d, w, &bytes))
            return out;
        list = d.hunspell->suggest(bytes.toStdString());
    }
    for (const std::string& s : list) {
        const QByteArray b = QByteArray::fromStdString(s);
        out << (d.utf8 ? QString::fromUtf8(b) : d.decoder->decode(b));
    }
    return out;
}

int editDistance(const QString& a, const QString& b)
{
    std::vector<int> row(b.size() + 1);
    for (int j = 0; j <= b.size(); ++j)
        row[j] = j;
    for (int i = 1; i <= a.size(); ++i) {
        int diag = row[0];
        row[0] = i;
        for (int j = 1; j <= b.size(); ++j) {
            const int up = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diag + (a[i - 1].toLower() == b[j - 1].toLower() ? 0 : 1)});
            diag = up;
        }
    }
    return row[b.size()];
}

// Edit distance where swapping two neighbouring letters is one edit; case differences are free.
int typingDistance(const QString& a, const QString& b)
{
    const QString x = a.toLower();
    const QString y = b.toLower();
    const int n = int(x.size()), m = int(y.size());
    std::vector<std::vector<int>> d(n + 1, std::vector<int>(m + 1));
    for (int i = 0; i <= n; ++i)
        d[i][0] = i;
    for (int j = 0; j <= m; ++j)
        d[0][j] = j;
    for (int i = 1; i <= n; ++i) {
        for (int j = 1; j <= m; ++j) {
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + (x[i - 1] == y[j - 1] ? 0 : 1)});
            if (i > 1 && j > 1 && x[i - 1] == y[j - 2] && x[i - 2] == y[j - 1])
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
        }
    }
    return d[n][m];
}

struct Judgement
{
    uint16_t status = splstatNoErrors;
    QString replacement; // statuses 2 and 3
};

Judgement judgeWord(Session& s, const SPLINPUT& in, QString w)
{
    w.remove(QChar(0x00AD));
    if (s.special.bHyphenSoft && s.special.bHyphenSoft < 0x20)
        w.remove(QChar(s.special.bHyphenSoft));
    while (!w.isEmpty() && isApostrophe(w.back().unicode()))
        w.chop(1);
    if (w.isEmpty())
        return {};
    if (const auto it = s.changeAlways.constFind(w); it != s.changeAlways.constEnd())
        return {splstatReturningChangeAlways, *it};
    if (const auto it = s.changeOnce.constFind(w); it != s.changeOnce.constEnd())
        return {splstatReturningChangeOnce, *it};
    bool letters = false;
    for (const QChar c : w)
        letters = letters || c.isLetter();
    if (!letters)
        return {}; // numbers
    if (hasDigit(w)) {
        if (s.options & splOptIgnoreMixedDigits)
            return {};
        if ((s.options & splOptFindInitialNumerals) && w.front().isDigit())
            return {splstatInitialNumeral, {}};
    }
    if ((s.options & splOptIgnoreAllCaps) && allCaps(w))
        return {};
    if ((s.options & splOptIgnoreRomanNumerals) && isRomanNumeral(w))
        return {};
    if (inUserLists(s, w))
        return {};
    bool any = false;
    for (uint16_t k = 0; k < in.cMdr && in.lrgMdr; ++k) {
        const auto it = s.mains.find(in.lrgMdr[k]);
        if (it == s.mains.end())
            continue;
        any = true;
        if (dictionaryAccepts(it->second, w))
            return {};
    }
    if (!any)
        return {}; // nothing to judge by
    const QString lower = w.toLower();
    if (lower != w && !isCapitalised(w) && !allCaps(w)) {
        for (uint16_t k = 0; k < in.cMdr; ++k) {
            const auto it = s.mains.find(in.lrgMdr[k]);
            if (it != s.mains.end() && dictionaryAccepts(it->second, lower))
                return {splstatErrorCapitalization, {}};
        }
    }
    return {splstatUnknownInputWord, {}};
}

// Writes `words` into the suggestion buffer as NUL-terminated strings ending with an empty one,
// as many as fit; returns how many were written.
int fillBuffer(SPLRETURN* ret, const QStringList& words, int firstRank, bool rate)
{
    ret->csz = 0;
    ret->cchMac = 0;
    if (!ret->lrgsz || ret->cch == 0)
        return 0;
    int used = 0;
    int written = 0;
    for (const QString& w : words) {
        if (used + w.size() + 2 > ret->cch)
            break;
        std::copy(w.utf16(), w.utf16() + w.size(), ret->lrgsz + used);
        used += int(w.size());
        ret->lrgsz[used++] = 0;
        if (rate && ret->lrgbRating && written < ret->cbRate)
            ret->lrgbRating[written] = uint8_t(std::max(1, 255 - 16 * (firstRank + written)));
        ++written;
    }
    ret->lrgsz[used++] = 0;
    ret->csz = uint16_t(written);
    ret->cchMac = uint16_t(used);
    return written;
}

void report(SPLRETURN* ret, uint16_t status, int offset, int length)
{
    ret->scrs = status;
    ret->ichError = uint16_t(offset);
    ret->cchError = uint16_t(length);
}

SPLSEC verify(Session& s, const SPLINPUT& in, SPLRETURN* ret)
{
    report(ret, splstatNoErrors, 0, 0);
    fillBuffer(ret, {}, 0, false);
    const uint16_t* t = in.lrgch;
    const int n = in.cch;
    if (n > 0 && !t)
        return splsecInvalidParameter;

    bool sentenceStart = in.wSpellState == splstateStartSentence;
    bool sawStop = false;  // . ! ? since the last word
    int prevStart = -1;    // the last word, while only blanks follow it
    int prevEnd = -1;
    int prevWordLength = 0; // of the last word, whatever followed it
    int i = 0;
    while (i < n) {
        int units = 1;
        const char32_t c = codePointAt(t, n, i, &units);
        if (!isLetterOrDigit(c)) {
            if (isBlank(t[i])) {
                if (sawStop)
                    sentenceStart = true;
                int j = i;
                while (j < n && t[j] == u' ')
                    ++j;
                const bool between = i > 0 && !isBlank(t[i - 1]) && !isLineEnd(t[i - 1]) && j < n && !isBlank(t[j])
                                     && !isLineEnd(t[j]) && t[i - 1] != u'.' && t[i - 1] != u'!' && t[i - 1] != u'?'
                                     && t[i - 1] != u':';
                if ((s.options & splOptFindExtraSpaces) && j - i >= 2 && between) {
                    report(ret, splstatExtraSpaces, i - 1, j - i + 2);
                    return splsecNoErrors;
                }
                if (j == i)
                    ++j;
                i = j;
                continue;
            }
            if (isLineEnd(t[i])) {
                sentenceStart = true;
                sawStop = false;
                prevStart = -1;
            } else if (c == u'.' || c == u'!' || c == u'?') {
                // "e.g." and "U.S." do not end a sentence.
                sawStop = c != u'.' || prevWordLength != 1;
                prevStart = -1;
            } else if (c != u'"' && c != u'(' && c != 0x201C && c != u'\'' && c != 0x2018) {
                prevStart = -1;
            }
            i += units;
            continue;
        }
        // A word: letters and digits, joined by apostrophes and hyphens.
        int j = i + units;
        while (j < n) {
            int u = 1;
            const char32_t d = codePointAt(t, n, j, &u);
            if (isLetterOrDigit(d)) {
                j += u;
                continue;
            }
            if (isJoiner(s, d) && j + u < n) {
                int u2 = 1;
                if (isLetterOrDigit(codePointAt(t, n, j + u, &u2))) {
                    j += u;
                    continue;
                }
            }
            break;
        }
        const QString word(reinterpret_cast<const QChar*>(t + i), j - i);
        if ((s.options & splOptFindRepeatWord) && prevStart >= 0
            && QStringView(reinterpret_cast<const QChar*>(t + prevStart), prevEnd - prevStart)
                       .compare(word, Qt::CaseInsensitive) == 0
            && std::any_of(word.begin(), word.end(), [](QChar ch) { return ch.isLetter(); })) {
            report(ret, splstatRepeatWord, i, j - i);
            return splsecNoErrors;
        }
        const Judgement verdict = judgeWord(s, in, word);
        if (verdict.status != splstatNoErrors) {
            report(ret, verdict.status, i, j - i);
            if (!verdict.replacement.isEmpty())
                fillBuffer(ret, {verdict.replacement}, 0, false);
            return splsecNoErrors;
        }
        if ((s.options & splOptFindUncappedSentences) && sentenceStart && QChar::isLower(c)) {
            report(ret, splstatNoSentenceStartCap, i, j - i);
            return splsecNoErrors;
        }
        // "end.Next" or "one,two": punctuation glued to the next word.
        if ((s.options & splOptFindMissingSpaces) && j + 1 < n) {
            const char16_t p = t[j];
            int u = 1;
            const char32_t next = codePointAt(t, n, j + 1, &u);
            const bool glued = (p == u'.' || p == u'!' || p == u'?') ? QChar::isUpper(next)
                               : (p == u',' || p == u';' || p == u':') ? QChar::isLetter(next)
                                                                       : false;
            // "U.S.A" and "e.g" are abbreviations, not glued sentences.
            const bool abbreviation = p == u'.' && word.size() < 2;
            if (glued && !abbreviation && std::any_of(word.begin(), word.end(), [](QChar ch) { return ch.isLetter(); })) {
                int k = j + 1 + u;
                while (k < n) {
                    int u3 = 1;
                    if (!isLetterOrDigit(codePointAt(t, n, k, &u3)))
                        break;
                    k += u3;
                }
                report(ret, splstatMissingSpace, i, k - i);
                return splsecNoErrors;
            }
        }
        sentenceStart = false;
        sawStop = false;
        prevWordLength = j - i;
        prevStart = i;
        prevEnd = j;
        i = j;
    }
    return splsecNoErrors;
}

SPLSEC suggest(Session& s, uint16_t command, const SPLINPUT& in, SPLRETURN* ret)
{
    report(ret, splstatNoErrors, 0, 0);
    if (command == splcmdSuggest) {
        const QString word = (in.lrgch && in.cch) ? QString(reinterpret_cast<const QChar*>(in.lrgch), in.cch).trimmed()
                                                  : QString();
        QStringList list;
        auto add = [&](const QString& w) {
            if (!w.isEmpty() && w != word && !list.contains(w))
                list << w;
        };
        if (const auto it = s.changeAlways.constFind(word); it != s.changeAlways.constEnd())
            add(*it);
        if (const auto it = s.changeOnce.constFind(word); it != s.changeOnce.constEnd())
            add(*it);
        if (!word.isEmpty()) {
            if (s.options & splOptSuggestFromUserDict) {
                for (const auto& [ref, udr] : s.users) {
                    if (udr.words.size() > 20000)
                        continue;
                    for (const QString& u : udr.words) {
                        if (std::abs(int(u.size() - word.size())) <= 2 && editDistance(u, word) <= 2)
                            add(u);
                    }
                }
            }
            QStringList fromDictionary;
            for (uint16_t k = 0; k < in.cMdr && in.lrgMdr; ++k) {
                const auto it = s.mains.find(in.lrgMdr[k]);
                if (it != s.mains.end())
                    fromDictionary += dictionarySuggestions(it->second, word);
            }
            // Closest first (two letters swapped counts as one slip, as typists make it);
            // ties keep the dictionary's order.
            auto rank = [&](const QString& w) {
                const int d = typingDistance(word, w);
                const bool swapped = d == 1 && w.size() == word.size() && editDistance(word, w) == 2;
                return 2 * d - (swapped ? 1 : 0);
            };
            std::stable_sort(fromDictionary.begin(), fromDictionary.end(),
                             [&](const QString& a, const QString& b) { return rank(a) < rank(b); });
            for (const QString& w : fromDictionary)
                add(w);
        }
        s.pendingSuggestions = list;
        s.pendingRank = 0;
    }
    const int written = fillBuffer(ret, s.pendingSuggestions, s.pendingRank, s.options & splOptRateSuggestions);
    if (written == 0 && !s.pendingSuggestions.isEmpty()) {
        // A word longer than the whole buffer can never be handed out: drop it.
        s.pendingSuggestions.removeFirst();
        ++s.pendingRank;
        ret->scrs = splstatMoreInfoThanBufferCouldHold;
        return splsecNoErrors;
    }
    s.pendingSuggestions.remove(0, written);
    s.pendingRank += written;
    if (written == 0)
        ret->scrs = splstatNoMoreSuggestions;
    return splsecNoErrors;
}

// --- user dictionary files ------------------------------------------------------------------

// One word a line, UTF-8 (a file that is not valid UTF-8 is read as Latin-1).
bool loadWords(const QString& path, QSet<QString>* words)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    const QByteArray bytes = f.readAll();
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString text = utf8.decode(bytes);
    if (utf8.hasError())
        text = QString::fromLatin1(bytes);
    for (QStringView line : QStringView(text).split(u'\n')) {
        line = line.trimmed();
        if (!line.isEmpty())
            words->insert(line.toString());
    }
    return true;
}

bool saveWords(const UserDictionary& udr)
{
    QStringList sorted(udr.words.begin(), udr.words.end());
    sorted.sort();
    QSaveFile f(udr.path);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    QByteArray out;
    for (const QString& w : sorted)
        out += w.toUtf8() + "\r\n";
    f.write(out);
    return f.commit();
}

// The word set a list id names, or null; `udr` is set when it is a user dictionary.
QSet<QString>* wordList(Session& s, SPLREF list, UserDictionary** udr)
{
    *udr = nullptr;
    if (list == splListIgnoreAlways && s.ignoreAlwaysUdr)
        list = s.ignoreAlwaysUdr;
    if (list == splListIgnoreAlways)
        return &s.ignoreAlways;
    const auto it = s.users.find(list);
    if (it == s.users.end())
        return nullptr;
    *udr = &it->second;
    return &it->second.words;
}

bool validWord(const QString& w)
{
    return !w.trimmed().isEmpty() && w.size() < 256 && !w.contains(u'\n') && !w.contains(u'\r');
}

} // namespace

// --- entry points ---------------------------------------------------------------------------

SPL_EXPORT SPLSEC SpellVer(uint16_t* version, uint16_t* engine, uint16_t* type)
{
    if (version)
        *version = 0x0300;
    if (engine)
        *engine = 1;
    if (type)
        *type = 1;
    return splsecNoErrors;
}

SPL_EXPORT SPLSEC SpellInit(SPLID* id, const SPLSPECIALCHARS* special)
{
    if (!id)
        return splsecInvalidParameter;
    std::lock_guard lock(g_mutex);
    auto s = std::make_unique<Session>();
    if (special)
        s->special = *special;
    *id = g_nextId++;
    g_sessions[*id] = std::move(s);
    return splsecNoErrors;
}

SPL_EXPORT SPLSEC SpellOptions(SPLID id, uint32_t options)
{
    std::lock_guard lock(g_mutex);
    Session* s = session(id);
    if (!s)
        return splsecInvalidId;
    s->options = options;
    return splsecNoErrors;
}

SPL_EXPORT SPLSEC SpellCheck(SPLID id, uint16_t command, SPLINPUT* input, SPLRETURN* ret)
{
    std::lock_guard lock(g_mutex);
    Session* s = session(id);
    if (!s)
        return splsecInvalidId;
    if (!input || !ret)
        return splsecInvalidParameter;
    switch (command) {
    case splcmdVerify: return verify(*s, *input, ret);
    case splcmdSuggest:
    case splcmdSuggestMore: return suggest(*s, command, *input, ret);
    default: return splsecInvalidParameter;
    }
}

SPL_EXPORT SPLSEC SpellTerminate(SPLID id, int32_t /*force*/)
{
    std::lock_guard lock(g_mutex);
    return g_sessions.erase(id) ? splsecNoErrors : splsecInvalidId;
}

namespace {
bool dictionaryFilesExist(const QString& dic)
{
    QString aff = dic;
    if (aff.endsWith(QLatin1String(".dic"), Qt::CaseInsensitive))
        aff.chop(4);
    aff += QLatin1String(".aff");
    return QFileInfo(dic).isFile() && QFileInfo(aff).isFile();
}
} // namespace

SPL_EXPORT SPLSEC SpellVerifyMdr(const char* mdrPath, uint16_t language, uint16_t* languageOut)
{
    if (!mdrPath)
        return splsecInvalidParameter;
    if (!dictionaryFilesExist(QString::fromUtf8(mdrPath)))
        return splsecFileReadError;
    if (languageOut)
        *languageOut = language;
    return splsecNoErrors;
}

SPL_EXPORT SPLSEC SpellOpenMdr(SPLID id, const char* mdrPath, const char* /*exceptionPath*/,
                               int32_t /*createException*/, int32_t /*cache*/, uint16_t language, SPLREF* mdr)
{
    if (!mdrPath || !mdr)
        return splsecInvalidParameter;
    const QString dic = QString::fromUtf8(mdrPath);
    if (!dictionaryFilesExist(dic))
        return splsecFileReadError;
    QString aff = dic.left(dic.size() - 4) + QLatin1String(".aff");
    auto hunspell = std::make_unique<Hunspell>(QFile::encodeName(aff).constData(), QFile::encodeName(dic).constData());
    MainDictionary d;
    const QString encoding = QString::fromStdString(hunspell->get_dict_encoding());
    d.utf8 = encoding.compare(QLatin1String("UTF-8"), Qt::CaseInsensitive) == 0 || encoding.isEmpty();
    if (!d.utf8) {
        QString name = encoding;
        if (name.startsWith(QLatin1String("ISO8859-"), Qt::CaseInsensitive))
            name.insert(3, u'-');
        d.encoder.emplace(name.toLatin1().constData(), QStringConverter::Flag::Stateless);
        d.decoder.emplace(name.toLatin1().constData());
        if (!d.encoder->isValid() || !d.decoder->isValid()) {
            if (name.compare(QLatin1String("ISO-8859-1"), Qt::CaseInsensitive) != 0)
                return splsecInvalidDictionary;
            d.encoder.emplace(QStringConverter::Latin1, QStringConverter::Flag::Stateless);
            d.decoder.emplace(QStringConverter::Latin1);
        }
    }
    d.language = language;
    d.hunspell = std::move(hunspell);
    std::lock_guard lock(g_mutex);
    Session* s = session(id);
    if (!s)
        return splsecInvalidId;
    *mdr = s->nextRef++;
    s->mains[*mdr] = std::move(d);
    return splsecNoErrors;
}

SPL_EXPORT SPLSEC SpellOpenUdr(SPLID id, const char* udrPath, int32_t create, uint32_t listType, SPLREF* udr,
                               int32_t* readOnly)
{
    if (!udrPath || !udr)
        return splsecInvalidParameter;
    UserDictionary d;
    d.path = QString::fromUtf8(udrPath);
    if (!QFileInfo::exists(d.path)) {
        if (!create)
            return splsecFileReadError;
        QFile f(d.path);
        if (!f.open(QIODevice::WriteOnly))
            return splsecFileWriteError;
    }
    if (!loadWords(d.path, &d.words))
        return splsecFileReadError;
    d.readOnly = !QFileInfo(d.path).isWritable();
    if (readOnly)
        *readOnly = d.readOnly;
    std::lock_guard lock(g_mutex);
    Session* s = session(id);
    if (!s)
        return splsecInvalidId;
    *udr = s->nextRef++;
    s->users[*udr] = std::move(d);
    if (listType == splListIgnoreAlways) {
        s->users[*udr].words.unite(s->ignoreAlways);
        s->ignoreAlways.clear();
        s->ignoreAlwaysUdr = *udr;
    }
    return splsecNoErrors;
}

SPL_EXPORT SPLSEC SpellAddUdr(SPLID id, SPLREF list, const uint16_t* word)
{
    const QString w = fromUtf16(word);
    if (!validWord(w))
        return splsecInvalidParameter;
    std::lock_guard lock(g_mutex);
    Session* s = session(id);
    if (!s)
        return splsecInvalidId;
    UserDictionary* udr = nullptr;
    QSet<QString>* words = wordList(*s, list, &udr);
    if (!words)
        return splsecUnknownList;
    if (udr && udr->readOnly)
        return splsecReadOnlyList;
    if (words->contains(w))
        return splsecNoErrors;
    words->insert(w);
    if (udr && !saveWords(*udr)) {
        words->remove(w);
        return splsecFileWriteError;
    }
    return splsecNoErrors;
}

SPL_EXPORT SPLSEC SpellAddChangeUdr(SPLID id, SPLREF list, const uint16_t* word, const uint16_t* change)
{
    const QString w = fromUtf16(word);
    const QString c = fromUtf16(change);
    if (!validWord(w) || c.size() >= 256)
        return splsecInvalidParameter;
    std::lock_guard lock(g_mutex);
    Session* s = session(id);
    if (!s)
        return splsecInvalidId;
    if (list == splListChangeOnce)
        s->changeOnce.insert(w, c);
    else if (list == splListChangeAlways)
        s->changeAlways.insert(w, c);
    else
        return splsecUnknownList;
    return splsecNoErrors;
}

SPL_EXPORT SPLSEC SpellDelUdr(SPLID id, SPLREF list, const uint16_t* word)
{
    const QString w = fromUtf16(word);
    std::lock_guard lock(g_mutex);
    Session* s = session(id);
    if (!s)
        return splsecInvalidId;
    if (list == splListChangeOnce) {
        s->changeOnce.remove(w);
        return splsecNoErrors;
    }
    if (list == splListChangeAlways) {
        s->changeAlways.remove(w);
        return splsecNoErrors;
    }
    UserDictionary* udr = nullptr;
    QSet<QString>* words = wordList(*s, list, &udr);
    if (!words)
        return splsecUnknownList;
    if (udr && udr->readOnly)
        return splsecReadOnlyList;
    if (words->remove(w) && udr && !saveWords(*udr)) {
        words->insert(w);
        return splsecFileWriteError;
    }
    return splsecNoErrors;
}

SPL_EXPORT SPLSEC SpellClearUdr(SPLID id, SPLREF list)
{
    std::lock_guard lock(g_mutex);
    Session* s = session(id);
    if (!s)
        return splsecInvalidId;
    if (list == splListChangeOnce) {
        s->changeOnce.clear();
        return splsecNoErrors;
    }
    if (list == splListChangeAlways) {
        s->changeAlways.clear();
        return splsecNoErrors;
    }
    UserDictionary* udr = nullptr;
    QSet<QString>* words = wordList(*s, list, &udr);
    if (!words)
        return splsecUnknownList;
    if (udr && udr->readOnly)
        return splsecReadOnlyList;
    const QSet<QString> old = *words;
    words->clear();
    if (udr && !saveWords(*udr)) {
        *words = old;
        return splsecFileWriteError;
    }
    return splsecNoErrors;
}

namespace {
QStringList listWords(Session& s, SPLREF list, bool* known)
{
    *known = true;
    QStringList out;
    if (list == splListChangeOnce || list == splListChangeAlways) {
        const QHash<QString, QString>& pairs = list == splListChangeOnce ? s.changeOnce : s.changeAlways;
        for (auto it = pairs.begin(); it != pairs.end(); ++it)
            out << it.key();
    } else {
        UserDictionary* udr = nullptr;
        QSet<QString>* words = wordList(s, list, &udr);
        if (!words) {
            *known = false;
            return out;
        }
        out = QStringList(words->begin(), words->end());
    }
    out.sort();
    return out;
}
} // namespace

SPL_EXPORT SPLSEC SpellGetSizeUdr(SPLID id, SPLREF list, uint16_t* count)
{
    std::lock_guard lock(g_mutex);
    Session* s = session(id);
    if (!s)
        return splsecInvalidId;
    bool known = false;
    const QStringList words = listWords(*s, list, &known);
    if (!known)
        return splsecUnknownList;
    if (count)
        *count = uint16_t(std::min<qsizetype>(words.size(), 0xFFFF));
    return splsecNoErrors;
}

SPL_EXPORT SPLSEC SpellGetListUdr(SPLID id, SPLREF list, uint16_t first, SPLRETURN* ret)
{
    if (!ret)
        return splsecInvalidParameter;
    std::lock_guard lock(g_mutex);
    Session* s = session(id);
    if (!s)
        return splsecInvalidId;
    bool known = false;
    const QStringList words = listWords(*s, list, &known);
    if (!known)
        return splsecUnknownList;
    report(ret, splstatNoErrors, 0, 0);
    const int written = fillBuffer(ret, words.mid(first), 0, false);
    if (first + written >= words.size())
        ret->scrs = splstatNoMoreSuggestions;
    return splsecNoErrors;
}

SPL_EXPORT SPLSEC SpellCloseMdr(SPLID id, SPLREF mdr)
{
    std::lock_guard lock(g_mutex);
    Session* s = session(id);
    if (!s)
        return splsecInvalidId;
    return s->mains.erase(mdr) ? splsecNoErrors : splsecInvalidParameter;
}

SPL_EXPORT SPLSEC SpellCloseUdr(SPLID id, SPLREF udr, int32_t /*force*/)
{
    std::lock_guard lock(g_mutex);
    Session* s = session(id);
    if (!s)
        return splsecInvalidId;
    const auto it = s->users.find(udr);
    if (it == s->users.end())
        return splsecInvalidParameter;
    if (s->ignoreAlwaysUdr == udr)
        s->ignoreAlwaysUdr = 0;
    s->users.erase(it);
    return splsecNoErrors;
}
