#include "spell/Spellers.h"

#include "platform/Dialogs.h"
#include "platform/ProgramFolder.h"
#include "platform/Registry.h"
#include "spell/SpellerDialog.h"

#include <QDir>
#include <QHash>
#include <QLineEdit>
#include <QLocale>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>

#include <algorithm>

// ---- languages -------------------------------------------------------------------------------

namespace {
struct LanguageRow
{
    TLanguage id;
    const char* name;
    int codePage;
};

constexpr LanguageRow kLanguages[] = {
    {1025, "ar_SA", 1256}, {1026, "bg_BG", 1251}, {1027, "ca_ES", 1252}, {1029, "cs_CZ", 1250},
    {1030, "da_DK", 1252}, {1031, "de_DE", 1252}, {1032, "el_GR", 1253}, {1033, "en_US", 1252},
    {1035, "fi_FI", 1252}, {1036, "fr_FR", 1252}, {1037, "he_IL", 1255}, {1038, "hu_HU", 1250},
    {1040, "it_IT", 1252}, {1043, "nl_NL", 1252}, {1044, "nb_NO", 1252}, {1045, "pl_PL", 1250},
    {1046, "pt_BR", 1252}, {1048, "ro_RO", 1250}, {1049, "ru_RU", 1251}, {1050, "hr_HR", 1250},
    {1051, "sk_SK", 1250}, {1053, "sv_SE", 1252}, {1055, "tr_TR", 1254}, {1058, "uk_UA", 1251},
    {1060, "sl_SI", 1250}, {1061, "et_EE", 1257}, {1062, "lv_LV", 1257}, {1063, "lt_LT", 1257},
    {1066, "vi_VN", 1258}, {2055, "de_CH", 1252}, {2057, "en_GB", 1252}, {2058, "es_MX", 1252},
    {2060, "fr_BE", 1252}, {2067, "nl_BE", 1252}, {2068, "nn_NO", 1252}, {2070, "pt_PT", 1252},
    {3079, "de_AT", 1252}, {3081, "en_AU", 1252}, {3082, "es_ES", 1252}, {3084, "fr_CA", 1252},
    {4105, "en_CA", 1252}, {4108, "fr_CH", 1252}, {5129, "en_NZ", 1252}, {6153, "en_IE", 1252},
    {7177, "en_ZA", 1252},
};

const LanguageRow* findLanguage(TLanguage id)
{
    for (const LanguageRow& row : kLanguages) {
        if (row.id == id)
            return &row;
    }
    return nullptr;
}
} // namespace

bool spelllang::Known(TLanguage id)
{
    return findLanguage(id) != nullptr;
}

QString spelllang::LocaleName(TLanguage id)
{
    const LanguageRow* row = findLanguage(id);
    return row ? QString::fromLatin1(row->name) : QString();
}

int spelllang::CodePage(TLanguage id)
{
    const LanguageRow* row = findLanguage(id);
    return row ? row->codePage : 1252;
}

QString spelllang::DisplayName(TLanguage id)
{
    const LanguageRow* row = findLanguage(id);
    if (!row)
        return QString::number(id);
    const QLocale locale(QString::fromLatin1(row->name));
    return QLocale::languageToString(locale.language()) + QStringLiteral(" (")
           + QLocale::territoryToString(locale.territory()) + u')';
}

TLanguage spelllang::SystemDefault()
{
    const QLocale system = QLocale::system();
    if (system.language() == QLocale::C)
        return 1033;
    const QString name = system.name();
    for (const LanguageRow& row : kLanguages) {
        if (name == QLatin1String(row.name))
            return row.id;
    }
    return 1033;
}

int spelllang::CharSetForCodePage(int codePage)
{
    switch (codePage) {
    case 1250: return 238;
    case 1251: return 204;
    case 1253: return 161;
    case 1254: return 162;
    case 1255: return 177;
    case 1256: return 178;
    case 1257: return 186;
    case 1258: return 163;
    default: return 0; // 1252, and code pages without a character set of their own
    }
}

// ---- the engine's entry points -----------------------------------------------------------------

struct TSpellChecker::Api
{
    PFSpellVer SpellVer = nullptr;
    PFSpellInit SpellInit = nullptr;
    PFSpellOptions SpellOptions = nullptr;
    PFSpellCheck SpellCheck = nullptr;
    PFSpellTerminate SpellTerminate = nullptr;
    PFSpellVerifyMdr SpellVerifyMdr = nullptr;
    PFSpellOpenMdr SpellOpenMdr = nullptr;
    PFSpellOpenUdr SpellOpenUdr = nullptr;
    PFSpellAddUdr SpellAddUdr = nullptr;
    PFSpellAddChangeUdr SpellAddChangeUdr = nullptr;
    PFSpellDelUdr SpellDelUdr = nullptr;
    PFSpellClearUdr SpellClearUdr = nullptr;
    PFSpellGetSizeUdr SpellGetSizeUdr = nullptr;
    PFSpellGetListUdr SpellGetListUdr = nullptr;
    PFSpellCloseMdr SpellCloseMdr = nullptr;
    PFSpellCloseUdr SpellCloseUdr = nullptr;

    bool Resolve(QLibrary& lib)
    {
        bool ok = true;
        auto get = [&](auto& fn, const char* name) {
            fn = reinterpret_cast<std::remove_reference_t<decltype(fn)>>(lib.resolve(name));
            ok = ok && fn;
        };
        get(SpellVer, "SpellVer");
        get(SpellInit, "SpellInit");
        get(SpellOptions, "SpellOptions");
        get(SpellCheck, "SpellCheck");
        get(SpellTerminate, "SpellTerminate");
        get(SpellVerifyMdr, "SpellVerifyMdr");
        get(SpellOpenMdr, "SpellOpenMdr");
        get(SpellOpenUdr, "SpellOpenUdr");
        get(SpellAddUdr, "SpellAddUdr");
        get(SpellAddChangeUdr, "SpellAddChangeUdr");
        get(SpellDelUdr, "SpellDelUdr");
        get(SpellClearUdr, "SpellClearUdr");
        get(SpellGetSizeUdr, "SpellGetSizeUdr");
        get(SpellGetListUdr, "SpellGetListUdr");
        get(SpellCloseMdr, "SpellCloseMdr");
        get(SpellCloseUdr, "SpellCloseUdr");
        return ok;
    }
};

namespace {
const QString kSpellingKey = QStringLiteral("\\SOFTWARE\\Microsoft\\Shared Tools\\Proofing Tools\\Spelling\\%1\\Normal");
const QString kCustomKey = QStringLiteral("\\SOFTWARE\\Microsoft\\Shared Tools\\Proofing Tools\\Custom Dictionaries");

// How many checkers hold the engine at each path: only the last one's unload can fail.
QHash<QString, int>& engineHolders()
{
    static QHash<QString, int> holders;
    return holders;
}

bool isWordChar(QChar c)
{
    return c.isLetterOrNumber() || c.isMark() || c == u'\'' || c == QChar(0x2019) || c.isSurrogate();
}

const uint16_t* units(const QString& s)
{
    return reinterpret_cast<const uint16_t*>(s.utf16());
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

// ---- life ------------------------------------------------------------------------------------

TSpellChecker::TSpellChecker(QObject* parent)
    : QObject(parent), m_language(spelllang::SystemDefault()), m_api(new Api)
{
    m_special = {0x00, 0x2D, 0x1F, 0x1E, 0x97, 0x96, 0x85, {0x0B, 0x0A}, {0x0D, 0x0A}};
    MisspellFont.Font = QFont(QStringLiteral("MS Sans Serif"));
}

TSpellChecker::~TSpellChecker()
{
    // Threads refer to this object: stop them and wait (they never block on this thread while
    // it waits here, see TSpellThread::Synchronize).
    for (TSpellThread* t : m_threads)
        t->requestInterruption();
    for (TSpellThread* t : std::as_const(m_threads)) {
        t->wait();
        delete t;
    }
    m_threads.clear();
    delete m_dialog.data();
    if (m_opened) {
        if (m_initialised)
            m_api->SpellTerminate(m_id, 1);
        try {
            Unload();
        } catch (const ESpellError&) {
            // Nobody is left to tell; throwing from a destructor would end the program.
        }
    }
    delete m_api;
}

void TSpellChecker::SetOptions(TSpellOptions options)
{
    m_options = options;
    if (m_opened && m_initialised)
        Fail(m_api->SpellOptions(m_id, options));
}

void TSpellChecker::SetLanguage(TLanguage language)
{
    if (m_opened || !spelllang::Known(language))
        return;
    m_language = language;
    if (m_dialog)
        m_dialog->LanguageChanged();
}

void TSpellChecker::Fail(SPLSEC code) const
{
    if (code & 0xFFFF)
        throw ESpellError(QStringLiteral("Spelling error No %1").arg(code));
}

void TSpellChecker::Unload()
{
    int& holders = engineHolders()[m_enginePath];
    holders = std::max(0, holders - 1);
    const bool last = holders == 0;
    const bool unloaded = m_library.unload();
    *m_api = Api();
    if (!unloaded && last && m_library.isLoaded())
        throw ESpellError(QStringLiteral("Error unloading Spell DLL %1").arg(m_enginePath));
}

// ---- Open and Close ----------------------------------------------------------------------------

void TSpellChecker::Open()
{
    if (m_opened)
        return;
    TRegistry reg;
    reg.SetRootKey(TRegistry::HKEY_LOCAL_MACHINE);
    bool found = reg.OpenKeyReadOnly(kSpellingKey.arg(m_language));
    if (!found)
        found = reg.OpenKeyReadOnly(kSpellingKey.arg((m_language & 0x3FF) + 0x400));
    if (found) {
        m_enginePath = TRegistry::FilePathValue(reg.ReadString(QStringLiteral("Engine")));
        m_mainDictionaryPath = reg.ReadString(QStringLiteral("Dictionary"));
    }
    reg.CloseKey();
    m_userDictionaryPath.clear();
    if (reg.OpenKeyReadOnly(kCustomKey))
        m_userDictionaryPath = reg.ReadString(QStringLiteral("1"));
    // Without one named, the user dictionary is the user's own, in the data folder, for every
    // user (root too: never beside the system's dictionaries). Nothing is written to the
    // installed registry: the default is found again at every Open.
    if (m_userDictionaryPath.isEmpty())
        m_userDictionaryPath = QDir(ProgramFolder()).filePath(QStringLiteral("CUSTOM.DIC"));
    if (!found)
        return;

    m_opened = true;
    m_library.setFileName(m_enginePath);
    if (m_enginePath.isEmpty() || !m_library.load() || !m_api->Resolve(m_library)) {
        if (m_library.isLoaded())
            m_library.unload();
        *m_api = Api();
        m_opened = false;
        throw ESpellError(QStringLiteral("Error loading Spell DLL %1").arg(m_enginePath));
    }
    ++engineHolders()[m_enginePath];
    // Any failure from here leaves the component closed and the engine unloaded, so the next
    // Open starts afresh instead of checking with a half-made speller.
    try {
        Fail(m_api->SpellInit(&m_id, &m_special));
        m_initialised = true;
        Fail(m_api->SpellOptions(m_id, m_options));
        if (OnOpen)
            OnOpen(this);
        const QByteArray mdr = QFile::encodeName(m_mainDictionaryPath);
        Fail(m_api->SpellOpenMdr(m_id, mdr.constData(), nullptr, 0, 1, m_language, &m_mdr));
        const QByteArray udr = QFile::encodeName(m_userDictionaryPath);
        int32_t readOnly = 0;
        // The user dictionary holds what "Add" adds; opened as the ignore-always list it would
        // also keep every "Skip All" for good.
        Fail(m_api->SpellOpenUdr(m_id, udr.constData(), 1, splListUser, &m_udr, &readOnly));
        for (const QString& word : std::as_const(m_skippedWords))
            Fail(m_api->SpellAddUdr(m_id, splListIgnoreAlways, units(word)));
    } catch (const ESpellError&) {
        if (m_initialised)
            m_api->SpellTerminate(m_id, 1);
        m_initialised = false;
        m_opened = false;
        try {
            Unload();
        } catch (const ESpellError&) {
        }
        throw;
    }
}

void TSpellChecker::Close()
{
    if (!m_opened)
        return;
    m_lines.clear();
    m_opened = false;
    ++m_generation;
    for (auto it = m_threads.rbegin(); it != m_threads.rend(); ++it)
        (*it)->requestInterruption();
    // A modeless dialog left showing would act on a closed speller.
    if (m_dialog && m_dialog->isVisible())
        m_dialog->Finish(false);
    ReleaseBuffers();
    if (m_initialised)
        m_api->SpellTerminate(m_id, 1);
    m_initialised = false;
    Unload();
    if (OnClose)
        OnClose(this);
}

// ---- Check -------------------------------------------------------------------------------------

QString TSpellChecker::ControlText(QWidget* control)
{
    // Raw text: one character per document position, so offsets in it are cursor positions.
    if (auto* rich = qobject_cast<QTextEdit*>(control))
        return rich->document()->toRawText();
    if (auto* plain = qobject_cast<QPlainTextEdit*>(control))
        return plain->document()->toRawText();
    if (auto* line = qobject_cast<QLineEdit*>(control))
        return line->text();
    return {};
}

int TSpellChecker::SelectionStart(QWidget* control)
{
    if (auto* rich = qobject_cast<QTextEdit*>(control))
        return rich->textCursor().selectionStart();
    if (auto* plain = qobject_cast<QPlainTextEdit*>(control))
        return plain->textCursor().selectionStart();
    if (auto* line = qobject_cast<QLineEdit*>(control))
        return line->hasSelectedText() ? line->selectionStart() : line->cursorPosition();
    return 0;
}

void TSpellChecker::Check(QWidget* control)
{
    if (!m_opened)
        return;
    m_lines = ControlText(control).split(QChar(QChar::ParagraphSeparator));
    m_control = control;
    switch (SpellMode) {
    case smInteractive: StartInteractive(); break;
    case smBackground: RunBackground(); break;
    case smParallel: StartThread(); break;
    }
}

void TSpellChecker::CheckLines(const QStringList& lines)
{
    if (!m_opened)
        return;
    m_lines = lines;
    m_control = nullptr;
    switch (SpellMode) {
    case smInteractive: StartInteractive(); break;
    case smBackground: RunBackground(); break;
    case smParallel: StartThread(); break;
    }
}

int TSpellChecker::PieceEnd(int from, int limit) const
{
    // Pieces fit the 16-bit count and end at a blank or line end, so no word is cut in two.
    if (limit - from <= kMaxPiece)
        return limit;
    int end = from + kMaxPiece;
    for (int i = end; i > from + kMaxPiece / 2; --i) {
        const QChar c = m_buffer.at(i - 1);
        if (c.isSpace() || c == QChar(QChar::ParagraphSeparator))
            return i;
    }
    if (m_buffer.at(end - 1).isHighSurrogate())
        --end;
    return end;
}

void TSpellChecker::StartInteractive()
{
    if (m_dialog && !m_dialog->isVisible()) {
        // Made anew below; deleted later, as it may be on the call stack.
        m_dialog->Detach();
        m_dialog->deleteLater();
        m_dialog = nullptr;
    }
    if (m_control) {
        m_buffer = ControlText(m_control);
        int start = std::clamp(SelectionStart(m_control), 0, int(m_buffer.size()));
        // The start of the word at or before the caret.
        while (start > 0 && (m_buffer.at(start - 1) == u' ' || m_buffer.at(start - 1) == u'\t')
               && !(start < m_buffer.size() && isWordChar(m_buffer.at(start))))
            --start;
        while (start > 0 && isWordChar(m_buffer.at(start - 1)))
            --start;
        m_pos = start;
    } else {
        m_buffer = m_lines.join(u'\n');
        m_pos = 0;
    }
    m_count = int(m_buffer.size()) - m_pos;
    m_errStart = m_pos;
    m_errLen = 0;
    m_suggestions.assign(1024, 0);
    m_ratings.assign(255, 0);
    if (!m_dialog) {
        QWidget* owner = m_control ? m_control->window() : nullptr;
        m_dialog = new TSpellerDialog(this, owner);
    }
    m_dialog->NextError();
}

void TSpellChecker::ReleaseBuffers()
{
    m_suggestions.clear();
    m_suggestions.shrink_to_fit();
    m_ratings.clear();
    m_ratings.shrink_to_fit();
}

// ---- interactive operations ----------------------------------------------------------------

TSpellReturnCode TSpellChecker::VerifyNext()
{
    if (!m_opened || !m_initialised)
        return 0;
    if (m_suggestions.empty())
        m_suggestions.assign(1024, 0);
    if (m_ratings.empty())
        m_ratings.assign(255, 0);
    const SPLREF mdr = m_mdr;
    const SPLREF udr = m_udr;
    const int limit = std::min<int>(m_pos + std::max(0, m_count), m_buffer.size());
    int from = std::min<int>(m_pos, m_buffer.size());
    // Pieces after the first start where the previous one ended, so an error never lies
    // before the position.
    do {
        const int end = PieceEnd(from, limit);
        SPLINPUT in{uint16_t(end - from), 1, 1, splstateNone, units(m_buffer) + from, &mdr, &udr};
        m_ret = SPLRETURN{};
        m_ret.cch = uint16_t(m_suggestions.size());
        m_ret.lrgsz = m_suggestions.data();
        m_ret.lrgbRating = m_ratings.data();
        m_ret.cbRate = uint16_t(m_ratings.size());
        m_suggestions[0] = 0;
        Fail(m_api->SpellCheck(m_id, splcmdVerify, &in, &m_ret));
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

QString TSpellChecker::FirstSuggestion() const
{
    if (m_suggestions.empty())
        return {};
    const uint16_t* p = m_suggestions.data();
    size_t n = 0;
    while (n < m_suggestions.size() && p[n])
        ++n;
    return QString(reinterpret_cast<const QChar*>(p), qsizetype(n));
}

void TSpellChecker::SelectInControl(int start, int length)
{
    if (auto* rich = qobject_cast<QTextEdit*>(m_control.data())) {
        QTextCursor c(rich->document());
        c.setPosition(start);
        c.setPosition(start + length, QTextCursor::KeepAnchor);
        rich->setTextCursor(c);
    } else if (auto* plain = qobject_cast<QPlainTextEdit*>(m_control.data())) {
        QTextCursor c(plain->document());
        c.setPosition(start);
        c.setPosition(start + length, QTextCursor::KeepAnchor);
        plain->setTextCursor(c);
    } else if (auto* line = qobject_cast<QLineEdit*>(m_control.data())) {
        line->setSelection(start, length);
    }
}

void TSpellChecker::TextChanged(int pos, int len, const QString& newWord, int nextPos)
{
    // The control gets the same change as the buffer, at the same place (the user may have
    // moved its selection while a modeless dialog was up).
    if (m_control && ControlText(m_control).mid(pos, len) == m_buffer.mid(pos, len)) {
        SelectInControl(pos, len);
        if (auto* rich = qobject_cast<QTextEdit*>(m_control.data()))
            rich->textCursor().insertText(newWord);
        else if (auto* plain = qobject_cast<QPlainTextEdit*>(m_control.data()))
            plain->textCursor().insertText(newWord);
        else if (auto* line = qobject_cast<QLineEdit*>(m_control.data()))
            line->insert(newWord);
    }
    m_buffer.replace(pos, len, newWord);
    m_pos = std::clamp(nextPos, 0, int(m_buffer.size()));
    m_count = int(m_buffer.size()) - m_pos;
    m_errLen = 0;
    if (OnChangeText)
        OnChangeText(this, pos, len, newWord);
}

void TSpellChecker::ReplaceError(const QString& newWord)
{
    if (!m_opened)
        return;
    TextChanged(m_errStart, m_errLen, newWord, m_errStart);
}

void TSpellChecker::ChangeOnce(const QString& newWord)
{
    if (!m_opened)
        return;
    const QString word = ErrorWord();
    Fail(m_api->SpellAddChangeUdr(m_id, splListChangeOnce, units(word), units(newWord)));
    TextChanged(m_errStart, m_errLen, newWord, m_errStart);
}

void TSpellChecker::ChangeAlways(const QString& newWord)
{
    if (!m_opened)
        return;
    // Every case form of the word is changed, keeping the capitals it is found with.
    for (const auto& [found, replacement] : casing::ChangeForms(ErrorWord(), newWord))
        Fail(m_api->SpellAddChangeUdr(m_id, splListChangeAlways, units(found), units(replacement)));
    TextChanged(m_errStart, m_errLen, newWord, m_errStart + int(newWord.size()));
}

void TSpellChecker::Advance(int n)
{
    const int next = std::clamp(m_pos + n, 0, int(m_buffer.size()));
    m_count -= next - m_pos;
    m_pos = next;
}

void TSpellChecker::SkipError()
{
    Advance(m_errStart + m_errLen - m_pos);
}

void TSpellChecker::SkipAll()
{
    if (!m_opened)
        return;
    const QString word = ErrorWord();
    Fail(m_api->SpellAddUdr(m_id, splListIgnoreAlways, units(word)));
    if (!m_skippedWords.contains(word))
        m_skippedWords << word;
    SkipError();
}

void TSpellChecker::AddWord()
{
    if (!m_opened)
        return;
    const QString word = ErrorWord();
    Fail(m_api->SpellAddUdr(m_id, m_udr, units(word)));
    Advance(m_errStart - m_pos);
}

void TSpellChecker::DeleteError()
{
    if (!m_opened)
        return;
    const int p = m_errStart;
    if (p == 0) // nothing before the word to take with it
        TextChanged(0, m_errLen, QString(), 0);
    else
        TextChanged(p - 1, m_errLen + 1, QString(), p);
}

int TSpellChecker::SkipTags()
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

void TSpellChecker::Suggest(const QString& word, QStringList& list)
{
    list.clear();
    if (!m_opened || !m_initialised || word.isEmpty())
        return;
    const SPLREF mdr = m_mdr;
    const SPLREF udr = m_udr;
    const QString w = word.left(kMaxPiece);
    SPLINPUT in{uint16_t(w.size()), 1, 1, splstateNone, units(w), &mdr, &udr};
    std::vector<uint16_t> buffer(2048, 0);
    std::vector<uint8_t> ratings(256, 0);
    SPLRETURN ret{};
    ret.cch = 2047;
    ret.lrgsz = buffer.data();
    ret.lrgbRating = ratings.data();
    ret.cbRate = 255;
    Fail(m_api->SpellCheck(m_id, splcmdSuggest, &in, &ret));
    for (int rounds = 0; ret.scrs != splstatNoMoreSuggestions && rounds < 1000; ++rounds) {
        const uint16_t* p = buffer.data();
        const uint16_t* end = buffer.data() + 2047;
        while (p < end && *p) {
            const uint16_t* q = p;
            while (q < end && *q)
                ++q;
            const QString s(reinterpret_cast<const QChar*>(p), q - p);
            if (!list.contains(s))
                list << s;
            p = q + 1;
        }
        buffer.assign(2048, 0);
        Fail(m_api->SpellCheck(m_id, splcmdSuggestMore, &in, &ret));
    }
}

// ---- background pass ---------------------------------------------------------------------------

void TSpellChecker::MarkInControl(QWidget* control, int start, int length)
{
    auto* rich = qobject_cast<QTextEdit*>(control);
    if (!rich || !MisspellFont.MisspellOptions)
        return;
    QTextCharFormat f;
    const quint8 o = MisspellFont.MisspellOptions;
    if (o & mfoName)
        f.setFontFamilies({MisspellFont.Font.family()});
    if (o & (mfoSize | mfoHeight))
        f.setFontPointSize(MisspellFont.Font.pointSizeF() > 0 ? MisspellFont.Font.pointSizeF() : 10);
    if (o & mfoColor)
        f.setForeground(MisspellFont.Color);
    if (o & mfoPitch)
        f.setFontFixedPitch(MisspellFont.Font.fixedPitch());
    if (o & mfoStyle) {
        f.setFontWeight(MisspellFont.Font.weight());
        f.setFontItalic(MisspellFont.Font.italic());
        f.setFontUnderline(MisspellFont.Font.underline());
        f.setFontStrikeOut(MisspellFont.Font.strikeOut());
    }
    QTextCursor c(rich->document());
    c.setPosition(start);
    c.setPosition(std::min(start + length, rich->document()->characterCount() - 1), QTextCursor::KeepAnchor);
    c.mergeCharFormat(f);
}

void TSpellChecker::RunBackground()
{
    m_buffer = m_control ? ControlText(m_control) : m_lines.join(u'\n');
    const SPLREF mdr = m_mdr;
    const SPLREF udr = m_udr;
    std::vector<uint16_t> suggestions(255, 0);
    QPointer<QWidget> control = m_control;
    QTextCursor block;
    if (auto* rich = qobject_cast<QTextEdit*>(control.data())) {
        block = QTextCursor(rich->document());
        block.beginEditBlock(); // all the marks are one undo step
    }
    const int n = int(m_buffer.size());
    int pos = 0;
    uint16_t state = splstateStartSentence;
    const int generation = m_generation;
    while (pos < n && m_opened && generation == m_generation) {
        const int end = PieceEnd(pos, n);
        SPLINPUT in{uint16_t(end - pos), 1, 1, state, units(m_buffer) + pos, &mdr, &udr};
        SPLRETURN ret{};
        ret.cch = uint16_t(suggestions.size());
        ret.lrgsz = suggestions.data();
        Fail(m_api->SpellCheck(m_id, splcmdVerify, &in, &ret));
        state = splstateContinued;
        if (ret.scrs == splstatNoErrors) {
            pos = end;
            continue;
        }
        const int p = pos + ret.ichError;
        const int len = std::max<int>(1, ret.cchError);
        if (control)
            MarkInControl(control, p, len);
        if (OnMisspelling)
            OnMisspelling(this, ret.scrs, p, len);
        pos = p + len;
    }
    if (!block.isNull())
        block.endEditBlock();
    m_buffer.clear();
}

void TSpellChecker::StartThread()
{
    const QString text = m_control ? ControlText(m_control) : m_lines.join(u'\n');
    auto* thread = new TSpellThread(this, text, m_control);
    m_threads.append(thread);
    connect(thread, &QThread::finished, this, [this, thread] { ThreadEnded(thread); }, Qt::QueuedConnection);
    thread->start();
}

void TSpellChecker::ThreadEnded(TSpellThread* thread)
{
    if (m_threads.removeOne(thread)) {
        thread->wait();
        thread->deleteLater();
    }
}

// ---- TSpellThread ------------------------------------------------------------------------------

TSpellThread::TSpellThread(TSpellChecker* checker, const QString& text, QWidget* control)
    : m_checker(checker), m_context(checker), m_generation(checker->m_generation), m_text(text), m_control(control)
{
    m_text.detach(); // the thread's own copy
    m_suggestions.assign(256, 0);
}

TSpellThread::~TSpellThread() = default;

namespace {
// One step handed to the checker's thread. The worker waits for it; when asked to stop it
// cancels a step that has not started, so a step never runs after the worker moved on.
struct SyncStep
{
    std::mutex mutex;
    std::condition_variable done;
    enum { Pending, Running, Done, Cancelled } state = Pending;
};
} // namespace

bool TSpellThread::Synchronize(const std::function<void()>& step)
{
    if (isInterruptionRequested())
        return false;
    auto sync = std::make_shared<SyncStep>();
    // The checker outlives this thread (its destructor waits for it), so it is a safe context.
    QMetaObject::invokeMethod(m_context, [sync, step] {
        {
            std::lock_guard lock(sync->mutex);
            if (sync->state == SyncStep::Cancelled)
                return;
            sync->state = SyncStep::Running;
        }
        step();
        std::lock_guard lock(sync->mutex);
        sync->state = SyncStep::Done;
        sync->done.notify_all();
    }, Qt::QueuedConnection);
    std::unique_lock lock(sync->mutex);
    while (sync->state != SyncStep::Done) {
        if (sync->state == SyncStep::Pending && isInterruptionRequested()) {
            sync->state = SyncStep::Cancelled;
            return false;
        }
        sync->done.wait_for(lock, std::chrono::milliseconds(20));
    }
    return true;
}

void TSpellThread::run()
{
    const int n = int(m_text.size());
    uint16_t state = splstateStartSentence;
    while (m_position < n && !isInterruptionRequested()) {
        // The piece: at most the 16-bit count, ending at a blank so no word is cut.
        int end = n;
        if (n - m_position > TSpellChecker::kMaxPiece) {
            end = m_position + TSpellChecker::kMaxPiece;
            for (int i = end; i > m_position + TSpellChecker::kMaxPiece / 2; --i) {
                if (m_text.at(i - 1).isSpace() || m_text.at(i - 1) == QChar(QChar::ParagraphSeparator)) {
                    end = i;
                    break;
                }
            }
        }
        bool alive = false;
        SPLSEC code = 0;
        m_in = SPLINPUT{uint16_t(end - m_position), 1, 1, state, units(m_text) + m_position, nullptr, nullptr};
        m_ret = SPLRETURN{};
        m_ret.cch = 255;
        m_ret.lrgsz = m_suggestions.data();
        const bool ran = Synchronize([&] {
            TSpellChecker* c = m_checker.data();
            if (!c || !c->m_opened || !c->m_initialised || c->m_generation != m_generation)
                return;
            const SPLREF mdr = c->m_mdr;
            const SPLREF udr = c->m_udr;
            m_in.lrgMdr = &mdr;
            m_in.lrgUdr = &udr;
            code = c->m_api->SpellCheck(c->m_id, splcmdVerify, &m_in, &m_ret);
            m_in.lrgMdr = m_in.lrgUdr = nullptr;
            alive = true;
        });
        if (!ran || !alive || (code & 0xFFFF))
            break;
        state = splstateContinued;
        if (m_ret.scrs == splstatNoErrors) {
            m_position = end;
            continue;
        }
        const int p = m_position + m_ret.ichError;
        const int len = std::max<int>(1, m_ret.cchError);
        const int status = m_ret.scrs;
        if (!Synchronize([&] {
                TSpellChecker* c = m_checker.data();
                if (!c || c->m_generation != m_generation)
                    return;
                if (m_control)
                    c->MarkInControl(m_control, p, len);
                if (c->OnMisspelling)
                    c->OnMisspelling(c, status, p, len);
            }))
            break;
        m_position = p + len;
    }
}
