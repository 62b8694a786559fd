#!/usr/bin/env bash
# Packs both builds of the editor and of riverra-presets with a note for the
# user into one archive, the programs stripped of their debug information;
# that information goes into a second archive beside it, each file named by
# its program's debug link, so that crash dumps of a release can be read:
#   build/release/RiverraConfig.zip
#   build/release/RiverraConfig-debug.zip
# Expects build/win32 and build/win64 to be built (scripts/test.sh does that).
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${RIVERRA_BUILD_ROOT:-$root/build}
stage=$build/release/RiverraConfig
debug_stage=$build/release/RiverraConfig-debug
archive=$build/release/RiverraConfig.zip
debug_archive=$build/release/RiverraConfig-debug.zip

# strip_into <objcopy> <program> <folder> <debug folder>: the program without
# its debug sections, linked to <name>.debug with the sections.
strip_into() {
  local objcopy=$1 program=$2 folder=$3 debug_folder=$4
  local name
  name=$(basename "$program")
  "$objcopy" --only-keep-debug "$program" "$debug_folder/$name.debug"
  (cd "$debug_folder" && "$objcopy" --strip-debug --strip-unneeded --add-gnu-debuglink="$name.debug" \
    "$program" "$folder/$name")
  local sections
  sections=$("${objcopy%objcopy}objdump" -h "$folder/$name")
  if grep -q '\.gnu_debuglink' <<<"$sections" && ! grep -q '\.debug_' <<<"$sections"; then
    return 0
  fi
  echo "$folder/$name: not stripped with a debug link" >&2
  return 1
}

rm -rf "$stage" "$archive" "$debug_stage" "$debug_archive"
mkdir -p "$stage/x86" "$stage/x64" "$debug_stage/x86" "$debug_stage/x64"
for program in app/RiverraConfig.exe tool/riverra-presets.exe; do
  strip_into i686-w64-mingw32-objcopy "$build/win32/$program" "$stage/x86" "$debug_stage/x86"
  strip_into x86_64-w64-mingw32-objcopy "$build/win64/$program" "$stage/x64" "$debug_stage/x64"
done
cp "$root/packaging/README.txt" "$stage/"
# Windows users open the note with Notepad: CRLF line ends.
sed -i 's/$/\r/' "$stage/README.txt"

"$root/scripts/check-imports.sh" "$stage"
(cd "$build/release" && zip -q -r -X "$archive" RiverraConfig && zip -q -r -X "$debug_archive" RiverraConfig-debug)
unzip -l "$archive"
echo "Release archive: $archive"
echo "Debug information: $debug_archive"
