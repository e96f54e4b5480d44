#include "platform/AtomicFile.h"

#include <QFile>

#include <algorithm>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
constexpr qsizetype kBufferSize = 1 << 20;
constexpr int kMaxLinks = 40; // as the kernel's own limit: a longer chain is a loop
constexpr char kTempMark[] = ".qvsave-";
constexpr int kRandomLength = 6; // mkstemp's XXXXXX

// When this process started, near enough (static initialisation). A temporary file changed
// after it may belong to a copy of the program started later, which is still writing it.
const timespec kProcessStart = [] {
    timespec t{};
    ::clock_gettime(CLOCK_REALTIME, &t);
    return t;
}();

bool Before(const timespec& a, const timespec& b)
{
    return a.tv_sec < b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec < b.tv_nsec);
}

bool IsAsciiAlnum(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

enum class Leftover { None, Current, Legacy };

// Which kind of our temporary file `name` is, for a target named `base`.
Leftover LeftoverKind(QByteArrayView name, QByteArrayView base)
{
    if (name.size() <= base.size() + 1 || !name.startsWith(base) || name[base.size()] != '.')
        return Leftover::None;
    QByteArrayView rest = name.sliced(base.size());
    Leftover kind = Leftover::Legacy;
    if (rest.startsWith(kTempMark)) {
        rest = rest.sliced(qsizetype(sizeof kTempMark) - 1);
        kind = Leftover::Current;
    } else {
        rest = rest.sliced(1);
    }
    if (rest.size() != kRandomLength || !std::all_of(rest.begin(), rest.end(), IsAsciiAlnum))
        return Leftover::None;
    if (kind == Leftover::Legacy) {
        // The bare ".XXXXXX" form could be a name a person chose ("list.qvl.backup"): only a
        // suffix with a digit, or with a capital after its first letter beside small letters,
        // is taken for random.
        const bool digit = std::any_of(rest.begin(), rest.end(), [](char c) { return c >= '0' && c <= '9'; });
        const bool lower = std::any_of(rest.begin(), rest.end(), [](char c) { return c >= 'a' && c <= 'z'; });
        const bool innerUpper = std::any_of(rest.begin() + 1, rest.end(), [](char c) { return c >= 'A' && c <= 'Z'; });
        if (!digit && !(lower && innerUpper))
            return Leftover::None;
    }
    return kind;
}

// Deletes the leftovers of writes of `target` (links already followed).
int RemoveLeftoversOf(const QByteArray& target)
{
    const qsizetype slash = target.lastIndexOf('/');
    const QByteArray folder = slash < 0 ? QByteArray(".") : slash == 0 ? QByteArray("/") : target.left(slash);
    const QByteArray base = target.mid(slash + 1);
    if (base.isEmpty())
        return 0;
    DIR* dir = ::opendir(folder.constData());
    if (!dir)
        return 0;
    int removed = 0;
    while (const dirent* e = ::readdir(dir)) {
        const QByteArrayView name(e->d_name);
        const Leftover kind = LeftoverKind(name, base);
        if (kind == Leftover::None)
            continue;
        const QByteArray path = folder + '/' + name.toByteArray();
        // O_NOFOLLOW: a link of that name is not ours and is never followed.
        const int fd = ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            continue;
        struct stat st;
        // The lock is held by a copy of the program still writing the file.
        const bool ours = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid()
                          && (kind == Leftover::Current || (st.st_mode & 07777) == 0600)
                          && Before(st.st_mtim, kProcessStart) && ::flock(fd, LOCK_EX | LOCK_NB) == 0;
        struct stat now;
        // Still the file we examined (nothing renamed another one into its place meanwhile).
        if (ours && ::lstat(path.constData(), &now) == 0 && now.st_dev == st.st_dev && now.st_ino == st.st_ino
            && ::unlink(path.constData()) == 0)
            ++removed;
        ::close(fd);
    }
    ::closedir(dir);
    return removed;
}

// Makes a rename in the folder of `file` durable. 0 or an errno value; file systems that
// cannot sync a folder say so with EINVAL, which is no failure.
int SyncFolderOf(const QByteArray& file)
{
    const qsizetype slash = file.lastIndexOf('/');
    const QByteArray folder = slash < 0 ? QByteArray(".") : slash == 0 ? QByteArray("/") : file.left(slash);
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return errno;
    const int err = ::fsync(fd) == 0 ? 0 : errno;
    ::close(fd);
    return err == EINVAL ? 0 : err;
}

// `path` with every symbolic link along the final component followed. A dangling link yields
// the path it names, so saving through it creates the file there. 0 or an errno value.
int ResolveLinks(const QByteArray& path, QByteArray* out)
{
    QByteArray cur = path;
    for (int hops = 0; hops <= kMaxLinks; ++hops) {
        struct stat st;
        if (::lstat(cur.constData(), &st) != 0 || !S_ISLNK(st.st_mode)) {
            *out = cur;
            return 0;
        }
        QByteArray link(st.st_size > 0 ? qsizetype(st.st_size) + 1 : 4096, Qt::Uninitialized);
        const ssize_t n = ::readlink(cur.constData(), link.data(), size_t(link.size()));
        if (n < 0)
            return errno;
        if (n >= link.size())
            return ENAMETOOLONG; // the link changed under us; refuse rather than guess
        link.truncate(n);
        if (!link.startsWith('/')) {
            const qsizetype slash = cur.lastIndexOf('/');
            if (slash >= 0)
                link.prepend(cur.left(slash + 1));
        }
        cur = link;
    }
    return ELOOP;
}
} // namespace

TAtomicFile::TAtomicFile(QString path, Access access) : m_path(std::move(path)), m_access(access) {}

TAtomicFile::~TAtomicFile()
{
    Cancel();
}

bool TAtomicFile::Fail(int err)
{
    if (m_error.isEmpty())
        m_error = QString::fromLocal8Bit(std::strerror(err));
    Cancel();
    return false;
}

bool TAtomicFile::Open()
{
    Cancel();
    m_error.clear();
    QByteArray target;
    if (const int err = ResolveLinks(QFile::encodeName(m_path), &target))
        return Fail(err);
    m_target = QFile::decodeName(target);
    // Replacing a file by rename needs only the folder's permission: ask about the file itself.
    // No write permission bit at all is the read-only mark, refused even to the superuser.
    struct stat st;
    if (::stat(target.constData(), &st) == 0) {
        if (::access(target.constData(), W_OK) != 0)
            return Fail(errno);
        if ((st.st_mode & 0222) == 0)
            return Fail(EACCES);
    }
    RemoveLeftoversOf(target);
    // mkstemp creates the file 0600, so a password never sits readable by others.
    m_tmpName = target + kTempMark + "XXXXXX";
    m_fd = ::mkstemp(m_tmpName.data());
    if (m_fd < 0) {
        const int err = errno;
        m_tmpName.clear();
        return Fail(err);
    }
    // Tells a copy of the program cleaning up leftovers that this one is still being written.
    ::flock(m_fd, LOCK_EX | LOCK_NB);
    m_buffer.reserve(kBufferSize);
    return true;
}

bool TAtomicFile::Flush()
{
    const char* p = m_buffer.constData();
    qsizetype left = m_buffer.size();
    while (left > 0) {
        const ssize_t n = ::write(m_fd, p, size_t(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return Fail(n < 0 ? errno : EIO);
        p += n;
        left -= n;
    }
    m_buffer.resize(0);
    return true;
}

bool TAtomicFile::Write(const char* data, qsizetype size)
{
    if (m_fd < 0)
        return Fail(EBADF);
    if (m_buffer.size() + size > kBufferSize && !Flush())
        return false;
    if (size >= kBufferSize) {
        m_buffer = QByteArray::fromRawData(data, size);
        const bool ok = Flush();
        m_buffer = QByteArray();
        m_buffer.reserve(kBufferSize);
        return ok;
    }
    m_buffer.append(data, size);
    return true;
}

bool TAtomicFile::Commit()
{
    if (m_fd < 0)
        return Fail(EBADF);
    if (!Flush())
        return false;
    const QByteArray target = QFile::encodeName(m_target);
    mode_t mode;
    struct stat st;
    if (m_access == Access::OwnerOnly) {
        mode = S_IRUSR | S_IWUSR;
    } else if (::stat(target.constData(), &st) == 0) {
        mode = st.st_mode & 07777; // keep the old file's permissions
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    if (::fchmod(m_fd, mode) != 0 || ::fsync(m_fd) != 0)
        return Fail(errno);
    // Renamed while still open and locked, so no cleanup elsewhere takes it for a leftover.
    if (::rename(m_tmpName.constData(), target.constData()) != 0)
        return Fail(errno);
    m_tmpName.clear();
    ::close(m_fd); // its data is synced: closing cannot lose any
    m_fd = -1;
    if (const int err = SyncFolderOf(target)) {
        m_error = QStringLiteral("The file was replaced, but the change may not survive a power loss: ")
                  + QString::fromLocal8Bit(std::strerror(err));
        return false;
    }
    return true;
}

int TAtomicFile::RemoveLeftovers(const QString& target)
{
    QByteArray resolved;
    if (ResolveLinks(QFile::encodeName(target), &resolved) != 0)
        return 0;
    return RemoveLeftoversOf(resolved);
}

void TAtomicFile::Cancel()
{
    // Unlinked before it is closed, while the lock still marks it as being written.
    if (!m_tmpName.isEmpty()) {
        ::unlink(m_tmpName.constData());
        m_tmpName.clear();
    }
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    m_buffer = QByteArray();
}
