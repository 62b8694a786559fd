#!/usr/bin/python3
"""Runs a UI test program with sources to test on 127.0.0.1, on ports the
kernel picks, named to the program in its environment:
  RIVERRA_TEST_RTSP_PORT    GStreamer's RTSP server offering /live over TCP
                            only (461 for RTP over UDP)
  RIVERRA_TEST_RTSP_LOG     a file where that server notes "teardown" for
                            each TEARDOWN it receives
  RIVERRA_TEST_SILENT_PORT  a TCP server that accepts and never answers

    source_peers.py [--emulator=wine-run] PROGRAM [ARGUMENTS...]
"""
import os
import socket
import subprocess
import sys
import tempfile
import threading

RTSP_SERVER = r'''
import sys, gi
gi.require_version("Gst", "1.0"); gi.require_version("GstRtspServer", "1.0"); gi.require_version("GstRtsp", "1.0")
from gi.repository import Gst, GstRtspServer, GstRtsp, GLib
Gst.init(None)
server = GstRtspServer.RTSPServer.new()
server.set_address("127.0.0.1")
server.set_service("0")
factory = GstRtspServer.RTSPMediaFactory.new()
factory.set_launch("( videotestsrc is-live=true pattern=black ! video/x-raw,width=64,height=48,framerate=10/1 "
                   "! x264enc tune=zerolatency speed-preset=ultrafast key-int-max=10 ! rtph264pay name=pay0 pt=96 )")
factory.set_shared(True)
factory.set_protocols(GstRtsp.RTSPLowerTrans.TCP)
server.get_mount_points().add_factory("/live", factory)
def note_teardowns(server, client):
    def noted(client, context):
        with open(sys.argv[1], "a") as log:
            log.write("teardown\n")
    client.connect("teardown-request", noted)
server.connect("client-connected", note_teardowns)
server.attach(None)
print(server.get_bound_port(), flush=True)
GLib.MainLoop().run()
'''


def silent_server():
    """Keeps every connection open without a word until the test ends."""
    listener = socket.socket()
    listener.bind(("127.0.0.1", 0))
    listener.listen(8)
    held = []
    threading.Thread(target=lambda: [held.append(listener.accept()) for _ in iter(int, 1)], daemon=True).start()
    return listener


def main():
    arguments = sys.argv[1:]
    emulator = []
    if arguments and arguments[0].startswith("--emulator="):
        emulator = [part for part in arguments.pop(0).split("=", 1)[1].split(";") if part]
    log = tempfile.NamedTemporaryFile(prefix="rtsp-server-", suffix=".log", delete=False)
    log.close()
    rtsp = subprocess.Popen(["/usr/bin/python3", "-c", RTSP_SERVER, log.name], stdout=subprocess.PIPE,
                            stdin=subprocess.DEVNULL)
    silent = silent_server()
    try:
        environment = dict(os.environ, RIVERRA_TEST_RTSP_PORT=rtsp.stdout.readline().decode().strip(),
                           RIVERRA_TEST_RTSP_LOG=log.name, RIVERRA_TEST_SILENT_PORT=str(silent.getsockname()[1]))
        return subprocess.run(emulator + arguments, env=environment).returncode
    finally:
        rtsp.kill()
        rtsp.wait()
        silent.close()
        os.remove(log.name)


if __name__ == "__main__":
    sys.exit(main())
