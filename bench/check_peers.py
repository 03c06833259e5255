"""Checks that the benchmark compares like with like: kadenzo-batch and the two peers repair
the same programs in hand-made songs that each exercise one rule, and kadenzo-songs writes
valid, repeatable songs with the mix of events the benchmark needs.

    /usr/bin/python3 bench/check_peers.py --build build

The midi-file peer is checked when bench/peers/node_modules is installed (npm ci).
Exits 1 on a failure, 77 (skipped) without mido."""
import argparse
import collections
import filecmp
import os
import shutil
import subprocess
import sys
import tempfile

try:
    import mido
except ImportError:
    print('mido is not installed: skipped')
    sys.exit(77)

BENCH = os.path.dirname(os.path.abspath(__file__))
PEERS = os.path.join(BENCH, 'peers')


def var_len(value):
    out = [value & 0x7F]
    value >>= 7
    while value:
        out.insert(0, (value & 0x7F) | 0x80)
        value >>= 7
    return out


def song(*tracks):
    """A format 1 song; each track is a list of events, each event its bytes after a
    delta time of 0."""
    data = bytearray(b'MThd\0\0\0\6\0\1' + bytes([0, len(tracks)]) + b'\0\x60')
    for events in tracks:
        body = bytearray()
        for event in events + [[0xFF, 0x2F, 0x00]]:
            body += bytes([0] + event)
        data += b'MTrk' + len(body).to_bytes(4, 'big') + body
    return bytes(data)


def sysex(*data):
    """A System Exclusive event: F0, its length, the data and F7."""
    return [0xF0] + var_len(len(data) + 1) + list(data) + [0xF7]


def gs(part, address, value, device=0x10):
    """A GS data set to 40 1x address, x being the part's address nibble."""
    body = [0x40, 0x10 | part, address, value]
    return sysex(0x41, device, 0x42, 0x12, *body, (128 - sum(body) % 128) % 128)


# Each case: the song, then the programs of its Program Changes after the repair, in file
# order. All cases go through each tool in one batch, so the state must not leak from one
# song into the next (the 'fresh state' case follows one that makes channel 1 a rhythm one).
CASES = [
    ('channel 10: standard kits stay, others become 0; other channels keep their program',
     song([[0xC9, 0], [0xC9, 8], [0xC9, 127], [0xC9, 9], [0xC9, 126], [0xC0, 9]]),
     [0, 8, 127, 0, 0, 9]),
    ('every standard kit stays, every other program goes to 0 on channel 10',
     song([[0xC9, p] for p in range(128)]),
     [p if p in (0, 1, 2, 3, 4, 5, 6, 7, 8, 16, 24, 25, 26, 27, 28, 29, 30, 32, 33, 40, 48,
                 49, 50, 53, 56, 127) else 0 for p in range(128)]),
    ('running status program changes on channel 10',
     song([[0xC9, 10], [11], [16], [0x90, 40, 100], [40, 0], [0xC9, 12]]),
     [0, 0, 16, 0]),
    ('a GS rhythm part counts from the message on, across later tracks',
     song([[0xC0, 10]] + [gs(1, 0x15, 2)] + [[0xC0, 11]], [[0xC0, 12], [0xC1, 12]]),
     [10, 0, 0, 12]),
    ('fresh state for the next song',
     song([[0xC0, 10], [0xC1, 10]]),
     [10, 10]),
    ('device 0x00 counts; device 0x11, a data request and another maker do not',
     song([gs(3, 0x15, 1, device=0x11),
           sysex(0x41, 0x10, 0x42, 0x11, 0x40, 0x14, 0x15, 0x01, 0x00),
           sysex(0x43, 0x10, 0x42, 0x12, 0x40, 0x15, 0x15, 0x01, 0x00),
           gs(6, 0x15, 1, device=0x00),
           [0xC2, 20], [0xC3, 20], [0xC4, 20], [0xC5, 20]]),
     [20, 20, 20, 0]),
    ('a part moved to another channel makes that one a rhythm channel',
     song([gs(3, 0x02, 5), gs(3, 0x15, 1), [0xC2, 20], [0xC5, 20]]),
     [20, 0]),
    ('a part set to no channel, or switched with 0, marks nothing',
     song([gs(4, 0x02, 0x10), gs(4, 0x15, 1), gs(7, 0x15, 0), [0xC3, 20], [0xC6, 20]]),
     [20, 20]),
    ('part nibbles 0, A and F are parts 10, 11 and 16',
     song([gs(0, 0x02, 3), gs(0, 0x15, 1), gs(0xA, 0x15, 1), gs(0xF, 0x15, 1),
           [0xC3, 20], [0xCA, 20], [0xCF, 20], [0xC9, 20]]),
     [0, 0, 0, 0]),
    ('a message keeps its channel marked after the part moves or is switched back',
     song([gs(2, 0x15, 1), gs(2, 0x02, 7), gs(2, 0x15, 0), [0xC1, 20], [0xC7, 20]]),
     [0, 20]),
    ('only messages of 8 to 126 bytes (F7 included) count',
     song([sysex(0x41, 0x10, 0x42, 0x12, 0x40, 0x11, 0x15),  # 8 bytes: F7 is the value
           sysex(0x41, 0x10, 0x42, 0x12, 0x40, 0x12),  # 7 bytes
           sysex(*([0x41, 0x10, 0x42, 0x12, 0x40, 0x13, 0x15, 0x01] + [0] * 117)),  # 126
           sysex(*([0x41, 0x10, 0x42, 0x12, 0x40, 0x14, 0x15, 0x01] + [0] * 118)),  # 127
           [0xC0, 20], [0xC1, 20], [0xC2, 20], [0xC3, 20]]),
     [0, 20, 0, 20]),
]


def programs(path):
    return [m.program for t in mido.MidiFile(path).tracks for m in t
            if m.type == 'program_change']


def run_tool(command, paths):
    result = subprocess.run(command + paths, capture_output=True, text=True, check=False)
    if result.returncode != 0 or result.stderr:
        raise RuntimeError('{} failed: {}'.format(command[0], result.stderr.strip()))
    return result.stdout.strip().splitlines()[-1]


def tools(build):
    found = [('kadenzo-batch', [os.path.join(build, 'kadenzo-batch')]),
             ('mido', [sys.executable, os.path.join(PEERS, 'mido_peer.py')])]
    if os.path.isdir(os.path.join(PEERS, 'node_modules')):
        found.append(('midi-file', ['node', os.path.join(PEERS, 'midi_file_peer.js')]))
    else:
        print('midi-file peer not installed (npm ci in bench/peers): not checked')
    return found


def check_cases(build, tmp):
    failures = []
    for name, command in tools(build):
        paths = []
        for i, (_, data, _) in enumerate(CASES):
            paths.append(os.path.join(tmp, '{}-{:02d}.mid'.format(name, i)))
            with open(paths[-1], 'wb') as f:
                f.write(data)
        summary = run_tool(command, paths)
        expected_total = 0
        for path, (label, data, expected) in zip(paths, CASES):
            with open(path, 'rb') as f:
                unchanged = f.read() == data
            before = programs_of_bytes(data, tmp)
            expected_total += sum(a != b for a, b in zip(before, expected))
            got = programs(path)
            if got != expected:
                failures.append('{}: {}: programs {} instead of {}'.format(
                    name, label, got, expected))
            if unchanged != (before == expected):
                failures.append('{}: {}: file {}changed'.format(
                    name, label, 'not ' if unchanged else ''))
        if not summary.endswith(' {}'.format(expected_total)):
            failures.append('{}: summary "{}", expected {} conversions'.format(
                name, summary, expected_total))
    return failures


def programs_of_bytes(data, tmp):
    path = os.path.join(tmp, 'original.mid')
    with open(path, 'wb') as f:
        f.write(data)
    return programs(path)


def check_generator(build, tmp):
    """Small songs as the fuzzer asks for them, and a few of benchmark size."""
    failures = []
    songs = os.path.join(build, 'kadenzo-songs')
    for count, low, high in ((40, 200, 4000), (4, 20000, 200000)):
        first, again, other = (os.path.join(tmp, 'songs-{}-{}'.format(low, n))
                               for n in ('a', 'b', 'c'))
        for directory, seed in ((first, '7'), (again, '7'), (other, '8')):
            subprocess.run([songs, directory, str(count), str(low), str(high), seed],
                           check=True)
        names = sorted(os.listdir(first))
        if names != ['song{:04d}.mid'.format(i) for i in range(count)]:
            failures.append('songs {}..{}: files {}'.format(low, high, names))
            continue
        _, mismatch, errors = filecmp.cmpfiles(first, again, names, shallow=False)
        if mismatch or errors:
            failures.append('songs {}..{}: seed 7 twice differs in {}'.format(
                low, high, mismatch + errors))
        _, mismatch, _ = filecmp.cmpfiles(first, other, names, shallow=False)
        if len(mismatch) < count:
            failures.append('songs {}..{}: seeds 7 and 8 give equal songs'.format(low, high))
        kinds = collections.Counter()
        for name in names:
            path = os.path.join(first, name)
            size = os.path.getsize(path)
            # A song stops once its target is reached: it may pass it by its last events.
            if not low <= size <= high + 200:
                failures.append('{}: {} bytes, not {}..{}'.format(name, size, low, high))
            # Bytes saved by running status: the file is shorter than its events written out
            # each with its own status byte.
            spelled_out = 14
            for track in mido.MidiFile(path).tracks:
                spelled_out += 8
                for msg in track:
                    spelled_out += len(var_len(msg.time)) + len(msg.bytes())
                    if msg.type == 'sysex':  # F0, the length, the data, F7
                        spelled_out += len(var_len(len(msg.data) + 1))
                    kinds[msg.type] += 1
                    if msg.type == 'program_change':
                        kinds['program on channel 10' if msg.channel == 9 else
                              'program on another channel'] += 1
                    if msg.type == 'sysex' and msg.data[:4] == (0x41, 0x10, 0x42, 0x12) \
                            and msg.data[6] == 0x15 and msg.data[5] & 0xF0 == 0x10:
                        kinds['GS rhythm part'] += 1
            kinds['running status'] += spelled_out - size
        for kind in ('note_on', 'note_off', 'control_change', 'pitchwheel', 'aftertouch',
                     'sysex', 'track_name', 'set_tempo', 'program on channel 10',
                     'program on another channel', 'GS rhythm part', 'running status'):
            if kinds[kind] == 0:
                failures.append('songs {}..{}: no {}'.format(low, high, kind))
        result = run_tool([os.path.join(build, 'kadenzo-batch')],
                          [os.path.join(first, n) for n in names])
        # Some songs of the small set hold kits to repair; a few large ones may hold none.
        if not result.startswith('Files trovati: {}, '.format(count)) or \
                (count == 40 and result.endswith(' 0')):
            failures.append('songs {}..{}: kadenzo-batch says "{}"'.format(low, high, result))
    return failures


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument('--build', default='build')
    args = parser.parse_args()
    tmp = tempfile.mkdtemp(prefix='kadenzo-check-')
    try:
        failures = check_cases(args.build, tmp) + check_generator(args.build, tmp)
    finally:
        shutil.rmtree(tmp)
    for failure in failures:
        print('FAIL', failure)
    print('{} failure(s)'.format(len(failures)) if failures else 'peers and songs: all good')
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
