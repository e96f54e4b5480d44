#include "support/TestUtil.h"

#include <QFile>

#include <csignal>
#include <sys/resource.h>

namespace testutil {

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeAll(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

QString sourceDir()
{
    return qEnvironmentVariable("QUORVEL_SOURCE_DIR", QStringLiteral(QUORVEL_SOURCE_DIR_DEFAULT));
}

QString fixture(const QString& relative)
{
    return sourceDir() + QStringLiteral("/tests/") + relative;
}

FileSizeLimit::FileSizeLimit(qint64 bytes)
{
    ::signal(SIGXFSZ, SIG_IGN); // a failed write, not a dead process
    struct rlimit lim;
    if (::getrlimit(RLIMIT_FSIZE, &lim) != 0)
        return;
    m_oldCur = lim.rlim_cur;
    lim.rlim_cur = rlim_t(bytes);
    m_active = ::setrlimit(RLIMIT_FSIZE, &lim) == 0;
}

FileSizeLimit::~FileSizeLimit()
{
    if (!m_active)
        return;
    struct rlimit lim;
    ::getrlimit(RLIMIT_FSIZE, &lim);
    lim.rlim_cur = rlim_t(m_oldCur);
    ::setrlimit(RLIMIT_FSIZE, &lim);
}

} // namespace testutil
