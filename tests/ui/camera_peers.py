#!/usr/bin/python3
"""Runs a UI test program under Wine, with a Wine session of its own, inside
network namespaces of the test's own (as root; nothing leaves them), as
discover_peers.py runs the tool: the test camera of discover_peers.py sits
behind the editor's second interface, at 10.1.0.9, and another one on a
subnet behind a router, at 10.3.0.9, which only its address finds. Wine's
sockets are made by its wineserver, so the whole session runs in the
editor's namespace.

    camera_peers.py PROGRAM [ARGUMENTS...]
    camera_peers.py --shell COMMAND [ARGUMENTS...]   (in the namespace, no Wine session)

The announcer of discover_peers.py announces its sessions from beside the
camera meanwhile.

Exits 77 (skipped) when it cannot make namespaces.
"""
import os
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tool"))
import discover_peers  # noqa: E402
import namespaces  # noqa: E402

SESSION = r'''
source "$1/scripts/wine-session.sh"
trap wine_session_stop EXIT
wine_session_start find-sources virtual </dev/null >/dev/null 2>&1 || exit 1
export WINEDEBUG=-all
root=$1
program=$2
shift 2
(cd "$(dirname "$program")" && "$root/scripts/wine-run" ui_remote.exe unmanaged "$(basename "$program")" </dev/null >/dev/null)
"$root/scripts/wine-run" "$program" "$@"
'''


def main():
    shell = sys.argv[1] == "--shell"
    arguments = sys.argv[2:] if shell else [os.path.abspath(sys.argv[1])] + sys.argv[2:]
    namespaces.enter_own_namespace(__file__, sys.argv[1:2] + arguments if shell else arguments)
    # Xvfb in the namespace finds the display numbers of the machine's own
    # free there, and removes its socket file when it ends: its socket
    # folder is one of the namespace's own.
    os.makedirs("/tmp/.X11-unix", exist_ok=True)
    namespaces.sh("mount", "-t", "tmpfs", "tmpfs", "/tmp/.X11-unix")
    editor_ns, camera_ns, router_ns, far_ns = (f"rv-{name}-{os.getpid()}" for name in ("editor", "cam", "router", "far"))
    peers = []
    jpeg = tempfile.NamedTemporaryFile(suffix=".jpg")
    try:
        namespaces.two_interfaces(editor_ns, camera_ns, "rv-cam", "10.1.0.9")
        namespaces.routed(editor_ns, router_ns, far_ns, "rv-far", "10.3.0.9", near_made=True)
        discover_peers.make_snapshot(jpeg.name)
        for ns, address in [(camera_ns, "10.1.0.9"), (far_ns, "10.3.0.9")]:
            peers.append(discover_peers.start_peer(ns, discover_peers.CAMERA, discover_peers.USER,
                                                   discover_peers.PASSWORD, address, jpeg.name))
        peers.append(subprocess.Popen(["ip", "netns", "exec", camera_ns, "/usr/bin/python3", "-c",
                                       discover_peers.ANNOUNCER]))
        root = os.path.join(HERE, "..", "..")
        environment = dict(os.environ, RIVERRA_TEST_CAMERA_USER=discover_peers.USER,
                           RIVERRA_TEST_CAMERA_PASSWORD=discover_peers.PASSWORD,
                           RIVERRA_TEST_CAMERA_ADDRESS="10.3.0.9",
                           RIVERRA_TEST_SNAPSHOT_COLOUR=discover_peers.SNAPSHOT_COLOUR)
        command = arguments if shell else ["bash", "-c", SESSION, "session", root] + arguments
        return subprocess.run(["ip", "netns", "exec", editor_ns] + command, env=environment).returncode
    finally:
        for peer in peers:
            peer.kill()
            peer.wait()
        jpeg.close()
        for ns in (editor_ns, camera_ns, router_ns, far_ns):
            subprocess.run(["ip", "netns", "del", ns])


if __name__ == "__main__":
    sys.exit(main())
