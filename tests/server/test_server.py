#!/usr/bin/python3
"""LumoServer seen from a real UPnP control point (GUPnP 1.6 and GUPnP-AV) and plain HTTP, in a
network namespace whose only interface is the loopback. Run through netns.sh:

    tests/server/netns.sh /usr/bin/python3 tests/server/test_server.py BIN_DIR
"""
import base64
import contextlib
import os
import re
import signal
import socket
import sqlite3
import subprocess
import sys
import time
import unittest
import urllib.parse

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from serverlib import (CONTENT_DIRECTORY, CONNECTION_MANAGER, ActionError, ControlPoint, EventListener, Programs,  # noqa: E402
                       browse, call, free_port, http_request, jpeg_size, make_jpeg, mp3_bytes, require_isolation,
                       service, soap, wav_bytes, write)
from gi.repository import GObject  # noqa: E402

BIN_DIR = None


class ServerTest(unittest.TestCase):
    """One server per test class, with the collection its setUpClass publishes."""

    @classmethod
    def setUpClass(cls):
        cls.programs = Programs(BIN_DIR, free_port())
        cls.media = cls.programs.media
        cls.prepare()
        cls.programs.start()
        cls.cp = ControlPoint()
        cls.device, cls.discovered_s = cls.cp.wait_device(10)
        if not cls.device:
            raise AssertionError('no MediaServer found:\n' + cls.programs.log())
        cls.cd = service(cls.device, CONTENT_DIRECTORY)

    @classmethod
    def tearDownClass(cls):
        cls.cp.close()
        code = cls.programs.stop()
        log = cls.programs.log()
        cls.programs.cleanup()
        if code != 0:
            raise AssertionError('LumoServer ended with %d:\n%s' % (code, log))

    @classmethod
    def prepare(cls):
        pass

    def children(self, object_id, **kwargs):
        return browse(self.cd, object_id, **kwargs)[0]

    def child(self, object_id, title):
        for entry in self.children(object_id):
            if entry['title'] == title:
                return entry
        self.fail('%s has no child %r: %s' % (object_id, title, [e['title'] for e in self.children(object_id)]))

    def control_url(self):
        status, headers, body = http_request('GET', self.device.get_location())
        path = re.search(r'ContentDirectory.*?<controlURL>(.*?)</controlURL>', body.decode(), re.S).group(1)
        return urllib.parse.urljoin(self.device.get_location(), path)

    def wait_for(self, condition, seconds, message):
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            self.cp.spin(0.05)
            if condition():
                return time.monotonic()
        self.fail(message)


class TreeTest(ServerTest):
    @classmethod
    def prepare(cls):
        m = cls.media
        for index in range(1, 26):
            write('%s/Big/%02d Track.mp3' % (m, index), mp3_bytes('Track %d' % index, 'Band', 'Big', track=index))
        write(m + '/Mixed/a song.mp3', mp3_bytes('A song'))
        make_jpeg(m + '/Mixed/a photo.jpg', 320, 240)
        write(m + '/Mixed/notes.txt', b'not media')
        write(m + '/Mixed/Deeper/Still/deep song.mp3', mp3_bytes('Deep'))
        make_jpeg(m + '/Mixed/OnlyPhotos/pic.jpg', 64, 64)
        write(m + '/Zed.mp3', mp3_bytes('Zed'))
        write(m + '/Alpha.mp3', mp3_bytes('Alpha'))
        write(m + '/Élan vital/Ça plane pour moi.mp3', mp3_bytes('Ça plane', 'Plastic Bertrand'))
        write(m + '/Élan vital/@HOSTNAME@ tapes/@USERNAME@ & @REALNAME@.mp3', mp3_bytes('Names'))
        write(m + '/List/one.mp3', mp3_bytes('One'))
        write(m + '/List/two.mp3', mp3_bytes('Two'))
        write(m + '/List/three.mp3', mp3_bytes('Three'))
        write(m + '/List/order.m3u', b'three.mp3\none.mp3\ntwo.mp3\n')
        # Publishing order, not the alphabet.
        cls.programs.publish('music', m + '/Zed.mp3', m + '/Big', m + '/Alpha.mp3', m + '/Mixed',
                             m + '/Élan vital', m + '/List/order.m3u')
        cls.programs.publish('photos', m + '/Mixed')

    def test_discovered_within_three_seconds(self):
        self.assertLess(self.discovered_s, 3.0)
        self.assertEqual(self.device.get_device_type(), 'urn:schemas-upnp-org:device:MediaServer:3')

    def test_descriptions_name_the_server_and_only_browsing(self):
        status, headers, body = http_request('GET', self.device.get_location())
        self.assertEqual(status, 200)
        text = body.decode()
        self.assertIn('<friendlyName>Lumo Media Server on ', text)
        self.assertIn('urn:schemas-upnp-org:service:ContentDirectory', text)
        self.assertIn('urn:schemas-upnp-org:service:ConnectionManager', text)
        for line in text.split('<SCPDURL>')[1:]:
            path = line.split('</SCPDURL>')[0]
            status, _, scpd = http_request('GET', urllib.parse.urljoin(self.device.get_location(), path))
            self.assertEqual(status, 200, path)
            if 'ContentDirectory' in path:
                self.assertIn(b'<name>Browse</name>', scpd)
                for refused in (b'CreateObject', b'DestroyObject', b'ImportResource', b'UpdateObject'):
                    self.assertNotIn(refused, scpd)

    def test_music_and_photos_at_the_root(self):
        root, returned, total, _ = browse(self.cd, '0')
        self.assertEqual([(e['id'], e['title']) for e in root], [('music', 'Music'), ('photos', 'Photos')])
        self.assertEqual((returned, total), (2, 2))
        self.assertEqual(root[0]['child_count'], 6)
        self.assertEqual(root[1]['child_count'], 1)

    def test_published_entries_in_publishing_order(self):
        titles = [e['title'] for e in self.children('music')]
        self.assertEqual(titles, ['Zed', 'Big', 'Alpha', 'Mixed', 'Élan vital', 'order'])
        kinds = [e['class'] for e in self.children('music')]
        self.assertEqual(kinds[0], 'object.item.audioItem.musicTrack')
        self.assertEqual(kinds[1], 'object.container.storageFolder')
        self.assertEqual(kinds[5], 'object.container.playlistContainer')

    def test_class_filters_show_each_page_its_own_media(self):
        music = self.child('music', 'Mixed')
        self.assertEqual(sorted(e['title'] for e in self.children(music['id'])), ['Deeper', 'a song'])
        photos = self.child('photos', 'Mixed')
        self.assertEqual(sorted(e['title'] for e in self.children(photos['id'])), ['OnlyPhotos', 'a photo'])
        deeper = self.child(music['id'], 'Deeper')
        still = self.child(deeper['id'], 'Still')
        self.assertEqual([e['title'] for e in self.children(still['id'])], ['deep song'])

    def test_playlist_lists_its_entries_in_order(self):
        playlist = self.child('music', 'order')
        self.assertEqual([e['title'] for e in self.children(playlist['id'])], ['three', 'one', 'two'])

    def test_paging_and_total_matches(self):
        big = self.child('music', 'Big')
        objects, returned, total, _ = browse(self.cd, big['id'], start=10, count=5)
        self.assertEqual((returned, total), (5, 25))
        self.assertEqual([e['title'] for e in objects], ['%02d Track' % n for n in range(11, 16)])
        objects, returned, total, _ = browse(self.cd, big['id'], start=24, count=100)
        self.assertEqual((returned, total, objects[0]['title']), (1, 25, '25 Track'))
        objects, returned, total, _ = browse(self.cd, big['id'], start=1000, count=10)
        self.assertEqual((returned, total), (0, 25))
        everything, returned, _, _ = browse(self.cd, big['id'])
        self.assertEqual(returned, 25)
        self.assertEqual(len({e['id'] for e in everything}), 25)
        # Sent as it is, even to a client that would take it compressed.
        status, headers, text = soap(self.control_url(), 'urn:schemas-upnp-org:service:ContentDirectory:1', 'Browse',
                                     '<ObjectID>%s</ObjectID><BrowseFlag>BrowseDirectChildren</BrowseFlag>'
                                     '<Filter>*</Filter><StartingIndex>0</StartingIndex><RequestedCount>0'
                                     '</RequestedCount><SortCriteria></SortCriteria>' % big['id'],
                                     headers={'Accept-Encoding': 'gzip'})
        self.assertEqual((status, headers.get('content-encoding')), (200, None))
        self.assertEqual(text.count(b'&lt;item '), 25)

    def test_pages_sorted_by_title_agree_with_the_whole_answer(self):
        def titles(object_id, sort, start=0, count=0):
            return [e['title'] for e in browse(self.cd, object_id, start=start, count=count, sort=sort)[0]]
        ascending = titles('music', '+dc:title')
        self.assertEqual(sorted(ascending), sorted(titles('music', '')))
        self.assertEqual(titles('music', '-dc:title'), list(reversed(ascending)))
        for sort in ('+dc:title', '-dc:title', '+upnp:class,+dc:title'):
            whole = titles('music', sort)
            paged = []
            for start in range(0, len(whole), 4):
                paged += titles('music', sort, start, 4)
            self.assertEqual(paged, whole, sort)
        # Containers first, each kind in title order.
        kinds = {e['title']: e['class'].startswith('object.container') for e in self.children('music')}
        self.assertEqual(titles('music', '+upnp:class,+dc:title'),
                         [t for t in ascending if kinds[t]] + [t for t in ascending if not kinds[t]])
        big = self.child('music', 'Big')['id']
        self.assertEqual(titles(big, '-dc:title', 5, 3), ['20 Track', '19 Track', '18 Track'])

    def test_metadata_of_one_object_and_its_parent(self):
        big = self.child('music', 'Big')
        track = self.children(big['id'])[2]
        objects, returned, total, _ = browse(self.cd, track['id'], children=False)
        self.assertEqual((returned, total), (1, 1))
        self.assertEqual(objects[0]['parent'], big['id'])
        self.assertEqual(objects[0]['title'], '03 Track')
        self.assertEqual(objects[0]['artist'], 'Band')
        self.assertEqual(objects[0]['album'], 'Big')

    def test_unknown_ids_are_error_701(self):
        for bad in ('no-such-id', 'music/0000000000000000', 'music/' + 'f' * 16 + '/x', '', 'photos/../music',
                    '0/0/0', 'music//', '\u00e9\u00e9'):
            with self.assertRaises(ActionError, msg=repr(bad)) as caught:
                browse(self.cd, bad, children=False)
            self.assertEqual(caught.exception.code, 701, repr(bad))

    def test_non_ascii_titles_and_paths(self):
        folder = self.child('music', 'Élan vital')
        song = self.child(folder['id'], 'Ça plane pour moi')
        self.assertEqual(song['artist'], 'Plastic Bertrand')
        status, headers, body = http_request('GET', song['resources'][0]['uri'])
        self.assertEqual(status, 200)
        self.assertEqual(len(body), song['resources'][0]['size'])


    def test_status_counts_the_songs_and_photos_served(self):
        # Counted in the background once clients are quiet: what the playlist lists, what the
        # folders hold at any depth, not the text file.
        def status():
            return self.programs.command('/status').stdout
        self.wait_for(lambda: 'songs=' in status(), 30, 'the collection was not counted')
        self.assertRegex(status(), r' songs=34 photos=2$')

    def test_titles_with_the_engines_name_markers_are_served_as_named(self):
        # The engine would put the user's names in their place.
        folder = self.child(self.child('music', 'Élan vital')['id'], '@HOSTNAME@ tapes')
        song = self.child(folder['id'], '@USERNAME@ & @REALNAME@')
        for object_id, title in ((folder['id'], '@HOSTNAME@ tapes'), (song['id'], '@USERNAME@ & @REALNAME@')):
            objects, _, _, _ = browse(self.cd, object_id, children=False)
            self.assertEqual(objects[0]['title'], title)


class ResourcesTest(ServerTest):
    @classmethod
    def prepare(cls):
        m = cls.media
        cls.song = write(m + '/Album/01 Song.mp3', mp3_bytes('Song', 'Band', 'Album', 'Pop', track=7, frames=400))
        make_jpeg(m + '/Album/cover.jpg', 500, 500, '#aa2200')
        cover = open(make_jpeg(m + '/art/embedded.jpg', 300, 200, '#00aa22'), 'rb').read()
        write(m + '/Tagged/tagged.mp3', mp3_bytes('Tagged', cover=cover))
        write(m + '/Bare/bare.mp3', mp3_bytes('Bare'))
        wave, cls.samples = wav_bytes(frames=1000)
        write(m + '/Wave/tone.wav', wave)
        make_jpeg(m + '/Pictures/wide.jpg', 1600, 900)
        # A playlist large enough to have its order by title worked out ahead, listing its songs
        # (titled by their names) out of that order.
        for index in range(1000):
            write('%s/Many/%04d.mp3' % (m, index), mp3_bytes(frames=2))
        write(m + '/Many/many.m3u', ''.join('%04d.mp3\n' % (index * 7919 % 1000) for index in range(1000)).encode())
        cls.programs.publish('music', m + '/Album', m + '/Tagged', m + '/Bare', m + '/Wave', m + '/Many/many.m3u')
        cls.programs.publish('photos', m + '/Pictures')

    def item(self, media_class, folder):
        return self.children(self.child(media_class, folder)['id'])[0]

    def test_a_large_folder_sorted_by_title_ahead_agrees_with_one_sorted_when_asked(self):
        many = self.child('music', 'many')['id']
        listed = [e['title'] for e in self.children(many)]
        time.sleep(1)
        ascending = [e['title'] for e in browse(self.cd, many, sort='+dc:title')[0]]
        # Worked out when asked, never ahead.
        descending = [e['title'] for e in browse(self.cd, many, sort='-dc:title')[0]]
        self.assertNotEqual(listed[:3], ['0000', '0001', '0002'])
        self.assertEqual(ascending, sorted(listed))
        self.assertEqual(ascending, list(reversed(descending)))
        paged = []
        for start in range(0, 1000, 100):
            paged += [e['title'] for e in browse(self.cd, many, start=start, count=100, sort='+upnp:class,+dc:title')[0]]
        self.assertEqual(paged, ascending)

    def test_get_head_and_ranges_of_a_song(self):
        song = self.item('music', 'Album')
        resource = song['resources'][0]
        data = open(self.song, 'rb').read()
        self.assertEqual((resource['mime'], resource['profile'], resource['size']), ('audio/mpeg', 'MP3', len(data)))
        self.assertIn('DLNA.ORG_OP=01', resource['protocol_info'])
        status, headers, body = http_request('GET', resource['uri'], {'getcontentFeatures.dlna.org': '1'})
        self.assertEqual((status, body), (200, data))
        self.assertEqual(headers['content-length'], str(len(data)))
        self.assertIn('DLNA.ORG_PN=MP3', headers['contentfeatures.dlna.org'])
        status, headers, body = http_request('HEAD', resource['uri'])
        self.assertEqual((status, body, headers['content-length']), (200, b'', str(len(data))))
        status, headers, body = http_request('GET', resource['uri'], {'Range': 'bytes=100-1099'})
        self.assertEqual((status, body), (206, data[100:1100]))
        self.assertEqual(headers['content-range'], 'bytes 100-1099/%d' % len(data))
        status, _, body = http_request('GET', resource['uri'], {'Range': 'bytes=%d-' % (len(data) - 10)})
        self.assertEqual((status, body), (206, data[-10:]))
        status, _, _ = http_request('GET', resource['uri'], {'Range': 'bytes=%d-' % (len(data) + 5)})
        self.assertEqual(status, 416)

    def test_songs_carry_what_the_modules_know(self):
        song = self.item('music', 'Album')
        self.assertEqual((song['artist'], song['album'], song['genre'], song['track']), ('Band', 'Album', 'Pop', 7))
        resource = song['resources'][0]
        self.assertEqual((resource['sample_freq'], resource['channels'], resource['bitrate']), (44100, 2, 16000))
        self.assertEqual(resource['duration'], 10)

    def test_album_art_from_a_cover_file_and_from_the_song(self):
        for folder, color in (('Album', (0xAA, 0x22, 0x00)), ('Tagged', (0x00, 0xAA, 0x22))):
            song = self.item('music', folder)
            self.assertTrue(song['album_art'], folder)
            self.assertTrue(song['album_art'].startswith('http://127.0.0.1:'), song['album_art'])
            status, headers, body = http_request('GET', song['album_art'])
            self.assertEqual(status, 200, folder)
            self.assertEqual(headers['content-type'], 'image/jpeg')
            width, height = jpeg_size(body)
            self.assertLessEqual(max(width, height), 160, folder)
        self.assertIsNone(self.item('music', 'Bare')['album_art'])
        _, _, _, raw = browse(self.cd, self.item('music', 'Album')['id'], children=False)
        self.assertIn('dlna:profileID="JPEG_TN"', raw)

    def test_photos_carry_thumbnails_after_the_original(self):
        photo = self.item('photos', 'Pictures')
        profiles = [r['profile'] for r in photo['resources']]
        self.assertEqual(profiles, ['JPEG_LRG', 'JPEG_TN', 'JPEG_SM'])
        self.assertEqual((photo['resources'][0]['width'], photo['resources'][0]['height']), (1600, 900))
        for resource, limit in ((photo['resources'][1], (160, 160)), (photo['resources'][2], (640, 480))):
            status, headers, body = http_request('GET', resource['uri'])
            self.assertEqual(status, 200)
            width, height = jpeg_size(body)
            self.assertLessEqual(width, limit[0])
            self.assertLessEqual(height, limit[1])
            self.assertGreaterEqual(max(width, height), min(limit) * 0.9)
            self.assertIn('DLNA.ORG_PN=' + resource['profile'], headers['contentfeatures.dlna.org'])

    def test_wave_files_are_also_lpcm_in_network_byte_order(self):
        song = self.item('music', 'Wave')
        by_profile = {r['profile']: r for r in song['resources']}
        lpcm = by_profile['LPCM']
        self.assertEqual(lpcm['mime'], 'audio/L16;rate=44100;channels=2')
        self.assertEqual(lpcm['size'], len(self.samples))
        swapped = bytearray(self.samples)
        swapped[0::2], swapped[1::2] = self.samples[1::2], self.samples[0::2]
        status, _, body = http_request('GET', lpcm['uri'])
        self.assertEqual((status, body), (200, bytes(swapped)))
        status, _, body = http_request('GET', lpcm['uri'], {'Range': 'bytes=101-300'})
        self.assertEqual((status, body), (206, bytes(swapped[101:301])))

    def test_protocol_info_lists_every_format_served(self):
        cm = service(self.device, CONNECTION_MANAGER)
        source = call(cm, 'GetProtocolInfo', [], [('Source', GObject.TYPE_STRING), ('Sink', GObject.TYPE_STRING)])[0]
        for expected in ('http-get:*:audio/mpeg:DLNA.ORG_PN=MP3', 'http-get:*:image/jpeg:DLNA.ORG_PN=JPEG_TN',
                         'http-get:*:audio/L16;rate=44100;channels=2:DLNA.ORG_PN=LPCM', 'http-get:*:audio/flac:*'):
            self.assertIn(expected, source)


class LiveTest(ServerTest):
    @classmethod
    def prepare(cls):
        m = cls.media
        write(m + '/Watched/first.mp3', mp3_bytes('First'))
        write(m + '/kept.mp3', mp3_bytes('Kept'))
        write(m + '/fleeting.mp3', mp3_bytes('Fleeting'))
        cls.programs.publish('music', m + '/Watched', m + '/kept.mp3', m + '/fleeting.mp3')

    def setUp(self):
        self.listener = EventListener(self.device, CONTENT_DIRECTORY)
        # The first event tells the current values; changes come after it.
        self.wait_for(lambda: self.listener.seen('SystemUpdateID'), 5, 'no initial event')
        self.listener.clear()

    def tearDown(self):
        self.listener.close()

    def changed(self, container):
        """True once an event named container among the updated ones."""
        return any(container in value.split(',')[0::2] for value in self.listener.seen('ContainerUpdateIDs'))

    def titles(self, object_id='music'):
        return [e['title'] for e in self.children(object_id)]

    def update_ids(self, container):
        """The update ids events gave container, in order."""
        ids = []
        for value in self.listener.seen('ContainerUpdateIDs'):
            parts = value.split(',')
            ids += [int(parts[i + 1]) for i in range(0, len(parts) - 1, 2) if parts[i] == container]
        return ids

    def test_publishing_from_the_tool_shows_within_two_seconds(self):
        write(self.media + '/late.mp3', mp3_bytes('Late'))
        start = time.monotonic()
        self.programs.publish('music', self.media + '/late.mp3')
        evented = self.wait_for(lambda: self.changed('music'), 2.0,
                                'no event within 2 s of publishing: %s' % self.listener.values)
        self.assertLess(evented - start, 2.0)
        self.assertEqual(self.titles()[-1], 'late')
        self.listener.clear()
        self.programs.unpublish('music', self.media + '/late.mp3')
        self.wait_for(lambda: self.changed('music'), 2.0, 'no event within 2 s of unpublishing')
        self.assertNotIn('late', self.titles())

    def test_files_added_to_and_removed_from_a_published_folder_show_within_five_seconds(self):
        folder = self.child('music', 'Watched')['id']
        self.assertEqual(self.titles(folder), ['first'])
        first_id = self.children(folder)[0]['id']
        write(self.media + '/Watched/second.mp3', mp3_bytes('Second'))
        self.wait_for(lambda: 'second' in self.titles(folder), 5.0, 'a new file did not show within 5 s')
        self.wait_for(lambda: self.update_ids(folder), 2.0, 'no event for the folder: %s' % self.listener.values)
        # The folder alone changed, and the others keep their ids.
        self.assertEqual(self.update_ids('music'), [])
        self.assertEqual(self.children(folder)[0]['id'], first_id)
        added = self.update_ids(folder)[-1]
        os.remove(self.media + '/Watched/first.mp3')
        self.wait_for(lambda: 'first' not in self.titles(folder), 5.0, 'a removed file still shows after 5 s')
        self.wait_for(lambda: self.update_ids(folder)[-1] > added, 2.0,
                      'the folder\'s update id did not move on: %s' % self.listener.values)

    def test_an_answer_sorted_by_title_follows_changes(self):
        folder = self.child('music', 'Watched')['id']

        def by_title():
            return [e['title'] for e in self.children(folder, sort='+dc:title')]
        self.assertEqual(by_title(), ['first'])
        write(self.media + '/Watched/another.mp3', mp3_bytes('Another'))
        self.wait_for(lambda: by_title() == ['another', 'first'], 5.0, 'a new file did not show in title order')
        os.remove(self.media + '/Watched/another.mp3')
        self.wait_for(lambda: by_title() == ['first'], 5.0, 'a removed file still shows in title order')

    def test_a_missing_file_is_left_out_until_it_comes_back(self):
        path = self.media + '/fleeting.mp3'
        data = open(path, 'rb').read()
        os.rename(path, path + '.away')
        self.wait_for(lambda: 'fleeting' not in self.titles(), 10.0, 'a missing file is still served')
        self.assertIn('kept', self.titles())
        os.rename(path + '.away', path)
        self.wait_for(lambda: 'fleeting' in self.titles(), 10.0, 'a file that came back is not served again')
        self.assertEqual(len(data), os.path.getsize(path))


def bound_sockets(pid):
    """The addresses LumoServer's own sockets are bound to, from ss."""
    result = subprocess.run(['ss', '-lntupH'], capture_output=True, text=True, check=True)
    return sorted({line.split()[4] for line in result.stdout.splitlines() if 'pid=%d,' % pid in line})


class CommandsTest(ServerTest):
    @classmethod
    def prepare(cls):
        write(cls.media + '/song.mp3', mp3_bytes('Song'))
        cls.programs.publish('music', cls.media + '/song.mp3')

    def test_pause_says_goodbye_and_resume_comes_back(self):
        udn = self.device.get_udn()
        self.assertEqual(self.programs.command('/pause').returncode, 0)
        self.wait_for(lambda: udn in self.cp.gone, 3.0, 'no byebye after /pause')
        self.assertTrue(self.programs.command('/status').stdout.startswith('paused'))
        # Paused, the server keeps no socket open.
        self.cp.spin(1.0)
        self.assertEqual(bound_sockets(self.programs.server.pid), [])
        self.assertIsNone(self.programs.server.poll())
        start = time.monotonic()
        self.assertEqual(self.programs.command('/resume').returncode, 0)
        device, _ = self.cp.wait_device(3.0)
        self.assertIsNotNone(device, 'not found again within 3 s of /resume')
        self.assertLess(time.monotonic() - start, 3.0)
        self.assertEqual(device.get_udn(), udn)
        type(self).device = device
        type(self).cd = service(device, CONTENT_DIRECTORY)
        self.assertEqual([e['title'] for e in self.children('music')], ['song'])

    def test_the_properties_window_is_a_process_of_its_own(self):
        # A display that goes ends the programs connected to it; the server never connects to
        # one. Its window runs in a child of its own, shown where the asking program's is.
        def run(env):
            return subprocess.run([os.path.join(self.programs.bin_dir, 'LumoServer')], env=env, capture_output=True,
                                  text=True, timeout=30)

        def windows():
            found = []
            for pid in filter(str.isdigit, os.listdir('/proc')):
                with contextlib.suppress(OSError):
                    with open('/proc/%s/cmdline' % pid, 'rb') as f:
                        if f.read().split(b'\0')[1:2] == [b'/window']:
                            found.append(int(pid))
            return found

        def maps(pid):
            with open('/proc/%d/maps' % pid) as f:
                return f.read()

        shown = dict(self.programs.env, QT_QPA_PLATFORM='offscreen')
        self.assertEqual(run(shown).returncode, 0)
        self.wait_for(lambda: windows(), 10, 'no window process')
        self.wait_for(lambda: 'libqoffscreen' in maps(windows()[0]), 10, 'the window shows nowhere')
        window = windows()[0]
        with open('/proc/%d/stat' % window) as f:
            self.assertEqual(int(f.read().rsplit(')', 1)[1].split()[1]), self.programs.server.pid)
        self.assertNotIn('libqoffscreen', maps(self.programs.server.pid))
        # Asked again, the open window comes forward; no second one.
        self.assertEqual(run(shown).returncode, 0)
        self.cp.spin(0.5)
        self.assertEqual(windows(), [window])
        # Nowhere to show it; and of what a request carries, only the display variables count.
        refused = run(self.programs.env)
        self.assertEqual(refused.returncode, 1)
        self.assertIn('no display', refused.stderr)
        with socket.socket(socket.AF_UNIX) as asking:
            asking.connect(os.path.join(self.programs.env['XDG_RUNTIME_DIR'], 'LumoServerRunMutex.socket'))
            asking.sendall(b'properties LD_PRELOAD=/nonexistent.so DISPLAYS=:5\n')
            self.assertEqual(asking.makefile().readline(), 'no display\n')
        os.kill(window, signal.SIGTERM)
        self.wait_for(lambda: not windows(), 10, 'the window did not close')
        self.assertIsNone(self.programs.server.poll())

    def test_a_second_start_hands_its_command_to_the_first(self):
        result = self.programs.command('/resume')
        self.assertEqual(result.returncode, 0, result.stderr)
        status = self.programs.command('/status')
        self.assertEqual(status.returncode, 0)
        self.assertRegex(status.stdout, r'^running lo=127\.0\.0\.1:%d' % self.programs.port)
        self.assertIsNone(self.programs.server.poll())

    def test_sockets_are_bound_to_the_chosen_interface_only(self):
        # A second interface in this namespace that the server is not told to use: one end of a
        # pair whose other end is here too, so nothing it carries leaves the namespace.
        subprocess.run(['ip', 'link', 'add', 'lumotest0', 'type', 'veth', 'peer', 'name', 'lumotest1'], check=True)
        try:
            subprocess.run(['ip', 'addr', 'add', '10.254.0.1/24', 'dev', 'lumotest0'], check=True)
            subprocess.run(['ip', 'link', 'set', 'lumotest0', 'up', 'multicast', 'on'], check=True)
            subprocess.run(['ip', 'link', 'set', 'lumotest1', 'up'], check=True)
            self.programs.command('/pause')
            self.cp.spin(1.0)
            self.programs.command('/resume')
            self.wait_for(lambda: bound_sockets(self.programs.server.pid), 5.0, 'no sockets after /resume')
            bound = bound_sockets(self.programs.server.pid)
            self.assertTrue(bound)
            for address in bound:
                self.assertTrue(address.startswith(('127.0.0.1:', '239.255.255.250:')), bound)
            self.assertIn('127.0.0.1:%d' % self.programs.port, bound)
        finally:
            subprocess.run(['ip', 'link', 'del', 'lumotest0'])


class SafetyTest(ServerTest):
    @classmethod
    def prepare(cls):
        m = cls.media
        cls.big = write(m + '/Big/long.mp3', mp3_bytes('Long', frames=50000))  # about 20 MB
        write(m + '/Unpublished/secret.mp3', mp3_bytes('Secret'))
        cls.programs.publish('music', m + '/Big')

    def song(self):
        return self.children(self.child('music', 'Big')['id'])[0]

    def still_serving(self):
        self.assertEqual([e['title'] for e in self.children('music')], ['Big'])

    def test_actions_that_would_change_anything_are_not_there(self):
        url = self.control_url()
        for action, body in (('CreateObject', '<ContainerID>music</ContainerID><Elements>x</Elements>'),
                             ('DestroyObject', '<ObjectID>music</ObjectID>'),
                             ('UpdateObject', '<ObjectID>music</ObjectID>'),
                             ('ImportResource', '<SourceURI>http://127.0.0.1/x</SourceURI><DestinationURI>x</DestinationURI>'),
                             ('CreateReference', '<ContainerID>music</ContainerID><ObjectID>music</ObjectID>'),
                             ('Search', '<ContainerID>0</ContainerID>')):
            status, _, text = soap(url, 'urn:schemas-upnp-org:service:ContentDirectory:1', action, body)
            self.assertEqual(status, 500, action)
            self.assertIn(b'<errorCode>401</errorCode>', text, action)
        self.still_serving()

    def test_malformed_requests_get_errors(self):
        url = self.control_url()
        service_type = 'urn:schemas-upnp-org:service:ContentDirectory:1'
        status, _, _ = http_request('POST', url, {'SOAPACTION': '"%s#Browse"' % service_type, 'Content-Type': 'text/xml'},
                                    b'<not xml' * 1000)
        self.assertGreaterEqual(status, 400)
        status, _, text = soap(url, service_type, 'Browse', '<ObjectID>0</ObjectID>')
        self.assertEqual(status, 500)
        self.assertIn(b'<errorCode>402</errorCode>', text)
        status, _, _ = http_request('POST', url, {'Content-Type': 'text/xml'}, b'<x/>')
        self.assertGreaterEqual(status, 400)
        huge = '<ObjectID>%s</ObjectID><BrowseFlag>BrowseMetadata</BrowseFlag><Filter>*</Filter>' \
               '<StartingIndex>0</StartingIndex><RequestedCount>0</RequestedCount><SortCriteria></SortCriteria>' % ('a/' * 50000)
        status, _, text = soap(url, service_type, 'Browse', huge)
        self.assertIn(b'<errorCode>701</errorCode>', text)
        objects, returned, total, _ = browse(self.cd, 'music', start=4294967295, count=4294967295)
        self.assertEqual((returned, total), (0, 1))
        self.still_serving()

    def test_only_published_items_can_be_fetched(self):
        song = self.song()
        base = song['resources'][0]['uri'].split('/i/')[0]

        def item_url(object_id, tail='/res/primary.mp3'):
            encoded = base64.urlsafe_b64encode(object_id.encode()).decode()
            return base + '/i/' + urllib.parse.quote(encoded, safe='') + tail

        secret = self.media + '/Unpublished/secret.mp3'
        for object_id in (secret, 'music/../../' + secret, '../' * 10 + 'etc/passwd', 'music', '0',
                          song['id'] + '/x', 'music/0000000000000000'):
            status, _, body = http_request('GET', item_url(object_id))
            self.assertEqual(status, 404, object_id)
            self.assertNotIn(b'Secret', body)
        for path in ('/LumoServer/' + secret, '/LumoServer/i', '/LumoServer/i/%2e%2e/res/x', '/../../etc/passwd',
                     '/LumoServer/i/AAAA/th/99', '/LumoServer/i/' + 'A' * 5000):
            status, _, body = http_request('GET', base.split('/LumoServer')[0] + path)
            self.assertGreaterEqual(status, 400, path)
            self.assertNotIn(b'root:', body)
        status, _, _ = http_request('POST', song['resources'][0]['uri'], {'Content-Type': 'audio/mpeg'}, b'x' * 1000)
        self.assertGreaterEqual(status, 400)
        self.assertEqual(os.path.getsize(self.big), song['resources'][0]['size'])

    def test_absurd_ranges(self):
        url = self.song()['resources'][0]['uri']
        size = os.path.getsize(self.big)
        for header, allowed in (('bytes=%d-' % (size * 1000), {416}), ('bytes=999999999999999999999-', {400, 416}),
                                ('bytes=5-1', {400, 416}), ('bytes=abc', {400, 416}),
                                ('pages=1-2', {400, 416, 200}), ('bytes=0-1,5-6', {200, 206, 400, 416})):
            status, _, _ = http_request('GET', url, {'Range': header}, timeout=20)
            self.assertIn(status, allowed, header)
        # An empty suffix is no byte at all; past the end is past the end, on HEAD too.
        for method, header in (('GET', 'bytes=-0'), ('HEAD', 'bytes=-0'), ('GET', 'bytes=%d-' % size),
                               ('GET', 'bytes=%d-%d' % (size, size + 10))):
            status, headers, body = http_request(method, url, {'Range': header}, timeout=20)
            self.assertEqual((status, headers.get('content-range')), (416, 'bytes */%d' % size), (method, header))
            self.assertEqual(body, b'')
        self.still_serving()

    def test_suffix_ranges_give_the_last_bytes(self):
        url = self.song()['resources'][0]['uri']
        data = open(self.big, 'rb').read()
        for suffix in (1, 500, len(data), len(data) + 1000):
            status, headers, body = http_request('GET', url, {'Range': 'bytes=-%d' % suffix}, timeout=20)
            first = max(0, len(data) - suffix)
            self.assertEqual((status, headers.get('content-range')),
                             (206, 'bytes %d-%d/%d' % (first, len(data) - 1, len(data))), suffix)
            self.assertEqual(body, data[first:], suffix)

    def test_slow_and_vanishing_clients_do_not_stop_the_others(self):
        url = urllib.parse.urlsplit(self.song()['resources'][0]['uri'])
        # A client that sends half a request and waits.
        slow = socket.create_connection((url.hostname, url.port))
        slow.sendall(b'GET ' + url.path.encode() + b' HTTP/1.1\r\nHost: x\r\n')
        # Clients that start a long transfer, read a little and go.
        for _ in range(20):
            gone = socket.create_connection((url.hostname, url.port))
            gone.sendall(b'GET ' + url.path.encode() + b' HTTP/1.1\r\nHost: x\r\n\r\n')
            gone.recv(1000)
            gone.close()
        # One that stops reading altogether.
        stalled = socket.create_connection((url.hostname, url.port))
        stalled.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
        stalled.sendall(b'GET ' + url.path.encode() + b' HTTP/1.1\r\nHost: x\r\n\r\n')
        start = time.monotonic()
        self.still_serving()
        status, _, body = http_request('GET', self.song()['resources'][0]['uri'], {'Range': 'bytes=0-99'})
        self.assertEqual((status, len(body)), (206, 100))
        self.assertLess(time.monotonic() - start, 5.0)
        slow.close()
        stalled.close()
        self.cp.spin(0.5)
        self.assertIsNone(self.programs.server.poll())
        self.still_serving()

    def test_connections_the_clients_closed_are_let_go(self):
        def descriptors():
            return len(os.listdir('/proc/%d/fd' % self.programs.server.pid))

        before = descriptors()
        for _ in range(60):
            status, _, _ = http_request('GET', self.device.get_location())
            self.assertEqual(status, 200)
        self.cp.spin(0.5)
        # A descriptor per connection would be 60.
        self.assertLess(descriptors(), before + 10)
        self.still_serving()

    def test_head_requests_are_let_go(self):
        def resident_kb():
            with open('/proc/%d/status' % self.programs.server.pid) as f:
                return int(re.search(r'VmRSS:\s+(\d+)', f.read()).group(1))

        with open('/proc/%d/maps' % self.programs.server.pid) as f:
            if 'libasan' in f.read():
                self.skipTest('the address sanitizer holds freed memory back')
        url = self.song()['resources'][0]['uri']
        for _ in range(50):
            http_request('HEAD', url)
        before = resident_kb()
        for _ in range(400):
            status, headers, body = http_request('HEAD', url)
            self.assertEqual((status, body), (200, b''))
        self.cp.spin(0.5)
        # Each HEAD kept for good held some 10 KB: 4 MB.
        self.assertLess(resident_kb() - before, 1500)
        status, headers, _ = http_request('HEAD', url)
        self.assertEqual(int(headers['content-length']), os.path.getsize(self.big))
        self.assertIn('DLNA.ORG_OP=01', headers.get('contentfeatures.dlna.org', ''))


class RestartTest(ServerTest):
    @classmethod
    def prepare(cls):
        m = cls.media
        write(m + '/Keep/one.mp3', mp3_bytes('One'))
        write(m + '/Keep/two.mp3', mp3_bytes('Two'))
        write(m + '/other.mp3', mp3_bytes('Other'))
        # Written long ago: the server keeps the details of files that have settled.
        for index, (title, artist) in enumerate((('Été', 'Zoë Ångström'), ('数字', '歌手'), ('Plain', ''))):
            write(m + '/Kept/%d.mp3' % index,
                  mp3_bytes(title, artist, 'Album ü', 'Jazz' if index else '', track=index, year=1999 * index))
        write(m + '/Kept/wave.wav', wav_bytes(rate=22050, channels=1, frames=2205)[0])
        make_jpeg(m + '/KeptPhotos/photo ü.jpg', 320, 200)
        for index in range(3):
            write(m + '/Unbrowsed/Deeper/%d.mp3' % index, mp3_bytes('Unbrowsed %d' % index))
        for folder in ('Kept', 'KeptPhotos', 'Unbrowsed/Deeper'):
            for name in os.listdir(os.path.join(m, folder)):
                os.utime(os.path.join(m, folder, name), (time.time() - 86400, time.time() - 86400))
        cls.programs.publish('music', m + '/Keep', m + '/other.mp3', m + '/Kept')
        cls.programs.publish('photos', m + '/KeptPhotos')
        cls.programs.publish('music', m + '/Unbrowsed')

    def restart(self):
        self.programs.stop()
        self.programs.start()
        type(self).device, _ = self.cp.wait_device(10)
        type(self).cd = service(self.device, CONTENT_DIRECTORY)

    def test_details_kept_from_the_run_before_answer_the_same(self):
        kept = [self.child('music', 'Kept')['id'], self.child('photos', 'KeptPhotos')['id']]
        before = [browse(self.cd, container)[3] for container in kept]
        self.restart()
        self.assertEqual(self.kept_rows('/Kept%/'), 5)
        self.assertEqual([browse(self.cd, container)[3] for container in kept], before)

    def test_items_are_written_as_rygel_writes_them(self):
        def everything():
            answers = []
            for top in ('music', 'photos'):
                for entry in self.children(top):
                    answers.append(browse(self.cd, entry['id'], children=False)[3])
                    if entry['container']:
                        answers.append(browse(self.cd, entry['id'])[3])
                        answers += [browse(self.cd, child['id'], children=False)[3]
                                    for child in self.children(entry['id'])]
            return answers
        ours = everything()
        self.assertTrue(any('<res ' in answer and 'albumArtURI' not in answer for answer in ours))
        self.programs.env['LUMO_SERVER_RYGEL_WRITES'] = '1'
        try:
            self.restart()
            rygels = everything()
        finally:
            del self.programs.env['LUMO_SERVER_RYGEL_WRITES']
            self.restart()
        self.assertEqual(len(ours), len(rygels))
        for mine, theirs in zip(ours, rygels):
            self.assertEqual(mine, theirs)

    def kept_rows(self, part):
        store = os.path.join(self.programs.env['XDG_CACHE_HOME'], 'Lumo Desktop', 'ServerFacts.db')
        with contextlib.closing(sqlite3.connect(store)) as db:
            return db.execute("SELECT COUNT(*) FROM facts WHERE url LIKE ?", ('%' + part + '%',)).fetchone()[0]

    def test_published_items_nobody_browsed_are_kept_for_the_next_start(self):
        self.wait_for(lambda: self.kept_rows('/Unbrowsed/Deeper/') == 3, 20, 'the store was not filled')

    def ids(self):
        keep = self.child('music', 'Keep')
        return [keep['id']] + [e['id'] for e in self.children(keep['id'])]

    def test_ids_survive_a_restart_and_publishing_changes(self):
        before = self.ids()
        self.programs.stop()
        self.programs.unpublish('music', self.media + '/other.mp3')
        write(self.media + '/new.mp3', mp3_bytes('New'))
        self.programs.publish('music', self.media + '/new.mp3')
        self.programs.start()
        type(self).device, _ = self.cp.wait_device(10)
        type(self).cd = service(self.device, CONTENT_DIRECTORY)
        self.assertEqual(self.ids(), before)
        # An id learnt before the restart resolves at once, without browsing down to it.
        objects, _, _, _ = browse(self.cd, before[1], children=False)
        self.assertEqual(objects[0]['title'], 'one')


def main():
    global BIN_DIR
    require_isolation()
    BIN_DIR = sys.argv.pop(1)
    if not os.path.exists(os.path.join(BIN_DIR, 'LumoServer')):
        print('SKIP: no LumoServer in ' + BIN_DIR)
        sys.exit(77)
    unittest.main(verbosity=2)


if __name__ == '__main__':
    main()
