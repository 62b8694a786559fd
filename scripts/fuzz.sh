#!/usr/bin/env bash
# Builds a libFuzzer target (clang with AddressSanitizer and
# UndefinedBehaviorSanitizer) in build/fuzz and runs it on its seed corpus:
#   scripts/fuzz.sh [reader|import|probe|onvif|sap|http|rtsp] [libFuzzer arguments...]
#   reader (the default): the configuration reader, seeds in tests/fuzz/corpus
#   import: the import of presets JSON, seeds in tests/fuzz/import-corpus
#   probe: the probe's readers of RTSP, SDP, RTP and MPEG-TS, seeds in tests/fuzz/probe-corpus
#   onvif, sap: the search's readers of camera replies and of SAP announcements,
#     seeds in tests/fuzz/discover-corpus
#   http, rtsp: the readers of HTTP replies and of RTSP connections as the
#     network delivers their bytes, seeds in tests/fuzz/http-corpus and tests/fuzz/rtsp-corpus
# Without libFuzzer arguments it runs for 5 seconds. Longer:
#   scripts/fuzz.sh import -max_total_time=3600
# New inputs go to build/fuzz/corpus (reader), build/fuzz/import-corpus, build/fuzz/probe-corpus,
# build/fuzz/discover-corpus, build/fuzz/http-corpus or build/fuzz/rtsp-corpus; a
# crash leaves crash-* in build/fuzz.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${RIVERRA_BUILD_ROOT:-$root/build}/fuzz

target=config_reader_fuzzer seeds=corpus dict=config.dict
case ${1:-} in
  reader) shift ;;
  import) shift; target=presets_import_fuzzer seeds=import-corpus dict=presets.dict ;;
  probe) shift; target=probe_input_fuzzer seeds=probe-corpus dict=probe.dict ;;
  onvif) shift; target=onvif_reply_fuzzer seeds=discover-corpus dict=discover.dict ;;
  sap) shift; target=sap_input_fuzzer seeds=discover-corpus dict=discover.dict ;;
  http) shift; target=http_reply_fuzzer seeds=http-corpus dict=http.dict ;;
  rtsp) shift; target=rtsp_stream_fuzzer seeds=rtsp-corpus dict=probe.dict ;;
esac

mkdir -p "$build"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DRIVERRA_SANITIZE=ON -DRIVERRA_WERROR=OFF -DRIVERRA_FUZZ=ON \
  >"$build.configure.log" 2>&1 || { cat "$build.configure.log" >&2; exit 1; }
cmake --build "$build" -j "$(nproc)" --target "$target" >"$build.build.log" 2>&1 ||
  { tail -n 40 "$build.build.log" >&2; exit 1; }

[ $# -gt 0 ] || set -- -max_total_time=5
mkdir -p "$build/$seeds"
cd "$build"
# -close_fd_mask=2: the reader's past-the-end lines stay out of the log;
# libFuzzer and the sanitizers still report on their own descriptor.
exec "$build/tests/fuzz/$target" "$build/$seeds" "$root/tests/fuzz/$seeds" \
  -dict="$root/tests/fuzz/$dict" -close_fd_mask=2 "$@"
