// kadenzo-songs DIR COUNT MIN_BYTES MAX_BYTES [SEED]: writes COUNT generated songs,
// song0000.mid, song0001.mid, ..., into DIR (created when missing), each of about MIN_BYTES
// to MAX_BYTES. The same arguments always give the same files.
#include "songgen.h"

#include <charconv>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

namespace {

bool parse(std::string_view text, std::uint64_t &value)
{
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size();
}

} // namespace

int main(int argc, char *argv[])
{
    std::uint64_t count = 0, minBytes = 0, maxBytes = 0, seed = 1;
    if (argc < 5 || argc > 6 || !parse(argv[2], count) || !parse(argv[3], minBytes) ||
        !parse(argv[4], maxBytes) || (argc == 6 && !parse(argv[5], seed)) || minBytes > maxBytes) {
        std::fprintf(stderr, "usage: kadenzo-songs DIR COUNT MIN_BYTES MAX_BYTES [SEED]\n");
        return 2;
    }
    const std::filesystem::path dir(argv[1]);
    std::error_code error;
    std::filesystem::create_directories(dir, error);
    if (error) {
        std::fprintf(stderr, "kadenzo-songs: cannot create %s\n", argv[1]);
        return 1;
    }
    for (std::uint64_t i = 0; i < count; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "song%04llu.mid", static_cast<unsigned long long>(i));
        const std::uint64_t size = songgen::songSize(seed, int(i), minBytes, maxBytes);
        // Each song has its own stream of numbers, so that song i does not depend on COUNT.
        const std::uint64_t songSeed = songgen::Random(seed ^ (i * 0xD1B54A32D192ED03ull)).next();
        if (songgen::writeSong((dir / name).string(), size, songSeed) < 0) {
            std::fprintf(stderr, "kadenzo-songs: cannot write %s\n", (dir / name).string().c_str());
            return 1;
        }
    }
    return 0;
}
