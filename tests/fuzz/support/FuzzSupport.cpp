#include "FuzzSupport.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>

namespace {

QTemporaryDir* g_scratch = nullptr;

// Parsers report damaged input through warnings; at thousands of inputs a second they
// would only slow the run. Fatal messages still abort.
void QuietMessages(QtMsgType type, const QMessageLogContext&, const QString& msg)
{
    if (type == QtFatalMsg) {
        std::fprintf(stderr, "fatal: %s\n", qPrintable(msg));
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QUORVEL_NO_SOUND", "1");
    qInstallMessageHandler(QuietMessages);
    // Widgets (the wait object), fonts and documents need the application object; it lives
    // as long as the process.
    static QApplication* app = new QApplication(*argc, *argv);
    (void)app;
    // Files are written atomically (with fsync) by the code under test: in memory that costs
    // nothing, on disk it would be most of each run.
    const QString base = QFileInfo(QStringLiteral("/dev/shm")).isWritable() ? QStringLiteral("/dev/shm") : QDir::tempPath();
    g_scratch = new QTemporaryDir(base + QStringLiteral("/quorvel-fuzz-XXXXXX"));
    return 0;
}

namespace fuzz {

QString ScratchPath(const QString& name)
{
    return g_scratch->filePath(name);
}

QString WriteScratch(const QString& name, QByteArrayView bytes)
{
    const QString path = ScratchPath(name);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes.data(), bytes.size()) != bytes.size())
        Fail(__FILE__, __LINE__, "cannot write the scratch file");
    return path;
}

void Fail(const char* file, int line, const char* what)
{
    std::fprintf(stderr, "%s:%d: property broken: %s\n", file, line, what);
    std::abort();
}

} // namespace fuzz
