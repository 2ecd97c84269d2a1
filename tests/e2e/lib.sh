# Shared steps of the end-to-end tests: a private home, a virtual X screen, the real program on the
# built-in test camera, and xdotool for the keyboard and mouse.
set -euo pipefail

BINARY=${BINARY:?the program to test}
WORK=$(mktemp -d /tmp/vistrelcv-e2e-XXXXXX)
export HOME="$WORK/home" XDG_CONFIG_HOME="$WORK/home/.config" XDG_RUNTIME_DIR="$WORK/runtime"
export XDG_DATA_HOME="$WORK/home/.local/share" QT_QPA_PLATFORM=xcb
export VISTRELCV_CAMERAS=${VISTRELCV_CAMERAS:-testsrc}
mkdir -p "$HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
CONF="$XDG_CONFIG_HOME/Quenbor/VistrelCV.conf"
SHOTS=${E2E_SCREENSHOTS:-$WORK/screenshots}
mkdir -p "$SHOTS"
PIDS=()

cleanup() {
  local pid
  for pid in "${PIDS[@]}"; do
    kill -KILL "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true # reaped here, the shell reports no "Killed"
  done
  [ -n "${XVFB_PID:-}" ] && kill "$XVFB_PID" 2>/dev/null || true
  if [ "${E2E_KEEP:-}" != 1 ]; then rm -rf "$WORK"; fi
}
trap cleanup EXIT

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# wait_for TRIES COMMAND...: runs the command until it succeeds, at most TRIES times 0.1 s apart.
wait_for() {
  local tries=$1 i
  shift
  for ((i = 0; i < tries; i++)); do
    "$@" && return 0
    sleep 0.1
  done
  return 1
}
running() { kill -0 "${1:-$PID}" 2>/dev/null; }
ended() { ! running "$@"; }

# start_display: a virtual X screen of its own. Xvfb picks a free display number itself and
# says which once it accepts connections, so runs side by side never share a screen. It never
# resets: by default the server starts over whenever its last client leaves, and a program started
# right then (as the runs of one scenario are, one after another) cannot connect.
start_display() {
  Xvfb -displayfd 1 -screen 0 1280x800x24 -nolisten tcp -noreset >"$WORK/display" \
    2>"$WORK/xvfb.log" &
  XVFB_PID=$!
  # (A server of another run on the same number would answer too, and go when that run ends.)
  display_up() { running "$XVFB_PID" && [ -s "$WORK/display" ] && DISPLAY=":$(head -n1 "$WORK/display")" xdpyinfo >/dev/null 2>&1; }
  wait_for 100 display_up || fail "no virtual display: $(cat "$WORK/xvfb.log")"
  export DISPLAY=":$(head -n1 "$WORK/display")"
}

# settings LINE...: a settings file of these lines ("[UserDefault0]", "Key=value") before the
# program first starts. setting SECTION KEY: prints a stored value (empty when none).
settings() { mkdir -p "${CONF%/*}" && printf '%s\n' "$@" >"$CONF"; }
setting() { sed -n "/^\[$1\]/,/^\[/s/^$2=//p" "$CONF"; }

# launch [ARGS...]: starts the program; sets PID.
launch() {
  "$BINARY" "$@" >>"$WORK/program.log" 2>&1 &
  PID=$!
  PIDS+=("$PID")
}

# find_windows NAME_REGEX [PID]: the visible windows with that title (and of that program).
# --all: xdotool's default takes a window that meets any one condition, any window of the pid.
find_windows() {
  xdotool search --all --onlyvisible ${2:+--pid "$2"} --name "$1" 2>/dev/null || true
}
has_window() { [ -n "$(find_windows "$@")" ]; }

# wait_window NAME_REGEX [PID]: prints the id of the visible window with that name.
wait_window() {
  wait_for 250 has_window "$@" || return 1 # a loaded machine may take long to start the program
  sleep 0.5 # let it settle (a dialog may recreate its native window while showing)
  find_windows "$@" | tail -n1
}

main_window() {
  wait_window '^VistrelCV$' "$PID" || fail "the main window did not appear ($(running &&
    echo running || echo ended)): $(tail -n 5 "$WORK/program.log")"
  sleep 2.5 # the camera opens and the first frames arrive
}

# key WINDOW KEY...: focuses the window and types the keys on the real keyboard path.
key() {
  xdotool windowfocus --sync "$1" 2>/dev/null || true
  sleep 0.2
  xdotool key "${@:2}"
}

# stop_program [SIGNAL]: sends SIGNAL (none: the program was told to end already) and expects
# it to end within 4 s with status 0 (the sanitizer build fails on what it reports at exit).
stop_program() {
  local start=$(date +%s%N) status=0 ms
  [ "${1:-TERM}" = none ] || kill -"${1:-TERM}" "$PID" 2>/dev/null || true
  wait_for 70 ended || fail "the program still runs 4 s on"
  ms=$((($(date +%s%N) - start) / 1000000))
  wait "$PID" 2>/dev/null || status=$?
  [ "$ms" -le 4000 ] || fail "the program took $ms ms to end"
  [ "$status" = 0 ] || fail "exit status $status: $(tail -n 20 "$WORK/program.log")"
}

# check_movie FILE MIN_SECONDS: an MPEG-1 movie of 320 x 240 at 30 fps that decodes whole.
check_movie() {
  local info
  info=$(ffprobe -v error -select_streams v:0 -show_entries stream=codec_name,width,height,r_frame_rate \
    -show_entries format=duration -of csv=p=0 "$1" | xargs) || fail "ffprobe cannot read $1"
  [[ "$info" == "mpeg1video,320,240,30/1 "* ]] || fail "$1 is $info"
  ffmpeg -v error -i "$1" -f null - 2>"$WORK/decode.log" || fail "$1 does not decode"
  python3 -c "import sys; sys.exit(float('${info#* }') < $2)" ||
    fail "$1 lasts ${info#* } s, expected at least $2 s"
}
