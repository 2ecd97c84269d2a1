#!/usr/bin/env bash
# End-to-end scenarios: what only the real program shows, under Xvfb: the keys on the real
# keyboard path, signals, the instance lock between processes, start-up without a camera, the
# command line without a display, and translucency on a compositing desktop.
# Usage: scenarios.sh SCENARIO   (BINARY names the program)
. "$(dirname "$0")/lib.sh"
. "$(dirname "$0")/look.sh"

two_stills() {
  launch
  local wid
  wid=$(main_window)
  screenshot "$wid" main-window
  key "$wid" Return
  wait_file "$HOME/Pictures/pict00001.jpg" >/dev/null || fail "no first still"
  sleep 1 # the shutter cue ends the busy state
  key "$wid" space
  wait_file "$HOME/Pictures/pict00002.jpg" >/dev/null || fail "no second still"
  sleep 1
  local geometry
  geometry=$(xdotool getwindowgeometry "$wid" | awk '/Geometry/ {print $2}')
  [ "$(image_size "$HOME/Pictures/pict00001.jpg")" = "$geometry" ] ||
    fail "still is $(image_size "$HOME/Pictures/pict00001.jpg"), window is $geometry"
  [ "$(get_setting UserDefault0 PictNum)" = 3 ] || fail "PictNum is $(get_setting UserDefault0 PictNum)"

  # Enter confirming the preferences is no shutter, though its release reaches the main window.
  window_geometry "$wid"
  xdotool mousemove --sync $((WX + WW / 2)) $((WY + WH / 3)) click 3
  sleep 0.5
  xdotool key p
  local prefs i
  prefs=$(wait_window '環境設定' "$PID") || fail "the menu did not open the preferences"
  key "$prefs" Return
  for i in $(seq 50); do
    [ -z "$(find_windows '環境設定' "$PID")" ] && break
    sleep 0.1
  done
  sleep 1.5
  [ ! -e "$HOME/Pictures/pict00003.jpg" ] || fail "Enter on the preferences took a still"
  stop_program
}

sigterm_during_recording() {
  set_setting UserDefault0 CamMode 1
  launch
  local wid
  wid=$(main_window)
  key "$wid" Return
  sleep 5
  stop_program TERM
  check_movie "$HOME/Videos/mov00001.mpg" 3
}

# brightness WINDOW: the mean grey level of the window, 0 to 1.
brightness() {
  import -window "$1" "$WORK/brightness.png" 2>/dev/null &&
    convert "$WORK/brightness.png" -colorspace Gray -format '%[fx:mean]' info:
}

# wait_dimmed WINDOW BRIGHT yes|no: waits until the window is (or is no longer) well darker than
# BRIGHT, the brightness of the live picture.
wait_dimmed() {
  local i m
  for i in $(seq 60); do
    m=$(brightness "$1")
    if python3 -c "import sys; sys.exit(0 if ($m < 0.6 * $2) == ('$3' == 'yes') else 1)"; then
      return 0
    fi
    sleep 0.5
  done
  fail "the picture is at brightness $m (live $2), expected dimmed: $3"
}

# Camera 1 stalls 8 s after it opened, for 5 s: the picture dims under the notice, then comes
# back by itself. Camera 2 stops 8 s after it opened, in the middle of a recording: the recording
# ends with message 32801, the panel returns to idle and the movie keeps what came before.
# Camera 3 hangs inside a read during a recording: SIGTERM still ends the program promptly with
# the movie finalised.
camera_lost_and_back() {
  export VISTRELCV_CAMERAS="testsrc,stall=8+5;testsrc,stop=8;testsrc,hang=7"
  launch 1
  local wid live
  wid=$(main_window)
  live=$(brightness "$wid")
  wait_dimmed "$wid" "$live" yes
  screenshot "$wid" camera-lost
  wait_dimmed "$wid" "$live" no
  stop_program
  set_setting UserDefault1 CamMode 1
  launch 2
  wid=$(main_window)
  local box
  key "$wid" Return
  box=$(wait_window '録画を終了' "$PID") || fail "no message 32801 after the camera stopped"
  screenshot "$box" message-32801
  key "$box" Return
  check_movie "$HOME/Videos/mov00001.mpg" 1
  kill -0 "$PID" 2>/dev/null || fail "the program ended"
  stop_program
  set_setting UserDefault2 CamMode 1
  launch 3
  wid=$(main_window)
  key "$wid" Return
  sleep 5 # into the hang
  local before=$SECONDS
  stop_program TERM
  [ $((SECONDS - before)) -le 8 ] || fail "SIGTERM took $((SECONDS - before)) s with a hung camera"
  check_movie "$HOME/Videos/mov00002.mpg" 1
}

# A second instance on camera 1 shows 2001 and ends, whether the message is answered (Return) or
# the instance is sent a termination signal while it waits; the first instance runs on.
second_instance_same_camera() {
  launch 1
  local first=$PID
  main_window >/dev/null
  local ending box
  for ending in answer signal; do
    launch 1
    box=$(wait_window '2001' "$PID") || fail "no message 2001 from the second instance"
    if [ "$ending" = answer ]; then
      screenshot "$box" message-2001
      key "$box" Return
    else
      kill -TERM "$PID"
    fi
    wait_exit
    kill -0 "$first" 2>/dev/null || fail "the first instance has gone"
  done
  PID=$first
  stop_program
}

no_camera() {
  export VISTRELCV_CAMERAS="$WORK/no-such-camera.mp4"
  launch
  local box
  box=$(wait_window '1001' "$PID") || fail "no message 1001"
  screenshot "$box" message-1001
  key "$box" Return
  # The preferences follow, since this instance holds the camera's lock.
  local prefs
  prefs=$(wait_window '環境設定' "$PID") || fail "no preferences dialog after the message"
  screenshot "$prefs" preferences
  key "$prefs" Escape
  local i
  for i in $(seq 50); do kill -0 "$PID" 2>/dev/null || break; sleep 0.1; done
  kill -0 "$PID" 2>/dev/null && fail "the program still runs"
  wait "$PID" && fail "exit status 0 without a camera"
  return 0
}

help_and_version() {
  local out version
  out=$(env -u DISPLAY -u WAYLAND_DISPLAY "$BINARY" --help) || fail "--help failed"
  echo "$out" | grep -q '^Usage: vistrelcv' || fail "--help printed: $out"
  version=$(sed -n 's/^project(VistrelCV VERSION \([0-9.]*\).*/\1/p' \
    "$(dirname "${BASH_SOURCE[0]}")/../../CMakeLists.txt")
  out=$(env -u DISPLAY -u WAYLAND_DISPLAY "$BINARY" --version) || fail "--version failed"
  [ "$out" = "VistrelCV $version" ] || fail "--version printed: $out"
  local rc=0
  out=$(env -u DISPLAY -u WAYLAND_DISPLAY "$BINARY" 99999999999999999999 2>&1 >/dev/null) || rc=$?
  [ "$rc" = 2 ] && echo "$out" | grep -q '^Usage: vistrelcv' ||
    fail "a too large camera number gave status $rc: $out"
  [ ! -e "$CONF" ] || fail "a settings file was written"
}

# wayland_errors SHOT ALPHA: finds the program's window on the Wayland desktop picture and checks
# that it shows the test camera's white square and green arrow laid at ALPHA over the desktop's
# colour. Prints what does not match; nothing when all does.
wayland_errors() {
  local size
  size=$(identify -format '%w %h' "$1")
  convert "$1" -depth 8 rgb:- | python3 -c '
import sys
w, h, alpha, *background = map(int, sys.argv[1:])
data, a = sys.stdin.buffer.read(), alpha / 255
px = lambda x, y: tuple(data[3 * (y * w + x):3 * (y * w + x) + 3])
# The window: whatever differs from the desktop, away from the pointer at the top left.
found = [(x, y) for y in range(h) for x in range(w) if (x >= 32 or y >= 32) and
         max(abs(c - b) for c, b in zip(px(x, y), background)) > 24]
if not found:
    sys.exit(print("no window on the desktop"))
left, top = min(x for x, _ in found) - 3, min(y for _, y in found) - 3  # the 3-pixel inset
for x, y, own in ((18, 18, (255, 255, 255)), (40, 120, (60, 200, 60))):
    seen = px(left + x, top + y)
    expected = tuple(round(a * o + (1 - a) * b) for o, b in zip(own, background))
    if max(abs(s - e) for s, e in zip(seen, expected)) > 12:
        print(f"at {x},{y} of the window at {left},{top}: {seen}, expected {expected}")
' $size "$2" $WESTON_BACKGROUND
}

# The program as a Wayland client: the picture, translucency painted by the program itself, a
# recording finished by SIGTERM, and the stored place left alone (a client never learns it).
wayland_run() {
  start_weston
  set_setting UserDefault0 AlphaValue 128
  set_setting UserDefault0 CamMode 1
  set_setting UserDefault0 WndX 200
  set_setting UserDefault0 WndY 150
  xdotool mousemove 0 0
  launch 1
  local errors i
  for i in $(seq 40); do
    weston_screenshot wayland-desktop
    errors=$(wayland_errors "$SHOTS/wayland-desktop.png" 128)
    [ -z "$errors" ] && break
    kill -0 "$PID" 2>/dev/null || fail "the program ended: $(tail -n 5 "$WORK/program.log")"
    sleep 0.3
  done
  [ -z "$errors" ] || fail "on Wayland: $errors"
  xdotool key Return # into Weston's window, which hands it to the focused client
  sleep 4
  stop_program TERM
  check_movie "$HOME/Videos/mov00001.mpg" 2
  [ "$(get_setting UserDefault0 WndX),$(get_setting UserDefault0 WndY)" = 200,150 ] ||
    fail "the stored place became $(get_setting UserDefault0 WndX),$(get_setting UserDefault0 WndY)"
  [ -n "$(get_setting UserDefault0 WndWidth)" ] || fail "the size was not stored"
}

start_display
"$1"
echo "PASS: $1"
