"""Test support for LumoServer: media files made on the spot, a server with its own settings
and data folders, and a UPnP control point (GUPnP through GObject introspection) plus plain
HTTP. Everything runs inside a network namespace whose only interface is the loopback; the
checks refuse to start anywhere else."""
import gi
import http.client
import http.server
import re
import threading
import os
import shutil
import signal
import socket
import struct
import subprocess
import tempfile
import time
import urllib.parse

gi.require_version('GUPnP', '1.6')
gi.require_version('GUPnPAV', '1.0')
from gi.repository import GLib, GObject, GUPnP, GUPnPAV  # noqa: E402

MEDIA_SERVER = 'urn:schemas-upnp-org:device:MediaServer:1'
CONTENT_DIRECTORY = 'urn:schemas-upnp-org:service:ContentDirectory'
CONNECTION_MANAGER = 'urn:schemas-upnp-org:service:ConnectionManager'


def require_isolation():
    """Raises unless the only network interface is the loopback: nothing a test sends may
    leave this machine."""
    interfaces = sorted(name for _, name in socket.if_nameindex())
    if interfaces != ['lo']:
        raise SystemExit('refusing to run: interfaces %s are not only "lo"; run through netns.sh' % interfaces)


# ---- media ---------------------------------------------------------------------------------

def _syncsafe(n):
    return bytes([(n >> 21) & 0x7F, (n >> 14) & 0x7F, (n >> 7) & 0x7F, n & 0x7F])


def _text_frame(frame_id, text):
    body = b'\x01' + text.encode('utf-16')
    return frame_id.encode() + struct.pack('>I', len(body)) + b'\x00\x00' + body


def mp3_bytes(title='', artist='', album='', genre='', track=0, year=0, frames=200, cover=None):
    """An MP3 of silent MPEG-1 Layer III frames (128 kbps, 44.1 kHz) with an ID3v2.3 tag."""
    tag = b''
    for frame_id, value in (('TIT2', title), ('TPE1', artist), ('TALB', album), ('TCON', genre),
                            ('TRCK', str(track) if track else ''), ('TYER', str(year) if year else '')):
        if value:
            tag += _text_frame(frame_id, value)
    if cover:
        body = b'\x00image/jpeg\x00\x03\x00' + cover
        tag += b'APIC' + struct.pack('>I', len(body)) + b'\x00\x00' + body
    header = b'ID3\x03\x00\x00' + _syncsafe(len(tag))
    frame = b'\xFF\xFB\x90\x00' + bytes(413)
    return header + tag + frame * frames


def wav_bytes(rate=44100, channels=2, frames=44100):
    """A 16-bit PCM wave file whose samples count up, so byte order shows in what is served."""
    data = b''.join(struct.pack('<h', (i % 30000) - 15000) for i in range(frames * channels))
    fmt = struct.pack('<HHIIHH', 1, channels, rate, rate * channels * 2, channels * 2, 16)
    body = b'WAVE' + b'fmt ' + struct.pack('<I', len(fmt)) + fmt + b'data' + struct.pack('<I', len(data)) + data
    return b'RIFF' + struct.pack('<I', len(body)) + body, data


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, 'wb') as f:
        f.write(data)
    return path


def make_jpeg(path, width, height, color='#336699'):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    subprocess.run(['convert', '-size', '%dx%d' % (width, height), 'xc:' + color, path], check=True)
    return path


def jpeg_size(data):
    """Width and height from a JPEG's frame header; raises when the data is no JPEG."""
    if data[:2] != b'\xFF\xD8':
        raise ValueError('not a JPEG')
    at = 2
    while at + 4 <= len(data):
        if data[at] != 0xFF:
            raise ValueError('bad marker')
        marker = data[at + 1]
        length = struct.unpack('>H', data[at + 2:at + 4])[0]
        if marker in (0xC0, 0xC1, 0xC2):
            height, width = struct.unpack('>HH', data[at + 5:at + 9])
            return width, height
        at += 2 + length
    raise ValueError('no frame header')


# ---- the programs --------------------------------------------------------------------------

class Programs:
    """A private home for the publisher's tools and the server: settings, data, cache and the
    runtime folder of the single-instance lock, all under one temporary folder."""

    def __init__(self, bin_dir, port):
        self.bin_dir = bin_dir
        self.port = port
        self.root = tempfile.mkdtemp(prefix='lumo-server-test-')
        self.media = os.path.join(self.root, 'media')
        os.makedirs(self.media)
        self.env = dict(os.environ)
        for name in ('DISPLAY', 'WAYLAND_DISPLAY', 'QT_QPA_PLATFORM', 'DBUS_SESSION_BUS_ADDRESS'):
            self.env.pop(name, None)
        for name, folder in (('XDG_DATA_HOME', 'data'), ('XDG_CONFIG_HOME', 'config'), ('XDG_CACHE_HOME', 'cache'),
                             ('XDG_RUNTIME_DIR', 'runtime'), ('HOME', 'home')):
            path = os.path.join(self.root, folder)
            os.makedirs(path, mode=0o700, exist_ok=True)
            self.env[name] = path
        self.env['LUMO_ASSERT'] = 'recover'
        self.server = None
        self.write_settings(interfaces='lo')

    def write_settings(self, **values):
        path = os.path.join(self.env['XDG_CONFIG_HOME'], 'Lumo', 'Desktop.ini')
        os.makedirs(os.path.dirname(path), exist_ok=True)
        settings = {'Interfaces': 'lo', 'Port': str(self.port)}
        if os.path.exists(path):
            with open(path) as f:
                section = None
                for line in f:
                    line = line.strip()
                    if line.startswith('['):
                        section = line
                    elif section == '[Server]' and '=' in line:
                        key, value = line.split('=', 1)
                        settings[key] = value
        for key, value in values.items():
            settings[{'interfaces': 'Interfaces', 'name': 'ServerName', 'port': 'Port'}.get(key, key)] = value
        with open(path, 'w') as f:
            f.write('[Server]\n')
            for key, value in settings.items():
                f.write('%s=%s\n' % (key, value))

    def tool(self, *args, check=True):
        result = subprocess.run([os.path.join(self.bin_dir, 'lumo-publish')] + list(args), env=self.env,
                                capture_output=True, text=True, timeout=60)
        if check and result.returncode != 0:
            raise AssertionError('lumo-publish %s failed: %s' % (' '.join(args), result.stderr))
        return result.stdout

    def publish(self, media_class, *paths):
        return self.tool('publish', media_class, *paths)

    def unpublish(self, media_class, *paths):
        return self.tool('unpublish', media_class, *paths)

    def command(self, *args, timeout=30):
        return subprocess.run([os.path.join(self.bin_dir, 'LumoServer')] + list(args), env=self.env,
                              capture_output=True, text=True, timeout=timeout)

    def start(self):
        log = open(os.path.join(self.root, 'server.log'), 'ab')
        self.server = subprocess.Popen([os.path.join(self.bin_dir, 'LumoServer'), '/resume'], env=self.env,
                                       stdout=log, stderr=subprocess.STDOUT)
        deadline = time.monotonic() + 20
        while time.monotonic() < deadline:
            if self.server.poll() is not None:
                raise AssertionError('LumoServer exited with %d:\n%s' % (self.server.returncode, self.log()))
            status = self.command('/status').stdout.strip()
            if status.startswith('running'):
                return status
            time.sleep(0.1)
        raise AssertionError('LumoServer did not start serving:\n' + self.log())

    def stop(self):
        if self.server and self.server.poll() is None:
            self.server.send_signal(signal.SIGTERM)
            try:
                self.server.wait(10)
            except subprocess.TimeoutExpired:
                self.server.kill()
                self.server.wait()
        code = self.server.returncode if self.server else 0
        self.server = None
        return code

    def log(self):
        try:
            with open(os.path.join(self.root, 'server.log'), 'rb') as f:
                return f.read().decode('utf-8', 'replace')[-4000:]
        except OSError:
            return ''

    def cleanup(self):
        self.stop()
        shutil.rmtree(self.root, ignore_errors=True)


# ---- the control point ---------------------------------------------------------------------

def _value(gtype, value):
    v = GObject.Value(gtype)
    if gtype == GObject.TYPE_UINT:
        v.set_uint(value)
    else:
        v.set_value(value)
    return v


class ActionError(Exception):
    def __init__(self, code, message):
        super().__init__('%s %s' % (code, message))
        self.code = code


class SsdpListener:
    """Listens to SSDP multicast on the loopback and notes the UDN of every goodbye
    (NTS: ssdp:byebye), as a TV that watches the network does."""

    def __init__(self, gone):
        self.gone = gone
        self.sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM, socket.IPPROTO_UDP)
        self.sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self.sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEPORT, 1)
        self.sock.bind(('239.255.255.250', 1900))
        membership = socket.inet_aton('239.255.255.250') + socket.inet_aton('127.0.0.1')
        self.sock.setsockopt(socket.IPPROTO_IP, socket.IP_ADD_MEMBERSHIP, membership)
        self.sock.settimeout(0.2)
        self.running = True
        self.thread = threading.Thread(target=self.run, daemon=True)
        self.thread.start()

    def run(self):
        while self.running:
            try:
                data, _ = self.sock.recvfrom(8192)
            except OSError:
                continue
            headers = {}
            for line in data.decode('utf-8', 'replace').split('\r\n')[1:]:
                if ':' in line:
                    key, value = line.split(':', 1)
                    headers[key.strip().lower()] = value.strip()
            if headers.get('nts') == 'ssdp:byebye' and 'usn' in headers:
                self.gone.append(headers['usn'].split('::')[0])

    def close(self):
        self.running = False
        self.thread.join()
        self.sock.close()


class ControlPoint:
    def __init__(self):
        self.context = GUPnP.Context.new('lo', 0)
        self.devices = GUPnP.ControlPoint.new(self.context, MEDIA_SERVER)
        self.found = {}
        self.gone = []
        self.devices.connect('device-proxy-available', self._available)
        self.devices.connect('device-proxy-unavailable', self._unavailable)
        self.devices.set_active(True)
        self.ssdp = SsdpListener(self.gone)

    def _available(self, cp, proxy):
        self.found[proxy.get_udn()] = proxy

    def _unavailable(self, cp, proxy):
        self.found.pop(proxy.get_udn(), None)

    def spin(self, seconds, until=None):
        context = GLib.MainContext.default()
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            while context.pending():
                context.iteration(False)
            if until and until():
                return True
            time.sleep(0.01)
        return bool(until and until())

    def wait_device(self, seconds=3.0, name=None):
        def ready():
            return any(name is None or d.get_friendly_name() == name for d in self.found.values())
        start = time.monotonic()
        if not self.spin(seconds, ready):
            return None, time.monotonic() - start
        device = next(d for d in self.found.values() if name is None or d.get_friendly_name() == name)
        return device, time.monotonic() - start

    def close(self):
        self.ssdp.close()
        self.devices.set_active(False)


def service(device, service_type):
    for candidate in device.list_services():
        if candidate.get_service_type().startswith(service_type):
            return candidate
    raise AssertionError('no %s on %s' % (service_type, device.get_location()))


def call(proxy, name, inputs, outputs):
    names = [n for n, _, _ in inputs]
    values = [_value(t, v) for _, t, v in inputs]
    action = GUPnP.ServiceProxyAction.new_from_list(name, names, values)
    try:
        proxy.call_action(action, None)
        ok, out = action.get_result_list([n for n, _ in outputs], [t for _, t in outputs])
    except GLib.Error as error:
        raise ActionError(error.code, error.message)
    return out


def browse(proxy, object_id, children=True, start=0, count=0, sort='', filter='*'):
    """(objects, number returned, total matches); objects as dictionaries."""
    out = call(proxy, 'Browse', [
        ('ObjectID', GObject.TYPE_STRING, object_id),
        ('BrowseFlag', GObject.TYPE_STRING, 'BrowseDirectChildren' if children else 'BrowseMetadata'),
        ('Filter', GObject.TYPE_STRING, filter),
        ('StartingIndex', GObject.TYPE_UINT, start),
        ('RequestedCount', GObject.TYPE_UINT, count),
        ('SortCriteria', GObject.TYPE_STRING, sort)],
        [('Result', GObject.TYPE_STRING), ('NumberReturned', GObject.TYPE_UINT), ('TotalMatches', GObject.TYPE_UINT)])
    return parse_didl(out[0]), out[1], out[2], out[0]


def parse_didl(text):
    objects = []
    parser = GUPnPAV.DIDLLiteParser()

    def on_object(p, o):
        entry = {'id': o.get_id(), 'parent': o.get_parent_id(), 'title': o.get_title(),
                 'class': o.get_upnp_class(), 'container': isinstance(o, GUPnPAV.DIDLLiteContainer),
                 'album_art': o.get_album_art(), 'artist': o.get_artist(), 'album': o.get_album(),
                 'genre': o.get_genre(), 'track': o.get_track_number(), 'date': o.get_date(),
                 'resources': []}
        if entry['container']:
            entry['child_count'] = o.get_child_count()
        for r in o.get_resources():
            info = r.get_protocol_info()
            entry['resources'].append({
                'uri': r.get_uri(), 'protocol_info': info.to_string(), 'mime': info.get_mime_type(),
                'profile': info.get_dlna_profile(), 'size': r.get_size64(), 'duration': r.get_duration(),
                'bitrate': r.get_bitrate(), 'sample_freq': r.get_sample_freq(), 'channels': r.get_audio_channels(),
                'width': r.get_width(), 'height': r.get_height()})
        objects.append(entry)
    parser.connect('object-available', on_object)
    if '<item' in text or '<container' in text:
        parser.parse_didl(text)
    return objects


def soap(url, service_type, action, body, timeout=10, headers=None):
    """A raw SOAP request; (HTTP status, response headers, response text)."""
    envelope = ('<?xml version="1.0"?><s:Envelope xmlns:s="http://schemas.xmlsoap.org/soap/envelope/" '
                's:encodingStyle="http://schemas.xmlsoap.org/soap/encoding/"><s:Body>'
                '<u:%s xmlns:u="%s">%s</u:%s></s:Body></s:Envelope>' % (action, service_type, body, action))
    return http_request('POST', url, dict({'Content-Type': 'text/xml; charset="utf-8"',
                                           'SOAPACTION': '"%s#%s"' % (service_type, action)}, **(headers or {})),
                        envelope.encode() if isinstance(envelope, str) else envelope, timeout=timeout)


def http_request(method, url, headers=None, body=None, timeout=10):
    parts = urllib.parse.urlsplit(url)
    connection = http.client.HTTPConnection(parts.hostname, parts.port, timeout=timeout)
    path = parts.path + ('?' + parts.query if parts.query else '')
    connection.request(method, path, body=body, headers=headers or {})
    response = connection.getresponse()
    data = response.read()
    result = (response.status, dict((k.lower(), v) for k, v in response.getheaders()), data)
    connection.close()
    return result


def free_port():
    with socket.socket() as s:
        s.bind(('127.0.0.1', 0))
        return s.getsockname()[1]


class EventListener:
    """A subscriber to a service's events over plain HTTP (SUBSCRIBE, then NOTIFY requests to a
    little server of its own), recording each evented variable's values in arrival order."""

    def __init__(self, device, service_type):
        self.values = []
        self.lock = threading.Lock()
        listener = self

        class Handler(http.server.BaseHTTPRequestHandler):
            # Servers keep event connections open; an idle one must not hold the listener.
            protocol_version = 'HTTP/1.1'
            timeout = 5

            def do_NOTIFY(self):
                body = self.rfile.read(int(self.headers.get('Content-Length', 0)))
                found = re.findall(rb'<(?:\w+:)?(\w+)>([^<]*)</', body)
                with listener.lock:
                    listener.values.extend((name.decode(), value.decode()) for name, value in found
                                           if name not in (b'property', b'propertyset'))
                self.send_response(200)
                self.send_header('Content-Length', '0')
                self.end_headers()

            def log_message(self, *args):
                pass

        self.server = http.server.ThreadingHTTPServer(('127.0.0.1', 0), Handler)
        self.server.daemon_threads = True
        threading.Thread(target=self.server.serve_forever, daemon=True).start()
        status, headers, body = http_request('GET', device.get_location())
        pattern = re.escape(service_type) + r'.*?<eventSubURL>(.*?)</eventSubURL>'
        self.url = urllib.parse.urljoin(device.get_location(), re.search(pattern, body.decode(), re.S).group(1))
        status, headers, _ = http_request('SUBSCRIBE', self.url, {
            'CALLBACK': '<http://127.0.0.1:%d/>' % self.server.server_port, 'NT': 'upnp:event',
            'TIMEOUT': 'Second-300'})
        if status != 200:
            raise AssertionError('SUBSCRIBE answered %d' % status)
        self.sid = headers['sid']

    def seen(self, name):
        with self.lock:
            return [value for key, value in self.values if key == name]

    def clear(self):
        with self.lock:
            self.values.clear()

    def close(self):
        try:
            http_request('UNSUBSCRIBE', self.url, {'SID': self.sid})
        finally:
            self.server.shutdown()
            self.server.server_close()
