# Sourced by the scripts that run Windows programs: one virtual display, one
# Wine prefix and one persistent wineserver per run, torn down on exit.
#   wine_session_start <prefix-name> [virtual]   # "virtual": always use Xvfb
#   wine_session_stop
#   wine_32bit_refused   # prints why 32-bit Windows programs cannot run here
#
# A prefix is for both builds: 64-bit, with the 32-bit side (WoW64) where
# Wine's 32-bit loader runs.
# Prefixes are kept for the next run (a new one takes about ten seconds) in
# $RIVERRA_WINE_PREFIXES, by default ~/.cache/riverra-wine/<checkout>/<name>:
# outside the source tree, whose only Windows programs are then our own, and
# apart for each checkout.

WINE_SESSION_XVFB_PID=""

wine_prefix_dir() {  # <prefix-name>
  local checkout
  checkout=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
  local key
  key=$(printf '%s' "$checkout" | cksum | cut -d' ' -f1)
  echo "${RIVERRA_WINE_PREFIXES:-${XDG_CACHE_HOME:-$HOME/.cache}/riverra-wine/$key}/$1"
}

# Succeeds, printing the reason, when the kernel refuses to execute Wine's
# 32-bit loader ("Exec format error": a kernel without IA-32 emulation). Any
# other trouble with the loader is no reason to skip: the tests then fail.
wine_32bit_refused() {
  python3 - /usr/lib/wine/wine <<'CHECK'
import errno, subprocess, sys
try:
    subprocess.run([sys.argv[1], "--version"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
except OSError as error:
    if error.errno == errno.ENOEXEC:
        print(f"this machine's kernel runs no 32-bit programs (execve of {sys.argv[1]}: {error.strerror})")
        sys.exit(0)
sys.exit(1)
CHECK
}

# What a prefix was made with: it is made anew when the Wine loaders that
# may run in it change (a prefix made before the 32-bit loader could run
# starts no 32-bit program afterwards).
wine_prefix_stamp() {
  local bits=64
  wine_32bit_refused >/dev/null || bits=32+64
  echo "$(/usr/lib/wine/wine64 --version) $bits"
}

wine_session_start() {
  local prefix mode=${2:-virtual} stamp
  prefix=$(wine_prefix_dir "$1")
  stamp=$(wine_prefix_stamp)
  if [ -d "$prefix" ] && [ "$(cat "$prefix/.riverra-stamp" 2>/dev/null)" != "$stamp" ]; then
    rm -rf "$prefix"
  fi
  mkdir -p "$prefix"
  export WINEPREFIX=$(cd "$prefix" && pwd)
  export WINEDEBUG=-all
  export WINEARCH=win64
  # The ANSI code page follows the locale: C.UTF-8 gives code page 1252.
  export LC_ALL=C.UTF-8 LANG=C.UTF-8
  # No Mono or Gecko installer dialogs when the prefix is created.
  export WINEDLLOVERRIDES="mscoree,mshtml="

  if [ "$mode" = virtual ] || [ -z "${DISPLAY:-}" ]; then
    local fifo
    fifo=$(mktemp -u)
    mkfifo "$fifo"
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fifo" </dev/null >/dev/null 2>&1 &
    WINE_SESSION_XVFB_PID=$!
    local display
    read -r -t 20 display <"$fifo" || { echo "Xvfb did not start" >&2; rm -f "$fifo"; return 1; }
    rm -f "$fifo"
    export DISPLAY=":$display"
  fi

  # Started with all three streams on /dev/null: the Wine services inherit them,
  # and a reader of our output would otherwise wait for those services to exit.
  wineserver -p </dev/null >/dev/null 2>&1
  timeout 120 "$(dirname "${BASH_SOURCE[0]}")/wine-run" wineboot -i </dev/null >/dev/null 2>&1 || { echo "wineboot failed" >&2; return 1; }
  echo "$stamp" >"$WINEPREFIX/.riverra-stamp"
}

wine_session_stop() {
  if [ -n "${WINEPREFIX:-}" ]; then
    wineserver -k </dev/null >/dev/null 2>&1 || true
    timeout 20 wineserver -w </dev/null >/dev/null 2>&1 || true
  fi
  if [ -n "$WINE_SESSION_XVFB_PID" ]; then
    kill "$WINE_SESSION_XVFB_PID" 2>/dev/null || true
    wait "$WINE_SESSION_XVFB_PID" 2>/dev/null || true
    WINE_SESSION_XVFB_PID=""
  fi
}
