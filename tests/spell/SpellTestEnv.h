#pragma once
// A registry of its own for each spelling test: the engine as built, the US dictionary, and a
// user dictionary in a scratch folder (which is also the program folder).
#include "support/TestUtil.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace spelltest {

inline const char* kSpellingKey = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Shared Tools\\Proofing Tools\\Spelling\\";
inline const char* kCustomKey = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Shared Tools\\Proofing Tools\\Custom Dictionaries";

inline QByteArray languageSection(int lcid, const QString& engine = QStringLiteral(QUORVEL_SPELLER_PATH),
                                  const QString& dictionary = QStringLiteral("/usr/share/hunspell/en_US.dic"))
{
    return "[" + QByteArray(kSpellingKey) + QByteArray::number(lcid) + "\\Normal]\r\nEngine=" + engine.toUtf8()
           + "\r\nDictionary=" + dictionary.toUtf8() + "\r\n";
}

struct Env
{
    QTemporaryDir dir;

    // `sections` is the registry's text; without a Custom Dictionaries key one naming the
    // scratch folder's CUSTOM.DIC is added, unless `customKey` is false.
    explicit Env(QByteArray sections = languageSection(1033), bool customKey = true)
    {
        if (customKey)
            sections += "[" + QByteArray(kCustomKey) + "]\r\n1=" + userDictionary().toUtf8() + "\r\n";
        testutil::writeAll(registry(), sections);
        qputenv("QUORVEL_REGISTRY", registry().toUtf8());
        qputenv("QUORVEL_HOME", dir.path().toUtf8());
    }
    QString registry() const { return dir.filePath(QStringLiteral("registry.ini")); }
    QString userDictionary() const { return dir.filePath(QStringLiteral("CUSTOM.DIC")); }
    QString path(const QString& name) const { return dir.filePath(name); }
};

} // namespace spelltest
