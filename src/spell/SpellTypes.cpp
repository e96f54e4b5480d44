#include "spell/SpellTypes.h"

#include <QLocale>

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
