#!/usr/bin/python3
"""LumoServer beside ReadyMedia (minidlna) serving the same collection in one network namespace
whose only interface is the loopback. Run by hand, never in the tests:

    tests/server/netns.sh /usr/bin/python3 bench/server/bench_server.py build/bin [--songs 10000]
        [--memory-songs 100000] [--before OLD_BIN_DIR] [--rounds 3] [--pin]

Rows: time to the first Browse answer after start; Browse of a 10,000-child container (first
page of 100, a cold page far from the start, a walk over all pages, and the first two pages
sorted by title as a player that lists by name asks); time from a new file to a subscribed
client seeing it (in Browse, and in a ContainerUpdateIDs event); resident memory kept per 1,000
requests; resident memory with 100,000 published songs. minidlna cannot publish single files,
so all serve the same folders. --before runs a second LumoServer build on the same collection,
one after the other in the same run, so a change is measured against what it replaced on the
same machine at the same time. Each round starts every server afresh (cold); the table gives
the range over the rounds."""
import argparse
import faulthandler
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', '..', 'tests', 'server'))
from serverlib import (CONTENT_DIRECTORY, ControlPoint, EventListener, Programs, browse, free_port, http_request,  # noqa
                       mp3_bytes,
                       require_isolation, service, write)


def rss_mb(pid):
    with open('/proc/%d/status' % pid) as f:
        return int(re.search(r'VmRSS:\s+(\d+)', f.read()).group(1)) / 1024.0


# minidlna leaves out songs of fewer frames; three keep 100,000 songs small on disk.
FRAMES = 3
# Server processes on one core, the client on the other, when --pin is given.
SERVER_CPU = '1'
CLIENT_CPU = 0


def make_songs(folder, count, per_folder=1000):
    # Tags make each song different; a few frames keep the collection small on disk.
    for index in range(count):
        sub = os.path.join(folder, 'CD%03d' % (index // per_folder)) if count > per_folder else folder
        write(os.path.join(sub, 'song %06d.mp3' % index),
              mp3_bytes('Song %d' % index, 'Artist %d' % (index % 97), 'Album %d' % (index // 12), frames=FRAMES))


def pinned(command, pin):
    return ['taskset', '-c', SERVER_CPU] + command if pin else command


class Lumo:
    """One LumoServer build, run with its own disk cache so every start is cold; only the store of
    file details it keeps between runs is kept from the round before (emptied at the first)."""

    def __init__(self, label, bin_dir, programs, pin, wrap=()):
        self.label = label
        self.wrap = list(wrap)
        self.bin_dir = bin_dir
        self.programs = programs
        self.pin = pin
        self.env = dict(programs.env)
        self.cache = os.path.join(programs.root, 'cache-' + re.sub(r'\W', '', label))
        self.env['XDG_CACHE_HOME'] = self.cache
        self.process = None

    def start(self, keep_store=False):
        kept = os.path.join(self.cache, 'Lumo Desktop')
        if keep_store and os.path.isdir(kept):
            for name in os.listdir(kept):
                if not name.startswith('ServerFacts.db'):
                    path = os.path.join(kept, name)
                    shutil.rmtree(path) if os.path.isdir(path) else os.remove(path)
            for name in os.listdir(self.cache):
                if name != 'Lumo Desktop':
                    shutil.rmtree(os.path.join(self.cache, name), ignore_errors=True)
        else:
            shutil.rmtree(self.cache, ignore_errors=True)
            os.makedirs(self.cache)
        self.process = subprocess.Popen(pinned(self.wrap + [os.path.join(self.bin_dir, 'LumoServer'), '/resume'], self.pin),
                                        env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def is_device(self, device):
        return device.get_model_name() == 'LumoServer'

    def stop(self):
        if self.process and self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
            try:
                self.process.wait(20)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        self.process = None


class MiniDlna:
    label = 'minidlna'

    def __init__(self, root, folder, port, pin):
        self.root = root
        self.folder = folder
        self.port = port
        self.pin = pin
        self.name = 'ReadyMedia bench'
        self.process = None

    def start(self, keep_store=False):
        # A fresh database each time: it scans the whole folder, as a first start does.
        shutil.rmtree(self.root, ignore_errors=True)
        os.makedirs(os.path.join(self.root, 'db'))
        conf = os.path.join(self.root, 'minidlna.conf')
        with open(conf, 'w') as f:
            f.write('media_dir=A,%s\nnetwork_interface=lo\nport=%d\nfriendly_name=%s\ndb_dir=%s\nlog_dir=%s\n'
                    'inotify=yes\nnotify_interval=30\n' % (self.folder, self.port, self.name,
                                                          os.path.join(self.root, 'db'), self.root))
        self.process = subprocess.Popen(pinned(['/usr/sbin/minidlnad', '-d', '-f', conf, '-P',
                                                os.path.join(self.root, 'pid')], self.pin),
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def is_device(self, device):
        return device.get_friendly_name() == self.name

    def stop(self):
        if self.process and self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
            self.process.wait(20)
        self.process = None


def device_named(cp, test, seconds):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        for device in list(cp.found.values()):
            if test(device):
                return device
        cp.spin(0.05)
    return None


def first_answer(cp, start, test, locate, expected, timeout=600):
    """Seconds from start until the container locate(cd) finds answers with all expected
    children: the collection is browsable as a whole."""
    deadline = start + timeout
    while time.monotonic() < deadline:
        device = device_named(cp, test, 0.2)
        if device:
            cd = service(device, CONTENT_DIRECTORY)
            try:
                container = locate(cd)
                if container and browse(cd, container, count=1)[2] >= expected:
                    return time.monotonic() - start, cd, container, device
            except Exception:
                pass
        time.sleep(0.05)
    return None, None, None, None


def timed_browse_ms(cd, container, start, count, sort=''):
    began = time.monotonic()
    browse(cd, container, start=start, count=count, sort=sort)
    return (time.monotonic() - began) * 1000


def cpu_s(pid):
    """User and system CPU seconds a process has used."""
    with open('/proc/%d/stat' % pid) as f:
        fields = f.read().rsplit(')', 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf('SC_CLK_TCK')


def pages(cd, container, total, pid):
    """First page, a cold page far from the start, a walk over every page, the far page warm,
    and the server's CPU time over the walk (wall time also counts the client's parsing)."""
    first_ms = timed_browse_ms(cd, container, 0, 100)
    cold_ms = timed_browse_ms(cd, container, (total * 3 // 4) // 100 * 100, 100)
    start = time.monotonic()
    cpu_start = cpu_s(pid)
    seen = 0
    # Until a short page: a server's TotalMatches may be a guess.
    while True:
        objects, returned, _, _ = browse(cd, container, start=seen, count=100)
        seen += returned
        if returned < 100:
            break
    walk_s = time.monotonic() - start
    walk_cpu_s = cpu_s(pid) - cpu_start
    print('walked %d children' % seen, flush=True)
    warm_ms = timed_browse_ms(cd, container, total // 2 // 100 * 100, 100)
    # As a player that lists by name asks: the first page, then the next one.
    sorted_first_ms = timed_browse_ms(cd, container, 0, 100, '+dc:title')
    sorted_next_ms = timed_browse_ms(cd, container, 100, 100, '+dc:title')
    return first_ms, cold_ms, walk_s, warm_ms, walk_cpu_s, sorted_first_ms, sorted_next_ms


def new_file_visible(cp, cd, container, folder, title, device, evented_server, timeout=60):
    """Seconds until a subscribed client sees the new file: an event naming its container,
    then Browse listing it. A server that sends no events is polled with Browse instead, which
    a subscribed client of it would have to do. (time to Browse listing it, time to the event)"""
    listener = EventListener(device, CONTENT_DIRECTORY)

    def listed():
        # The first page, where a player looks again on an event (the new name sorts before the
        # others); then the whole container, for a server that puts it elsewhere.
        for count in (100, 0):
            objects, _, _, _ = browse(cd, container, start=0, count=count)
            if any(o['title'] in (title, title + '.mp3') for o in objects):
                return True
        return False

    try:
        cp.spin(1.0)
        listener.clear()
        path = os.path.join(folder, title + '.mp3')
        start = time.monotonic()
        write(path, mp3_bytes(title))
        evented = None
        while time.monotonic() - start < timeout:
            if evented is None and any(container in value.split(',')[0::2]
                                       for value in listener.seen('ContainerUpdateIDs')):
                evented = time.monotonic() - start
            if evented is not None or not evented_server:
                if listed():
                    return time.monotonic() - start, evented
            cp.spin(0.02 if evented_server else 0.1)
        return None, evented
    finally:
        listener.close()


def growth_mb(cd, container, total, pid, rounds=500):
    """Resident memory a server keeps per 1,000 requests of a player at work: pages of 100,
    and a HEAD and a ranged GET of a song, each on a connection of its own. Measured after a
    rest, so memory a server gives back when idle does not count."""
    objects = browse(cd, container, count=100)[0]
    urls = [o['resources'][0]['uri'] for o in objects if o['resources']]

    def play(count):
        for index in range(count):
            browse(cd, container, start=index * 100 % total, count=100)
            http_request('HEAD', urls[index % len(urls)])
            http_request('GET', urls[index % len(urls)], {'Range': 'bytes=0-999'})
        time.sleep(3)

    # What the work itself needs (caches, pools) is taken before the count starts.
    play(rounds // 5)
    before = rss_mb(pid)
    play(rounds)
    return (rss_mb(pid) - before) * 1000 / (rounds * 3)


def value_text(value):
    return '-' if value is None else ('%.1f' % value if value >= 10 else '%.3g' % value)


def range_text(values):
    values = [v for v in values if v is not None]
    if not values:
        return '-'
    low, high = min(values), max(values)
    return value_text(low) if value_text(low) == value_text(high) else '%s–%s' % (value_text(low), value_text(high))


def walk(cd, container):
    """Browses every object below container in pages of 500; answers the items seen."""
    total = browse(cd, container, count=1)[2]
    items = 0
    for offset in range(0, total, 500):
        for entry in browse(cd, container, start=offset, count=500)[0]:
            items += walk(cd, entry['id']) if entry['container'] else 1
    return items


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('bin_dir')
    parser.add_argument('--before', help='the bin folder of an older build, measured beside this one')
    parser.add_argument('--songs', type=int, default=10000)
    parser.add_argument('--memory-songs', type=int, default=100000)
    parser.add_argument('--rounds', type=int, default=3)
    parser.add_argument('--pin', action='store_true', help='servers on CPU 1, this client on CPU 0')
    parser.add_argument('--skip-memory', action='store_true')
    parser.add_argument('--only-memory', action='store_true', help='the memory rows alone')
    parser.add_argument('--wrap', default='', help='a command LumoServer runs under, e.g. "heaptrack -o FILE"')
    parser.add_argument('--without-minidlna', action='store_true', help='LumoServer builds only')
    args = parser.parse_args()
    require_isolation()
    # A step that hangs shows where, instead of holding the namespace.
    faulthandler.dump_traceback_later(int(os.environ.get("BENCH_LIMIT_S", "5400")), exit=True)
    if args.pin:
        os.sched_setaffinity(0, {CLIENT_CPU})

    programs = Programs(args.bin_dir, free_port())
    mini = None
    servers = []
    if args.before:
        servers.append(Lumo('LumoServer before', args.before, programs, args.pin, args.wrap.split()))
    servers.append(Lumo('LumoServer', args.bin_dir, programs, args.pin, args.wrap.split()))
    # label -> row -> values over the rounds
    results = {}

    def note(server, row, value, round_number=None):
        # LumoServer's first round starts with an empty store of file details, later ones with
        # the store the round before filled (a build without one, and minidlna, start cold).
        if round_number is not None:
            row += ' [round 1, store empty]' if round_number == 0 else ' [later rounds, store filled]'
        results.setdefault(row, {}).setdefault(server.label, []).append(value)
        print('%s: %s %s' % (row, server.label, value_text(value)), flush=True)

    try:
        flat = os.path.join(programs.media, 'Flat')
        print('making %d songs in one folder...' % args.songs, flush=True)
        make_songs(flat, args.songs, per_folder=args.songs)
        programs.publish('music', flat)
        mini = MiniDlna(os.path.join(programs.root, 'minidlna'), flat, free_port(), args.pin)
        everyone = servers + ([] if args.without_minidlna else [mini])
        for round_number in range(0 if args.only_memory else args.rounds):
            for server in everyone:
                # A control point of its own: two builds announce the same device.
                cp = ControlPoint()
                start = time.monotonic()
                server.start(keep_store=round_number > 0)
                if isinstance(server, MiniDlna):
                    # minidlna shows every song of its folders under Music > All Music ("1$4").
                    locate = lambda cd: '1$4'  # noqa: E731
                else:
                    locate = lambda cd: browse(cd, 'music')[0][0]['id']  # noqa: E731
                first, cd, container, device = first_answer(cp, start, server.is_device, locate, args.songs)
                note(server, 'start -> whole collection browsable (s)', first, round_number)
                if container:
                    # At least the songs made; a file each earlier round added comes on top.
                    total = args.songs
                    first_ms, cold_ms, walk_s, warm_ms, walk_cpu_s, sorted_first_ms, sorted_next_ms = pages(
                        cd, container, total, server.process.pid)
                    note(server, 'Browse first page of 100 of %d (ms)' % args.songs, first_ms, round_number)
                    note(server, 'Browse a page of 100 far from the start, cold (ms)', cold_ms, round_number)
                    note(server, 'Browse walk of all %d in pages of 100 (s)' % args.songs, walk_s, round_number)
                    note(server, 'Browse a page of 100 again, warm (ms)', warm_ms, round_number)
                    note(server, 'Browse first page of 100 sorted by title (ms)', sorted_first_ms, round_number)
                    note(server, 'Browse the next page sorted by title (ms)', sorted_next_ms, round_number)
                    note(server, 'server CPU over the walk (s)', walk_cpu_s, round_number)
                    # Sorts before "song 000000.mp3".
                    title = 'Late %s %d' % (re.sub(r'\W', '', server.label), round_number)
                    browsed, evented = new_file_visible(cp, cd, container, flat, title, device,
                                                        not isinstance(server, MiniDlna))
                    note(server, 'new file -> listed in Browse (s)', browsed, round_number)
                    note(server, 'new file -> ContainerUpdateIDs event (s)', evented, round_number)
                    note(server, 'resident memory kept per 1,000 requests (MB)',
                         growth_mb(cd, container, total, server.process.pid), round_number)
                server.stop()
                cp.close()

        if not args.skip_memory:
            # Memory with many songs: published as folders of 1000.
            big = os.path.join(programs.media, 'Big')
            print('making %d songs...' % args.memory_songs, flush=True)
            make_songs(big, args.memory_songs)
            programs.publish('music', big)
            mini.folder = programs.media
            for server in everyone:
                cp = ControlPoint()
                server.start()
                if isinstance(server, MiniDlna):
                    first_answer(cp, time.monotonic(), server.is_device, lambda cd: '1$4',
                                 args.memory_songs + args.songs, timeout=3600)
                    note(server, 'RSS with %d published songs, all browsed (MB)' % args.memory_songs,
                         rss_mb(server.process.pid))
                else:
                    device = device_named(cp, server.is_device, 300 if args.wrap else 30)
                    cd = service(device, CONTENT_DIRECTORY)
                    # LumoServer reads on demand: a client walks every container once.
                    cp.spin(2.0)
                    note(server, 'RSS with %d published songs, after start (MB)' % args.memory_songs,
                         rss_mb(server.process.pid))
                    big_id = [e for e in browse(cd, 'music')[0] if e['title'] == 'Big'][0]['id']
                    walked = walk(cd, big_id)
                    print('walked', walked, 'songs', flush=True)
                    note(server, 'RSS with %d published songs, all browsed (MB)' % args.memory_songs,
                         rss_mb(server.process.pid))
                    # What a server at rest keeps, once it has given back what it can.
                    time.sleep(5)
                    note(server, 'RSS with %d published songs, all browsed, 5 s later (MB)' % args.memory_songs,
                         rss_mb(server.process.pid))
                server.stop()
                cp.close()
    finally:
        for server in servers + ([mini] if mini else []):
            server.stop()
        programs.cleanup()

    labels = [s.label for s in servers] + ['ReadyMedia (minidlna)']
    print()
    print('Ranges over %d rounds (memory: one run each).' % args.rounds)
    print()
    print('| measure | ' + ' | '.join(labels) + ' |')
    print('|---|' + '---|' * len(labels))
    for row, by_label in results.items():
        cells = [range_text(by_label.get(s.label, [])) for s in servers] + [range_text(by_label.get('minidlna', []))]
        print('| %s | %s |' % (row, ' | '.join(cells)))


if __name__ == '__main__':
    main()
