#!/usr/bin/python3
"""riverra-presets probe against real peers from Debian, in network
namespaces of the test's own (as root; nothing leaves them):
  - GStreamer's RTSP server, offering RTP over UDP, multicast and TCP, and
    one that offers TCP only (461 for the others);
  - ffmpeg sending MPEG-TS over UDP (its default 1472-byte datagrams),
    multicast and TCP;
  - two interfaces: the stream arrives on the one the system would not join on;
  - GStreamer's RTSP server on this machine, whose multicast socket holds its
    port without sharing it: RTP over multicast is busy, with the holder named.

    probe_peers.py PROGRAM WORK_DIR          (re-runs itself in a namespace)

Exits 77 (skipped) when it cannot make namespaces.
"""
import json
import os
import subprocess
import sys
import time

import namespaces

GROUP = "239.192.7.7"
RTSP_SERVER = r'''
import sys, gi
gi.require_version("Gst", "1.0"); gi.require_version("GstRtspServer", "1.0"); gi.require_version("GstRtsp", "1.0")
from gi.repository import Gst, GstRtspServer, GstRtsp, GLib
Gst.init(None)
server = GstRtspServer.RTSPServer.new()
server.set_service("0")
factory = GstRtspServer.RTSPMediaFactory.new()
server.set_address(sys.argv[2])
factory.set_launch("( videotestsrc is-live=true pattern=black ! video/x-raw,width=64,height=48,framerate=10/1 "
                   "! x264enc tune=zerolatency speed-preset=ultrafast key-int-max=10 ! rtph264pay name=pay0 pt=96 )")
factory.set_shared(True)
if sys.argv[1] == "tcp-only":
    factory.set_protocols(GstRtsp.RTSPLowerTrans.TCP)
else:
    pool = GstRtspServer.RTSPAddressPool.new()
    pool.add_range("239.255.42.1", "239.255.42.9", 5000, 5010, 1)
    factory.set_address_pool(pool)
server.get_mount_points().add_factory("/live", factory)
server.attach(None)
print(server.get_bound_port(), flush=True)
GLib.MainLoop().run()
'''
failures = []


def check(condition, what, found):
    if not condition:
        failures.append(f"{what}: {json.dumps(found)}")


def sh(*command):
    subprocess.run(command, check=True, stdin=subprocess.DEVNULL)


def ffmpeg(target, *, namespace=None):
    """A tiny MPEG-TS sender: 64x48 MPEG-2 video and MPEG audio."""
    prefix = ["ip", "netns", "exec", namespace] if namespace else []
    return subprocess.Popen(prefix + [
        "ffmpeg", "-loglevel", "error", "-re", "-f", "lavfi", "-i", "testsrc=size=64x48:rate=10",
        "-f", "lavfi", "-i", "sine=frequency=440:sample_rate=32000",
        "-c:v", "mpeg2video", "-b:v", "100k", "-c:a", "mp2", "-b:a", "64k", "-f", "mpegts", target],
        stdin=subprocess.DEVNULL)


def probe(program, work_dir, presets, *extra, namespace=None):
    """Imports the presets and probes them: (exit code, findings)."""
    path = os.path.join(work_dir, "peers")
    with open(path + ".json", "w") as out:
        json.dump({"format": "riverra-presets", "version": 1, "presets": [
            {"name": name, "protocol": protocol, "endpoints": {protocol: {"host": host, "port": port,
                                                                           "stream_name": stream}}}
            for name, protocol, host, port, stream in presets]}, out)
    subprocess.run([program, "import", path + ".json", "-o", path + ".dat"], check=True, capture_output=True)
    prefix = ["ip", "netns", "exec", namespace] if namespace else []
    done = subprocess.run(prefix + [program, "probe", path + ".dat", "--json", *extra], capture_output=True,
                          timeout=60)
    print(done.stdout.decode(), done.stderr.decode())
    return done.returncode, json.loads(done.stdout)


def rtsp_server(kind, namespace):
    """In `namespace` at 10.2.0.2, or on this machine's 127.0.0.1."""
    prefix = ["ip", "netns", "exec", namespace] if namespace else []
    server = subprocess.Popen(prefix + ["/usr/bin/python3", "-c", RTSP_SERVER, kind,
                                        "10.2.0.2" if namespace else "127.0.0.1"], stdout=subprocess.PIPE)
    return server, int(server.stdout.readline())


def rtsp_transports(program, work_dir):
    """The servers sit in a namespace of their own behind a veth pair (their
    multicast ports would otherwise be this machine's own)."""
    server_ns = f"rv-rtsp-{os.getpid()}"
    sh("ip", "netns", "add", server_ns)
    sh("ip", "link", "add", "rv-studio", "type", "veth", "peer", "rv-server", "netns", server_ns)
    sh("ip", "address", "add", "10.2.0.1/24", "dev", "rv-studio")
    sh("ip", "link", "set", "rv-studio", "up")
    for command in [("address", "add", "10.2.0.2/24", "dev", "rv-server"), ("link", "set", "rv-server", "up"),
                    ("link", "set", "lo", "up"), ("route", "add", "224.0.0.0/4", "dev", "rv-server")]:
        sh("ip", "-n", server_ns, *command)
    servers = []
    try:
        servers = [rtsp_server("all", server_ns), rtsp_server("tcp-only", server_ns)]
        (_, full_port), (_, tcp_port) = servers
        status, found = probe(program, work_dir, [
            ("UDP", "rtsp-udp", "10.2.0.2", full_port, "live"),
            ("Multicast", "rtsp-multi", "10.2.0.2", full_port, "live"),
            ("TCP", "rtsp-tcp", "10.2.0.2", full_port, "live"),
            ("Firewalled", "rtsp-udp", "10.2.0.2", tcp_port, "live")], "--seconds", "3")
    finally:
        for server, _ in servers:
            server.kill()
        subprocess.run(["ip", "netns", "del", server_ns])
    check(status == 1, "only the TCP-only server's UDP preset fails", found)
    for entry, keyword in zip(found[:3], ["rtsp-udp", "rtsp-multi", "rtsp-tcp"]):
        check(entry["ok"] and entry["recommended_protocol"] == keyword and entry["media"] == ["video H264"],
              keyword + " delivers", entry)
        check(entry["transports"][keyword]["delivered"] and entry["payload_type"] == 96, keyword + " RTP", entry)
        check(0 <= entry.get("suggested_jitter_buffer_ms", -1) <= 4000, keyword + " jitter buffer suggested", entry)
    firewalled = found[3]
    check(not firewalled["ok"] and firewalled["recommended_protocol"] == "rtsp-tcp", "TCP recommended", firewalled)
    check("461" in firewalled["transports"]["rtsp-udp"]["detail"], "461 for UDP", firewalled)
    check("RTSP over TCP delivers: choose RTSP over TCP" in firewalled["detail"], "what to choose", firewalled)


def transport_streams(program, work_dir):
    udp_port, tcp_port, group_port = 46100, 46200, 47300  # the namespace is the test's own
    senders = [ffmpeg(f"udp://127.0.0.1:{udp_port}"), ffmpeg(f"tcp://127.0.0.1:{tcp_port}?listen=1"),
               ffmpeg(f"udp://{GROUP}:{group_port}?pkt_size=1316&ttl=1")]
    time.sleep(1)
    try:
        status, found = probe(program, work_dir, [
            ("UDP", "ts-udp", "", udp_port, ""), ("Pull", "ts-tcp-pull", "127.0.0.1", tcp_port, ""),
            ("Group", "ts-multi", GROUP, group_port, "")], "--seconds", "3")
    finally:
        for sender in senders:
            sender.kill()
    check(status == 0, "every TS source OK", found)
    for entry in found:
        check(entry["mpeg_ts"] and entry["media"] == ["video MPEG-2", "audio MPEG"], entry["name"] + " media", entry)
        check(entry["ts_packets"] > 0 and entry["bitrate_kbps"] > 50, entry["name"] + " counts", entry)
    check("datagrams of 1472 bytes are not whole 188-byte packets" in found[0]["detail"], "1472 noted", found[0])
    check("not whole" not in found[2]["detail"], "1316 is whole", found[2])


def two_interfaces(program, work_dir):
    """The probe's namespace has a main interface with the default route and
    a media interface; the sender sits behind the media one."""
    probe_ns, send_ns = f"rv-probe-{os.getpid()}", f"rv-send-{os.getpid()}"
    sender = None
    try:
        namespaces.two_interfaces(probe_ns, send_ns, "rv-cam", "10.1.0.9")
        sender = ffmpeg(f"udp://{GROUP}:47400?pkt_size=1316&ttl=4", namespace=send_ns)
        time.sleep(1)
        status, found = probe(program, work_dir, [("Media network", "ts-multi", GROUP, 47400, "")],
                              namespace=probe_ns)
    finally:
        if sender:
            sender.kill()
        subprocess.run(["ip", "netns", "del", probe_ns])
        subprocess.run(["ip", "netns", "del", send_ns])
    entry = found[0]
    check(entry["ok"] and entry["system_choice"] == "10.1.1.20", "system joins on the main interface", entry)
    check([(i["address"], i["name"]) for i in entry["interfaces"]] == [("10.1.0.5", "rv-media")], "arrives", entry)
    check("arrives on 10.1.0.5 (rv-media) only; the system joins on 10.1.1.20 (rv-main) by default: give rv-media "
          "the lower interface metric, or add a route for the group" in entry["detail"], "what to do", entry)
    check(entry["senders"] == ["10.1.0.9"], "sender", entry)


def multicast_held_here(program, work_dir):
    """The server's own multicast socket on this machine does not share its
    port: the probe names it, and RTP over UDP delivers instead."""
    server, port = rtsp_server("all", None)
    try:
        status, found = probe(program, work_dir, [("Here", "rtsp-multi", "127.0.0.1", port, "live")], "--seconds", "3")
    finally:
        server.kill()
    entry = found[0]
    check(entry["transports"]["rtsp-multi"]["detail"].startswith("busy: python3 (process ") and
          entry["transports"]["rtsp-multi"]["detail"].endswith(" and does not share it"), "the holder named", entry)
    check(entry["recommended_protocol"] == "rtsp-udp", "another transport recommended", entry)


def main():
    program, work_dir = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    namespaces.enter_own_namespace(__file__, [program, work_dir])
    sh("ip", "link", "set", "lo", "up")
    sh("ip", "route", "add", "224.0.0.0/4", "dev", "lo")
    os.makedirs(work_dir, exist_ok=True)
    rtsp_transports(program, work_dir)
    transport_streams(program, work_dir)
    two_interfaces(program, work_dir)
    multicast_held_here(program, work_dir)
    if failures:
        sys.exit("\n".join(failures))
    print("probe against real peers: OK")


main()
