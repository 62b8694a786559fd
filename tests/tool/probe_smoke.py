#!/usr/bin/env python3
"""The probe of an RTSP preset, run the way a user runs riverra-presets: a
responder of this script's own on 127.0.0.1 answers OPTIONS and DESCRIBE with
an SDP of H.264 video and AAC audio; the program (under Wine for the Windows
build: its Winsock reaches the Unix loopback) must find both.

    probe_smoke.py [--emulator wine-run] PROGRAM WORK_DIR
"""
import argparse
import json
import os
import socket
import subprocess
import sys
import threading

SDP = (b"v=0\r\no=- 1 1 IN IP4 127.0.0.1\r\ns=Stage\r\nt=0 0\r\n"
       b"m=video 0 RTP/AVP 96\r\na=rtpmap:96 H264/90000\r\n"
       b"m=audio 0 RTP/AVP 97\r\na=rtpmap:97 MPEG4-GENERIC/48000/2\r\n")


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
            else:
                reply = b"RTSP/1.0 200 OK\r\nCSeq: %s\r\nPublic: OPTIONS, DESCRIBE\r\n\r\n" % cseq.encode()
            connection.sendall(reply)


def serve(listener, requests):
    connection, _ = listener.accept()
    with connection:
        answer(connection, requests)


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

    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.bind(("127.0.0.1", 0))
    listener.listen(1)
    port = listener.getsockname()[1]
    requests = []
    threading.Thread(target=serve, args=(listener, requests), daemon=True).start()

    presets = {"format": "riverra-presets", "version": 1, "presets": [
        {"name": "Stage", "protocol": "rtsp-tcp",
         "endpoints": {"rtsp-tcp": {"host": "127.0.0.1", "port": port, "stream_name": "live/main"}}}]}
    json_path = os.path.join(arguments.work_dir, "probe-smoke.json")
    config_path = os.path.join(arguments.work_dir, "probe-smoke.dat")
    with open(json_path, "w") as out:
        json.dump(presets, out)
    status, _, errors = run(prefix + [arguments.program, "import", drive + json_path, "-o", drive + config_path])
    if status != 0:
        sys.exit(f"import ended with {status}: {errors}")

    status, printed, errors = run(prefix + [arguments.program, "probe", drive + config_path, "--json"])
    print(printed, errors, sep="\n")
    if status != 0:
        sys.exit(f"probe ended with {status}")
    found = json.loads(printed)
    expected = {"index": 0, "name": "Stage", "protocol": "rtsp-tcp", "target": f"127.0.0.1:{port}", "ok": True,
                "rtsp_status": 200, "media": ["video H264", "audio MPEG4-GENERIC"]}
    mismatches = {key: found[0].get(key) for key, value in expected.items() if found[0].get(key) != value}
    if len(found) != 1 or mismatches:
        sys.exit(f"expected {expected}, found {mismatches}")
    url = f"rtsp://127.0.0.1:{port}/live/main RTSP/1.0"
    if [lines[0] for lines in requests] != ["OPTIONS " + url, "DESCRIBE " + url]:
        sys.exit(f"requests: {requests}")
    if "Accept: application/sdp" not in requests[1] or not any(l.startswith("User-Agent: ") for l in requests[1]):
        sys.exit(f"DESCRIBE lacks Accept or User-Agent: {requests[1]}")
    print("probe of the RTSP responder: OK")


main()
