#!/usr/bin/python3
"""Repairs copies of real songs that Debian ships (openttd-openmsx, simutrans-data) with
kadenzo-batch, then reads every song before and after with an independent reader: mido, or
midicsv for a song that mido cannot read. Every song must read as before, event for event,
except Program Changes on rhythm channels, which now all select a standard kit; and the
only bytes that changed are those programs.

Usage: real_songs.py KADENZO_BATCH        exit 0 passed, 1 failed, 77 nothing to check
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile

PACKAGES = ["openttd-openmsx", "simutrans-data"]
SKIPPED = 77

# The rules of the repair, as the benchmark's mido peer writes them: the standard kits, and
# the GS tracking of which channels carry drums. check_peers.py holds them to kadenzo-batch's.
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "bench",
                                "peers"))
try:
    from mido_peer import CHANNEL_10, STANDARD_KITS, apply_gs, default_part_channels
except ImportError:  # no mido: main() skips
    pass


def song_paths():
    paths = []
    for package in PACKAGES:
        listing = subprocess.run(["dpkg-query", "-L", package], capture_output=True, text=True)
        paths += sorted(p for p in listing.stdout.split() if p.lower().endswith(".mid"))
    return paths


def mido_events(path):
    """Per track, (delta time, kind, channel, program or details) of every event."""
    import mido
    song = mido.MidiFile(path)
    tracks = []
    for track in song.tracks:
        events = []
        for message in track:
            if message.type == "program_change":
                events.append((message.time, "program", message.channel, message.program))
            elif message.type == "sysex":
                events.append((message.time, "sysex", None, tuple(message.data) + (0xF7,)))
            else:
                events.append((message.time, "other", None, str(message)))
        tracks.append(events)
    return tracks


def midicsv_events(path):
    result = subprocess.run(["midicsv", path], capture_output=True, text=True, check=True)
    tracks = {}
    for line in result.stdout.splitlines():
        fields = [field.strip() for field in line.split(",")]
        if len(fields) < 3 or fields[0] == "0":
            continue
        track, time, kind = fields[0], int(fields[1]), fields[2]
        if kind == "Program_c":
            event = (time, "program", int(fields[3]), int(fields[4]))
        elif kind == "System_exclusive":
            event = (time, "sysex", None, tuple(int(byte) for byte in fields[4:]))
        else:
            event = (time, "other", None, ",".join(fields[2:]))
        tracks.setdefault(track, []).append(event)
    return list(tracks.values())


def read_events(path):
    """The song's events by an independent reader, and the reader's name."""
    try:
        return mido_events(path), "mido"
    except Exception:  # mido refuses some real songs (a key signature it cannot name)
        return midicsv_events(path), "midicsv"


def compare(name, before_path, after_path):
    """Returns (reader, conversions, faults) for one song."""
    faults = []
    before_bytes = open(before_path, "rb").read()
    after_bytes = open(after_path, "rb").read()
    if len(before_bytes) != len(after_bytes):
        return "-", 0, [f"{name}: size went from {len(before_bytes)} to {len(after_bytes)}"]
    changed_bytes = [i for i in range(len(before_bytes)) if before_bytes[i] != after_bytes[i]]
    faults += [f"{name}: byte {i} became {after_bytes[i]}, not 0"
               for i in changed_bytes if after_bytes[i] != 0]

    before, reader = read_events(before_path)
    try:
        after = mido_events(after_path) if reader == "mido" else midicsv_events(after_path)
    except Exception as error:
        return reader, 0, faults + [f"{name}: no longer reads with {reader}: {error}"]
    if len(before) != len(after):
        return reader, 0, faults + [f"{name}: {len(before)} tracks before, {len(after)} after"]

    part_channel = default_part_channels()
    rhythm = [False] * 16
    rhythm[CHANNEL_10] = True
    conversions = 0
    for track, (old_track, new_track) in enumerate(zip(before, after)):
        if len(old_track) != len(new_track):
            faults.append(f"{name}: track {track} has {len(new_track)} events, not "
                          f"{len(old_track)}")
            continue
        for index, (old, new) in enumerate(zip(old_track, new_track)):
            where = f"{name}: track {track} event {index}"
            if old[1] == "sysex":
                apply_gs(list(old[3]), part_channel, rhythm)
            if old == new:
                if old[1] == "program" and rhythm[old[2]] and old[3] not in STANDARD_KITS:
                    faults.append(f"{where}: kit {old[3]} on channel {old[2] + 1} was left")
                continue
            if old[:3] != new[:3] or old[1] != "program":
                faults.append(f"{where}: {old} became {new}")
            elif not rhythm[old[2]]:
                faults.append(f"{where}: program on melodic channel {old[2] + 1} was changed")
            elif old[3] in STANDARD_KITS or new[3] != 0:
                faults.append(f"{where}: kit {old[3]} became {new[3]}")
            else:
                conversions += 1
    if conversions != len(changed_bytes):
        faults.append(f"{name}: {len(changed_bytes)} bytes changed for {conversions} "
                      "program changes")
    return reader, conversions, faults


def main():
    if len(sys.argv) != 2:
        print(__doc__)
        return 2
    songs = song_paths()
    try:
        import mido  # noqa: F401
    except ImportError:
        songs = []
    if not songs or shutil.which("midicsv") is None:
        print("SKIP: the real songs, mido or midicsv are not installed (scripts/setup.sh test)")
        return SKIPPED

    with tempfile.TemporaryDirectory() as work:
        copies = []
        for number, song in enumerate(songs):
            copy = os.path.join(work, f"{number:03}-{os.path.basename(song)}")
            shutil.copyfile(song, copy)
            copies.append(copy)
        run = subprocess.run([sys.argv[1]] + copies, capture_output=True, text=True)
        faults = [] if run.returncode == 0 else [f"kadenzo-batch exited {run.returncode}"]
        faults += [f"kadenzo-batch reported: {line}" for line in run.stderr.splitlines()]
        summary = re.fullmatch(r"Files trovati: (\d+), numero Conversioni: (\d+)",
                               (run.stdout.splitlines() or [""])[-1])
        if not summary:
            faults.append(f"no summary line in {run.stdout!r}")

        readers = {"mido": 0, "midicsv": 0, "-": 0}
        conversions = 0
        changed_songs = 0
        failed_songs = 0
        for song, copy in zip(songs, copies):
            reader, converted, song_faults = compare(os.path.basename(song), song, copy)
            readers[reader] += 1
            conversions += converted
            changed_songs += converted > 0
            failed_songs += bool(song_faults)
            faults += song_faults

    if summary and (int(summary[1]), int(summary[2])) != (len(songs), conversions):
        faults.append(f"summary {summary[0]!r}, but {len(songs)} songs and {conversions} "
                      "conversions were found")
    for fault in faults:
        print("FAIL:", fault)
    print(f"{len(songs)} real songs ({readers['mido']} read with mido, {readers['midicsv']} "
          f"with midicsv): {conversions} conversions in {changed_songs} songs")
    print(f"{len(songs) - failed_songs} passed, {failed_songs} failed")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
