#include "songgen.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <initializer_list>
#include <string_view>
#include <vector>

namespace songgen {

std::uint64_t Random::next()
{
    // splitmix64
    std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

int Random::between(int lo, int hi)
{
    return lo + int(next() % (std::uint64_t(hi - lo) + 1));
}

std::uint64_t songSize(std::uint64_t seed, int index, std::uint64_t minBytes,
                       std::uint64_t maxBytes)
{
    minBytes = std::max<std::uint64_t>(minBytes, 1);
    if (maxBytes <= minBytes)
        return minBytes;
    Random random(seed * 0x100000001B3ull + std::uint64_t(index));
    // Squaring a uniform fraction leans towards small songs: half of them are in the lowest
    // quarter of the log scale (about 36 KB for 20..200 KB).
    const double uniform = double(random.next() >> 11) / double(1ull << 53);
    const double fraction = uniform * uniform;
    const double size = double(minBytes) * std::pow(double(maxBytes) / double(minBytes), fraction);
    return std::clamp(std::uint64_t(size), minBytes, maxBytes);
}

namespace {

constexpr int drumChannel = 9; // MIDI channel 10, counted from 0
constexpr int noChannel = -1;
// Kits that players have, kit 0 the most common, and kits that they lack.
constexpr std::array<int, 16> standardKits = {0,  0,  0,  0,  0,  0,  1,  8,
                                              16, 24, 25, 26, 32, 40, 48, 127};
constexpr std::array<int, 16> otherKits = {9,  10, 12, 17, 20, 31,  34,  41,
                                           57, 64, 72, 88, 96, 100, 119, 126};
constexpr std::array<std::string_view, 12> words = {"la ",    "luna ", "canta ",  "sul ",
                                                    "mare\r", "e ",    "il ",     "vento ",
                                                    "porta ", "via ",  "tutto\n", "ancora "};

// The channel a GS part receives on until a song moves it: the address nibble names part
// 10 for 0, parts 1..9 for 1..9 and parts 11..16 for A..F.
int defaultChannel(int nibble)
{
    return nibble == 0 ? drumChannel : nibble <= 9 ? nibble - 1 : nibble;
}

// Writes a song's chunks through a small buffer. A track's length is only known at its end:
// its header is written with length 0 and patched once the track is done.
class SongWriter
{
public:
    explicit SongWriter(const std::string &path)
        : file(std::fopen(path.c_str(), "wb"))
        , good(file != nullptr)
    {
        buffer.reserve(bufferSize);
    }
    ~SongWriter()
    {
        if (file)
            std::fclose(file);
    }
    SongWriter(const SongWriter &) = delete;
    SongWriter &operator=(const SongWriter &) = delete;

    std::int64_t size() const { return written + std::int64_t(buffer.size()); }
    std::int64_t trackSize() const { return size() - trackStart; }

    void bytes(std::initializer_list<int> values)
    {
        for (int value : values)
            byte(value);
    }
    void byte(int value)
    {
        buffer.push_back(std::uint8_t(value));
        if (buffer.size() >= bufferSize)
            flush();
    }
    void bigEndian(std::uint32_t value, int count)
    {
        for (int shift = 8 * (count - 1); shift >= 0; shift -= 8)
            byte(int((value >> shift) & 0xFF));
    }
    void varLen(std::uint32_t value)
    {
        std::array<int, 5> groups{};
        int count = 0;
        do {
            groups[count++] = int(value & 0x7F);
            value >>= 7;
        } while (value != 0);
        while (count > 1)
            byte(groups[--count] | 0x80);
        byte(groups[0]);
    }

    void header(int tracks, int division)
    {
        bytes({'M', 'T', 'h', 'd'});
        bigEndian(6, 4);
        bigEndian(1, 2); // format 1: tracks played together
        bigEndian(std::uint32_t(tracks), 2);
        bigEndian(std::uint32_t(division), 2);
    }
    void beginTrack()
    {
        trackStart = size();
        bytes({'M', 'T', 'r', 'k', 0, 0, 0, 0});
        runningStatus = -1;
    }
    void endTrack()
    {
        meta(0, 0x2F, {});
        const std::int64_t length = trackSize() - 8;
        flush();
        std::array<std::uint8_t, 4> field{};
        for (int i = 0; i < 4; ++i)
            field[i] = std::uint8_t(length >> (24 - 8 * i));
        good = good && std::fseek(file, long(trackStart + 4), SEEK_SET) == 0 &&
               std::fwrite(field.data(), 1, 4, file) == 4 && std::fseek(file, 0, SEEK_END) == 0;
    }

    // A channel event; the status byte is left out when it repeats the last one.
    void channel(std::uint32_t delta, int status, int data1, int data2 = -1)
    {
        varLen(delta);
        if (status != runningStatus)
            byte(status);
        runningStatus = status;
        byte(data1);
        if (data2 >= 0)
            byte(data2);
    }
    // Meta and System Exclusive events cancel the running status: the next channel event
    // writes its status again.
    void meta(std::uint32_t delta, int type, std::string_view data)
    {
        varLen(delta);
        bytes({0xFF, type});
        varLen(std::uint32_t(data.size()));
        for (char c : data)
            byte(static_cast<unsigned char>(c));
        runningStatus = -1;
    }
    void sysEx(std::uint32_t delta, const std::vector<int> &data)
    {
        varLen(delta);
        byte(0xF0);
        varLen(std::uint32_t(data.size() + 1));
        for (int value : data)
            byte(value);
        byte(0xF7);
        runningStatus = -1;
    }

    bool finish()
    {
        flush();
        const bool closed = std::fclose(file) == 0;
        file = nullptr;
        return good && closed;
    }

private:
    void flush()
    {
        if (!buffer.empty() && file)
            good = good && std::fwrite(buffer.data(), 1, buffer.size(), file) == buffer.size();
        written += std::int64_t(buffer.size());
        buffer.clear();
    }

    static constexpr std::size_t bufferSize = 64 * 1024;
    std::FILE *file;
    bool good;
    std::vector<std::uint8_t> buffer;
    std::int64_t written = 0;
    std::int64_t trackStart = 0;
    int runningStatus = -1;
};

// A Roland GS data set to address 40 addressMid addressLow, with its checksum.
std::vector<int> gsDataSet(int device, int addressMid, int addressLow,
                           std::initializer_list<int> values)
{
    std::vector<int> message = {0x41, device, 0x42, 0x12, 0x40, addressMid, addressLow};
    int sum = 0x40 + addressMid + addressLow;
    for (int value : values) {
        message.push_back(value);
        sum += value;
    }
    message.push_back((128 - sum % 128) % 128);
    return message;
}

// What a song does with GS rhythm parts, drawn once per song.
struct RhythmPart
{
    int nibble = 1;          // the part's address nibble
    int device = 0x10;       // 0x10; sometimes 0x00, or 0x11 for a second module
    int moveTo = noChannel;  // channel given by a receive-channel message, 0x10 for none
    int channel = noChannel; // the channel its track plays on
    enum Where { Conductor, TrackSetup, MidTrack } where = Conductor;
};

struct Song
{
    Song(Random &random, SongWriter &out)
        : random(random)
        , out(out)
    {
    }

    Random &random;
    SongWriter &out;
    int division = 480;
    bool gs = false;
    bool karaoke = false;
    bool hasRhythmPart = false;
    RhythmPart part;

    int kit() const
    {
        return random.percent(30) ? otherKits[random.between(0, 15)]
                                  : standardKits[random.between(0, 15)];
    }
    std::uint32_t gap() const { return std::uint32_t(random.between(0, division / 2)); }

    void rhythmPartMessages(std::uint32_t delta)
    {
        if (part.moveTo != noChannel)
            out.sysEx(delta, gsDataSet(part.device, 0x10 | part.nibble, 0x02, {part.moveTo}));
        out.sysEx(0, gsDataSet(part.device, 0x10 | part.nibble, 0x15, {random.between(1, 2)}));
    }

    void conductor(std::int64_t budget, int tracks, const std::vector<int> &channels)
    {
        out.beginTrack();
        out.meta(0, 0x03, "Kadenzo song");
        if (random.percent(40))
            out.meta(0, 0x02, "(c) nessuno");
        if (karaoke)
            out.meta(0, 0x01, "@KMIDI KARAOKE FILE");
        out.meta(0, 0x51, "\x07\xA1\x20"); // 500000 us per quarter note
        out.meta(0, 0x58, std::string_view("\x04\x02\x18\x08", 4));
        out.meta(0, 0x59, std::string_view("\x00\x00", 2));
        if (gs) {
            out.sysEx(0, gsDataSet(0x10, 0x00, 0x7F, {0x00})); // GS reset
            if (random.percent(30))
                out.sysEx(0, gsDataSet(0x10, 0x01, 0x30, {random.between(0, 7)})); // reverb
            if (random.percent(25)) // a part that stays melodic
                out.sysEx(0, gsDataSet(0x10, 0x10 | random.between(1, 9), 0x15, {0}));
            if (hasRhythmPart && part.where == RhythmPart::Conductor)
                rhythmPartMessages(0);
        } else if (random.percent(50)) {
            out.sysEx(0, {0x7E, 0x7F, 0x09, 0x01}); // GM System On
        }
        // Some songs set every channel's program from the conductor track.
        if (random.percent(20)) {
            for (int track = 0; track < tracks; ++track) {
                const int ch = channels[std::size_t(track)];
                const bool drums = ch == drumChannel || ch == part.channel;
                out.channel(0, 0xC0 | ch, drums ? kit() : random.between(0, 127));
            }
        }
        while (out.trackSize() < budget) {
            const std::uint32_t delta = std::uint32_t(division * 4 * random.between(1, 8));
            if (random.percent(50))
                out.meta(delta, 0x06, words[std::size_t(random.between(0, 11))]);
            else
                out.meta(delta, 0x51, std::string_view("\x07\x53\x00", 3));
        }
        out.endTrack();
    }

    void track(int ch, std::int64_t budget, bool isRhythmPart)
    {
        out.beginTrack();
        const bool drums = ch == drumChannel || isRhythmPart;
        out.meta(0, 0x03, drums ? "Batteria" : "Strumento");
        if (isRhythmPart && part.where == RhythmPart::TrackSetup)
            rhythmPartMessages(0);
        out.channel(0, 0xB0 | ch, 0, 0);  // bank select
        out.channel(0, 0xB0 | ch, 32, 0); // bank select, fine
        out.channel(0, 0xC0 | ch, drums ? kit() : random.between(0, 127));
        out.channel(0, 0xB0 | ch, 7, random.between(60, 127));
        out.channel(0, 0xB0 | ch, 10, random.between(0, 127));

        bool partSwitched = !(isRhythmPart && part.where == RhythmPart::MidTrack);
        const std::int64_t switchAt = budget / 3;
        const bool lyrics = karaoke && ch == 0;
        int key = drums ? 36 : random.between(48, 72);
        int pitch = 8192;
        while (out.trackSize() < budget) {
            if (!partSwitched && out.trackSize() >= switchAt) {
                rhythmPartMessages(gap());
                out.channel(0, 0xC0 | ch, kit());
                partSwitched = true;
            }
            const int roll = random.between(0, 9799);
            if (roll < 7600) {
                // Notes: a chord of note-ons, then note-offs, mostly as note-on velocity 0
                // under running status.
                const int count = random.between(1, 3);
                std::array<int, 3> keys{};
                for (int i = 0; i < count; ++i) {
                    key = drums ? random.between(35, 81)
                                : std::clamp(key + random.between(-5, 5), 24, 100);
                    keys[std::size_t(i)] = key;
                    if (lyrics && i == 0)
                        out.meta(gap(), 0x05, words[std::size_t(random.between(0, 11))]);
                    out.channel(i == 0 && !lyrics ? gap() : 0, 0x90 | ch, key,
                                random.between(40, 127));
                }
                for (int i = 0; i < count; ++i) {
                    const std::uint32_t delta =
                        i == 0 ? std::uint32_t(random.between(1, division)) : 0;
                    if (random.percent(85))
                        out.channel(delta, 0x90 | ch, keys[std::size_t(i)], 0);
                    else
                        out.channel(delta, 0x80 | ch, keys[std::size_t(i)], 64);
                }
            } else if (roll < 8700) {
                static constexpr std::array<int, 8> controllers = {1, 7, 10, 11, 64, 74, 91, 93};
                out.channel(gap(), 0xB0 | ch, controllers[std::size_t(random.between(0, 7))],
                            random.between(0, 127));
            } else if (roll < 9400) {
                for (int i = random.between(5, 20); i > 0; --i) {
                    pitch = std::clamp(pitch + random.between(-400, 400), 0, 16383);
                    out.channel(std::uint32_t(random.between(0, 10)), 0xE0 | ch, pitch & 0x7F,
                                pitch >> 7);
                }
            } else if (roll < 9700) {
                for (int i = random.between(2, 6); i > 0; --i)
                    out.channel(std::uint32_t(random.between(0, 20)), 0xD0 | ch,
                                random.between(0, 127));
            } else if (roll < 9750) {
                out.channel(gap(), 0xA0 | ch, key, random.between(0, 127));
            } else if (roll < 9775) {
                static constexpr std::array<int, 3> textTypes = {0x01, 0x05, 0x06};
                out.meta(gap(), textTypes[std::size_t(random.between(0, 2))],
                         words[std::size_t(random.between(0, 11))]);
            } else if (roll < 9795) {
                if (random.percent(70) && gs) // part level or pan of some part
                    out.sysEx(gap(), gsDataSet(0x10, 0x10 | random.between(0, 15),
                                               random.percent(50) ? 0x19 : 0x1C,
                                               {random.between(0, 127)}));
                else // GM master volume
                    out.sysEx(gap(), {0x7F, 0x7F, 0x04, 0x01, 0x00, random.between(0, 127)});
            } else {
                // A program change during the song: a new kit or a new instrument.
                if (!drums || random.percent(50))
                    out.channel(gap(), 0xC0 | ch, drums ? kit() : random.between(0, 127));
            }
        }
        out.endTrack();
    }
};

} // namespace

std::int64_t writeSong(const std::string &path, std::uint64_t targetBytes, std::uint64_t seed)
{
    Random random(seed);
    SongWriter out(path);
    Song song(random, out);
    const auto target = std::int64_t(std::min<std::uint64_t>(targetBytes, 1ull << 40));

    static constexpr std::array<int, 4> divisions = {96, 192, 384, 480};
    song.division = divisions[std::size_t(random.between(0, 3))];
    song.gs = random.percent(65);
    song.karaoke = random.percent(15);

    // A drum track on channel 10, then melodic tracks on the other channels in turn.
    const int most = int(std::clamp<std::int64_t>(target / 7000, 1, 14));
    const int tracks = 1 + random.between(std::max(1, most * 2 / 3), most);
    std::vector<int> channels = {drumChannel};
    static constexpr std::array<int, 15> melodic = {0, 1,  2,  3,  4,  5,  6, 7,
                                                    8, 10, 11, 12, 13, 14, 15};
    const int firstMelodic = random.between(0, 14);
    for (int i = 1; i < tracks; ++i)
        channels.push_back(melodic[std::size_t((firstMelodic + i - 1) % 15)]);

    // Many GS songs make one more part a rhythm part, whose track then plays a kit.
    int rhythmTrack = -1;
    if (song.gs && tracks > 1 && random.percent(45)) {
        song.hasRhythmPart = true;
        RhythmPart &part = song.part;
        part.nibble = random.percent(50) ? random.between(1, 9) : random.between(10, 15);
        const int deviceRoll = random.between(0, 99);
        part.device = deviceRoll < 10 ? 0x00 : deviceRoll < 15 ? 0x11 : 0x10;
        part.channel = defaultChannel(part.nibble);
        const int moveRoll = random.between(0, 99);
        if (moveRoll < 30) {
            part.moveTo = melodic[std::size_t(random.between(0, 14))];
            part.channel = part.moveTo;
        } else if (moveRoll < 38) {
            part.moveTo = 0x10; // receives on no channel: its track plays on its old one
        }
        const int whereRoll = random.between(0, 99);
        part.where = whereRoll < 50   ? RhythmPart::Conductor
                     : whereRoll < 85 ? RhythmPart::TrackSetup
                                      : RhythmPart::MidTrack;
        rhythmTrack = random.between(1, tracks - 1);
        channels[std::size_t(rhythmTrack)] = part.channel;
    }

    out.header(tracks + 1, song.division);
    song.conductor(std::max<std::int64_t>(target / 50, 0), tracks, channels);
    for (int i = 0; i < tracks; ++i) {
        const std::int64_t left = target - out.size();
        const std::int64_t budget = std::max<std::int64_t>(left / (tracks - i), 0);
        song.track(channels[std::size_t(i)], budget, i == rhythmTrack);
    }
    return out.finish() ? out.size() : -1;
}

} // namespace songgen
