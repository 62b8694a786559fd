#!/usr/bin/env bash
# Photographs the editor under Wine on a virtual display: the main window on a
# preset of each protocol family, the save-changes prompt, the question before
# Save replaces another program's config.dat and the box about a damaged
# config.dat at start, on a screen at 96 DPI (100 %); the main window at 144
# and 192 DPI (150 % and 200 %), the LogPixels setting of the script's own
# Wine prefix; and the Test Source dialog at 96 and 144 DPI against
# GStreamer's RTSP server on 127.0.0.1 (the script runs itself through
# tests/ui/source_peers.py, which starts it), with a verdict and with a
# recommendation; and the Find Sources dialog with the test camera's profiles
# and snapshot, another camera's found by its address behind a router, and
# the test announcer's sessions, found in network namespaces of the
# script's own (it runs itself in them through tests/ui/camera_peers.py, with
# a Wine session there: the search probes every interface). Builds what it
# needs in build/win64 (or $RIVERRA_BUILD_ROOT/win64) and writes PNG images
# into build/screenshots/, whose path it prints at the end.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
if [ -z "${RIVERRA_TEST_RTSP_PORT:-}" ]; then
  exec /usr/bin/python3 "$root/tests/ui/source_peers.py" "${BASH_SOURCE[0]}" "$@"
fi
part=${1:-all}  # or find-sources, in the namespaces
build=${RIVERRA_BUILD_ROOT:-$root/build}
out=$build/screenshots
run=$out/run

cmake -S "$root" -B "$build/win64" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" >/dev/null
cmake --build "$build/win64" -j 2 --target RiverraConfig ui_remote >/dev/null

# The editor reads config.dat beside itself: it runs from a folder of its own.
[ "$part" = find-sources ] || rm -rf "$out"
mkdir -p "$run"
cp "$build/win64/app/RiverraConfig.exe" "$build/win64/tests/ui/ui_remote.exe" "$run/"

source "$root/scripts/wine-session.sh"
trap wine_session_stop EXIT
wine_session_start "screenshots${part/all/}" virtual

cd "$run"
remote() { "$root/scripts/wine-run" ui_remote.exe "$@" </dev/null | tr -d '\r'; }
photograph() {  # <name> <frame>: the virtual screen, cropped to the frame
  sleep 0.5  # the last repaint
  import -window root "$out/screen.png"
  convert "$out/screen.png" -crop "$2" +repage "$out/$1.png"
  rm "$out/screen.png"
}

open_editor() {  # sets $editor and $frame
  # Any command line lets the editor run without the production system's libraries.
  "$root/scripts/wine-run" RiverraConfig.exe screenshot </dev/null >/dev/null 2>&1 &
  editor=$!
  frame=$(remote wait)
}
wait_until_closed() {
  for _ in $(seq 100); do
    kill -0 "$editor" 2>/dev/null || return 0
    sleep 0.1
  done
  echo "The editor did not close." >&2
  kill "$editor"
  exit 1
}

if [ "$part" = find-sources ]; then
  remote unmanaged RiverraConfig.exe
  remote sample-config
  remote dpi 96
  open_editor
  remote tab 3
  remote click 1032  # Find Sources
  remote login "$RIVERRA_TEST_CAMERA_USER" "$RIVERRA_TEST_CAMERA_PASSWORD"
  remote found >/dev/null
  remote add-camera "$RIVERRA_TEST_CAMERA_ADDRESS"  # behind a router: found by its address
  photograph find-sources "$(remote found)"
  remote answer 8  # Close
  remote close
  wait_until_closed
  exit 0
fi

remote unmanaged RiverraConfig.exe
remote sample-config
remote dpi 96
open_editor

families=(off transport-stream multicast-host rtsp)
for tab in "${!families[@]}"; do
  remote tab "$tab"
  photograph "main-${families[$tab]}" "$frame"
done

remote click 1029  # Add Preset: a change to be asked about
remote close
remote prompt >/dev/null
photograph save-prompt "$frame"
remote answer 5  # Don't Save
wait_until_closed

open_editor
remote click 1029  # Add Preset
remote sample-config  # another program saves meanwhile
remote click 1027  # Save
remote prompt >/dev/null
photograph changed-by-another-program "$frame"
remote answer 7  # No: nothing is saved
remote close
remote prompt >/dev/null
remote answer 5
wait_until_closed

truncate -s 300 config.dat  # cut off inside the second preset
"$root/scripts/wine-run" RiverraConfig.exe screenshot </dev/null >/dev/null 2>&1 &
editor=$!
box=$(remote prompt)
photograph damaged-config "$box"
remote answer 1  # OK
remote wait >/dev/null
remote close
wait_until_closed
remote sample-config

for dpi in 144 192; do
  remote dpi "$dpi"
  open_editor
  remote tab 3
  photograph "main-rtsp-${dpi}dpi" "$frame"
  remote close
  wait_until_closed
done

remote test-config "$RIVERRA_TEST_RTSP_PORT"
for dpi in 96 144; do
  remote dpi "$dpi"
  open_editor
  remote click 1031  # Test Source on RTSP over TCP: a verdict
  photograph "source-test-verdict-${dpi}dpi" "$(remote tested)"
  remote answer 8  # Close
  remote tab 1
  remote click 1031  # on RTSP over UDP, which the server refuses: a recommendation
  photograph "source-test-recommendation-${dpi}dpi" "$(remote tested)"
  remote answer 8
  remote close
  wait_until_closed
done

wine_session_stop
/usr/bin/python3 "$root/tests/ui/camera_peers.py" --shell "$root/scripts/screenshot.sh" find-sources

rm -rf "$run"
echo "Screenshots: $out"
