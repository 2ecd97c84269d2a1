# End-to-end scenarios of the capture panel: opened by a double click, following the main window,
# its REC and MOV buttons, and its visibility kept over a restart. Sourced by scenarios.sh.

# panel_window: the capture panel, a tool window that the main window owns; its title comes from
# its template.
panel_window() {
  local wid
  wid=$(wait_window '^ダイアログ$' "$PID") || fail "the capture panel did not appear"
  xprop -id "$wid" _NET_WM_WINDOW_TYPE | grep -q _NET_WM_WINDOW_TYPE_UTILITY ||
    fail "the panel is no tool window: $(xprop -id "$wid" _NET_WM_WINDOW_TYPE)"
  echo "$wid"
}

# panel_point WINDOW CONTROL [DX]: the screen point at the middle of a control of the capture
# panel (or DX pixels from its left edge), from the control's rectangle in the panel's template.
# The template is in dialog units of the 9 pt Gothic font: 1.5 pixels a unit each way, each edge
# rounded half away from zero.
panel_point() {
  window_geometry "$1"
  python3 - "$(dirname "${BASH_SOURCE[0]}")/../../res/ui/RecCtrlDlg.ui" "$2" "${3:-}" "$WX" "$WY" <<'PY'
import math, sys, xml.etree.ElementTree as ET
ui, name, dx, wx, wy = sys.argv[1:]
widget = ET.parse(ui).find(f".//widget[@name='{name}']")
if widget is None:
    sys.exit(f"no control {name} in {ui}")
r = {k: int(widget.find(f"property[@name='geometry']/rect/{k}").text) for k in ("x", "y", "width", "height")}
px = lambda dlu: math.floor(dlu * 1.5 + 0.5)
left, top, right, bottom = px(r["x"]), px(r["y"]), px(r["x"] + r["width"]), px(r["y"] + r["height"])
x = left + int(dx) if dx else (left + right) // 2
print(int(wx) + x, int(wy) + (top + bottom) // 2)
PY
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
