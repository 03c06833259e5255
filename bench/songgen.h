#pragma once

#include <cstdint>
#include <string>

// Generates Standard MIDI Files that look like real songs to a drum-kit repair: a conductor
// track, a drum track on channel 10 and melodic tracks, with notes under running status,
// controllers, pitch bends, text and meta events, System Exclusive messages, drum-kit and
// melodic Program Changes, and in many songs Roland GS messages that move parts and switch
// them to rhythm use. The same seed always gives the same bytes.
namespace songgen {

// A small, fast generator whose sequence is fixed by its seed on every platform (the
// standard library's distributions are not).
class Random
{
public:
    explicit Random(std::uint64_t seed)
        : state(seed)
    {
    }
    std::uint64_t next();
    // A whole number from lo to hi, both included.
    int between(int lo, int hi);
    bool percent(int chance) { return between(0, 99) < chance; }

private:
    std::uint64_t state;
};

// The size, in bytes, of song `index` of a collection whose songs are MIN..MAX bytes long:
// spread on a log scale and leaning towards small songs, as real collections hold many more
// small songs than large ones.
std::uint64_t songSize(std::uint64_t seed, int index, std::uint64_t minBytes,
                       std::uint64_t maxBytes);

// Writes one song of about targetBytes bytes (it stops adding events once the target is
// reached) to path, streaming: memory does not grow with the song. Returns the bytes
// written, or -1 when the file cannot be written.
std::int64_t writeSong(const std::string &path, std::uint64_t targetBytes, std::uint64_t seed);

} // namespace songgen
