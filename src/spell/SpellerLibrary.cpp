#include "spell/SpellerLibrary.h"

#include "platform/ProgramFolder.h"
#include "platform/Registry.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QLocale>

#include <algorithm>
#include <vector>

// ---- languages ---------------------------------------------------------------------------------

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

struct TSpellerLibrary::Api
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
} // namespace

TSpellerLibrary::TSpellerLibrary() : m_api(new Api)
{
    m_special = {0x00, 0x2D, 0x1F, 0x1E, 0x97, 0x96, 0x85, {0x0B, 0x0A}, {0x0D, 0x0A}};
}

TSpellerLibrary::~TSpellerLibrary()
{
    delete m_api;
}

void TSpellerLibrary::Fail(SPLSEC code)
{
    if (code & 0xFFFF)
        throw ESpellError(QStringLiteral("Spelling error No %1").arg(code));
}

bool TSpellerLibrary::Find(TLanguage language)
{
    TRegistry reg;
    reg.SetRootKey(TRegistry::HKEY_LOCAL_MACHINE);
    bool found = reg.OpenKeyReadOnly(kSpellingKey.arg(language));
    if (!found)
        found = reg.OpenKeyReadOnly(kSpellingKey.arg((language & 0x3FF) + 0x400));
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
    return found;
}

void TSpellerLibrary::Load(TLanguage language, TSpellOptions options, const std::function<void()>& initialised)
{
    m_library.setFileName(m_enginePath);
    if (m_enginePath.isEmpty() || !m_library.load() || !m_api->Resolve(m_library)) {
        if (m_library.isLoaded())
            m_library.unload();
        *m_api = Api();
        throw ESpellError(QStringLiteral("Error loading Spell DLL %1").arg(m_enginePath));
    }
    ++engineHolders()[m_enginePath];
    // Any failure from here leaves the engine unloaded, so the next Open starts afresh instead
    // of checking with a half-made speller.
    try {
        Fail(m_api->SpellInit(&m_id, &m_special));
        m_initialised = true;
        Fail(m_api->SpellOptions(m_id, options));
        initialised();
        const QByteArray mdr = QFile::encodeName(m_mainDictionaryPath);
        Fail(m_api->SpellOpenMdr(m_id, mdr.constData(), nullptr, 0, 1, language, &m_mdr));
        const QByteArray udr = QFile::encodeName(m_userDictionaryPath);
        int32_t readOnly = 0;
        // The user dictionary holds what "Add" adds; opened as the ignore-always list it would
        // also keep every "Skip All" for good.
        Fail(m_api->SpellOpenUdr(m_id, udr.constData(), 1, splListUser, &m_udr, &readOnly));
        for (const QString& word : std::as_const(m_skippedWords))
            Fail(m_api->SpellAddUdr(m_id, splListIgnoreAlways, Units(word)));
    } catch (const ESpellError&) {
        try {
            Unload();
        } catch (const ESpellError&) {
        }
        throw;
    }
}

void TSpellerLibrary::Unload()
{
    if (m_initialised)
        m_api->SpellTerminate(m_id, 1);
    m_initialised = false;
    int& holders = engineHolders()[m_enginePath];
    holders = std::max(0, holders - 1);
    const bool last = holders == 0;
    const bool unloaded = m_library.unload();
    *m_api = Api();
    if (!unloaded && last && m_library.isLoaded())
        throw ESpellError(QStringLiteral("Error unloading Spell DLL %1").arg(m_enginePath));
}

int TSpellerLibrary::PieceEnd(const QString& text, int from, int limit)
{
    if (limit - from <= kMaxPiece)
        return limit;
    int end = from + kMaxPiece;
    for (int i = end; i > from + kMaxPiece / 2; --i) {
        const QChar c = text.at(i - 1);
        if (c.isSpace() || c == QChar(QChar::ParagraphSeparator))
            return i;
    }
    if (text.at(end - 1).isHighSurrogate())
        --end;
    return end;
}

void TSpellerLibrary::SetOptions(TSpellOptions options)
{
    Fail(m_api->SpellOptions(m_id, options));
}

SPLSEC TSpellerLibrary::Verify(SPLINPUT in, SPLRETURN& ret) const
{
    in.lrgMdr = &m_mdr;
    in.lrgUdr = &m_udr;
    return m_api->SpellCheck(m_id, splcmdVerify, &in, &ret);
}

void TSpellerLibrary::AddChange(SPLREF list, const QString& word, const QString& replacement)
{
    Fail(m_api->SpellAddChangeUdr(m_id, list, Units(word), Units(replacement)));
}

void TSpellerLibrary::AddToUserDictionary(const QString& word)
{
    Fail(m_api->SpellAddUdr(m_id, m_udr, Units(word)));
}

void TSpellerLibrary::SkipForSession(const QString& word)
{
    Fail(m_api->SpellAddUdr(m_id, splListIgnoreAlways, Units(word)));
    if (!m_skippedWords.contains(word))
        m_skippedWords << word;
}

void TSpellerLibrary::Suggest(const QString& word, QStringList& list) const
{
    const QString w = word.left(kMaxPiece);
    SPLINPUT in{uint16_t(w.size()), 1, 1, splstateNone, Units(w), &m_mdr, &m_udr};
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
