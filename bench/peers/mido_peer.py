"""The mido peer of the benchmark: the same drum-kit repair as kadenzo-batch, written with
mido. Usage: mido_peer.py PATH...; prints "files: N, conversions: M" last."""
import sys

import mido

# Drum kits that players have; any other program on a rhythm channel becomes kit 0.
STANDARD_KITS = frozenset([0, 1, 2, 3, 4, 5, 6, 7, 8, 16, 24, 25, 26, 27, 28, 29, 30,
                           32, 33, 40, 48, 49, 50, 53, 56, 127])
CHANNEL_10 = 9
NO_CHANNEL = -1


def default_part_channels():
    # GS part nibble 0 is part 10 (channel 10), 1..9 are parts 1..9, A..F parts 11..16.
    return [CHANNEL_10] + list(range(0, 9)) + list(range(10, 16))


def apply_gs(body, part_channel, rhythm):
    """body: the System Exclusive event's bytes after its length, F7 included. A GS data set
    to 40 1x 02 moves part x to another channel; one to 40 1x 15 with a value other than 0
    makes the channel part x receives on a rhythm channel. Only messages of 8 to 126 bytes,
    from device 0x10 or 0x00, count."""
    if not 8 <= len(body) <= 126:
        return
    if body[0] != 0x41 or body[1] not in (0x10, 0x00) or body[2:5] != [0x42, 0x12, 0x40]:
        return
    if body[5] & 0xF0 != 0x10:
        return
    part, address, value = body[5] & 0x0F, body[6], body[7]
    if address == 0x02:
        part_channel[part] = value if value < 16 else NO_CHANNEL
    elif address == 0x15 and value != 0 and part_channel[part] != NO_CHANNEL:
        rhythm[part_channel[part]] = True


def repair(mid):
    """Repairs one parsed song in place; returns the number of programs set to kit 0."""
    part_channel = default_part_channels()
    rhythm = [False] * 16
    rhythm[CHANNEL_10] = True
    conversions = 0
    for track in mid.tracks:
        for msg in track:
            if msg.type == 'program_change':
                if rhythm[msg.channel] and msg.program not in STANDARD_KITS:
                    msg.program = 0
                    conversions += 1
            elif msg.type == 'sysex':
                # mido drops the closing F7, which every message of these songs has.
                apply_gs(list(msg.data) + [0xF7], part_channel, rhythm)
    return conversions


def main(paths):
    files = conversions = 0
    for path in paths:
        try:
            mid = mido.MidiFile(path)
        except (IOError, EOFError, ValueError, KeyError) as error:
            print('cannot read {}: {}'.format(path, error), file=sys.stderr)
            continue
        files += 1
        changed = repair(mid)
        if changed:
            mid.save(path)
            conversions += changed
    print('files: {}, conversions: {}'.format(files, conversions))


if __name__ == '__main__':
    main(sys.argv[1:])
