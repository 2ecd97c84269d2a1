#!/usr/bin/env bash
# End-to-end scenarios: the real program under Xvfb, driven like a person would.
# Usage: scenarios.sh SCENARIO   (BINARY names the program)
. "$(dirname "$0")/lib.sh"
. "$(dirname "$0")/panel.sh"
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

movie() {
  set_setting UserDefault0 CamMode 1
  launch
  local wid
  wid=$(main_window)
  key "$wid" Return
  sleep 4
  key "$wid" Return
  sleep 2
  stop_program
  check_movie "$HOME/Videos/mov00001.mpg" 2
  [ "$(get_setting UserDefault0 MovNum)" = 2 ] || fail "MovNum is $(get_setting UserDefault0 MovNum)"
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

second_camera_beside_first() {
  export VISTRELCV_CAMERAS="testsrc;testsrc:640x480@15"
  launch 1
  local first=$PID
  main_window >/dev/null
  launch 2
  local wid
  wid=$(main_window)
  key "$wid" Return
  wait_file "$HOME/Pictures/pict00001.jpg" >/dev/null || fail "no still from camera 2"
  sleep 1
  stop_program
  [ "$(get_setting UserDefault1 PictNum)" = 2 ] || fail "camera 2 did not use its own settings"
  [ -z "$(get_setting UserDefault0 PictNum)" ] || fail "camera 2 wrote into camera 1's settings"
  PID=$first
  stop_program
}

placement_comes_back() {
  launch
  local wid
  wid=$(main_window)
  xdotool windowmove --sync "$wid" 300 200
  xdotool windowsize --sync "$wid" 400 300
  sleep 0.5
  stop_program
  [ "$(get_setting UserDefault0 WndX)" = 300 ] || fail "WndX is $(get_setting UserDefault0 WndX)"
  [ "$(get_setting UserDefault0 WndWidth)" = 400 ] || fail "WndWidth is $(get_setting UserDefault0 WndWidth)"
  launch
  wid=$(main_window)
  local geometry
  geometry=$(xdotool getwindowgeometry "$wid")
  echo "$geometry" | grep -q 'Position: 300,200' || fail "placed at: $geometry"
  echo "$geometry" | grep -q 'Geometry: 400x300' || fail "sized: $geometry"
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

drag_moves_window() {
  launch
  local wid
  wid=$(main_window)
  xdotool mousemove --sync 200 180 mousedown 1 mousemove --sync 230 200 mousemove --sync 260 230 mouseup 1
  # xdotool is done when the pointer has moved; the program may still be catching up.
  local i
  for i in $(seq 50); do
    window_geometry "$wid"
    [ "$WX,$WY" = 161,151 ] && break
    sleep 0.1
  done
  [ "$WX,$WY" = 161,151 ] || fail "after the drag the window stands at $WX,$WY"
  stop_program
}

chooser_cancel() {
  set_setting UserDefault SelCamAtLaunch 1
  launch
  local chooser
  chooser=$(wait_window '^カメラの選択$' "$PID") || fail "no camera chooser"
  screenshot "$chooser" chooser
  key "$chooser" Escape
  # Until the program has gone, no other window of it may show: no message, no main window.
  local i wid
  for i in $(seq 100); do
    kill -0 "$PID" 2>/dev/null || break
    for wid in $(xdotool search --onlyvisible --pid "$PID" 2>/dev/null || true); do
      [ "$wid" = "$chooser" ] || fail "after Escape a window showed: $(xdotool getwindowname "$wid")"
    done
    sleep 0.1
  done
  wait_exit
  [ -z "$(get_setting UserDefault0 WndX)" ] || fail "a main window was placed"
}

chooser_pick() {
  export VISTRELCV_CAMERAS="testsrc;testsrc"
  set_setting UserDefault SelCamAtLaunch 1
  launch
  local chooser
  chooser=$(wait_window '^カメラの選択$' "$PID") || fail "no camera chooser"
  # The focus starts on OK; the list comes next and opens on "自動", then 1, 2.
  key "$chooser" Tab Down Down
  sleep 0.3
  screenshot "$chooser" chooser-camera-2
  key "$chooser" Return
  local wid
  wid=$(main_window)
  key "$wid" Return
  wait_file "$HOME/Pictures/pict00001.jpg" >/dev/null || fail "no still from camera 2"
  wait_setting UserDefault1 PictNum 2
  [ -z "$(get_setting UserDefault0 PictNum)" ] || fail "the still went to camera 1's settings"
  stop_program
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

start_display
"$1"
echo "PASS: $1"
