#include "platform/Registry.h"
#include "platform/ProgramFolder.h"

#include "platform/IniFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace {
QString rootName(TRegistry::RootKey root)
{
    switch (root) {
    case TRegistry::HKEY_LOCAL_MACHINE: return QStringLiteral("HKEY_LOCAL_MACHINE");
    case TRegistry::HKEY_CLASSES_ROOT: return QStringLiteral("HKEY_CLASSES_ROOT");
    case TRegistry::HKEY_CURRENT_USER: break;
    }
    return QStringLiteral("HKEY_CURRENT_USER");
}

QString normalise(QString key)
{
    key.replace(u'/', u'\\');
    while (key.startsWith(u'\\'))
        key.remove(0, 1);
    while (key.endsWith(u'\\'))
        key.chop(1);
    return key;
}
} // namespace

QString TRegistry::DefaultFileName()
{
    const QString env = qEnvironmentVariable("QUORVEL_REGISTRY");
    if (!env.isEmpty())
        return env;
    // Beside the program in the build; in the share folder once installed.
    return ResourcePath(QStringLiteral("registry.ini"));
}

QString TRegistry::FilePathValue(const QString& value)
{
    if (value.isEmpty() || !QFileInfo(value).isRelative())
        return value;
    return QDir::cleanPath(QFileInfo(DefaultFileName()).absoluteDir().filePath(value));
}

TRegistry::TRegistry() : m_file(new TIniFile(DefaultFileName())) {}

TRegistry::~TRegistry()
{
    delete m_file;
}

QString TRegistry::FullPath(const QString& key) const
{
    const QString k = normalise(key);
    return k.isEmpty() ? rootName(m_root) : rootName(m_root) + u'\\' + k;
}

bool TRegistry::KeyExists(const QString& key) const
{
    const QString full = FullPath(key);
    if (m_file->SectionExists(full))
        return true;
    // A key exists when any key below it does. Sections are few; scan them.
    const QString prefix = full + u'\\';
    const QStringList all = m_file->SectionNames();
    for (const QString& s : all) {
        if (s.startsWith(prefix, Qt::CaseInsensitive))
            return true;
    }
    return false;
}

bool TRegistry::OpenKeyReadOnly(const QString& key)
{
    if (!KeyExists(key))
        return false;
    m_current = FullPath(key);
    return true;
}

bool TRegistry::OpenKey(const QString& key, bool canCreate)
{
    if (!KeyExists(key) && !canCreate)
        return false;
    m_current = FullPath(key);
    return true;
}

void TRegistry::CloseKey()
{
    m_current.clear();
}

bool TRegistry::ValueExists(const QString& name) const
{
    return !m_current.isEmpty() && m_file->ValueExists(m_current, name.isEmpty() ? QStringLiteral("@") : name);
}

QString TRegistry::ReadString(const QString& name) const
{
    if (m_current.isEmpty())
        return QString();
    return m_file->ReadString(m_current, name.isEmpty() ? QStringLiteral("@") : name, QString());
}

void TRegistry::WriteString(const QString& name, const QString& value)
{
    if (!m_current.isEmpty())
        m_file->WriteString(m_current, name.isEmpty() ? QStringLiteral("@") : name, value);
}

bool TRegistry::Flush()
{
    return m_file->UpdateFile();
}
