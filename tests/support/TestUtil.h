#pragma once
// Small helpers shared by the tests.
#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

namespace testutil {
// The bytes of a file ("" when it cannot be read).
QByteArray readAll(const QString& path);
bool writeAll(const QString& path, const QByteArray& bytes);
// The source tree (for fixtures), from $QUORVEL_SOURCE_DIR.
QString sourceDir();
QString fixture(const QString& relative); // tests/<relative>

// While it lives, files this process writes cannot grow past `bytes`: writes beyond fail as
// they would on a full disk (works for a privileged user too).
class FileSizeLimit
{
public:
    explicit FileSizeLimit(qint64 bytes);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;
    bool Active() const { return m_active; }

private:
    bool m_active = false;
    unsigned long long m_oldCur = 0;
};
} // namespace testutil
