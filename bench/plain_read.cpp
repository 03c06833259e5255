// kadenzo-plain-read FILE...: opens each file in the order given, reads every byte of it into
// one buffer and closes it. It is the least that any tool that reads whole songs must pay, and
// the benchmark's floor beside cat: GNU cat advises the kernel about each file and reads in
// its own way, which on some machines takes several times as long as this plain loop.
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

int main(int argc, char *argv[])
{
    std::vector<char> buffer(256 * 1024);
    long long total = 0;
    int status = 0;
    for (int i = 1; i < argc; ++i) {
        const int file = open(argv[i], O_RDONLY);
        if (file < 0) {
            std::perror(argv[i]);
            status = 1;
            continue;
        }
        ssize_t length = 0;
        while ((length = read(file, buffer.data(), buffer.size())) > 0)
            total += length;
        if (length < 0) {
            std::perror(argv[i]);
            status = 1;
        }
        close(file);
    }
    std::printf("%lld bytes\n", total);
    return status;
}
