#pragma once
// Shared by the fuzz targets: each target is one tests/fuzz/fuzz_<name>.cpp that defines
// LLVMFuzzerTestOneInput over the real parser. Built with libFuzzer (QUORVEL_FUZZ) it explores;
// built plainly it replays its seed corpus and saved reproducers under ctest.
#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <cstddef>
#include <cstdint>

namespace fuzz {

// The input as bytes (no copy).
inline QByteArrayView Bytes(const uint8_t* data, size_t size)
{
    return QByteArrayView(reinterpret_cast<const char*>(data), qsizetype(size));
}

// A file path in this process's scratch folder (the same path for the same name).
QString ScratchPath(const QString& name);
// Writes the bytes to a scratch file and returns its path.
QString WriteScratch(const QString& name, QByteArrayView bytes);

// Reports a broken property of the parser and aborts, so the fuzzer keeps the input.
[[noreturn]] void Fail(const char* file, int line, const char* what);

} // namespace fuzz

#define FUZZ_CHECK(cond)                                                                           \
    do {                                                                                           \
        if (!(cond))                                                                               \
            ::fuzz::Fail(__FILE__, __LINE__, #cond);                                               \
    } while (0)

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv);
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
