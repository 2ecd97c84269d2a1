#!/usr/bin/env bash
# End-to-end scenarios: what only the real program shows: translucency on a compositing desktop
# and under Wayland, the keys on the real keyboard path, signals, the instance lock between
# processes (also for instances started together), and a camera that is missing or lost.
# Usage: scenarios.sh SCENARIO   (BINARY names the program)
. "$(dirname "$0")/lib.sh"

# blend_errors SHOT TOLERANCE: checks that the picture shows the test camera's white block and
# green arrow laid at opacity 128 of 255 over the desktop's colour (the commonest on the screen),
# each over hundreds of pixels. Prints what does not match.
blend_errors() {
  convert "$1" -depth 8 -format %c histogram:info:- | python3 -c '
import re, sys
tolerance = int(sys.argv[1])
counts = {}  # lines like "  1721: (192,192,192,255) #C0C0C0FF silver"
for n, *rgb in re.findall(r"(\d+): \((\d+),(\d+),(\d+)", sys.stdin.read()):
    counts[tuple(map(int, rgb))] = int(n)
bg = max(counts, key=counts.get)
for own in (255, 255, 255), (60, 200, 60):
    expected = [round((128 * o + 127 * b) / 255) for o, b in zip(own, bg)]
    near = sum(n for c, n in counts.items()
               if max(abs(x - e) for x, e in zip(c, expected)) <= tolerance)
    if near < 500:
        print(f"{near} pixels of {own} at half opacity over {bg}, {expected}")
' "$2" || echo "cannot read $1"
}

# A whole session on a compositing X desktop: the window's translucency, a second instance on the
# same camera, and a still by Enter on the real keyboard path.
desktop() {
  xcompmgr -n >"$WORK/xcompmgr.log" 2>&1 &
  PIDS+=($!)
  # It owns the _NET_WM_CM selection from its first moments, announced by its own window.
  wait_for 50 xdotool search --name '^xcompmgr$' >/dev/null || fail "no compositor"
  settings '[UserDefault0]' AlphaValue=128
  launch 1
  local wid first=$PID errors class
  wid=$(main_window)
  # Docks group the window with its launcher entry by the window's class.
  class=$(sed -n 's/^StartupWMClass=//p' "$(dirname "$0")/../../res/jp.quenbor.VistrelCV.desktop")
  xprop -id "$wid" WM_CLASS | grep -q ", \"$class\"$" || fail "WM_CLASS is not $class"
  # The desktop, until the compositor shows the window blended over it.
  blended() {
    import -window root "$SHOTS/desktop.png"
    errors=$(blend_errors "$SHOTS/desktop.png" 10)
    [ -z "$errors" ]
  }
  wait_for 30 blended || fail "no translucency: $errors"

  # A second instance on the camera shows 2001 and ends when sent a termination signal while it
  # waits (answered, in started_together); the first runs on.
  launch 1
  wait_window '2001' "$PID" >/dev/null || fail "no message 2001 from the second instance"
  kill -TERM "$PID"
  wait_for 100 ended || fail "the second instance still runs after the signal"
  running "$first" || fail "the first instance has gone"
  PID=$first

  key "$wid" Return
  wait_for 100 test -e "$HOME/Pictures/pict00001.jpg" || fail "no still"
  stop_program
}

# brightness: the mean grey level of the main window, 0 to 1.
brightness() {
  import -window "$wid" "$WORK/brightness.png" 2>/dev/null &&
    convert "$WORK/brightness.png" -colorspace Gray -format '%[fx:mean]' info:
}
# dimmed 1|0: whether the main window is (or is not) well darker than the live picture.
dimmed() {
  local m
  m=$(brightness) && python3 -c "import sys; sys.exit(($m < 0.6 * $live) != $1)"
}

# Camera 1 stalls 8 s after it opened, for 5 s: the picture dims under the notice, then comes
# back by itself. Camera 2 hangs inside a read during a recording: the menu's exit (the window's
# close) still ends the program within 4 s with status 0, the movie finalised and the placement
# stored. (A recording that the camera ends is the view test's.)
camera_lost_and_back() {
  export VISTRELCV_CAMERAS="testsrc,stall=8+5;testsrc,hang=7"
  settings '[UserDefault1]' CamMode=1
  launch 1
  local wid live
  wid=$(main_window)
  live=$(brightness)
  wait_for 80 dimmed 1 || fail "the picture did not dim (live $live)"
  wait_for 80 dimmed 0 || fail "the picture did not come back (live $live)"
  stop_program
  launch 2
  wid=$(main_window)
  key "$wid" Return
  sleep 3.5 # into the hang (7 s), before the recording takes the camera for lost (9 s)
  xdotool mousemove --window "$wid" 40 40 click 3 sleep 0.5 key x
  stop_program none
  check_movie "$HOME/Videos/mov00001.mpg" 3
  [ -n "$(setting UserDefault1 WndX)" ] || fail "the placement was not stored"
}

# Twenty times over: a camera that hangs 1 s after it opened, and SIGTERM. Each run ends within
# 4 s with status 0, and the next starts at once.
leaving() {
  export VISTRELCV_CAMERAS="testsrc,hang=1"
  for ((i = 1; i <= 20; i++)); do
    launch 1
    wait_window '^VistrelCV$' "$PID" >/dev/null || fail "run $i did not start: $(tail -n 5 "$WORK/program.log")"
    sleep 1 # into the hang
    stop_program TERM
  done
}

# Two, then five instances for one camera (a V4L2 test device) started within 100 ms of each
# other: exactly one runs; each of the others says 2001 (the camera is in use) and ends.
started_together() {
  mkdir -p "$WORK/dev/v4l/by-id" && printf 'card=HD Cam\n' >"$WORK/dev/video0"
  unset VISTRELCV_CAMERAS
  export FAKEV4L2_ROOT="$WORK/dev" VISTRELCV_DEVICE_ROOT="$WORK/dev"
  export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0"
  local n i pid box runs
  for n in 2 5; do
    for ((i = 0; i < n; i++)); do LD_PRELOAD=${FAKEV4L2:?the V4L2 test device} launch 1; done
    runs=()
    for pid in "${PIDS[@]: -n}"; do
      box=$(wait_window '^VistrelCV$|2001' "$pid") || fail "an instance neither runs nor says 2001"
      if ! has_window 2001 "$pid"; then runs+=("$pid") && continue; fi
      key "$box" Return
      wait_for 100 ended "$pid" || fail "an instance that said 2001 still runs"
    done
    [ "${#runs[@]}" = 1 ] || fail "${#runs[@]} of $n instances run"
    PID=${runs[0]}
    stop_program
  done
}

# not_found MESSAGE WHY: start-up's message naming MESSAGE appears (else fails with WHY), then the
# preferences (this instance holds the camera's lock); closing both ends the program.
not_found() {
  local box
  box=$(wait_window "$1" "$PID") || fail "$2"
  key "$box" Return
  box=$(wait_window '環境設定' "$PID") || fail "no preferences dialog after the message"
  key "$box" Escape
  wait_for 50 ended || fail "the program still runs"
}

# Without a camera: message 1001, then the preferences; the program ends with a failure status.
# The same with a pipeline whose element is missing, whose message names it.
no_camera() {
  export VISTRELCV_CAMERAS="$WORK/no-such-camera.mp4"
  launch
  not_found '1001' "no message 1001"
  wait "$PID" && fail "exit status 0 without a camera"
  # A pipeline with an element that is not installed says which, on the screen and on stderr.
  export VISTRELCV_CAMERAS="nosuchsrc ! appsink"
  launch
  not_found 'nosuchsrc' "no message naming the missing element"
  grep -q 'not installed: nosuchsrc' "$WORK/program.log" || fail "stderr does not name nosuchsrc"
}

# A camera that never answers (a named pipe nobody writes): SIGTERM while start-up waits for it
# ends the program at once, with status 0; left alone, start-up gives up on it after 5 s.
stuck_camera() {
  mkfifo "$WORK/camera.mp4"
  export VISTRELCV_CAMERAS="$WORK/camera.mp4"
  launch
  sleep 2
  running || fail "start-up did not wait for the camera: $(tail -n 5 "$WORK/program.log")"
  kill -TERM "$PID"
  wait_for 10 ended || fail "SIGTERM during start-up did not end the program within 1 s"
  wait "$PID" || fail "exit status $? after SIGTERM during start-up"
  launch
  not_found '1001' "start-up never gave up on the camera"
}

# The program as a Wayland client under Weston, drawn into the X screen: the picture, translucency
# painted by the program itself, SIGTERM, and the stored place left alone (a client never learns
# it).
wayland_run() {
  printf '[core]\nidle-time=0\n[shell]\nbackground-color=0xff2060a0\npanel-position=none\n' \
    >"$WORK/weston.ini"
  # --debug lets weston-screenshooter in.
  weston --backend=x11-backend.so --use-pixman --debug --socket=vistrelcv-e2e --width=800 \
    --height=600 --config="$WORK/weston.ini" --log="$WORK/weston.log" 2>/dev/null &
  PIDS+=($!)
  export WAYLAND_DISPLAY=vistrelcv-e2e QT_QPA_PLATFORM=wayland
  # Every window of the program is frameless. Asked whether it could draw decorations, Qt would
  # start Mesa's EGL on this GPU-less Weston, whose software driver keeps a block to the end of
  # the process that LeakSanitizer reports against a driver already unloaded, so by no name.
  export QT_WAYLAND_DISABLE_WINDOWDECORATION=1
  wait_for 100 test -S "$XDG_RUNTIME_DIR/$WAYLAND_DISPLAY" ||
    fail "Weston did not start: $(tail -n 5 "$WORK/weston.log")"
  sleep 1 # its shell client starts
  settings '[UserDefault0]' AlphaValue=128 WndX=200 WndY=150
  launch 1
  mkdir -p "$WORK/wshot"
  shown() {
    running || fail "the program ended: $(tail -n 5 "$WORK/program.log")"
    (cd "$WORK/wshot" && rm -f ./*.png && weston-screenshooter && mv ./*.png "$SHOTS/wayland.png") ||
      fail "no Weston screenshot"
    errors=$(blend_errors "$SHOTS/wayland.png" 12)
    [ -z "$errors" ]
  }
  local errors
  wait_for 40 shown || fail "on Wayland: $errors"
  stop_program TERM
  [ "$(setting UserDefault0 WndX),$(setting UserDefault0 WndY)" = 200,150 ] || fail "the stored place moved"
}

start_display
"$1"
echo "PASS: $1"
