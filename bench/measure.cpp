// kadenzo-measure REPORT COMMAND [ARG...]: runs COMMAND and writes to REPORT its wall time in
// nanoseconds, its peak resident memory in KB and its processor time (user and system, all
// threads) in nanoseconds. The peak of a child created by fork
// includes what its parent had resident when it was created, so a benchmark written in
// Python cannot measure its tools directly: this small program starts them instead.
#include <cstdio>
#include <ctime>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

extern char **environ;

int main(int argc, char *argv[])
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: kadenzo-measure REPORT COMMAND [ARG...]\n");
        return 2;
    }
    timespec start{}, end{};
    clock_gettime(CLOCK_MONOTONIC, &start);
    pid_t child = 0;
    if (posix_spawnp(&child, argv[2], nullptr, nullptr, argv + 2, environ) != 0) {
        std::fprintf(stderr, "kadenzo-measure: cannot run %s\n", argv[2]);
        return 127;
    }
    int status = 0;
    rusage usage{};
    if (wait4(child, &status, 0, &usage) != child)
        return 127;
    clock_gettime(CLOCK_MONOTONIC, &end);
    const long long nanoseconds =
        (end.tv_sec - start.tv_sec) * 1000000000LL + (end.tv_nsec - start.tv_nsec);
    std::FILE *report = std::fopen(argv[1], "w");
    if (!report)
        return 127;
    const auto toNanoseconds = [](const timeval &time) {
        return time.tv_sec * 1000000000LL + time.tv_usec * 1000LL;
    };
    std::fprintf(report, "%lld %ld %lld\n", nanoseconds, usage.ru_maxrss,
                 toNanoseconds(usage.ru_utime) + toNanoseconds(usage.ru_stime));
    std::fclose(report);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}
