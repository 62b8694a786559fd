#!/usr/bin/env bash
# Builds the editor and opens it under Wine, with the project's stand-ins for
# the production system's libraries and renderer. Uses the user's display when
# there is one (the script then waits until the editor is closed), otherwise a
# virtual display, where it takes a screenshot and closes the editor again.
# Arguments are passed to the editor (e.g. "live").
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${RIVERRA_BUILD_ROOT:-$root/build}
title="Riverra Plugin v1.0 Configuration Editor"

"$root/scripts/install-deps.sh"

echo "== building the editor"
if [ ! -f "$build/win64/build.ninja" ]; then
  cmake -S "$root" -B "$build/win64" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" >/dev/null
fi
cmake --build "$build/win64" -j "$(nproc)" --target RiverraConfig host_network_module host_versions host_renderer >/dev/null

# The editor's folder: the editor, the renderer beside it, and its config.dat.
editor_dir=$build/editor
mkdir -p "$editor_dir"
cp "$build/win64/app/RiverraConfig.exe" "$build/win64/host/Renderer.exe" "$editor_dir/"
# The stand-ins append to their log; each opening starts a fresh one.
rm -f "$editor_dir/host-calls.log"

source "$root/scripts/wine-session.sh"
mode=user
[ -n "${DISPLAY:-}" ] || mode=virtual
trap wine_session_stop EXIT
wine_session_start editor "$mode"

# The production system's libraries go where the editor looks for them.
host_dir=$WINEPREFIX/drive_c/Orvanta/Bin32
mkdir -p "$host_dir"
cp "$build/win64/host/Module.NetworkVideo.x86.dll" "$build/win64/host/FrameWork.Versions.x86.dll" "$host_dir/"
export RIVERRA_HOST_LOG
RIVERRA_HOST_LOG=$("$root/scripts/wine-run" winepath -w "$editor_dir/host-calls.log" 2>/dev/null)

echo "== opening the editor on display $DISPLAY"
(cd "$editor_dir" && exec "$root/scripts/wine-run" RiverraConfig.exe "$@" >"$editor_dir/editor-output.txt" 2>&1) &
editor_pid=$!

if ! timeout 60 xdotool search --sync --onlyvisible --name "$title" >/dev/null 2>&1; then
  echo "The editor's window did not appear; its output:" >&2
  cat "$editor_dir/editor-output.txt" >&2
  exit 1
fi
sleep 1
import -window root "$editor_dir/editor.png"
echo "Screenshot of the editor: $editor_dir/editor.png"
echo "Presets are kept in $editor_dir/config.dat; the stand-in host's calls are logged in $editor_dir/host-calls.log"

if [ "$mode" = virtual ]; then
  echo "No display: the editor ran on a virtual display and is closed again."
  wineserver -k </dev/null >/dev/null 2>&1 || true
else
  echo "Close the editor's window to end."
fi
wait "$editor_pid" || true
