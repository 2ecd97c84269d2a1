#!/usr/bin/env bash
# End-to-end scenarios: the real program under Xvfb, driven like a person would.
# Usage: scenarios.sh SCENARIO   (BINARY names the program)
. "$(dirname "$0")/lib.sh"

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

second_instance_same_camera() {
  launch 1
  local first=$PID
  main_window >/dev/null
  launch 1
  local second=$PID
  local box
  box=$(wait_window '2001' "$second") || fail "no message 2001 from the second instance"
  screenshot "$box" message-2001
  key "$box" Return
  local i
  for i in $(seq 50); do kill -0 "$second" 2>/dev/null || break; sleep 0.1; done
  kill -0 "$second" 2>/dev/null && fail "the second instance still runs"
  kill -0 "$first" 2>/dev/null || fail "the first instance has gone"
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
  sleep 0.5
  xdotool getwindowgeometry "$wid" | grep -q 'Position: 161,151' ||
    fail "after the drag: $(xdotool getwindowgeometry "$wid")"
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

# expect_panel_at PANEL MAIN: waits until the panel stands where the placement rule puts it for
# the main window's rectangle: centred on it, its top one caption (23) and one edge (2) above
# the main window's bottom; just above the main window when that leaves the screen's bottom.
expect_panel_at() {
  local panel=$1 main=$2 x y i
  for i in $(seq 50); do
    window_geometry "$main"
    local ml=$WX mt=$WY mr=$((WX + WW)) mb=$((WY + WH))
    window_geometry "$panel"
    x=$(((ml + mr) / 2 - WW / 2))
    y=$((mb - 2 - 23))
    [ $((y + WH)) -gt 800 ] && y=$((mt + 2 - WH))
    [ "$WX,$WY" = "$x,$y" ] && return 0
    sleep 0.1
  done
  fail "the panel stands at $WX,$WY, expected $x,$y (main window: $(xdotool getwindowgeometry "$main" | xargs))"
}

double_click_opens_panel() {
  launch
  local wid panel
  wid=$(main_window)
  window_geometry "$wid"
  xdotool mousemove --sync $((WX + WW / 2)) $((WY + WH / 2)) click --repeat 2 --delay 80 1
  panel=$(panel_window)
  xprop -id "$panel" WM_TRANSIENT_FOR | grep -qi "$(printf '0x%x' "$wid")" ||
    fail "the panel is not owned by the main window: $(xprop -id "$panel" WM_TRANSIENT_FOR)"
  wait_setting UserDefault0 RecCtrlDlg 1
  expect_panel_at "$panel" "$wid"
  import -window root "$SHOTS/panel-opened.png" 2>/dev/null || true
  xdotool windowmove --sync "$wid" 300 200
  expect_panel_at "$panel" "$wid"
  # Near the screen's bottom the panel moves above the main window.
  xdotool windowmove --sync "$wid" 500 600
  expect_panel_at "$panel" "$wid"
  import -window root "$SHOTS/panel-above.png" 2>/dev/null || true
  stop_program
}

panel_rec_still() {
  set_setting UserDefault0 RecCtrlDlg 1
  launch
  main_window >/dev/null
  local panel
  panel=$(panel_window)
  screenshot "$panel" panel-still-mode
  click $(panel_point "$panel" btnRec_1010)
  wait_file "$HOME/Pictures/pict00001.jpg" >/dev/null || fail "REC took no still"
  wait_setting UserDefault0 PictNum 2
  stop_program
}

# movie_finished FILE: waits until the movie has not grown for 1.5 s, longer than the recorder
# goes between two flushes, while the program runs on.
movie_finished() {
  local size last="" steady=0 i
  for i in $(seq 40); do
    size=$(stat -c %s "$1")
    if [ "$size" = "$last" ]; then steady=$((steady + 1)); else steady=0; fi
    [ "$steady" -ge 3 ] && return 0
    last=$size
    sleep 0.5
  done
  fail "$1 still grows"
}

# rec_mark_red PANEL: how much of the panel's REC mark is red (0 when the mark is hidden).
# Its place comes from the template (control 1016: 30, 8, 20 x 20 units, 1.5 pixels a unit).
rec_mark_red() {
  import -window "$1" "$WORK/panel.png" 2>/dev/null
  convert "$WORK/panel.png" -crop 30x30+45+12 +repage -fx 'r > 0.6 && g < 0.3 && b < 0.3' \
    -format '%[fx:mean > 0.05 ? 1 : 0]' info:
}

# wait_rec_mark PANEL 0|1: waits until the REC mark is hidden (0) or shown (1).
wait_rec_mark() {
  local i
  for i in $(seq 50); do
    [ "$(rec_mark_red "$1")" = "$2" ] && return 0
    sleep 0.1
  done
  fail "the REC mark is $([ "$2" = 1 ] && echo hidden || echo shown)"
}

panel_movie() {
  set_setting UserDefault0 RecCtrlDlg 1
  launch
  main_window >/dev/null
  local panel movie="$HOME/Videos/mov00001.mpg"
  panel=$(panel_window)
  # The radio buttons answer on their indicator, at their left.
  click $(panel_point "$panel" btnMov_1014 7)
  wait_setting UserDefault0 CamMode 1
  wait_rec_mark "$panel" 0
  click $(panel_point "$panel" btnRec_1010)
  wait_file "$movie" >/dev/null || fail "REC started no movie"
  wait_rec_mark "$panel" 1
  sleep 3 # the movie's length
  screenshot "$panel" panel-recording
  click $(panel_point "$panel" btnRec_1010)
  wait_rec_mark "$panel" 0
  movie_finished "$movie"
  kill -0 "$PID" 2>/dev/null || fail "the program ended"
  check_movie "$movie" 2
  screenshot "$panel" panel-movie-mode
  [ "$(get_setting UserDefault0 MovNum)" = 2 ] || fail "MovNum is $(get_setting UserDefault0 MovNum)"
  [ -z "$(compgen -G "$HOME/Pictures/*")" ] || fail "a still was taken in movie mode"
  stop_program
}

panel_comes_back() {
  launch
  local wid
  wid=$(main_window)
  window_geometry "$wid"
  xdotool mousemove --sync $((WX + WW / 2)) $((WY + WH / 2)) click --repeat 2 --delay 80 1
  panel_window >/dev/null
  wait_setting UserDefault0 RecCtrlDlg 1
  stop_program TERM
  [ "$(get_setting UserDefault0 RecCtrlDlg)" = 1 ] ||
    fail "closing the program stored RecCtrlDlg $(get_setting UserDefault0 RecCtrlDlg)"
  launch
  wid=$(main_window)
  expect_panel_at "$(panel_window)" "$wid"
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
  [ ! -e "$CONF" ] || fail "a settings file was written"
}

# same_colour A B: two "R G B" triples that differ by at most 6 in every channel.
same_colour() {
  python3 -c "import sys; a, b = '$1'.split(), '$2'.split(); sys.exit(max(abs(int(x) - int(y)) for x, y in zip(a, b)) > 6)"
}

# The look a person sees: translucency over a compositor, the rounded corners, the Japanese texts.
translucency_and_look() {
  start_compositor
  set_setting UserDefault0 AlphaValue 128
  set_setting UserDefault0 RecCtrlDlg 1
  launch 1
  local first=$PID wid panel
  wid=$(main_window)
  panel=$(panel_window)
  expect_opacity "$wid" 128
  expect_opacity "$panel" 219
  window_geometry "$wid"
  # The window's own pixels, then the desktop until the compositor shows them blended over the
  # background beside the window. The points avoid the test picture's counter and moving marker.
  import -window "$wid" "$SHOTS/look-window-own.png"
  local points=("$((WW * 7 / 8)),$((WH / 2))" "$((WW / 5)),$((WH / 2))" "$((WW / 16)),$((WH / 4))")
  local errors i
  for i in $(seq 30); do
    import -window root "$SHOTS/look-desktop.png"
    errors=$(blend_errors "$SHOTS/look-desktop.png" "$SHOTS/look-window-own.png" "$WX" "$WY" 128 \
      $((WX + WW + 100)) $((WY + WH / 2)) "${points[@]}")
    [ -z "$errors" ] && break
    sleep 0.2
  done
  [ -z "$errors" ] || fail "no translucency: $errors"
  # Rounded corners: the corner of the client area and the 3-pixel inset show the background.
  local background
  background=$(pixel "$SHOTS/look-desktop.png" $((WX + WW + 100)) $((WY + WH / 2)))
  same_colour "$(pixel "$SHOTS/look-desktop.png" $((WX + 3)) $((WY + 3)))" "$background" ||
    fail "the top-left corner is not cut round"
  same_colour "$(pixel "$SHOTS/look-desktop.png" $((WX + 1)) $((WY + WH / 2)))" "$background" ||
    fail "the window is not inset by 3 pixels"
  same_colour "$(pixel "$SHOTS/look-desktop.png" $((WX + 12)) $((WY + 12)))" "$background" &&
    fail "the picture does not reach into the corner"

  # A message in Japanese: a second instance on the same camera.
  launch 1
  local box
  box=$(wait_window '2001' "$PID") || fail "no message 2001"
  screenshot "$box" look-message
  import -window root "$SHOTS/look-desktop-message.png"
  key "$box" Return
  wait_exit
  PID=$first

  # The pop-up menu and the preferences dialog it opens, both in Japanese.
  xdotool mousemove --sync $((WX + WW / 2)) $((WY + WH / 3)) click 3
  local menu="" w
  for i in $(seq 50); do
    for w in $(xdotool search --onlyvisible --pid "$PID" 2>/dev/null || true); do
      [ "$w" = "$wid" ] || [ "$w" = "$panel" ] || menu=$w
    done
    [ -n "$menu" ] && break
    sleep 0.1
  done
  [ -n "$menu" ] || fail "no pop-up menu"
  sleep 0.3
  import -window root "$SHOTS/look-desktop-menu.png"
  xdotool key p
  local prefs
  prefs=$(wait_window '環境設定' "$PID") || fail "the menu did not open the preferences"
  screenshot "$prefs" look-preferences
  import -window root "$SHOTS/look-desktop-preferences.png"
  key "$prefs" Escape
  for i in $(seq 50); do
    [ -z "$(find_windows '環境設定' "$PID")" ] && break
    sleep 0.1
  done
  [ -z "$(find_windows '環境設定' "$PID")" ] || fail "Escape left the preferences open"
  stop_program
}

start_display
"$1"
echo "PASS: $1"
