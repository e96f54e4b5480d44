#pragma once
// A file written whole: bytes go to a temporary file beside the target, which replaces the
// target only on Commit(). Until then the previous file stays intact; a failed or abandoned
// write leaves no trace. A symbolic link is written through: its target (resolved once, on
// Open) is replaced and the link kept. A target the user may not write (or one marked
// read-only, which even the superuser is refused) is never replaced: Open fails with EACCES.
#include <QByteArray>
#include <QString>

class TAtomicFile
{
public:
    enum class Access { Normal, OwnerOnly };

    explicit TAtomicFile(QString path, Access access = Access::Normal);
    ~TAtomicFile(); // abandons an uncommitted write
    TAtomicFile(const TAtomicFile&) = delete;
    TAtomicFile& operator=(const TAtomicFile&) = delete;

    bool Open();
    bool Write(const char* data, qsizetype size);
    bool Write(const QByteArray& bytes) { return Write(bytes.constData(), bytes.size()); }
    bool Commit();
    void Cancel();

    const QString& Path() const { return m_path; }
    // The file actually replaced: Path() with its symbolic links followed (after Open).
    const QString& TargetPath() const { return m_target; }
    // The reason of the first failure, from the operating system.
    const QString& ErrorString() const { return m_error; }

private:
    bool Fail(int err);
    bool Flush();

    QString m_path;
    QString m_target;
    Access m_access;
    QByteArray m_tmpName;
    int m_fd = -1;
    QByteArray m_buffer;
    QString m_error;
};
