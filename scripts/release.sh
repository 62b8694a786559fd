#!/usr/bin/env bash
# Packs both builds of the editor and of riverra-presets with a note for the
# user into one archive:
#   build/release/RiverraConfig.zip
# Expects build/win32 and build/win64 to be built (scripts/test.sh does that).
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${RIVERRA_BUILD_ROOT:-$root/build}
stage=$build/release/RiverraConfig
archive=$build/release/RiverraConfig.zip

rm -rf "$stage" "$archive"
mkdir -p "$stage/x86" "$stage/x64"
cp "$build/win32/app/RiverraConfig.exe" "$build/win32/tool/riverra-presets.exe" "$stage/x86/"
cp "$build/win64/app/RiverraConfig.exe" "$build/win64/tool/riverra-presets.exe" "$stage/x64/"
cp "$root/packaging/README.txt" "$stage/"
# Windows users open the note with Notepad: CRLF line ends.
sed -i 's/$/\r/' "$stage/README.txt"

"$root/scripts/check-imports.sh" "$stage"
(cd "$build/release" && zip -q -r -X "$archive" RiverraConfig)
unzip -l "$archive"
echo "Release archive: $archive"
