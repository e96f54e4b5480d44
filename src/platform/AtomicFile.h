#pragma once
// A file written whole: bytes go to a temporary file beside the target, which replaces the
// target only on Commit(). Until then the previous file stays intact; a failed or abandoned
// write leaves no trace. A symbolic link is written through: its target (resolved once, on
// Open) is replaced and the link kept. A target the user may not write (or one marked
// read-only, which even the superuser is refused) is never replaced: Open fails with EACCES.
//
// The temporary file is "<target>.qvsave-XXXXXX", locked while it is written. A write cut
// short by a crash or a kill leaves it behind; RemoveLeftovers() (run by every Open) deletes
// such files of the target once they are older than this process and no running copy holds
// their lock. Commit() syncs the folder after the rename, so a power loss cannot undo it.
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

    // Deletes what writes of `target` (after its links are followed) cut short in earlier runs
    // left beside it; also the "<target>.XXXXXX" form older versions used, when it is still as
    // that version created it (a regular 0600 file of ours with a random-looking suffix).
    // Returns how many files went.
    static int RemoveLeftovers(const QString& target);

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
