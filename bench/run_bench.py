"""Times kadenzo-batch over a generated collection of songs, side by side with the floor
(cat of every file) and two peers that do the same repair (mido, and midi-file on Node.js),
checks that all repaired the same songs, and writes the table into README.md.

    /usr/bin/python3 bench/run_bench.py --build build

Each run gets a fresh copy of the collection, made before its timer starts."""
import argparse
import hashlib
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
README = os.path.join(os.path.dirname(BENCH), 'README.md')
BEGIN, END = '<!-- bench:begin -->', '<!-- bench:end -->'
sys.path.insert(0, BENCH)

import check_peers  # noqa: E402  (next to this script)


def run(build, command, out_dir, keep_output=True):
    """Runs command, its output in out_dir/out and out_dir/out.err (or thrown away); returns
    (seconds, peak memory in KB, exit status, processor seconds) as kadenzo-measure reports
    them for the command alone."""
    report = os.path.join(out_dir, 'measure')
    out_path = os.path.join(out_dir, 'out') if keep_output else os.devnull
    with open(out_path, 'wb') as out, open(os.path.join(out_dir, 'out.err'), 'wb') as err:
        status = subprocess.run([os.path.join(build, 'kadenzo-measure'), report] + command,
                                stdout=out, stderr=err, check=False).returncode
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
        return [os.path.join(self.work, name) for name in names]

    def generate(self):
        a = self.args
        subprocess.run([os.path.join(a.build, 'kadenzo-songs'), self.pristine, str(a.songs),
                        str(a.min_bytes), str(a.max_bytes), str(a.seed)], check=True)
        self.names = sorted(os.listdir(self.pristine))
        self.original = digests(os.path.join(self.pristine, n) for n in self.names)
        self.bytes = sum(os.path.getsize(os.path.join(self.pristine, n)) for n in self.names)
        sizes = sorted(os.path.getsize(os.path.join(self.pristine, n)) for n in self.names)
        self.median_size = sizes[len(sizes) // 2]

    def time_tool(self, label, command, runs, keep_output=True):
        """Runs command over fresh copies; returns a dict of the figures, the count the
        tool reported and the set of files it changed. Without keep_output the command's
        output (cat's: every song) is thrown away."""
        times, peaks, processor_times = [], [], []
        for i in range(runs):
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
            times.append(seconds)
            peaks.append(peak)
            processor_times.append(processor)
            after = digests(paths)
            changed = {n for n, a, b in zip(self.names, self.original, after) if a != b}
            print('  {} run {}/{}: {:.3f} s, {:.1f} MB, {}'.format(
                label, i + 1, runs, seconds, peak / 1024, lines[-1] if lines else '-'),
                flush=True)
            if i == 0:
                result = {'label': label, 'runs': runs, 'summary': lines[-1] if lines else '',
                          'changed': changed, 'output': after}
            elif changed != result['changed']:
                self.failures.append('{}: run {} changed other files'.format(label, i + 1))
        result['time'] = statistics.median(times)
        result['processor'] = statistics.median(processor_times)
        result['peak'] = max(peaks)
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
    parser.add_argument('--songs', type=int, default=2000)
    parser.add_argument('--min-bytes', type=int, default=20000)
    parser.add_argument('--max-bytes', type=int, default=200000)
    parser.add_argument('--seed', type=int, default=1)
    parser.add_argument('--runs', type=int, default=5, help='runs of cat and kadenzo-batch')
    parser.add_argument('--node-runs', type=int, default=3, help='runs of the midi-file peer')
    parser.add_argument('--mido-runs', type=int, default=1, help='runs of the mido peer')
    parser.add_argument('--large-bytes', type=int, default=100_000_000)
    parser.add_argument('--no-readme', action='store_true', help='only print the table')
    args = parser.parse_args()
    args.build = os.path.abspath(args.build)

    if not os.path.isdir(os.path.join(PEERS, 'node_modules')):
        subprocess.run(['npm', 'ci', '--no-audit', '--no-fund', '--silent'], cwd=PEERS,
                       check=True)
    tmp = tempfile.mkdtemp(prefix='kadenzo-bench-')
    try:
        print('Checking that the peers repair what kadenzo-batch repairs...', flush=True)
        failures = check_peers.check_cases(args.build, tmp)
        if failures:
            print('\n'.join(failures))
            return 1
        bench = Bench(args, tmp)
        report = measure(bench, args)
    finally:
        shutil.rmtree(tmp)
    print()
    print(report)
    if bench.failures:
        print('\nThe tools did not do the same work; README.md is left as it was:')
        print('\n'.join(bench.failures))
        return 1
    if not args.no_readme:
        with open(README) as f:
            text = f.read()
        if BEGIN not in text or END not in text:
            print('README.md has no {} ... {} markers'.format(BEGIN, END))
            return 1
        head, rest = text.split(BEGIN, 1)
        text = head + BEGIN + '\n' + report + '\n' + END + rest.split(END, 1)[1]
        with open(README, 'w') as f:
            f.write(text)
        print('\nWritten into README.md.')
    return 0


def measure(bench, args):
    print('Generating {} songs...'.format(args.songs), flush=True)
    bench.generate()
    megabytes = bench.bytes / 1e6
    kadenzo = [os.path.join(args.build, 'kadenzo-batch')]
    summary = r'Files trovati: (\d+), numero Conversioni: (\d+)'
    tools = [
        ('cat (the floor)', ['cat'], args.runs, None),
        ('kadenzo-batch --jobs 1', kadenzo + ['--jobs', '1'], args.runs, summary),
        # By default as many jobs as cores.
        ('kadenzo-batch (default: {} jobs)'.format(os.cpu_count()), kadenzo, args.runs, summary),
        ('midi-file {} (Node.js {})'.format(
            version(['node', '-p', 'require("{}/node_modules/midi-file/package.json")'
                     '.version'.format(PEERS)]), version(['node', '--version'])),
         ['node', os.path.join(PEERS, 'midi_file_peer.js')], args.node_runs,
         r'files: (\d+), conversions: (\d+)'),
        ('mido {} (Python {})'.format(
            version([sys.executable, '-c', 'import mido; print(mido.__version__)']),
            platform.python_version()),
         [sys.executable, os.path.join(PEERS, 'mido_peer.py')], args.mido_runs,
         r'files: (\d+), conversions: (\d+)'),
    ]
    results = []
    for label, command, runs, pattern in tools:
        print('Timing {}...'.format(label), flush=True)
        # cat writes every song to /dev/null: its output is not the summary.
        result = bench.time_tool(label, command, runs, keep_output=pattern is not None)
        result['count'] = bench.conversions(result, pattern) if pattern else None
        results.append(result)

    floor, one_job, ours = results[0], results[1], results[2]
    node, mido = results[3], results[4]
    for peer in [one_job, node, mido]:
        if peer['count'] != ours['count']:
            bench.failures.append('{}: {} conversions, kadenzo-batch {}'.format(
                peer['label'], peer['count'], ours['count']))
        if peer['changed'] != ours['changed']:
            bench.failures.append('{}: changed {} files, kadenzo-batch {}; {} differ'.format(
                peer['label'], len(peer['changed']), len(ours['changed']),
                len(peer['changed'] ^ ours['changed'])))
    # midi-file writes a song back as it read it: its files must match kadenzo's byte for byte,
    # and so must those of one job.
    if one_job['output'] != ours['output']:
        bench.failures.append('--jobs 1: files differ from the default\'s')
    if node['output'] != ours['output']:
        bench.failures.append('{}: files differ from kadenzo-batch\'s'.format(node['label']))

    rows = []
    for r in results:
        rows.append([
            r['label'], str(r['runs']), '{:.3f} s'.format(r['time']),
            '{:.3f} s'.format(r['processor']),
            '{:,.0f}'.format(args.songs / r['time']), '{:,.1f}'.format(megabytes / r['time']),
            '{:.2f}'.format(r['time'] / floor['time']),
            '-' if r is ours else '{:.2f}'.format(r['time'] / ours['time']),
            '{:.1f} MB'.format(r['peak'] / 1024),
            '-' if r['count'] is None else str(r['count'])])
    speed = table(rows, ['tool', 'runs', 'time (median)', 'processor time', 'files/s', 'MB/s',
                         'time / floor', 'default kadenzo-batch faster by', 'peak memory',
                         'conversions'])

    # Memory: a tenth of the collection, all of it, and one very large song.
    print('Peak memory of kadenzo-batch (default jobs) on 200 songs and on one large song...',
          flush=True)
    memory = []
    few = min(200, args.songs)
    paths = bench.fresh_copy(few)
    few_bytes = sum(os.path.getsize(p) for p in paths)
    seconds, few_peak, _, _ = run(args.build, kadenzo + paths, bench.tmp)
    memory.append(['{} songs'.format(few), '{:.1f} MB'.format(few_bytes / 1e6),
                   '{:.3f} s'.format(seconds), '{:.1f} MB'.format(few_peak / 1024)])
    memory.append(['{} songs (above)'.format(args.songs), '{:.1f} MB'.format(megabytes),
                   '{:.3f} s'.format(ours['time']), '{:.1f} MB'.format(ours['peak'] / 1024)])
    shutil.rmtree(bench.work)
    large_dir = os.path.join(bench.tmp, 'large')
    subprocess.run([os.path.join(args.build, 'kadenzo-songs'), large_dir, '1',
                    str(args.large_bytes), str(args.large_bytes), str(args.seed)], check=True)
    large = os.path.join(large_dir, 'song0000.mid')
    large_size = os.path.getsize(large)
    seconds, large_peak, _, _ = run(args.build, kadenzo + [large], bench.tmp)
    with open(os.path.join(bench.tmp, 'out')) as f:
        large_summary = f.read().strip().splitlines()[-1]
    os.remove(large)
    memory.append(['one song', '{:.1f} MB'.format(large_size / 1e6), '{:.3f} s'.format(seconds),
                   '{:.1f} MB'.format(large_peak / 1024)])

    # The paths themselves (in argv, then as Qt strings) are the only thing that grows with
    # the number of files: allow 1 MB for them.
    allowance = 1024
    targets = [
        ('kadenzo-batch (default jobs) at most 1.2 times the floor\'s time',
         ours['time'] <= 1.2 * floor['time'],
         '{:.2f} times'.format(ours['time'] / floor['time'])),
        ('at least 100 times faster than mido', mido['time'] >= 100 * ours['time'],
         '{:.0f} times'.format(mido['time'] / ours['time'])),
        ('at least 10 times faster than midi-file', node['time'] >= 10 * ours['time'],
         '{:.0f} times'.format(node['time'] / ours['time'])),
        ('peak memory does not grow with the number of files ({} to {} songs, within 1 MB)'
         .format(few, args.songs), ours['peak'] <= few_peak + allowance,
         '{:+.1f} MB'.format((ours['peak'] - few_peak) / 1024)),
        ('nor with the size of one file ({:.0f} MB song against {} songs, within 1 MB)'
         .format(large_size / 1e6, few), large_peak <= few_peak + allowance,
         '{:+.1f} MB'.format((large_peak - few_peak) / 1024)),
    ]

    lines = [
        '{} songs, {:.1f} MB ({} to {} bytes each, median {:,} bytes; seed {}); '
        'kadenzo-batch repaired {} programs in {} of them.\n{}.'.format(
            args.songs, megabytes, args.min_bytes, args.max_bytes, bench.median_size,
            args.seed, ours['count'], len(ours['changed']),
            'Every peer made as many repairs in the same songs, and midi-file\'s songs are '
            'byte for byte kadenzo-batch\'s' if not bench.failures else
            'THE TOOLS DID NOT AGREE'),
        '', speed, '',
        table(memory, ['kadenzo-batch on', 'size', 'time', 'peak memory']), '',
        'The {:.0f} MB song: {}.'.format(large_size / 1e6, large_summary), '',
    ]
    for label, met, value in targets:
        lines.append('- {}: {} ({})'.format(label, 'met' if met else '**not met**', value))
    lines += ['', 'Machine: {}, {} cores; {}.'.format(cpu_model(), os.cpu_count(),
                                                      time.strftime('%Y-%m-%d'))]
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
