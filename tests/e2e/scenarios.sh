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
  [ ! -e "$CONF" ] || fail "a settings file was written"
}

start_display
"$1"
echo "PASS: $1"
