#!/usr/bin/python3
"""riverra-presets discover against a test camera and a SAP announcer of the
test's own, in network namespaces of the test's own (as root; nothing leaves
them). The discovering namespace has a main interface with the default route
and a media interface; camera and announcer sit behind the media one.

The camera answers WS-Discovery with a device service URL naming 127.0.0.1,
runs its clock 90 s ahead, wants a UsernameToken digest over its own clock on
the device service and HTTP Digest on the media service, and gives a stream
URL naming 127.0.0.1. Its replies carry an empty Server header, and it keeps
each connection open whatever the request says, except after telling its
time; its Digest nonce is that of the connection, offered beside a SHA-256
challenge, and called stale once. Of its four profiles, the main one has a
snapshot (a JPEG of one colour behind Digest, its URL naming 127.0.0.1),
one has none (a fault), one's is a web page and one's never comes; its port
80 serves a web page, not ONVIF.
The announcer announces a plain session, a compressed one, and one it
deletes. Beside them (for discover alone) a camera whose replies announce a
chunk size that wraps a careless reader's arithmetic, and a device that only
sends Hello and records any log-in it receives. The discovering namespace
has seven more interfaces before its media one: more group memberships than
one socket holds.
Then the camera sits on another subnet behind a router that passes no
multicast: only --address finds it, and --snapshots writes its picture.

    discover_peers.py PROGRAM WORK_DIR          (re-runs itself in a namespace)

Exits 77 (skipped) when it cannot make namespaces.
"""
import json
import os
import resource
import shutil
import subprocess
import sys

import namespaces

USER, PASSWORD = "operator", "s3cret&<pw>"
SNAPSHOT_COLOUR = "#2E6FB8"  # the test camera's picture, as the editor's test looks for it
failures = []

CAMERA = r'''
import base64, hashlib, http.server, os, re, socket, struct, sys, threading, time, datetime
USER, PASSWORD, ADDRESS, JPEG, SKEW = sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4], 90
STALE_SENT = []
ENVELOPE = ('<?xml version="1.0"?><s:Envelope xmlns:s="http://www.w3.org/2003/05/soap-envelope" '
            'xmlns:a="http://schemas.xmlsoap.org/ws/2004/08/addressing" '
            'xmlns:d="http://schemas.xmlsoap.org/ws/2005/04/discovery" xmlns:tds="http://www.onvif.org/ver10/device/wsdl" '
            'xmlns:trt="http://www.onvif.org/ver10/media/wsdl" xmlns:tt="http://www.onvif.org/ver10/schema" '
            'xmlns:ter="http://www.onvif.org/ver10/error">{header}<s:Body>{body}</s:Body></s:Envelope>')
PROFILES = [("main", "Main", 1920, 1080), ("sub", "Sub", 640, 360), ("web", "Web", 1280, 720), ("slow", "Slow", 1280, 720)]
NO_SNAPSHOT = ('<s:Fault><s:Code><s:Value>s:Receiver</s:Value><s:Subcode><s:Value>ter:ActionNotSupported</s:Value>'
               '</s:Subcode></s:Code><s:Reason><s:Text xml:lang="en">Optional Action Not Implemented</s:Text></s:Reason>'
               '</s:Fault>')
NOT_AUTHORIZED = ('<s:Fault><s:Code><s:Value>s:Sender</s:Value><s:Subcode><s:Value>ter:NotAuthorized</s:Value>'
                  '</s:Subcode></s:Code><s:Reason><s:Text xml:lang="en">Sender not authorized</s:Text></s:Reason></s:Fault>')

def camera_now():
    return time.time() + SKEW

def discovery():
    sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    sock.bind(("", 3702))
    sock.setsockopt(socket.IPPROTO_IP, socket.IP_ADD_MEMBERSHIP,
                    socket.inet_aton("239.255.255.250") + socket.inet_aton(ADDRESS))
    while True:
        data, sender = sock.recvfrom(65536)
        text = data.decode()
        found = re.search(r"MessageID>([^<]+)<", text)
        if "/discovery/Probe<" not in text or "NetworkVideoTransmitter" not in text or not found:
            continue
        header = ('<s:Header><a:RelatesTo>%s</a:RelatesTo><a:Action>'
                  'http://schemas.xmlsoap.org/ws/2005/04/discovery/ProbeMatches</a:Action></s:Header>' % found.group(1))
        body = ('<d:ProbeMatches><d:ProbeMatch><a:EndpointReference><a:Address>urn:uuid:cam-1</a:Address>'
                '</a:EndpointReference><d:Types>dn:NetworkVideoTransmitter</d:Types><d:Scopes>'
                'onvif://www.onvif.org/name/Stage%20Left onvif://www.onvif.org/location/Hall%20B '
                'onvif://www.onvif.org/hardware/TC-100</d:Scopes>'
                '<d:XAddrs>http://127.0.0.1:8080/onvif/device_service</d:XAddrs></d:ProbeMatch></d:ProbeMatches>')
        sock.sendto(ENVELOPE.format(header=header, body=body).encode(), sender)

def token_valid(text):
    values = {k: re.search(r"<wsse:%s(?: [^>]*)?>([^<]*)<" % k, text) for k in ("Username", "Password", "Nonce")}
    created = re.search(r"<wsu:Created>([^<]*)<", text)
    if not created or not all(values.values()) or values["Username"].group(1) != USER:
        return False
    stamp = datetime.datetime.strptime(created.group(1), "%Y-%m-%dT%H:%M:%SZ").replace(tzinfo=datetime.timezone.utc)
    if abs(stamp.timestamp() - camera_now()) > 5:
        return False
    nonce = base64.b64decode(values["Nonce"].group(1))
    digest = base64.b64encode(hashlib.sha1(nonce + created.group(1).encode() + PASSWORD.encode()).digest()).decode()
    return digest == values["Password"].group(1)

def digest_valid(header, method, path, nonce):
    fields = dict(re.findall(r'(\w+)="?([^",]*)"?', header or ""))
    if fields.get("username") != USER or fields.get("nonce") != nonce:
        return False
    md5 = lambda s: hashlib.md5(s.encode()).hexdigest()
    first, second = md5(f"{USER}:cam:{PASSWORD}"), md5(f"{method}:{path}")
    return fields.get("response") == md5(f"{first}:{nonce}:{fields['nc']}:{fields['cnonce']}:auth:{second}")

class Service(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *arguments):
        pass

    def version_string(self):
        return ""  # "Server: ", as many embedded web servers send it

    def challenges(self, stale=False):
        self.nonce = os.urandom(8).hex()  # this connection's own
        return [("WWW-Authenticate", f'Digest realm="cam", nonce="{self.nonce}", qop="auth"' + (", stale=true" if stale else "")),
                ("WWW-Authenticate", 'Digest realm="cam", nonce="x", qop="auth", algorithm=SHA-256')]

    def answer(self, status, body, extra=(), keep_open=True, content_type="application/soap+xml"):
        data = body if isinstance(body, bytes) else ENVELOPE.format(header="", body=body).encode()
        self.send_response(status)
        for name, value in extra:
            self.send_header(name, value)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        self.wfile.write(data)
        self.close_connection = not keep_open  # whatever the request said

    def do_POST(self):
        text = self.rfile.read(int(self.headers["Content-Length"])).decode()
        if self.path == "/onvif/device_service":
            if "GetSystemDateAndTime" in text:
                t = time.gmtime(camera_now())
                return self.answer(200, '<tds:GetSystemDateAndTimeResponse><tds:SystemDateAndTime><tt:UTCDateTime>'
                    f'<tt:Date><tt:Year>{t.tm_year}</tt:Year><tt:Month>{t.tm_mon}</tt:Month><tt:Day>{t.tm_mday}</tt:Day></tt:Date>'
                    f'<tt:Time><tt:Hour>{t.tm_hour}</tt:Hour><tt:Minute>{t.tm_min}</tt:Minute><tt:Second>{t.tm_sec}</tt:Second>'
                    '</tt:Time></tt:UTCDateTime></tds:SystemDateAndTime></tds:GetSystemDateAndTimeResponse>',
                    keep_open=False)
            if not token_valid(text):
                return self.answer(400, NOT_AUTHORIZED)
            return self.answer(200, '<tds:GetCapabilitiesResponse><tds:Capabilities><tt:Media>'
                '<tt:XAddr>http://127.0.0.1:8080/onvif/media</tt:XAddr></tt:Media></tds:Capabilities></tds:GetCapabilitiesResponse>')
        if not digest_valid(self.headers["Authorization"], "POST", self.path, getattr(self, "nonce", None)):
            return self.answer(401, NOT_AUTHORIZED, self.challenges())
        if not STALE_SENT:
            STALE_SENT.append(True)
            return self.answer(401, NOT_AUTHORIZED, self.challenges(stale=True))
        if "GetProfiles" in text:
            return self.answer(200, '<trt:GetProfilesResponse>' + ''.join(
                f'<trt:Profiles token="{token}"><tt:Name>{name}</tt:Name><tt:VideoEncoderConfiguration>'
                f'<tt:Encoding>H264</tt:Encoding><tt:Resolution><tt:Width>{w}</tt:Width><tt:Height>{h}</tt:Height>'
                '</tt:Resolution></tt:VideoEncoderConfiguration></trt:Profiles>'
                for token, name, w, h in PROFILES) + '</trt:GetProfilesResponse>')
        token = re.search(r"ProfileToken>([^<]+)<", text).group(1)
        if "GetSnapshotUri" in text:
            if token == "sub":  # a profile without a picture
                return self.answer(500, NO_SNAPSHOT)
            return self.answer(200, f'<trt:GetSnapshotUriResponse><trt:MediaUri><tt:Uri>http://127.0.0.1:8080/snapshot/'
                                    f'{token}</tt:Uri></trt:MediaUri></trt:GetSnapshotUriResponse>')
        uri = {"sub": "rtsp://admin:x@127.0.0.1/sub"}.get(token, "rtsp://127.0.0.1:8554/live/" + token)
        return self.answer(200, f'<trt:GetStreamUriResponse><trt:MediaUri><tt:Uri>{uri}</tt:Uri></trt:MediaUri></trt:GetStreamUriResponse>')

    def do_GET(self):
        """The snapshots: the main profile's JPEG behind Digest, the web
        profile's a page, the slow profile's never."""
        if not digest_valid(self.headers["Authorization"], "GET", self.path, getattr(self, "nonce", None)):
            return self.answer(401, b"", self.challenges(), content_type="text/plain")
        if self.path == "/snapshot/slow":
            time.sleep(10)
            return
        if self.path == "/snapshot/web":
            return self.answer(200, b"<html><body>Live view</body></html>", content_type="text/html; charset=utf-8")
        with open(JPEG, "rb") as picture:
            self.answer(200, picture.read(), content_type="image/jpeg")

class Page(http.server.BaseHTTPRequestHandler):
    """The camera's web page on port 80: HTTP, but no ONVIF."""
    def log_message(self, *arguments):
        pass

    def do_POST(self):
        data = b"<html><body>Not found</body></html>"
        self.send_response(404)
        self.send_header("Content-Type", "text/html")
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        self.wfile.write(data)

threading.Thread(target=discovery, daemon=True).start()
page = http.server.ThreadingHTTPServer((ADDRESS, 80), Page)
threading.Thread(target=page.serve_forever, daemon=True).start()
server = http.server.ThreadingHTTPServer((ADDRESS, 8080), Service)
print("ready", flush=True)
server.serve_forever()
'''

DEVICES = r'''
import http.server, re, socket, sys, threading, time
LOG = sys.argv[1]
SOAP = ('<?xml version="1.0"?><s:Envelope xmlns:s="http://www.w3.org/2003/05/soap-envelope" '
        'xmlns:a="http://schemas.xmlsoap.org/ws/2004/08/addressing" '
        'xmlns:d="http://schemas.xmlsoap.org/ws/2005/04/discovery">{header}<s:Body>{body}</s:Body></s:Envelope>')

def device(name, address):
    return (f'<a:EndpointReference><a:Address>urn:uuid:{address}</a:Address></a:EndpointReference>'
            f'<d:Types>dn:NetworkVideoTransmitter</d:Types><d:Scopes>onvif://www.onvif.org/name/{name}</d:Scopes>'
            f'<d:XAddrs>http://{address}:8080/onvif/device_service</d:XAddrs>')

def sender(address):
    sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    sock.bind((address, 0))
    sock.setsockopt(socket.IPPROTO_IP, socket.IP_MULTICAST_IF, socket.inet_aton(address))
    return sock

def answer_probes(address):
    listener = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("", 3702))
    listener.setsockopt(socket.IPPROTO_IP, socket.IP_ADD_MEMBERSHIP,
                        socket.inet_aton("239.255.255.250") + socket.inet_aton(address))
    out = sender(address)
    while True:
        data, source = listener.recvfrom(65536)
        found = re.search(rb"MessageID>([^<]+)<", data)
        if b"/discovery/Probe<" in data and found:
            header = '<s:Header><a:RelatesTo>%s</a:RelatesTo></s:Header>' % found.group(1).decode()
            body = '<d:ProbeMatches><d:ProbeMatch>' + device("Chunky", address) + '</d:ProbeMatch></d:ProbeMatches>'
            out.sendto(SOAP.format(header=header, body=body).encode(), source)

def announce(address):
    out = sender(address)
    for number in range(1000):
        header = '<s:Header><a:MessageID>urn:uuid:hello-%d</a:MessageID></s:Header>' % number
        out.sendto(SOAP.format(header=header, body='<d:Hello>' + device("Lobby", address) + '</d:Hello>').encode(),
                   ("239.255.255.250", 3702))
        time.sleep(0.3)

class Chunky(http.server.BaseHTTPRequestHandler):
    def log_message(self, *arguments):
        pass

    def do_POST(self):
        self.rfile.read(int(self.headers["Content-Length"]))
        self.send_response(200)
        self.send_header("Transfer-Encoding", "chunked")
        self.end_headers()
        self.wfile.write(b"5\r\nhello\r\nFFFFFFFFFFFFFFEC\r\n" + b"x" * 60000)

class Recorder(http.server.BaseHTTPRequestHandler):
    def log_message(self, *arguments):
        pass

    def do_POST(self):
        text = self.rfile.read(int(self.headers["Content-Length"])).decode()
        if "Security" in text or self.headers["Authorization"]:
            with open(LOG, "a") as log:
                log.write(self.path + "\n")
        self.send_response(400)
        self.send_header("Content-Length", "0")
        self.end_headers()

for target, argument in [(answer_probes, "10.1.0.10"), (announce, "10.1.0.11")]:
    threading.Thread(target=target, args=(argument,), daemon=True).start()
for address, handler in [("10.1.0.10", Chunky), ("10.1.0.11", Recorder)]:
    server = http.server.ThreadingHTTPServer((address, 8080), handler)
    threading.Thread(target=server.serve_forever, daemon=True).start()
print("ready", flush=True)
threading.Event().wait()
'''

SILENT = r'''
import socket, threading
listener = socket.socket()
listener.bind(("10.3.0.1", 80))
listener.listen()
print("ready", flush=True)
threading.Event().wait()  # connections wait in the backlog, unanswered
'''

ANNOUNCER = r'''
import socket, struct, time, zlib
sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
sock.setsockopt(socket.IPPROTO_IP, socket.IP_MULTICAST_IF, socket.inet_aton("10.1.0.9"))
def sdp(name, media):
    return (f"v=0\r\no=- 1 1 IN IP4 10.1.0.9\r\ns={name}\r\nc=IN IP4 239.192.9.{len(name)}/8\r\nt=0 0\r\n{media}").encode()
def packet(hash, payload, flags=0):
    body = zlib.compress(payload) if flags & 1 else b"application/sdp\0" + payload
    return struct.pack("!BBH4s", 0x20 | flags, 0, hash, socket.inet_aton("10.1.0.9")) + body
plain = packet(1, sdp("Encoder One", "m=video 5004 udp mpeg\r\n"))  # as a widely used player announces it
compressed = packet(2, sdp("Encoder Two", "m=video 5006 RTP/AVP 96\r\na=rtpmap:96 H264/90000\r\n"), 1)
leaving = packet(3, sdp("Leaving", "m=video 5008 udp 33\r\n"))
start = time.time()
while True:
    messages = [plain, compressed] + ([leaving] if time.time() - start < 1.5 else [packet(3, b"o=- 1 1 IN IP4 10.1.0.9\r\n", 4)])
    for message in messages:
        sock.sendto(message, ("239.255.255.255", 9875))
    time.sleep(0.5)  # a session expires 5 s after its last announcement: later than the search ends
'''


def check(condition, what, found):
    if not condition:
        failures.append(f"{what}: {json.dumps(found)}")


def memory_capped(program):
    """The environment and set-up that keep a run-away of `program` from
    taking the machine: AddressSanitizer's own limit where the program has
    it, an address-space limit otherwise."""
    with open(program, "rb") as binary:
        sanitized = b"__asan_init" in binary.read()
    if sanitized:
        return dict(os.environ, ASAN_OPTIONS="hard_rss_limit_mb=1024"), None
    return dict(os.environ), lambda: resource.setrlimit(resource.RLIMIT_AS, (4 << 30, 4 << 30))


def run_discover(program, namespace, *arguments):
    environment, limit = memory_capped(program)
    done = subprocess.run(["ip", "netns", "exec", namespace, program, "discover", "--json", "--user", USER,
                           "--password-stdin", *arguments], input=(PASSWORD + "\n").encode(), capture_output=True,
                          timeout=60, env=environment, preexec_fn=limit)
    out, err = done.stdout.decode(), done.stderr.decode()
    print(out, err)
    check(PASSWORD not in out + err, "the password is never printed", out)
    check(done.returncode == 0, "discover ends well", err)
    found, end = json.JSONDecoder().raw_decode(out) if out.startswith("[") else ([], 0)
    return found, out[end:], err


def discover(program, work_dir, namespace):
    config = os.path.join(work_dir, "discovered.dat")
    with open(config + ".json", "w") as out:
        json.dump({"format": "riverra-presets", "version": 1, "presets": [{"name": "Existing"}]}, out)
    subprocess.run([program, "import", config + ".json", "-o", config], check=True, capture_output=True)
    # Sources are numbered cameras first, by address: four profiles, the
    # chunked camera and the announcer; then the sessions.
    found, rest, err = run_discover(program, namespace, "--seconds", "3", "--add", "Stage=0", "--add", "Group=6",
                                    config)
    check("discovered.dat: 2 presets added, 3 presets written" in rest, "added", rest)
    check("searched lo (127.0.0.1), rv-more0 (10.9.0.1), " in err and "rv-media (10.1.0.5)" in err,
          "the interfaces searched are named", err)
    exported = subprocess.run([program, "export", config], check=True, capture_output=True).stdout
    # A log-in only for the cameras chosen.
    chosen, _, _ = run_discover(program, namespace, "--seconds", "2", "--camera", "10.1.0.200")
    return found, json.loads(exported)["presets"], chosen


def make_snapshot(path):
    """The JPEG that the test camera serves: one solid colour, made by ImageMagick."""
    subprocess.run(["convert", "-size", "320x180", "xc:" + SNAPSHOT_COLOUR, "-quality", "95", "jpeg:" + path],
                   check=True)


def start_peer(namespace, script, *arguments):
    """A peer's script in `namespace`, once it says it is ready."""
    peer = subprocess.Popen(["ip", "netns", "exec", namespace, "/usr/bin/python3", "-c", script, *arguments],
                            stdout=subprocess.PIPE)
    peer.stdout.readline()
    return peer


def across_router(program, work_dir, jpeg):
    """discover where the camera sits on another subnet, behind a router:
    multicast does not reach it, its address does. The router's own port 80
    takes connections and never answers."""
    near_ns, router_ns, far_ns = (f"rv-{name}-{os.getpid()}" for name in ("near", "router", "far"))
    snapshots = os.path.join(work_dir, "snapshots")
    shutil.rmtree(snapshots, ignore_errors=True)
    peers = []
    try:
        namespaces.routed(near_ns, router_ns, far_ns, "rv-cam", "10.3.0.9")
        peers.append(start_peer(far_ns, CAMERA, USER, PASSWORD, "10.3.0.9", jpeg))
        peers.append(start_peer(router_ns, SILENT))
        found, _, err = run_discover(program, near_ns, "--seconds", "2", "--address", "10.3.0.9", "--address",
                                     "10.3.0.9:80", "--address", "10.3.0.1", "--snapshots", snapshots)
        alone, _, alone_err = run_discover(program, near_ns, "--no-multicast", "--address",
                                           "http://10.3.0.9:8080/onvif/device_service")
    finally:
        for peer in peers:
            peer.kill()
        for ns in (near_ns, router_ns, far_ns):
            subprocess.run(["ip", "netns", "del", ns])

    by_name = {source["name"]: source for source in found}
    main_profile = by_name.get("Stage Left / Main", {})
    check(all(source["interface"] == "by address" for source in found) and len(found) == 6,
          "across the router only the addresses find anything", found)
    check(main_profile.get("preset") == {"protocol": "rtsp-tcp", "host": "10.3.0.9", "port": 8554,
                                         "stream_name": "live/main"} and
          "the camera named 127.0.0.1 in its stream and snapshot URLs; rewritten to 10.3.0.9" in
          main_profile.get("note", ""), "the camera at its address, logged in", main_profile)
    written = main_profile.get("snapshot")
    with open(jpeg, "rb") as served:
        check(written == os.path.join(snapshots, "10.3.0.9-main.jpg") and os.path.isfile(written) and
              open(written, "rb").read() == served.read(), "the snapshot is written as the camera served it",
              main_profile)
    for name, reason in [("Sub", "the camera has none (Optional Action Not Implemented)"),
                         ("Web", "it sent text/html, not a JPEG"), ("Slow", "no answer in 3 s")]:
        profile = by_name.get("Stage Left / " + name, {})
        check(profile.get("snapshot", "") is None and profile.get("snapshot_reason") == reason,
              "no snapshot: " + reason, profile)
    reasons = {source["address"] + " " + (source.get("reason") or "") for source in found if source["preset"] is None}
    check({"10.3.0.1 no answer on port 80 in 3 s", "10.3.0.9 answers HTTP but not ONVIF"} <= reasons,
          "an address that is no camera says why", sorted(reasons))
    check([source["name"] for source in alone] == ["Stage Left / " + name for name in ("Main", "Sub", "Web", "Slow")]
          and "searched only at 10.3.0.9:8080" in alone_err, "--no-multicast asks the address alone", alone)


def main():
    program, work_dir = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    namespaces.enter_own_namespace(__file__, [program, work_dir])
    os.makedirs(work_dir, exist_ok=True)
    jpeg = os.path.join(work_dir, "snapshot.jpg")
    make_snapshot(jpeg)
    logins = os.path.join(work_dir, "logins-received")
    if os.path.exists(logins):
        os.remove(logins)
    finder_ns, camera_ns = f"rv-find-{os.getpid()}", f"rv-cam-{os.getpid()}"
    peers = []
    try:
        namespaces.two_interfaces(finder_ns, camera_ns, "rv-cam", "10.1.0.9", more_interfaces=7)
        for address in ("10.1.0.10", "10.1.0.11"):
            namespaces.sh("ip", "-n", camera_ns, "address", "add", address + "/24", "dev", "rv-cam")
        peers.append(start_peer(camera_ns, CAMERA, USER, PASSWORD, "10.1.0.9", jpeg))
        peers.append(start_peer(camera_ns, DEVICES, logins))
        peers.append(subprocess.Popen(["ip", "netns", "exec", camera_ns, "/usr/bin/python3", "-c", ANNOUNCER]))
        found, presets, chosen = discover(program, work_dir, finder_ns)
    finally:
        for peer in peers:
            peer.kill()
        subprocess.run(["ip", "netns", "del", finder_ns])
        subprocess.run(["ip", "netns", "del", camera_ns])
    across_router(program, work_dir, jpeg)

    if len(found) < 8:
        sys.exit("\n".join(failures + [f"too few sources found: {json.dumps(found)}"]))
    main_profile, sub_profile = found[0], found[1]
    check(main_profile["kind"] == "onvif" and main_profile["name"] == "Stage Left / Main" and
          main_profile["interface"] == "rv-media (10.1.0.5)" and main_profile["location"] == "Hall B, TC-100",
          "the camera behind the second interface is found", main_profile)
    check(main_profile["stream"] == "H264 1920x1080" and main_profile["preset"] == {
        "protocol": "rtsp-tcp", "host": "10.1.0.9", "port": 8554, "stream_name": "live/main"},
        "the login succeeds despite the clock, through both kinds of digest", main_profile)
    check(main_profile.get("note") in ("its clock is %d s ahead of this machine's; the log-in used the camera's; the "
                                       "camera named 127.0.0.1 in its stream and snapshot URLs; rewritten to 10.1.0.9"
                                       % ahead for ahead in (89, 90, 91)), "the clock and the rewrite are reported",
          main_profile)
    check(sub_profile["preset"] is None and "user name" in sub_profile["reason"], "credentials in the URL", sub_profile)
    chunky, announcer = found[4], found[5]
    check(chunky["address"] == "10.1.0.10" and chunky["reason"] == "it could not be read: the camera's reply is malformed",
          "a reply whose chunk size cannot fit", chunky)
    check(announcer["address"] == "10.1.0.11" and announcer["reason"] == "announced itself; search again to log in",
          "a device that only announced itself", announcer)
    check(not os.path.exists(logins), "no log-in goes to a device that only announced itself",
          open(logins).read() if os.path.exists(logins) else "")
    sessions = found[6:]
    check([s["name"] for s in sessions] == ["Encoder One", "Encoder Two"], "the SAP list follows the deletion", sessions)
    check(sessions[0]["preset"] == {"protocol": "ts-multi", "host": "239.192.9.11", "port": 5004, "stream_name": ""}
          and sessions[0]["interface"] == "rv-media (10.1.0.5)", "a plain announcement", sessions[0])
    check(sessions[1]["stream"] == "video H264 over RTP/AVP" and sessions[1]["preset"] is None,
          "a compressed announcement of RTP", sessions[1])
    added = {p["name"]: (p["protocol"], p["endpoints"][p["protocol"]]) for p in presets}
    check(added.get("Stage") == ("rtsp-tcp", {"host": "10.1.0.9", "port": 8554, "stream_name": "live/main"}) and
          added.get("Group") == ("ts-multi", {"host": "239.192.9.11", "port": 5004, "stream_name": ""}) and
          "Existing" in added, "--add merges the chosen sources", presets)
    check(chosen and chosen[0]["reason"] == "it needs a user name and password (not one of the cameras chosen for "
          "the log-in)", "--camera keeps the log-in from the others", chosen[:1])
    if failures:
        sys.exit("\n".join(failures))
    print("discover against the test cameras and announcer: OK")


if __name__ == "__main__":
    main()
