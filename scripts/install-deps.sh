#!/usr/bin/env bash
# Installs what the build and the tests need on a fresh Debian 12 machine.
# Quiet and quick when everything is already there.
set -euo pipefail

packages=(
  cmake ninja-build g++ clang libclang-rt-14-dev python3 python3-pefile
  googletest libgtest-dev libgmock-dev libbenchmark-dev libcli11-dev nlohmann-json3-dev
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix binutils-mingw-w64-x86-64 binutils-mingw-w64-i686
  wine wine64 wine32:i386 xvfb xdotool imagemagick x11-utils zip unzip
  python3-gi gir1.2-gst-rtsp-server-1.0 gstreamer1.0-plugins-good gstreamer1.0-plugins-bad
  gstreamer1.0-plugins-ugly ffmpeg iproute2
  libpugixml-dev zlib1g-dev libssl-dev dpkg-dev
)

# The shipping build is 32-bit: Wine's 32-bit loader comes from Debian's i386
# packages, beside the 64-bit one.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  [ "$(id -u)" -eq 0 ] || { echo "Adding the i386 architecture needs root: sudo $0" >&2; exit 1; }
  dpkg --add-architecture i386
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  if [ "$(id -u)" -ne 0 ]; then
    echo "Missing packages need root: sudo $0" >&2
    exit 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq "${missing[@]}" >/dev/null
fi

# The MinGW builds compile Debian's sources of pugixml and zlib, fetched once
# with a source list of their own (the system's sources stay as they are).
library_sources=${RIVERRA_LIBRARY_SOURCES:-$HOME/.cache/riverra/library-sources}
if [ ! -f "$library_sources/pugixml/src/pugixml.cpp" ] || [ ! -f "$library_sources/zlib/inflate.c" ]; then
  echo "Fetching Debian's sources of pugixml and zlib into $library_sources"
  apt_state=$library_sources/apt
  rm -rf "$apt_state" "$library_sources/pugixml" "$library_sources/zlib"
  mkdir -p "$apt_state/lists/partial" "$apt_state/sources.list.d" "$apt_state/download"
  # The machine's own Debian archive (not its security or updates suites,
  # whose sources may not be served), as a list of source packages.
  python3 - "$apt_state/sources.list.d/debian-sources.sources" <<'SOURCES'
import glob, re, sys
stanzas = []
for path in glob.glob("/etc/apt/sources.list.d/*.sources"):
    stanzas += open(path).read().split("\n\n")
for line in open("/etc/apt/sources.list").read().splitlines() if glob.glob("/etc/apt/sources.list") else []:
    parts = line.split()
    if len(parts) >= 4 and parts[0] == "deb" and not parts[1].startswith("["):
        stanzas.append(f"Types: deb\nURIs: {parts[1]}\nSuites: {parts[2]}\nComponents: {' '.join(parts[3:])}")
for stanza in stanzas:
    fields = dict(re.findall(r"^(\w[\w-]*): *(.*)$", stanza, re.M))
    suite = fields.get("Suites", "").split()[:1]
    if "debian" in fields.get("URIs", "") and "security" not in fields["URIs"] and suite:
        fields.update({"Types": "deb-src", "Suites": suite[0]})
        with open(sys.argv[1], "w") as out:
            out.write("".join(f"{key}: {value}\n" for key, value in fields.items()))
        break
SOURCES
  apt_options=(-o Dir::Etc::SourceList=/dev/null -o Dir::Etc::SourceParts="$apt_state/sources.list.d"
    -o Dir::State::Lists="$apt_state/lists" -o APT::Sandbox::User=root)
  apt-get "${apt_options[@]}" update -qq
  (cd "$apt_state/download" && apt-get "${apt_options[@]}" source --download-only -qq pugixml zlib >/dev/null)
  for library in pugixml zlib; do
    # apt checked the files against the signed index; the keys of the .dsc signatures are not installed.
    dpkg-source --no-check --no-copy -x "$apt_state"/download/"$library"_*.dsc "$library_sources/$library" >/dev/null
  done
  rm -rf "$apt_state"
fi
