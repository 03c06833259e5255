// A preloaded library that makes opening a file for reading and writing take as long as it
// does on a slow network share: KADENZO_SLOW_OPEN_MS milliseconds (0 by default) for every
// path that holds KADENZO_SLOW_OPEN_FOLDER (anywhere: Wine's server opens "z:/tmp/..." from a
// folder of its own). Listing a folder and writing new files stay fast, so
// that a benchmark sets up its songs at full speed. Linux only.
//   LD_PRELOAD=build/bench/libkadenzo-slow-open.so KADENZO_SLOW_OPEN_FOLDER=... program
#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdlib>
#include <cstring>

namespace {
void waitLikeAShare(const char *path, int flags)
{
    const char *folder = std::getenv("KADENZO_SLOW_OPEN_FOLDER");
    const char *milliseconds = std::getenv("KADENZO_SLOW_OPEN_MS");
    if ((flags & O_ACCMODE) == O_RDWR && folder && milliseconds && *folder &&
        std::strstr(path, folder))
        usleep(useconds_t(std::atoi(milliseconds)) * 1000);
}

constexpr int noFolder = -1000;

// Waits if need be, then opens as the C library would (dlsym is cached by the loader).
int slowOpen(const char *function, int folder, const char *path, int flags, mode_t mode)
{
    waitLikeAShare(path, flags);
    void *real = dlsym(RTLD_NEXT, function);
    if (folder == noFolder)
        return reinterpret_cast<int (*)(const char *, int, ...)>(real)(path, flags, mode);
    return reinterpret_cast<int (*)(int, const char *, int, ...)>(real)(folder, path, flags, mode);
}
} // namespace

// The mode argument is there only when a file may be created.
#define KADENZO_MODE(flags)                                                                        \
    mode_t mode = 0;                                                                               \
    if ((flags) & (O_CREAT | O_TMPFILE)) {                                                         \
        va_list arguments;                                                                         \
        va_start(arguments, flags);                                                                \
        mode = mode_t(va_arg(arguments, int));                                                     \
        va_end(arguments);                                                                         \
    }

extern "C" {
int open(const char *path, int flags, ...)
{
    KADENZO_MODE(flags)
    return slowOpen("open", noFolder, path, flags, mode);
}
int open64(const char *path, int flags, ...)
{
    KADENZO_MODE(flags)
    return slowOpen("open64", noFolder, path, flags, mode);
}
int openat(int folder, const char *path, int flags, ...)
{
    KADENZO_MODE(flags)
    return slowOpen("openat", folder, path, flags, mode);
}
int openat64(int folder, const char *path, int flags, ...)
{
    KADENZO_MODE(flags)
    return slowOpen("openat64", folder, path, flags, mode);
}
}
