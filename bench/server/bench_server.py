#!/usr/bin/python3
"""LumoServer beside ReadyMedia (minidlna) serving the same collection in one network namespace
whose only interface is the loopback. Run by hand, never in the tests:

    tests/server/netns.sh /usr/bin/python3 bench/server/bench_server.py build/bin [--songs 10000]
        [--memory-songs 100000]

Rows: time to the first Browse answer after start; Browse of a 10,000-child container (first
page of 100, and a walk over all pages); time from a new file to a subscribed client seeing
it; resident memory with 100,000 published songs. minidlna cannot publish single files, so
both serve the same folders."""
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
from serverlib import (CONTENT_DIRECTORY, ControlPoint, EventListener, Programs, browse, free_port, mp3_bytes,  # noqa
                       require_isolation, service, write)


def rss_mb(pid):
    with open('/proc/%d/status' % pid) as f:
        return int(re.search(r'VmRSS:\s+(\d+)', f.read()).group(1)) / 1024.0


# minidlna leaves out songs of fewer frames; three keep 100,000 songs small on disk.
FRAMES = 3


def make_songs(folder, count, per_folder=1000):
    # Tags make each song different; a few frames keep the collection small on disk.
    for index in range(count):
        sub = os.path.join(folder, 'CD%03d' % (index // per_folder)) if count > per_folder else folder
        write(os.path.join(sub, 'song %06d.mp3' % index),
              mp3_bytes('Song %d' % index, 'Artist %d' % (index % 97), 'Album %d' % (index // 12), frames=FRAMES))


class MiniDlna:
    def __init__(self, root, folder, port):
        self.root = root
        self.port = port
        self.name = 'ReadyMedia bench'
        os.makedirs(os.path.join(root, 'db'), exist_ok=True)
        self.conf = os.path.join(root, 'minidlna.conf')
        with open(self.conf, 'w') as f:
            f.write('media_dir=A,%s\nnetwork_interface=lo\nport=%d\nfriendly_name=%s\ndb_dir=%s\nlog_dir=%s\n'
                    'inotify=yes\nnotify_interval=30\n' % (folder, port, self.name, os.path.join(root, 'db'), root))
        self.process = None

    def start(self):
        self.process = subprocess.Popen(['/usr/sbin/minidlnad', '-d', '-f', self.conf, '-P', os.path.join(self.root, 'pid')],
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def stop(self):
        if self.process and self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
            self.process.wait(20)


def device_named(cp, test, seconds):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        for device in list(cp.found.values()):
            if test(device):
                return device
        cp.spin(0.05)
    return None


def is_lumo(device):
    return device.get_model_name() == 'LumoServer'


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


def find_container(cd, object_id, title):
    for entry in browse(cd, object_id)[0]:
        if entry['title'] == title:
            return entry['id']
    for entry in browse(cd, object_id)[0]:
        if entry['container']:
            found = find_container(cd, entry['id'], title)
            if found:
                return found
    return None


def page_and_walk(cd, container):
    start = time.monotonic()
    objects, returned, total, _ = browse(cd, container, start=0, count=100)
    first_ms = (time.monotonic() - start) * 1000
    start = time.monotonic()
    seen = 0
    while seen < total:
        objects, returned, _, _ = browse(cd, container, start=seen, count=100)
        if not returned:
            break
        seen += returned
    walk_s = time.monotonic() - start
    # Again, with everything read once.
    start = time.monotonic()
    browse(cd, container, start=5000, count=100)
    warm_ms = (time.monotonic() - start) * 1000
    return first_ms, walk_s, warm_ms, total, seen


def new_file_visible(cp, cd, container, folder, title, device, timeout=120):
    listener = EventListener(device, CONTENT_DIRECTORY)
    try:
        cp.spin(1.0)
        path = os.path.join(folder, title + '.mp3')
        start = time.monotonic()
        write(path, mp3_bytes(title))
        while time.monotonic() - start < timeout:
            objects, returned, total, _ = browse(cd, container, start=0, count=0)
            if any(o['title'] in (title, title + '.mp3') or o['title'] == title for o in objects):
                return time.monotonic() - start
            cp.spin(0.1)
        return None
    finally:
        listener.close()


def value_text(value):
    return '-' if value is None else ('%.1f' % value if value >= 10 else '%.3g' % value)


class Rows(list):
    """The table's rows, each also printed as soon as it is measured."""

    def append(self, row):
        super().append(row)
        print('%s: LumoServer %s, minidlna %s' % (row[0], value_text(row[1]), value_text(row[2])), flush=True)


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
    parser.add_argument('--songs', type=int, default=10000)
    parser.add_argument('--memory-songs', type=int, default=100000)
    args = parser.parse_args()
    require_isolation()
    # A step that hangs shows where, instead of holding the namespace.
    faulthandler.dump_traceback_later(int(os.environ.get("BENCH_LIMIT_S", "3600")), exit=True)

    programs = Programs(args.bin_dir, free_port())
    rows = Rows()
    mini = None
    try:
        flat = os.path.join(programs.media, 'Flat')
        print('making %d songs in one folder...' % args.songs, flush=True)
        make_songs(flat, args.songs, per_folder=args.songs)
        programs.publish('music', flat)
        mini = MiniDlna(os.path.join(programs.root, 'minidlna'), flat, free_port())
        cp = ControlPoint()

        start = time.monotonic()
        programs.server = subprocess.Popen([os.path.join(args.bin_dir, 'LumoServer'), '/resume'], env=programs.env,
                                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        lumo_first, lumo_cd, lumo_container, lumo_device = first_answer(
            cp, start, is_lumo, lambda cd: browse(cd, 'music')[0][0]['id'], args.songs)
        start = time.monotonic()
        mini.start()
        # minidlna shows every song of its folders under Music > All Music ("1$4").
        mini_first, mini_cd, mini_container, mini_device = first_answer(
            cp, start, lambda d: d.get_friendly_name() == mini.name, lambda cd: '1$4', args.songs)
        rows.append(('start -> whole collection browsable (s)', lumo_first, mini_first))
        print('first answers', lumo_first, mini_first, flush=True)
        lumo = page_and_walk(lumo_cd, lumo_container)
        print('lumo pages', lumo, flush=True)
        mini_result = page_and_walk(mini_cd, mini_container) if mini_container else (None,) * 5
        print('mini pages', mini_result, flush=True)
        rows.append(('Browse first page of 100 of %d (ms)' % args.songs, lumo[0], mini_result[0]))
        rows.append(('Browse walk of all %d in pages of 100 (s)' % args.songs, lumo[1], mini_result[1]))
        rows.append(('Browse page of 100 again, at 5000 (ms)', lumo[2], mini_result[2]))
        rows.append(('new file -> seen by a subscribed client (s)',
                     new_file_visible(cp, lumo_cd, lumo_container, flat, 'Late arrival', lumo_device),
                     new_file_visible(cp, mini_cd, mini_container, flat, 'Later arrival', mini_device, timeout=60)
                     if mini_container else None))
        print('new files done', rows[-1], flush=True)
        mini.stop()
        programs.stop()

        # Memory with many songs: published as folders of 1000.
        big = os.path.join(programs.media, 'Big')
        print('making %d songs...' % args.memory_songs, flush=True)
        make_songs(big, args.memory_songs)
        programs.publish('music', big)
        shutil.rmtree(os.path.join(programs.root, 'minidlna'), ignore_errors=True)
        mini = MiniDlna(os.path.join(programs.root, 'minidlna'), programs.media, free_port())
        programs.start()
        mini.start()
        cp2 = ControlPoint()
        # Both must have seen everything: minidlna scans at start; LumoServer reads on demand,
        # so a client walks every container once.
        first_answer(cp2, time.monotonic(), lambda d: d.get_friendly_name() == mini.name, lambda cd: '1$4',
                     args.memory_songs + args.songs, timeout=3600)
        lumo_cd = service(device_named(cp2, is_lumo, 10), CONTENT_DIRECTORY)
        lumo_idle = rss_mb(programs.server.pid)
        big_id = [e for e in browse(lumo_cd, 'music')[0] if e['title'] == 'Big'][0]['id']
        walked = walk(lumo_cd, big_id)
        print('walked', walked, 'songs', flush=True)
        rows.append(('RSS with %d published songs, after start (MB)' % args.memory_songs, lumo_idle, None))
        rows.append(('RSS with %d published songs, all browsed (MB)' % args.memory_songs,
                     rss_mb(programs.server.pid), rss_mb(mini.process.pid)))
    finally:
        if mini:
            mini.stop()
        programs.cleanup()

    print()
    print('| measure | LumoServer | ReadyMedia (minidlna) |')
    print('|---|---|---|')
    for label, lumo, other in rows:
        print('| %s | %s | %s |' % (label, value_text(lumo), value_text(other)))


if __name__ == '__main__':
    main()
