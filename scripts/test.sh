#!/usr/bin/env bash
# Builds every configuration and runs every test:
#   native (g++, AddressSanitizer + UndefinedBehaviorSanitizer): the portable core;
#   win64 and win32 (MinGW-w64, static): everything, each run under Wine on a
#   virtual display; the end-to-end tests start the stripped programs of the
#   release archive. win32 is the shipping build; where the kernel runs no
#   32-bit code its tests are counted as skipped, with the reason.
# Ends with one line 'N passed, M failed' (', K skipped') and exits non-zero
# when anything failed.
set -uo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${RIVERRA_BUILD_ROOT:-$root/build}
jobs=$(nproc)
checks=$build/checks.txt
shipped=$build/release/unpacked

"$root/scripts/install-deps.sh" || exit 1
mkdir -p "$build"
: >"$checks"

record() {  # record <name> <command...>: a check of the test script itself
  local name=$1
  shift
  if "$@"; then
    echo "PASS $name" >>"$checks"
  else
    echo "FAIL $name" >>"$checks"
    echo "*** failed: $name" >&2
  fi
}

configure_and_build() {  # <config> <cmake options...>
  local config=$1
  shift
  cmake -S "$root" -B "$build/$config" -G Ninja "$@" >"$build/$config.configure.log" 2>&1 ||
    { cat "$build/$config.configure.log" >&2; return 1; }
  cmake --build "$build/$config" -j "$jobs" >"$build/$config.build.log" 2>&1 ||
    { tail -n 60 "$build/$config.build.log" >&2; return 1; }
}

run_ctest() {  # <config>
  rm -rf "$build/$1/test-reports" "$build/$1/ctest-junit.xml"
  (cd "$build/$1" && ctest --timeout 300 --output-on-failure --output-junit "$build/$1/ctest-junit.xml" -j "$jobs") \
    >"$build/$1.ctest.log" 2>&1
  tail -n 5 "$build/$1.ctest.log"
}

skip_ctest() {  # <config> <reason>: each test of the configuration counted as skipped
  local tests
  tests=$(cd "$build/$1" && ctest -N | sed -n 's/^ *Test *#[0-9]*: //p')
  echo "$1: $(grep -c . <<<"$tests") tests skipped: $2"
  for test in $tests; do
    printf 'SKIP %s: %s\t%s: %s\n' "$1" "$test" "$1" "$2" >>"$checks"
  done
}

# The release archive unpacked: the programs that the end-to-end tests start.
unpack_release() {
  rm -rf "$shipped"
  unzip -q "$build/release/RiverraConfig.zip" -d "$shipped"
}

# The editor that ships stays small: a string stream or std::filesystem in its
# code brings a large part of the C++ library along.
shipped_editor_small() {
  local size
  size=$(stat -c %s "$shipped/RiverraConfig/x86/RiverraConfig.exe") || return 1
  [ "$size" -le 800000 ] || { echo "the x86 editor is $size bytes, more than 800,000" >&2; return 1; }
}

echo "== building"
record "build native" configure_and_build native -DCMAKE_BUILD_TYPE=Debug -DRIVERRA_SANITIZE=ON
record "build win64" configure_and_build win64 -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake"
record "build win32" configure_and_build win32 -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-i686.cmake"

echo "== Windows programs import only system DLLs"
record "imports win64" "$root/scripts/check-imports.sh" "$build/win64"
record "imports win32" "$root/scripts/check-imports.sh" "$build/win32"

echo "== version resource and manifest, read back out of the programs"
record "version resource and manifest win64" "$root/scripts/check-pe-resources.py" "$build/win64"
record "version resource and manifest win32" "$root/scripts/check-pe-resources.py" "$build/win32"

echo "== release archive"
rm -rf "$shipped"
record "release archive" "$root/scripts/release.sh" >"$build/release.log" 2>&1 && record "release archive unpacked" unpack_release
record "x86 editor at most 800,000 bytes" shipped_editor_small

echo "== native tests"
run_ctest native

echo "== Windows tests under Wine, both builds"
source "$root/scripts/wine-session.sh"
windows_reports=()
trap wine_session_stop EXIT
if wine_session_start tests virtual; then
  for build_and_folder in win64:x64 win32:x86; do
    config=${build_and_folder%:*}
    if [ "$config" = win32 ] && reason=$(wine_32bit_refused); then
      skip_ctest win32 "$reason"
      continue
    fi
    echo "-- $config"
    RIVERRA_SHIPPED_PROGRAMS=$shipped/RiverraConfig/${build_and_folder#*:} run_ctest "$config"
    windows_reports+=(--ctest "$build/$config/ctest-junit.xml" "$build/$config/test-reports")
  done
else
  echo "FAIL wine session: no Windows test ran" >>"$checks"
fi
wine_session_stop
trap - EXIT

echo "== fuzzing the configuration reader, the import of presets JSON, the probe's and the search's readers, HTTP replies and RTSP connections (short runs; scripts/fuzz.sh runs longer)"
record "fuzz config reader" "$root/scripts/fuzz.sh" reader -runs=30000 -max_total_time=10 >"$build/fuzz.log" 2>&1
record "fuzz presets import" "$root/scripts/fuzz.sh" import -runs=30000 -max_total_time=10 \
  >"$build/fuzz-import.log" 2>&1
record "fuzz probe input" "$root/scripts/fuzz.sh" probe -runs=30000 -max_total_time=10 >"$build/fuzz-probe.log" 2>&1
record "fuzz camera replies" "$root/scripts/fuzz.sh" onvif -runs=30000 -max_total_time=10 >"$build/fuzz-onvif.log" 2>&1
record "fuzz SAP announcements" "$root/scripts/fuzz.sh" sap -runs=30000 -max_total_time=10 >"$build/fuzz-sap.log" 2>&1
record "fuzz HTTP replies" "$root/scripts/fuzz.sh" http -runs=30000 -max_total_time=10 >"$build/fuzz-http.log" 2>&1
record "fuzz RTSP connections" "$root/scripts/fuzz.sh" rtsp -runs=30000 -max_total_time=10 >"$build/fuzz-rtsp.log" 2>&1

echo "== summary"
python3 "$root/scripts/summarize-tests.py" \
  --ctest "$build/native/ctest-junit.xml" "$build/native/test-reports" \
  "${windows_reports[@]}" \
  --checks "$checks"
