#pragma once

#include <QtGlobal>

#include <array>

// Which MIDI channels of a song carry drums: channel 10 always, and those that the song's own
// Roland GS messages make rhythm parts. One per song: a new song starts with channel 10 only.
class RhythmChannels
{
public:
    RhythmChannels();

    // Given a System Exclusive message of `dataLength` bytes as the song reader stores it
    // (SongReader::eventBuffer), follows the GS messages that give a part its receive channel
    // and switch it to rhythm use.
    void applyGsMessage(const std::array<quint8, 256> &eventBuf, qint32 dataLength);

    // `channel` 0..15 (channel 10 is 9).
    bool isRhythm(int channel) const { return drumChannel[std::size_t(channel)] != 0; }
    // All of them, a bit for each channel (bit 9: channel 10).
    quint16 mask() const
    {
        quint16 channels = 0;
        for (std::size_t channel = 0; channel < drumChannel.size(); ++channel)
            channels |= quint16(drumChannel[channel] != 0) << channel;
        return channels;
    }

private:
    std::array<int, 16> drumChannel{};
    // The channel each GS part receives on, by the part's address nibble; noChannel for "off".
    std::array<int, 16> partChannel{};
    static constexpr int noChannel = -1;
};
