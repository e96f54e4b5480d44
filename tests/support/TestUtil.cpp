#include "support/TestUtil.h"

#include <QFile>

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

} // namespace testutil
