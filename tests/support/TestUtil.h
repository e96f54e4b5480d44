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
} // namespace testutil
