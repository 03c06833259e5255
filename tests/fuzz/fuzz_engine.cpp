// libFuzzer target: any bytes at all, repaired as a song in memory, must keep every promise
// that repairFaults checks. A broken promise aborts, and libFuzzer keeps the input.
#include "repaircheck.h"

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const unsigned char *data, size_t size)
{
    const QByteArray song(reinterpret_cast<const char *>(data), qsizetype(size));
    const QString fault = repairFaults(song);
    if (!fault.isEmpty()) {
        std::fprintf(stderr, "repair fault: %s\n", qPrintable(fault));
        std::abort();
    }
    return 0;
}
