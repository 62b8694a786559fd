#!/usr/bin/env bash
# Builds every configuration and runs every test:
#   native (g++, AddressSanitizer + UndefinedBehaviorSanitizer): the portable core;
#   win64 (MinGW-w64, static): everything, run under Wine on a virtual display;
#   win32 (MinGW-w64, static): the shipping build, compiled and checked, not run.
# Ends with one line 'N passed, M failed' and exits non-zero when anything failed.
set -uo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${RIVERRA_BUILD_ROOT:-$root/build}
jobs=$(nproc)
checks=$build/checks.txt

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
  rm -rf "$build/$1/test-reports"
  (cd "$build/$1" && ctest --timeout 300 --output-on-failure --output-junit "$build/$1/ctest-junit.xml" -j "$jobs") \
    >"$build/$1.ctest.log" 2>&1
  tail -n 5 "$build/$1.ctest.log"
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
record "release archive" "$root/scripts/release.sh" >"$build/release.log" 2>&1

echo "== native tests"
run_ctest native

echo "== Windows tests under Wine"
source "$root/scripts/wine-session.sh"
trap wine_session_stop EXIT
if wine_session_start tests virtual; then
  run_ctest win64
else
  echo "FAIL wine session" >>"$checks"
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
  --ctest "$build/win64/ctest-junit.xml" "$build/win64/test-reports" \
  --checks "$checks"
