#!/usr/bin/python3
"""Runs a UI test program under Wine, with a Wine session of its own, inside
network namespaces of the test's own (as root; nothing leaves them), as
discover_peers.py runs the tool: the test camera of discover_peers.py sits
behind the editor's second interface, at 10.1.0.9. Wine's sockets are made
by its wineserver, so the whole session runs in the editor's namespace.

    camera_peers.py PROGRAM [ARGUMENTS...]

Exits 77 (skipped) when it cannot make namespaces.
"""
import os
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tool"))
import discover_peers  # noqa: E402
import namespaces  # noqa: E402

SESSION = r'''
source "$1/scripts/wine-session.sh"
trap wine_session_stop EXIT
wine_session_start find-sources virtual </dev/null >/dev/null 2>&1 || exit 1
export WINEDEBUG=-all
program=$2
shift 2
(cd "$(dirname "$program")" && wine ui_remote.exe unmanaged "$(basename "$program")" </dev/null >/dev/null)
wine "$program" "$@"
'''


def main():
    arguments = [os.path.abspath(sys.argv[1])] + sys.argv[2:]
    namespaces.enter_own_namespace(__file__, arguments)
    editor_ns, camera_ns = f"rv-editor-{os.getpid()}", f"rv-cam-{os.getpid()}"
    camera = None
    try:
        namespaces.two_interfaces(editor_ns, camera_ns, "rv-cam", "10.1.0.9")
        camera = subprocess.Popen(["ip", "netns", "exec", camera_ns, "/usr/bin/python3", "-c", discover_peers.CAMERA,
                                   discover_peers.USER, discover_peers.PASSWORD], stdout=subprocess.PIPE)
        camera.stdout.readline()
        root = os.path.join(HERE, "..", "..")
        environment = dict(os.environ, RIVERRA_TEST_CAMERA_USER=discover_peers.USER,
                           RIVERRA_TEST_CAMERA_PASSWORD=discover_peers.PASSWORD)
        return subprocess.run(["ip", "netns", "exec", editor_ns, "bash", "-c", SESSION, "session", root] + arguments,
                              env=environment).returncode
    finally:
        if camera:
            camera.kill()
            camera.wait()
        subprocess.run(["ip", "netns", "del", editor_ns])
        subprocess.run(["ip", "netns", "del", camera_ns])


if __name__ == "__main__":
    sys.exit(main())
