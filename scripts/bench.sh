#!/usr/bin/env bash
# Benchmarks writing and reading the largest config.dat the format allows
# against plain file output and input of the same bytes (native Release build
# in build/bench, Google Benchmark), and prints the ratios. Arguments go to
# the benchmark program, e.g. --benchmark_repetitions=5.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${RIVERRA_BUILD_ROOT:-$root/build}/bench

mkdir -p "$build"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DRIVERRA_BENCH=ON \
  >"$build.configure.log" 2>&1 || { cat "$build.configure.log" >&2; exit 1; }
cmake --build "$build" -j "$(nproc)" --target config_file_bench >"$build.build.log" 2>&1 ||
  { tail -n 40 "$build.build.log" >&2; exit 1; }

"$build/tests/bench/config_file_bench" --benchmark_out="$build/results.json" --benchmark_out_format=json "$@"

python3 - "$build/results.json" <<'PY'
import json, sys
runs = json.load(open(sys.argv[1]))["benchmarks"]
# The mean when repetitions were asked for, else the single run.
times = {}
for run in runs:
    name = run.get("run_name", run["name"])
    if run.get("aggregate_name", "mean") == "mean":
        times[name] = run["real_time"]
for config, plain in (("BM_ConfigWrite", "BM_PlainWrite"), ("BM_ConfigRead", "BM_PlainRead")):
    print(f"{config} / {plain}: {times[config] / times[plain]:.2f}")
PY
