#pragma once

// Shared by the fuzz targets: quiet diagnostics and a hard stop on a broken
// invariant (libFuzzer records an abort as a crash with its input).

#include <QString>
#include <QtGlobal>

#include <cstdio>
#include <cstdlib>

namespace fuzz
{

// The readers write diagnostic lines for every input; at millions of runs
// they only slow the fuzzer down. Warnings and worse are still printed.
inline void quietDebugOutput()
{
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &text) {
        if (type != QtDebugMsg && type != QtInfoMsg)
            std::fprintf(stderr, "%s\n", qPrintable(text));
    });
}

// Ends the run as a finding when `condition` is false.
#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "fuzz check failed: %s (%s:%d)\n", #condition, __FILE__,          \
                         __LINE__);                                                                \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)

} // namespace fuzz
