#!/usr/bin/python3
"""The player's side of the window test (tests/app/ServingWindowTest.cpp).

    window_client.py song PATH          writes a short MP3 at PATH
    window_client.py play ALBUM PATH    finds the media server on the loopback, browses the
                                        published ALBUM and fetches its song, which must be
                                        the bytes of PATH; exits 0 when it is

Runs only where the loopback is the only interface (netns.sh)."""
import os
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from serverlib import (CONTENT_DIRECTORY, ActionError, ControlPoint, browse, http_request,  # noqa: E402
                       mp3_bytes, require_isolation, service, write)


def play(album, path):
    require_isolation()
    control_point = ControlPoint()
    try:
        device, _ = control_point.wait_device(20)
        if not device:
            return 'no media server answered on the loopback within 20 s'
        directory = service(device, CONTENT_DIRECTORY)
        # The server goes on the network with the published set read; give a late start a moment.
        deadline = time.monotonic() + 10
        while True:
            try:
                entries = browse(directory, 'music')[0]
            except ActionError as error:
                entries, last = [], str(error)
            else:
                last = 'Music holds %s' % [entry['title'] for entry in entries]
            found = [entry for entry in entries if entry['title'] == album]
            if found or time.monotonic() > deadline:
                break
            control_point.spin(0.2)
        if not found:
            return last
        songs = browse(directory, found[0]['id'])[0]
        if len(songs) != 1 or not songs[0]['resources']:
            return 'the album holds %s' % songs
        status, headers, body = http_request('GET', songs[0]['resources'][0]['uri'])
        with open(path, 'rb') as song:
            expected = song.read()
        if status != 200 or body != expected:
            return 'GET answered %d with %d bytes, not the %d of the song' % (status, len(body), len(expected))
        print('played "%s" from "%s" on "%s"' % (songs[0]['title'], album, device.get_friendly_name()))
        return None
    finally:
        control_point.close()


def main(arguments):
    if len(arguments) == 2 and arguments[0] == 'song':
        write(arguments[1], mp3_bytes('Song', 'Band', 'Album', 'Pop', track=1, frames=300))
        return 0
    if len(arguments) == 3 and arguments[0] == 'play':
        failure = play(arguments[1], arguments[2])
        if failure:
            print(failure, file=sys.stderr)
            return 1
        return 0
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == '__main__':
    sys.exit(main(sys.argv[1:]))
