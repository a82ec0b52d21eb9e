#!/usr/bin/python3
"""LumoServer seen from a real UPnP control point (GUPnP 1.6 and GUPnP-AV) and plain HTTP, in a
network namespace whose only interface is the loopback. Run through netns.sh:

    tests/server/netns.sh /usr/bin/python3 tests/server/test_server.py BIN_DIR
"""
import os
import sys
import time
import unittest
import urllib.parse

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from serverlib import (CONTENT_DIRECTORY, CONNECTION_MANAGER, ActionError, ControlPoint, Programs,  # noqa: E402
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
        song = self.children(folder['id'])[0]
        self.assertEqual(song['title'], 'Ça plane pour moi')
        self.assertEqual(song['artist'], 'Plastic Bertrand')
        status, headers, body = http_request('GET', song['resources'][0]['uri'])
        self.assertEqual(status, 200)
        self.assertEqual(len(body), song['resources'][0]['size'])


class RestartTest(ServerTest):
    @classmethod
    def prepare(cls):
        m = cls.media
        write(m + '/Keep/one.mp3', mp3_bytes('One'))
        write(m + '/Keep/two.mp3', mp3_bytes('Two'))
        write(m + '/other.mp3', mp3_bytes('Other'))
        cls.programs.publish('music', m + '/Keep', m + '/other.mp3')

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
