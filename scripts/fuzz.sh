#!/usr/bin/env bash
# Builds the libFuzzer target on the configuration reader (clang with
# AddressSanitizer and UndefinedBehaviorSanitizer) in build/fuzz and runs it on
# the seed corpus in tests/fuzz/corpus. Arguments go to libFuzzer; without
# any it runs for 5 seconds. Longer: scripts/fuzz.sh -max_total_time=3600
# New inputs go to build/fuzz/corpus; a crash leaves crash-* in build/fuzz.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${RIVERRA_BUILD_ROOT:-$root/build}/fuzz

mkdir -p "$build"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DRIVERRA_SANITIZE=ON -DRIVERRA_WERROR=OFF -DRIVERRA_FUZZ=ON \
  >"$build.configure.log" 2>&1 || { cat "$build.configure.log" >&2; exit 1; }
cmake --build "$build" -j "$(nproc)" --target config_reader_fuzzer >"$build.build.log" 2>&1 ||
  { tail -n 40 "$build.build.log" >&2; exit 1; }

[ $# -gt 0 ] || set -- -max_total_time=5
mkdir -p "$build/corpus"
cd "$build"
# -close_fd_mask=2: the reader's past-the-end lines stay out of the log;
# libFuzzer and the sanitizers still report on their own descriptor.
exec "$build/tests/fuzz/config_reader_fuzzer" "$build/corpus" "$root/tests/fuzz/corpus" \
  -dict="$root/tests/fuzz/config.dict" -close_fd_mask=2 "$@"
