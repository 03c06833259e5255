"""Times kadenzo-batch over three collections of songs (generated dense songs, generated small
songs like those of real collections, and real songs that Debian ships), side by side with the
floor (a plain read of every file, and cat), with the kadenzo-batch of an earlier commit
(before) and, on the dense songs, with two peers that do the same repair (mido, and midi-file
on Node.js); checks that all repaired the same songs, that before and now wrote the same bytes,
and writes the tables into docs/benchmark.md.

    /usr/bin/python3 bench/run_bench.py --build build [--before COMMIT]

Each run gets a fresh copy of the collection, made and synced before its timer starts; the
runs of the floor and of kadenzo-batch take turns, so that a change in the machine's load falls on all."""
import argparse
import collections
import hashlib
import math
import os
import platform
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

BENCH = os.path.dirname(os.path.abspath(__file__))
PEERS = os.path.join(BENCH, 'peers')
README = os.path.join(os.path.dirname(BENCH), 'docs', 'benchmark.md')
BEGIN, END = '<!-- bench:begin -->', '<!-- bench:end -->'
sys.path.insert(0, BENCH)

import check_peers  # noqa: E402  (next to this script)


def run(build, command, out_dir, keep_output=True, env=None):
    """Runs command, its output in out_dir/out and out_dir/out.err (or thrown away); returns
    (seconds, peak memory in KB, exit status, processor seconds) as kadenzo-measure reports
    them for the command alone."""
    report = os.path.join(out_dir, 'measure')
    out_path = os.path.join(out_dir, 'out') if keep_output else os.devnull
    with open(out_path, 'wb') as out, open(os.path.join(out_dir, 'out.err'), 'wb') as err:
        status = subprocess.run([os.path.join(build, 'kadenzo-measure'), report] + command,
                                stdout=out, stderr=err, check=False, env=env).returncode
    with open(report) as f:
        nanoseconds, peak, processor = (int(field) for field in f.read().split())
    return nanoseconds / 1e9, peak, status, processor / 1e9


def digests(paths):
    result = []
    for path in paths:
        with open(path, 'rb') as f:
            result.append(hashlib.blake2b(f.read(), digest_size=16).digest())
    return result


class Bench:
    def __init__(self, args, tmp):
        self.args = args
        self.tmp = tmp
        self.pristine = os.path.join(tmp, 'pristine')
        self.work = os.path.join(tmp, 'work')
        self.failures = []

    def fresh_copy(self, count=None):
        shutil.rmtree(self.work, ignore_errors=True)
        os.mkdir(self.work)
        names = self.names if count is None else self.names[:count]
        for name in names:
            shutil.copyfile(os.path.join(self.pristine, name), os.path.join(self.work, name))
        # The copy goes to the disk before the timer starts: the journal's flush could otherwise
        # write some of it out too (ext4 writes the dirty data of the files it commits), a cost
        # of the benchmark's fresh copies, not of a collection that has been on the disk.
        os.sync()
        return [os.path.join(self.work, name) for name in names]

    def generate(self, songs, min_bytes, max_bytes):
        shutil.rmtree(self.pristine, ignore_errors=True)
        subprocess.run([os.path.join(self.args.build, 'kadenzo-songs'), self.pristine,
                        str(songs), str(min_bytes), str(max_bytes), str(self.args.seed)],
                       check=True)
        self.take_stock()

    def collect(self, sources, songs):
        """Copies the songs of sources in turns until there are `songs` of them."""
        shutil.rmtree(self.pristine, ignore_errors=True)
        os.mkdir(self.pristine)
        for i in range(songs):
            source = sources[i % len(sources)]
            shutil.copyfile(source, os.path.join(self.pristine, '{:05d}_{}'.format(
                i, os.path.basename(source))))
        self.take_stock()

    def take_stock(self):
        self.names = sorted(os.listdir(self.pristine))
        self.original = digests(os.path.join(self.pristine, n) for n in self.names)
        self.bytes = sum(os.path.getsize(os.path.join(self.pristine, n)) for n in self.names)
        sizes = sorted(os.path.getsize(os.path.join(self.pristine, n)) for n in self.names)
        self.median_size = sizes[len(sizes) // 2]

    def time_in_turns(self, tools, runs):
        """Times each (label, command, keep_output) of tools runs times, taking turns: run 1 of
        each, then run 2 of each... Returns the results in the order of tools."""
        results = [None] * len(tools)
        for i in range(runs):
            for k, (label, command, keep_output) in enumerate(tools):
                results[k] = self.time_run(label, command, keep_output, i, runs, results[k])
        for result in results:
            self.finish(result)
        return results

    def time_tool(self, label, command, runs, keep_output=True):
        """Runs command over fresh copies; returns a dict of the figures, the count the
        tool reported and the set of files it changed. Without keep_output the command's
        output (cat's: every song) is thrown away."""
        result = None
        for i in range(runs):
            result = self.time_run(label, command, keep_output, i, runs, result)
        return self.finish(result)

    def time_run(self, label, command, keep_output, i, runs, result):
        paths = self.fresh_copy()
        out = os.path.join(self.tmp, 'out')
        seconds, peak, status, processor = run(self.args.build, command + paths, self.tmp,
                                               keep_output)
        lines = []
        if keep_output:
            with open(out, errors='replace') as f:
                lines = f.read().strip().splitlines()
        with open(out + '.err', errors='replace') as f:
            errors = f.read().strip()
        if status != 0 or errors:
            self.failures.append('{}: exit status {}, {}'.format(label, status, errors[:500]))
        after = digests(paths)
        changed = {n for n, a, b in zip(self.names, self.original, after) if a != b}
        print('  {} run {}/{}: {:.3f} s, {:.1f} MB, {}'.format(
            label, i + 1, runs, seconds, peak / 1024, lines[-1] if lines else '-'), flush=True)
        if result is None:
            result = {'label': label, 'runs': runs, 'summary': lines[-1] if lines else '',
                      'changed': changed, 'output': after, 'times': [], 'peaks': [],
                      'processor_times': []}
        elif changed != result['changed']:
            self.failures.append('{}: run {} changed other files'.format(label, i + 1))
        result['times'].append(seconds)
        result['peaks'].append(peak)
        result['processor_times'].append(processor)
        return result

    @staticmethod
    def finish(result):
        result['time'] = statistics.median(result['times'])
        result['processor'] = statistics.median(result['processor_times'])
        result['peak'] = max(result['peaks'])
        return result

    def conversions(self, result, pattern):
        match = re.search(pattern, result['summary'])
        if not match:
            self.failures.append('{}: no count in "{}"'.format(result['label'],
                                                                result['summary']))
            return None
        files, conversions = int(match.group(1)), int(match.group(2))
        if files != len(self.names):
            self.failures.append('{}: {} files of {}'.format(result['label'], files,
                                                             len(self.names)))
        return conversions


def version(command):
    try:
        return subprocess.run(command, capture_output=True, text=True).stdout.strip()
    except OSError:
        return '?'


def table(rows, header):
    lines = ['| ' + ' | '.join(header) + ' |', '|' + ' --- |' * len(header)]
    lines += ['| ' + ' | '.join(row) + ' |' for row in rows]
    return '\n'.join(lines)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument('--build', default='build')
    parser.add_argument('--before', default='none',
                        help='the commit whose kadenzo-batch is timed too (none: not timed)')
    parser.add_argument('--songs', type=int, default=2000)
    parser.add_argument('--min-bytes', type=int, default=20000)
    parser.add_argument('--max-bytes', type=int, default=200000)
    parser.add_argument('--small-min-bytes', type=int, default=4000,
                        help='the small songs: 22 KB on average, as in real collections')
    parser.add_argument('--small-max-bytes', type=int, default=120000)
    parser.add_argument('--seed', type=int, default=1)
    parser.add_argument('--runs', type=int, default=11, help='runs of the floor and kadenzo-batch')
    parser.add_argument('--node-runs', type=int, default=3, help='runs of the midi-file peer')
    parser.add_argument('--mido-runs', type=int, default=1, help='runs of the mido peer')
    parser.add_argument('--large-bytes', type=int, default=100_000_000)
    parser.add_argument('--no-readme', action='store_true', help='only print the table')
    args = parser.parse_args()
    args.build = os.path.abspath(args.build)

    if not os.path.isdir(os.path.join(PEERS, 'node_modules')):
        subprocess.run(['npm', 'ci', '--no-audit', '--no-fund', '--silent'], cwd=PEERS,
                       check=True)
    before = build_before(args)
    tmp = tempfile.mkdtemp(prefix='kadenzo-bench-')
    # The batches' journals go with the songs, not into the user's own journal folder.
    os.environ['XDG_DATA_HOME'] = os.path.join(tmp, 'data')
    try:
        print('Checking that the peers repair what kadenzo-batch repairs...', flush=True)
        failures = check_peers.check_cases(args.build, tmp)
        if failures:
            print('\n'.join(failures))
            return 1
        bench = Bench(args, tmp)
        report = measure(bench, args, before)
    finally:
        shutil.rmtree(tmp)
    print()
    print(report)
    if bench.failures:
        print('\nThe tools did not do the same work; docs/benchmark.md is left as it was:')
        print('\n'.join(bench.failures))
        return 1
    if not args.no_readme:
        with open(README) as f:
            text = f.read()
        if BEGIN not in text or END not in text:
            print('docs/benchmark.md has no {} ... {} markers'.format(BEGIN, END))
            return 1
        head, rest = text.split(BEGIN, 1)
        text = head + BEGIN + '\n' + report + '\n' + END + rest.split(END, 1)[1]
        with open(README, 'w') as f:
            f.write(text)
        print('\nWritten into docs/benchmark.md.')
    return 0


def build_before(args):
    """Builds kadenzo-batch as it was at commit args.before, once, in BUILD/bench-before-COMMIT;
    returns (its path, the commit's short name), or None."""
    if args.before == 'none':
        return None
    repo = os.path.dirname(BENCH)
    commit = subprocess.run(['git', '-C', repo, 'rev-parse', '--short', args.before + '^{commit}'],
                            capture_output=True, text=True, check=True).stdout.strip()
    place = os.path.join(args.build, 'bench-before-' + commit)
    program = os.path.join(place, 'build', 'kadenzo-batch')
    if not os.path.exists(walk_speed_of(program)):
        print('Building kadenzo-batch as it was at {}...'.format(commit), flush=True)
        source = os.path.join(place, 'source')
        shutil.rmtree(place, ignore_errors=True)
        os.makedirs(source)
        archive = subprocess.run(['git', '-C', repo, 'archive', commit], capture_output=True,
                                 check=True).stdout
        subprocess.run(['tar', '-x', '-C', source], input=archive, check=True)
        with open(os.path.join(place, 'build.log'), 'wb') as log:
            subprocess.run(['cmake', '-S', source, '-B', os.path.join(place, 'build'),
                            '-DCMAKE_BUILD_TYPE=RelWithDebInfo'], stdout=log, stderr=log,
                           check=True)
            subprocess.run(['cmake', '--build', os.path.join(place, 'build'), '-j', '2',
                            '--target', 'kadenzo-batch', 'kadenzo-walk-speed'], stdout=log,
                           stderr=log, check=True)
    return program, commit


def walk_speed_of(batch_program):
    """The kadenzo-walk-speed built beside a kadenzo-batch."""
    return os.path.join(os.path.dirname(batch_program), 'kadenzo-walk-speed')


SUMMARY = r'Files trovati: (\d+), numero Conversioni: (\d+)'


def time_set(bench, args, before, name, origin, peers):
    """Times the floor and kadenzo-batch on the collection in bench.pristine, and the peers
    when asked; returns the text of its section and the results by key. origin says where
    the songs come from."""
    megabytes = bench.bytes / 1e6
    kadenzo = os.path.join(args.build, 'kadenzo-batch')
    jobs = os.cpu_count()
    tools = [('plain', 'plain read (open, read, close)', [os.path.join(args.build,
                                                                      'kadenzo-plain-read')],
              True),
             ('cat', 'cat', ['cat'], False)]
    if before:
        tools += [('before1', 'kadenzo-batch --jobs 1, before ({})'.format(before[1]),
                   [before[0], '--jobs', '1'], True),
                  ('before', 'kadenzo-batch (default: {} jobs), before ({})'.format(
                      jobs, before[1]), [before[0]], True)]
    tools += [('one', 'kadenzo-batch --jobs 1', [kadenzo, '--jobs', '1'], True),
              ('nojournal', 'kadenzo-batch --no-journal', [kadenzo, '--no-journal'], True),
              ('ours', 'kadenzo-batch (default: {} jobs)'.format(jobs), [kadenzo], True)]
    print('Timing the floor and kadenzo-batch, in turns...', flush=True)
    timed = bench.time_in_turns([(label, command, keep) for _, label, command, keep in tools],
                                args.runs)
    results = {key: result for (key, _, _, _), result in zip(tools, timed)}
    for key in ['plain', 'cat']:
        results[key]['count'] = None
    for key in ['before1', 'before', 'one', 'nojournal', 'ours']:
        if key in results:
            results[key]['count'] = bench.conversions(results[key], SUMMARY)
    if peers:
        for key, label, command, runs, pattern in peer_tools(args):
            print('Timing {}...'.format(label), flush=True)
            results[key] = bench.time_tool(label, command, runs)
            results[key]['count'] = bench.conversions(results[key], pattern)

    ours = results['ours']
    for key, result in results.items():
        if key in ['plain', 'cat', 'ours']:
            continue
        if result['count'] != ours['count']:
            bench.failures.append('{}: {} conversions, kadenzo-batch {}'.format(
                result['label'], result['count'], ours['count']))
        if result['changed'] != ours['changed']:
            bench.failures.append('{}: changed {} files, kadenzo-batch {}; {} differ'.format(
                result['label'], len(result['changed']), len(ours['changed']),
                len(result['changed'] ^ ours['changed'])))
        # midi-file writes a song back as it read it: its files must match kadenzo-batch's
        # byte for byte, and so must those of one job and of the earlier build.
        if key != 'mido' and result['output'] != ours['output']:
            bench.failures.append('{}: files differ from kadenzo-batch\'s'.format(
                result['label']))

    floor = min(results['plain'], results['cat'], key=lambda r: r['time'])
    rows = []
    for result in results.values():
        rows.append([
            result['label'], str(result['runs']), '{:.3f} s'.format(result['time']),
            '{:.3f} s'.format(result['processor']),
            '{:,.0f}'.format(args.songs / result['time']),
            '{:,.1f}'.format(megabytes / result['time']),
            '{:.2f}'.format(result['time'] / floor['time']),
            '-' if result is ours else '{:.2f}'.format(result['time'] / ours['time']),
            '{:.1f} MB'.format(result['peak'] / 1024),
            '-' if result['count'] is None else str(result['count'])])
    walk = walk_alone(bench, args, before)
    # The journal, its flushes included, against --no-journal.
    journal = 'The journal, flushes included, adds {:+.1%} to its time. '.format(
        ours['time'] / results['nojournal']['time'] - 1)
    text = [
        '{} {} songs, {:.1f} MB ({}, median {:,} bytes); kadenzo-batch repaired {} programs '
        'in {} of them. {}{}'.format(args.songs, name, megabytes, origin, bench.median_size,
                                     ours['count'], len(ours['changed']), journal, walk), '',
        table(rows, ['tool', 'runs', 'time (median)', 'processor time', 'files/s', 'MB/s',
                     'time / floor', 'default kadenzo-batch faster by', 'peak memory',
                     'conversions']), '']
    results['floor'] = floor
    results['megabytes'] = megabytes
    return text, results


# Real songs that nobody here wrote, installed by scripts/setup.sh bench.
REAL_SONG_PACKAGES = ['openttd-openmsx', 'simutrans-data']


def real_songs():
    paths = []
    for package in REAL_SONG_PACKAGES:
        listing = subprocess.run(['dpkg-query', '-L', package], capture_output=True, text=True)
        paths += sorted(p for p in listing.stdout.split() if p.lower().endswith('.mid'))
    if not paths:
        sys.exit('No real songs: scripts/setup.sh bench installs {}.'.format(
            ' and '.join(REAL_SONG_PACKAGES)))
    return paths


def walk_alone(bench, args, before, songs=100, rounds=50, runs=7):
    """The walk alone over the first songs of the set, held in memory (kadenzo-walk-speed), as
    built now and before, and how hard their events are to foresee: what makes the walk faster
    on some songs. The fastest of several runs, in turns, each run pinned to each core in turn:
    the fastest round of one run depends on the core it runs on, and on a shared machine the
    cores are not all as fast (the development machine's two differ by a third), so each build
    gets as many runs on each core."""
    paths = [os.path.join(bench.pristine, n) for n in bench.names[:songs]]
    programs = [os.path.join(args.build, 'kadenzo-walk-speed')]
    if before:
        programs.append(walk_speed_of(before[0]))
    fastest = [float('inf')] * len(programs)
    for _ in range(runs):
        for core in sorted(os.sched_getaffinity(0)):
            for i, program in enumerate(programs):
                output = subprocess.run([program, str(rounds)] + paths, capture_output=True,
                                        text=True, check=True,
                                        preexec_fn=lambda: os.sched_setaffinity(0, {core})).stdout
                fastest[i] = min(fastest[i],
                                 float(re.search(r'([0-9.]+) ns a byte', output).group(1)))
    then = ' (as built before, {}: {:.3f})'.format(before[1], fastest[1]) if before else ''
    return ('The walk alone, over the first {} of them held in memory, takes {:.3f} ns a '
            'byte{}, the fastest of {} runs on each core; their events take {:.2f} bits each to '
            'foresee from the event before.'.format(len(paths), fastest[0], then, runs,
                                       event_shape_entropy(paths)))


def event_shape_entropy(paths):
    """The entropy, in bits, of an event's shape (its delta time's length, a status byte or
    running status, and its kind) given the shape of the event before it in the track: the
    walk's branches follow these shapes, and the less they can be foreseen, the more often
    the processor guesses wrong."""
    pairs = collections.Counter()
    for path in paths:
        with open(path, 'rb') as f:
            song = f.read()
        for track in track_chunks(song):
            previous, at, running = None, 0, 0x90
            while at < len(track):
                shape, at, running = event_shape(track, at, running)
                if shape is None:
                    break
                pairs[previous, shape] += 1
                previous = shape
    after = collections.Counter()
    for (previous, _), count in pairs.items():
        after[previous] += count
    total = sum(pairs.values())
    return -sum(count / total * math.log2(count / after[previous])
                for (previous, _), count in pairs.items()) if total else 0.0


def track_chunks(song):
    at = song.find(b'MThd')
    if at < 0:
        return
    at += 8 + int.from_bytes(song[at + 4:at + 8], 'big')
    while at + 8 <= len(song):
        length = int.from_bytes(song[at + 4:at + 8], 'big')
        if song[at:at + 4] == b'MTrk':
            yield song[at + 8:at + 8 + length]
        at += 8 + length


def var_len(track, at):
    """(value, where it ends), or (None, _) when the track ends first."""
    value = 0
    while at < len(track):
        value = value << 7 | track[at] & 0x7F
        at += 1
        if not track[at - 1] & 0x80:
            return value, at
    return None, at


def event_shape(track, at, running):
    """(the event's shape, where the next event starts, the running status); the shape is
    None at the track's end or a damaged event."""
    delta, after_delta = var_len(track, at)
    if delta is None or after_delta >= len(track):
        return None, after_delta, running
    delta_bytes, status = min(after_delta - at, 3), track[after_delta]
    if status in (0xFF, 0xF0, 0xF7):
        length, end = var_len(track, after_delta + (2 if status == 0xFF else 1))
        return (None if length is None else (delta_bytes, status)), end + (length or 0), running
    has_status = bool(status & 0x80)
    if has_status:
        running = status
    data_bytes = 1 if running >> 4 in (0xC, 0xD) else 2
    return (delta_bytes, has_status, data_bytes), after_delta + has_status + data_bytes, running


def peer_tools(args):
    return [
        ('node', 'midi-file {} (Node.js {})'.format(
            version(['node', '-p', 'require("{}/node_modules/midi-file/package.json")'
                     '.version'.format(PEERS)]), version(['node', '--version'])),
         ['node', os.path.join(PEERS, 'midi_file_peer.js')], args.node_runs,
         r'files: (\d+), conversions: (\d+)'),
        ('mido', 'mido {} (Python {})'.format(
            version([sys.executable, '-c', 'import mido; print(mido.__version__)']),
            platform.python_version()),
         [sys.executable, os.path.join(PEERS, 'mido_peer.py')], args.mido_runs,
         r'files: (\d+), conversions: (\d+)'),
    ]


def time_share(bench, args, before, songs=240, open_ms=40, runs=5):
    """Times kadenzo-batch over the first songs of the collection in bench.pristine on a share
    where each open of a song for writing waits open_ms (bench/slow_open.cpp), with its
    default jobs and with -j 16, now and before, in turns; and the window over as many songs
    (kadenzo-window-summary, which makes its own). Returns the text of its section and the
    medians by key."""
    library = os.path.join(args.build, 'bench', 'libkadenzo-slow-open.so')
    env = dict(os.environ, LD_PRELOAD=library, KADENZO_SLOW_OPEN_MS=str(open_ms),
               KADENZO_SLOW_OPEN_FOLDER=bench.work)
    kadenzo = os.path.join(args.build, 'kadenzo-batch')
    tools = [('ours', 'kadenzo-batch (default jobs)', [kadenzo]),
             ('ours16', 'kadenzo-batch -j 16', [kadenzo, '-j', '16'])]
    if before:
        tools += [('before', 'kadenzo-batch (default jobs), before ({})'.format(before[1]),
                   [before[0]]),
                  ('before16', 'kadenzo-batch -j 16, before ({})'.format(before[1]),
                   [before[0], '-j', '16'])]
    print('Timing kadenzo-batch on a share ({} ms an open, {} songs)...'.format(open_ms, songs),
          flush=True)
    times = collections.defaultdict(list)
    for i in range(runs):
        for key, label, command in tools:
            paths = bench.fresh_copy(songs)
            seconds, _, status, _ = run(args.build, command + paths, bench.tmp, env=env)
            with open(os.path.join(bench.tmp, 'out'), errors='replace') as f:
                lines = f.read().strip().splitlines()
            if status != 0 or not lines or not lines[-1].startswith(
                    'Files trovati: {},'.format(songs)):
                bench.failures.append('{} on the share: exit status {}, {}'.format(
                    label, status, lines[-1:] or '-'))
            print('  {} run {}/{}: {:.3f} s'.format(label, i + 1, runs, seconds), flush=True)
            times[key].append(seconds)
    medians = {key: statistics.median(values) for key, values in times.items()}
    print('Timing the window on the same share...', flush=True)
    window = subprocess.run([os.path.join(args.build, 'kadenzo-window-summary'), str(songs),
                             str(open_ms)], capture_output=True, text=True,
                            env=dict(os.environ, QT_QPA_PLATFORM='offscreen'))
    found = {key: re.search(pattern + r': (\d+) ms', window.stdout) for key, pattern in
             [('window', 'drop to summary shown'), ('window_batch', 'same songs')]}
    if window.returncode != 0 or not all(found.values()):
        bench.failures.append('kadenzo-window-summary: {}'.format(window.stdout[-500:]))
    else:
        for key, match in found.items():
            medians[key] = int(match.group(1)) / 1000
    reference = medians.get('before16', medians['ours16'])
    rows = [[label, '{:.3f} s'.format(medians[key]), '{:.2f}'.format(medians[key] / reference)]
            for key, label, _ in tools]
    if 'window' in medians:
        rows += [['the window, dropped folder to summary (median of 3)',
                  '{:.3f} s'.format(medians['window']),
                  '{:.2f}'.format(medians['window'] / reference)],
                 ['kadenzo-batch over the window\'s songs (median of 3)',
                  '{:.3f} s'.format(medians['window_batch']),
                  '{:.2f}'.format(medians['window_batch'] / reference)]]
    text = ['On a share: {} of the dense songs, each open for writing waiting {} ms as on a '
            'network share (bench/slow_open.cpp, preloaded); {} runs each, in turns.'.format(
                songs, open_ms, runs), '',
            table(rows, ['tool', 'time (median)', 'time / -j 16{}'.format(
                ' before' if before else '')]), '']
    medians['reference'] = reference
    return text, medians


def measure(bench, args, before):
    load_at_start = os.getloadavg()[0]
    sets = {}
    sources = real_songs()
    print('Copying {} real songs to make {}...'.format(len(sources), args.songs), flush=True)
    bench.collect(sources, args.songs)
    sets['real'] = time_set(bench, args, before, 'real', 'the {} songs of Debian\'s {}, '
                            'each copied {} or {} times'.format(
                                len(sources), ' and '.join(REAL_SONG_PACKAGES),
                                args.songs // len(sources), -(-args.songs // len(sources))),
                            peers=False)
    # The dense songs last: the peak memory below is measured on them.
    for name, min_bytes, max_bytes, peers in [
            ('small', args.small_min_bytes, args.small_max_bytes, False),
            ('dense', args.min_bytes, args.max_bytes, True)]:
        print('Generating {} {} songs...'.format(args.songs, name), flush=True)
        bench.generate(args.songs, min_bytes, max_bytes)
        sets[name] = time_set(bench, args, before, name, '{} to {} bytes each; seed {}'.format(
            min_bytes, max_bytes, args.seed), peers)
    (small_text, small), (dense_text, dense), (real_text, real) = (
        sets['small'], sets['dense'], sets['real'])
    share_text, share = time_share(bench, args, before)
    load_at_end = os.getloadavg()[0]
    kadenzo = [os.path.join(args.build, 'kadenzo-batch')]
    ours = dense['ours']

    # Memory: a tenth of the dense collection, all of it, and one very large song.
    print('Peak memory of kadenzo-batch (default jobs) on 200 songs and on one large song...',
          flush=True)
    memory = []
    few = min(200, args.songs)
    paths = bench.fresh_copy(few)
    few_bytes = sum(os.path.getsize(p) for p in paths)
    seconds, few_peak, _, _ = run(args.build, kadenzo + paths, bench.tmp)
    memory.append(['{} dense songs'.format(few), '{:.1f} MB'.format(few_bytes / 1e6),
                   '{:.3f} s'.format(seconds), '{:.1f} MB'.format(few_peak / 1024)])
    memory.append(['{} dense songs (above)'.format(args.songs),
                   '{:.1f} MB'.format(dense['megabytes']), '{:.3f} s'.format(ours['time']),
                   '{:.1f} MB'.format(ours['peak'] / 1024)])
    shutil.rmtree(bench.work)
    large_dir = os.path.join(bench.tmp, 'large')
    subprocess.run([os.path.join(args.build, 'kadenzo-songs'), large_dir, '1',
                    str(args.large_bytes), str(args.large_bytes), str(args.seed)], check=True)
    large = os.path.join(large_dir, 'song0000.mid')
    large_size = os.path.getsize(large)
    if before:
        # The earlier build must leave the same bytes in the large song.
        large_before = os.path.join(large_dir, 'before.mid')
        shutil.copyfile(large, large_before)
        run(args.build, [before[0], large_before], bench.tmp)
    seconds, large_peak, _, _ = run(args.build, kadenzo + [large], bench.tmp)
    with open(os.path.join(bench.tmp, 'out')) as f:
        large_summary = f.read().strip().splitlines()[-1]
    if before and digests([large]) != digests([large_before]):
        bench.failures.append('the large song: before and now differ')
    shutil.rmtree(large_dir)
    memory.append(['one song', '{:.1f} MB'.format(large_size / 1e6), '{:.3f} s'.format(seconds),
                   '{:.1f} MB'.format(large_peak / 1024)])

    def ratio(results, key):
        return results[key]['time'] / results['floor']['time']

    # The paths themselves (in argv, then as Qt strings) are the only thing that grows with
    # the number of files: allow 1 MB for them.
    allowance = 1024
    targets = [
        ('small songs: kadenzo-batch (default jobs) at most 1.25 times the floor\'s time',
         ratio(small, 'ours') <= 1.25, '{:.2f} times'.format(ratio(small, 'ours'))),
        ('dense songs: kadenzo-batch (default jobs) at most 1.2 times the floor\'s time',
         ratio(dense, 'ours') <= 1.2, '{:.2f} times'.format(ratio(dense, 'ours'))),
        ('dense songs: kadenzo-batch --jobs 1 at most 2 times the floor\'s time',
         ratio(dense, 'one') <= 2, '{:.2f} times'.format(ratio(dense, 'one'))),
        ('real songs: kadenzo-batch (default jobs) at most 1.2 times the floor\'s time',
         ratio(real, 'ours') <= 1.2, '{:.2f} times'.format(ratio(real, 'ours'))),
        ('at least 100 times faster than mido', dense['mido']['time'] >= 100 * ours['time'],
         '{:.0f} times'.format(dense['mido']['time'] / ours['time'])),
        ('at least 10 times faster than midi-file', dense['node']['time'] >= 10 * ours['time'],
         '{:.0f} times'.format(dense['node']['time'] / ours['time'])),
        ('peak memory does not grow with the number of files ({} to {} songs, within 1 MB)'
         .format(few, args.songs), ours['peak'] <= few_peak + allowance,
         '{:+.1f} MB'.format((ours['peak'] - few_peak) / 1024)),
        ('nor with the size of one file ({:.0f} MB song against {} songs, within 1 MB)'
         .format(large_size / 1e6, few), large_peak <= few_peak + allowance,
         '{:+.1f} MB'.format((large_peak - few_peak) / 1024)),
        ('on the share: kadenzo-batch (default jobs) at most 1.2 times -j 16{}'.format(
            ' before' if before else ''), share['ours'] <= 1.2 * share['reference'],
         '{:.2f} times'.format(share['ours'] / share['reference'])),
    ]
    if 'window' in share:
        targets.append(('on the share: the window at most 1.2 times kadenzo-batch over its songs',
                        share['window'] <= 1.2 * share['window_batch'],
                        '{:.2f} times'.format(share['window'] / share['window_batch'])))

    agreed = not bench.failures
    lines = small_text + dense_text + real_text + share_text + [
        'Every peer made as many repairs in the same songs, midi-file\'s songs are byte for '
        'byte kadenzo-batch\'s{}.'.format(
            ', and so are those of the build before, on the three sets and on the large song'
            if before else '') if agreed else 'THE TOOLS DID NOT AGREE.', '',
        table(memory, ['kadenzo-batch on', 'size', 'time', 'peak memory']), '',
        'The {:.0f} MB song: {}.'.format(large_size / 1e6, large_summary), '',
        '"time / floor" is over the faster of the plain read and cat; that was, on the small '
        'songs, {}, on the dense songs, {}, and on the real songs, {}.'.format(
            small['floor']['label'], dense['floor']['label'], real['floor']['label']), '',
    ]
    for label, met, value in targets:
        lines.append('- {}: {} ({})'.format(label, 'met' if met else '**not met**', value))
    lines += ['', 'Machine: {}, {} cores; {}; load average (1 minute) {:.1f} at the start of '
              'the timing, {:.1f} at its end.'.format(cpu_model(), os.cpu_count(),
                                                       time.strftime('%Y-%m-%d'), load_at_start,
                                                       load_at_end)]
    return '\n'.join(lines)


def cpu_model():
    try:
        with open('/proc/cpuinfo') as f:
            for line in f:
                if line.startswith('model name'):
                    return line.split(':', 1)[1].strip()
    except OSError:
        pass
    return platform.processor() or 'unknown processor'


if __name__ == '__main__':
    sys.exit(main())
