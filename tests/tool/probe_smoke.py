#!/usr/bin/env python3
"""The probe run the way a user runs riverra-presets (under Wine for the
Windows build: its Winsock reaches the Unix loopback), against sources of
this script's own on 127.0.0.1:
  - an RTSP responder: OPTIONS, DESCRIBE with an SDP of H.264 video and AAC
    audio, SETUP of RTP interleaved in TCP, PLAY, then RTP frames on the
    connection; the program must find both media and the transport deliver;
  - MPEG-TS datagrams to the port of a ts-udp preset.

    probe_smoke.py [--emulator wine-run] PROGRAM WORK_DIR
"""
import argparse
import json
import os
import socket
import subprocess
import sys
import threading
import time

SDP = (b"v=0\r\no=- 1 1 IN IP4 127.0.0.1\r\ns=Stage\r\nt=0 0\r\n"
       b"m=video 0 RTP/AVP 96\r\na=rtpmap:96 H264/90000\r\n"
       b"m=audio 0 RTP/AVP 97\r\na=rtpmap:97 MPEG4-GENERIC/48000/2\r\n")


def send_rtp(connection):
    """Interleaved RTP on channel 0 every 20 ms until the probe closes the connection."""
    for sequence in range(1000):
        header = bytes([0x80, 96]) + sequence.to_bytes(2, "big") + (sequence * 1800).to_bytes(4, "big") + b"SSRC"
        try:
            connection.sendall(b"$\x00" + (len(header) + 100).to_bytes(2, "big") + header + bytes(100))
        except OSError:
            return
        time.sleep(0.02)


def answer(connection, requests):
    """Answers each request of the connection until the probe closes it."""
    received = b""
    while True:
        chunk = connection.recv(4096)
        if not chunk:
            return
        received += chunk
        while b"\r\n\r\n" in received:
            head, received = received.split(b"\r\n\r\n", 1)
            lines = head.decode("ascii").split("\r\n")
            requests.append(lines)
            cseq = next(line.split(":", 1)[1].strip() for line in lines if line.lower().startswith("cseq:"))
            if lines[0].startswith("DESCRIBE"):
                reply = (b"RTSP/1.0 200 OK\r\nCSeq: %s\r\nContent-Type: application/sdp\r\n"
                         b"Content-Length: %d\r\n\r\n" % (cseq.encode(), len(SDP))) + SDP
            elif lines[0].startswith("SETUP"):
                reply = (b"RTSP/1.0 200 OK\r\nCSeq: %s\r\nSession: 4711;timeout=60\r\n"
                         b"Transport: RTP/AVP/TCP;unicast;interleaved=0-1\r\n\r\n" % cseq.encode())
            elif lines[0].startswith("PLAY"):
                connection.sendall(b"RTSP/1.0 200 OK\r\nCSeq: %s\r\nSession: 4711\r\n\r\n" % cseq.encode())
                threading.Thread(target=send_rtp, args=(connection,), daemon=True).start()
                continue
            else:
                reply = b"RTSP/1.0 200 OK\r\nCSeq: %s\r\nPublic: OPTIONS, DESCRIBE\r\n\r\n" % cseq.encode()
            connection.sendall(reply)


def serve(listener, requests):
    connection, _ = listener.accept()
    with connection:
        try:
            answer(connection, requests)
        except OSError:
            pass


def send_ts(port):
    """Seven transport stream packets every 20 ms."""
    sender = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    for counter in range(1000):
        packets = b"".join(b"\x47\x01\x00" + bytes([0x10 | (counter * 7 + n) % 16]) + bytes(184) for n in range(7))
        sender.sendto(packets, ("127.0.0.1", port))
        time.sleep(0.02)


def run(command):
    done = subprocess.run(command, stdin=subprocess.DEVNULL, capture_output=True, timeout=60)
    return done.returncode, done.stdout.decode("utf-8", "replace"), done.stderr.decode("utf-8", "replace")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--emulator", default="")
    parser.add_argument("program")
    parser.add_argument("work_dir")
    arguments = parser.parse_args()
    os.makedirs(arguments.work_dir, exist_ok=True)
    prefix = [arguments.emulator] if arguments.emulator else []
    drive = "Z:" if arguments.emulator else ""  # the Unix root as Wine's programs see it
    program = arguments.program
    shipped = os.environ.get("RIVERRA_SHIPPED_PROGRAMS")
    if arguments.emulator and shipped:  # the test command's unpacked release archive
        program = os.path.join(shipped, os.path.basename(program))

    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.bind(("127.0.0.1", 0))
    listener.listen(1)
    port = listener.getsockname()[1]
    requests = []
    threading.Thread(target=serve, args=(listener, requests), daemon=True).start()

    probe_socket = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    probe_socket.bind(("127.0.0.1", 0))
    ts_port = probe_socket.getsockname()[1]
    probe_socket.close()
    threading.Thread(target=send_ts, args=(ts_port,), daemon=True).start()

    presets = {"format": "riverra-presets", "version": 1, "presets": [
        {"name": "Stage", "protocol": "rtsp-tcp",
         "endpoints": {"rtsp-tcp": {"host": "127.0.0.1", "port": port, "stream_name": "live/main"}}},
        {"name": "Feed", "protocol": "ts-udp", "endpoints": {"ts-udp": {"port": ts_port}}}]}
    json_path = os.path.join(arguments.work_dir, "probe-smoke.json")
    config_path = os.path.join(arguments.work_dir, "probe-smoke.dat")
    with open(json_path, "w") as out:
        json.dump(presets, out)
    status, _, errors = run(prefix + [program, "import", drive + json_path, "-o", drive + config_path])
    if status != 0:
        sys.exit(f"import ended with {status}: {errors}")

    status, printed, errors = run(prefix + [program, "probe", drive + config_path, "--json"])
    print(printed, errors, sep="\n")
    if status != 0:
        sys.exit(f"probe ended with {status}")
    found = json.loads(printed)
    url = f"rtsp://127.0.0.1:{port}/live/main"
    expected = {"index": 0, "name": "Stage", "protocol": "rtsp-tcp", "target": url, "ok": True,
                "rtsp_status": 200, "media": ["video H264", "audio MPEG4-GENERIC"], "recommended_protocol": "rtsp-tcp",
                "payload_type": 96, "lost": 0}
    mismatches = {key: found[0].get(key) for key, value in expected.items() if found[0].get(key) != value}
    if len(found) != 2 or mismatches or not found[0]["transports"]["rtsp-tcp"]["delivered"]:
        sys.exit(f"expected {expected}, found {mismatches}")
    feed = found[1]
    if not feed["ok"] or not feed["mpeg_ts"] or feed["ts_packets"] != 7 * feed["packets"] or feed["cc_errors"] != 0:
        sys.exit(f"the transport stream: {feed}")
    request_lines = [lines[0] for lines in requests]
    if request_lines[:4] != [f"{method} {url} RTSP/1.0" for method in ("OPTIONS", "DESCRIBE", "SETUP", "PLAY")]:
        sys.exit(f"requests: {requests}")
    if "Accept: application/sdp" not in requests[1] or not any(l.startswith("User-Agent: ") for l in requests[1]):
        sys.exit(f"DESCRIBE lacks Accept or User-Agent: {requests[1]}")
    print("probe of the RTSP responder and the transport stream: OK")


main()
