// Roland GS rhythm parts. A GS module has 16 parts; each receives on a MIDI channel and can be
// switched to rhythm (drum) use. A song can make a channel carry drums by two parameter
// messages (data set, command 0x12) to the part block at address 40 1x yy:
//   41 dd 42 12 40 1x 02 vv ss F7   part x receives on channel vv (0x10: on none)
//   41 dd 42 12 40 1x 15 vv ss F7   part x is used for rhythm (vv 1 or 2) or not (vv 0)
// dd is the device number, 0x10 or 0x00 here; ss is the checksum, not checked. The nibble x
// names part 10 for 0, parts 1..9 for 1..9 and parts 11..16 for A..F.
#include "gsrhythm.h"

#include <algorithm>

namespace {
constexpr quint8 device10Prefix[] = {0x41, 0x10, 0x42, 0x12, 0x40};
constexpr quint8 device00Prefix[] = {0x41, 0x00, 0x42, 0x12, 0x40};
constexpr quint8 partBlock = 0x10; // high nibble of the address middle byte 1x
constexpr quint8 receiveChannel = 0x02;
constexpr quint8 useForRhythmPart = 0x15;
// A message is judged only on its own bytes: it must hold the value at index 9, and begin at
// index 2 (messages of 127 data bytes or more are stored further in).
constexpr qint32 shortestPartMessage = 8;
constexpr qint32 longestStoredAtIndex2 = 126;
} // namespace

// Until a song says otherwise, each part receives on its own channel (part 10 on channel 10,
// part n on channel n), and only channel 10 carries drums.
RhythmChannels::RhythmChannels()
    : partChannel{9, 0, 1, 2, 3, 4, 5, 6, 7, 8, 10, 11, 12, 13, 14, 15}
{
    drumChannel[9] = 1;
}

void RhythmChannels::applyGsMessage(const std::array<quint8, 256> &eventBuf, qint32 dataLength)
{
    if (dataLength < shortestPartMessage || dataLength > longestStoredAtIndex2)
        return;
    const auto data = eventBuf.begin() + 2;
    if (!std::equal(std::begin(device10Prefix), std::end(device10Prefix), data) &&
        !std::equal(std::begin(device00Prefix), std::end(device00Prefix), data))
        return;

    // Only the part block 40 1x: other blocks (40 0x, 40 2x, 40 4x...) hold other settings
    // whose low bytes 02 and 15 mean something else.
    if ((eventBuf[7] & 0xF0) != partBlock)
        return;
    const int part = eventBuf[7] & 0x0F;
    const quint8 address = eventBuf[8];
    const quint8 value = eventBuf[9];
    if (address == receiveChannel) {
        partChannel[part] = value < 16 ? value : noChannel;
    } else if (address == useForRhythmPart && value != 0 && partChannel[part] != noChannel) {
        // Flags are only ever set within a song: the channel keeps its drums even if the
        // part later moves or is switched back.
        drumChannel[partChannel[part]] = 1;
    }
}
