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

# start_display: a virtual X screen of its own. Xvfb picks a free display number itself and
# says which once it accepts connections, so runs side by side never share a screen.
start_display() {
  : >"$WORK/display" # read below before Xvfb may have opened it
  Xvfb -displayfd 1 -screen 0 1280x800x24 -nolisten tcp >"$WORK/display" 2>"$WORK/xvfb.log" &
  XVFB_PID=$!
  local i d
  for i in $(seq 100); do
    d=$(head -n1 "$WORK/display")
    if [ -n "$d" ]; then
      export DISPLAY=":$d"
      xdpyinfo >/dev/null 2>&1 && return 0
    fi
    kill -0 "$XVFB_PID" 2>/dev/null || break
    sleep 0.1
  done
  fail "no virtual display: $(cat "$WORK/xvfb.log")"
}

# set_setting SECTION KEY VALUE: writes a value before the program starts.
set_setting() {
  mkdir -p "$(dirname "$CONF")"
  python3 - "$CONF" "$1" "$2" "$3" <<'PY'
import configparser, sys
path, section, key, value = sys.argv[1:]
c = configparser.RawConfigParser()
c.optionxform = str
c.read(path)
if not c.has_section(section):
    c.add_section(section)
c.set(section, key, value)
with open(path, "w") as f:
    c.write(f, space_around_delimiters=False)
PY
}

# get_setting SECTION KEY: prints the stored value (empty when none).
get_setting() {
  python3 - "$CONF" "$1" "$2" <<'PY'
import configparser, sys
path, section, key = sys.argv[1:]
c = configparser.RawConfigParser()
c.optionxform = str
c.read(path)
print(c.get(section, key, fallback=""))
PY
}

# launch [ARGS...]: starts the program; sets PID.
launch() {
  "$BINARY" "$@" >>"$WORK/program.log" 2>&1 &
  PID=$!
  PIDS+=("$PID")
}

# find_windows NAME_REGEX [PID]: the visible windows with that title (and of that program).
# --all: xdotool's default takes a window that meets any one condition, any window of the pid.
find_windows() {
  local search=(xdotool search --all --onlyvisible)
  [ -n "${2:-}" ] && search+=(--pid "$2")
  "${search[@]}" --name "$1" 2>/dev/null || true
}

# wait_window NAME_REGEX [PID]: prints the id of the first visible window with that name.
wait_window() {
  local name=$1 pid=${2:-} wid i
  for i in $(seq 250); do # a loaded machine may take long to start the program
    wid=$(find_windows "$name" "$pid" | head -n1)
    if [ -n "$wid" ]; then
      sleep 0.5 # let the window settle (a dialog may recreate its native window while showing)
      wid=$(find_windows "$name" "$pid" | tail -n1)
      echo "$wid"
      return 0
    fi
    sleep 0.1
  done
  return 1
}

main_window() {
  local wid
  wid=$(wait_window '^VistrelCV$' "$PID") ||
    fail "the main window did not appear ($(kill -0 "$PID" 2>/dev/null && echo running ||
      echo ended)): $(tail -n 5 "$WORK/program.log")"
  sleep 2.5 # the camera opens and the first frames arrive
  echo "$wid"
}

# key WINDOW KEY...: focuses the window and types the keys on the real keyboard path.
key() {
  local wid=$1
  shift
  xdotool windowfocus --sync "$wid" 2>/dev/null || true
  sleep 0.2
  xdotool key "$@"
}

# stop_program [SIGNAL]: ends the program and waits for it. An abort or a crash on the way out
# fails (the sanitizer build aborts on a leak or an error it reports at exit).
stop_program() {
  kill -"${1:-TERM}" "$PID" 2>/dev/null || true
  local i status
  for i in $(seq 200); do
    if ! kill -0 "$PID" 2>/dev/null; then
      status=0
      wait "$PID" 2>/dev/null || status=$?
      if [ "$status" = 134 ] || [ "$status" = 139 ]; then
        fail "the program crashed on the way out ($status): $(tail -n 20 "$WORK/program.log")"
      fi
      return 0
    fi
    sleep 0.1
  done
  fail "the program did not end after SIG${1:-TERM}"
}

# screenshot WINDOW NAME: saves a picture of the window for a person to look at.
screenshot() {
  import -window "$1" "$SHOTS/$2.png" 2>/dev/null || true
}

# wait_file PATTERN: waits until a file matching the glob exists and stops growing.
wait_file() {
  local i f
  for i in $(seq 100); do
    f=$(compgen -G "$1" | head -n1 || true)
    if [ -n "$f" ]; then echo "$f"; return 0; fi
    sleep 0.1
  done
  return 1
}

image_size() {
  identify -format '%wx%h' "$1"
}

# check_movie FILE [MIN_SECONDS]: an MPEG-1 movie of 320 x 240 at 30 fps that decodes.
check_movie() {
  local file=$1 min=${2:-0}
  [ -s "$file" ] || fail "$file is empty"
  local info
  info=$(ffprobe -v error -select_streams v:0 -show_entries stream=codec_name,width,height,r_frame_rate \
    -of csv=p=0 "$file") || fail "ffprobe cannot read $file"
  [ "$info" = "mpeg1video,320,240,30/1" ] || fail "$file is $info"
  ffmpeg -v error -i "$file" -f null - 2>"$WORK/decode.log" || fail "$file does not decode"
  local duration
  duration=$(ffprobe -v error -show_entries format=duration -of csv=p=0 "$file")
  python3 -c "import sys; sys.exit(0 if float('$duration') >= $min else 1)" ||
    fail "$file lasts $duration s, expected at least $min s"
}

# wait_exit: waits until the program has ended by itself.
wait_exit() {
  local i
  for i in $(seq 100); do
    kill -0 "$PID" 2>/dev/null || return 0
    sleep 0.1
  done
  fail "the program still runs"
}

# window_geometry WINDOW: sets WX, WY, WW and WH to the window's place and size on the screen.
window_geometry() {
  local X Y WIDTH HEIGHT WINDOW SCREEN
  eval "$(xdotool getwindowgeometry --shell "$1")"
  WX=$X WY=$Y WW=$WIDTH WH=$HEIGHT
}

# start_weston: a Wayland compositor of its own for the program (QT_QPA_PLATFORM=wayland), drawn
# into the virtual X screen. Weston's headless back end offers no seat, so a client there gets no
# keyboard; on the X back end the keys typed into the X screen reach the client through Weston.
# --debug lets weston-screenshooter in. The desktop behind windows is one known colour.
WESTON_BACKGROUND="32 96 160"
start_weston() {
  printf '[core]\nidle-time=0\n[shell]\nbackground-color=0xff2060a0\npanel-position=none\n' \
    >"$WORK/weston.ini"
  weston --backend=x11-backend.so --use-pixman --debug --socket=vistrelcv-e2e --width=800 \
    --height=600 --config="$WORK/weston.ini" --log="$WORK/weston.log" 2>/dev/null &
  PIDS+=($!)
  export WAYLAND_DISPLAY=vistrelcv-e2e QT_QPA_PLATFORM=wayland
  local i
  for i in $(seq 100); do
    [ -S "$XDG_RUNTIME_DIR/$WAYLAND_DISPLAY" ] && { sleep 1; return 0; } # the shell client starts
    sleep 0.1
  done
  fail "Weston did not start: $(tail -n 5 "$WORK/weston.log")"
}

# weston_screenshot NAME: the whole Wayland desktop, as Weston itself composes it.
weston_screenshot() {
  mkdir -p "$WORK/wshot"
  (cd "$WORK/wshot" && rm -f ./*.png && weston-screenshooter) || fail "no Weston screenshot"
  mv "$WORK"/wshot/*.png "$SHOTS/$1.png"
}
