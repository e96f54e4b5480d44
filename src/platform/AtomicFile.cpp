#include "platform/AtomicFile.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
constexpr qsizetype kBufferSize = 1 << 20;
constexpr int kMaxLinks = 40; // as the kernel's own limit: a longer chain is a loop

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
    // mkstemp creates the file 0600, so a password never sits readable by others.
    m_tmpName = target + ".XXXXXX";
    m_fd = ::mkstemp(m_tmpName.data());
    if (m_fd < 0) {
        const int err = errno;
        m_tmpName.clear();
        return Fail(err);
    }
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
    const int fd = m_fd;
    m_fd = -1;
    if (::close(fd) != 0 || ::rename(m_tmpName.constData(), target.constData()) != 0) {
        const int err = errno;
        ::unlink(m_tmpName.constData());
        m_tmpName.clear();
        return Fail(err);
    }
    m_tmpName.clear();
    return true;
}

void TAtomicFile::Cancel()
{
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    if (!m_tmpName.isEmpty()) {
        ::unlink(m_tmpName.constData());
        m_tmpName.clear();
    }
    m_buffer = QByteArray();
}
