#pragma once
// The registry, as an INI-style file whose section names are key paths
// ("HKEY_LOCAL_MACHINE\SOFTWARE\..."): $QUORVEL_REGISTRY, else "registry.ini" found as a
// read-only resource (program folder, beside the program, installed share folder). The build
// writes one that registers the speller engine.
#include <QString>

class TIniFile;

class TRegistry
{
public:
    enum RootKey { HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_CLASSES_ROOT };

    TRegistry();
    ~TRegistry();
    TRegistry(const TRegistry&) = delete;
    TRegistry& operator=(const TRegistry&) = delete;

    static QString DefaultFileName();
    // A file a value names: a relative path is taken from the registry file's own folder (an
    // installed registry names installed files that way, whatever the prefix).
    static QString FilePathValue(const QString& value);

    RootKey RootKeyValue() const { return m_root; }
    void SetRootKey(RootKey root) { m_root = root; }

    // True when the key or any key below it exists. Paths may start with a backslash.
    bool KeyExists(const QString& key) const;
    bool OpenKeyReadOnly(const QString& key);
    // Opens the key, creating it when `canCreate` is set.
    bool OpenKey(const QString& key, bool canCreate);
    void CloseKey();
    QString CurrentPath() const { return m_current; }

    bool ValueExists(const QString& name) const;
    QString ReadString(const QString& name) const; // empty when missing
    void WriteString(const QString& name, const QString& value);
    bool Flush(); // writes pending changes; false when the file cannot be written

private:
    QString FullPath(const QString& key) const;

    RootKey m_root = HKEY_CURRENT_USER;
    TIniFile* m_file;
    QString m_current;
};
