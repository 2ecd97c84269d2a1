# End-to-end scenario of the program's look: translucency over a compositor and the rounded
# corners. Sourced by scenarios.sh.

# start_compositor: a compositing manager, so that window opacity blends on the virtual screen.
# It owns the _NET_WM_CM selection from its first moments, announced by its own (unmapped) window.
start_compositor() {
  xcompmgr -n >"$WORK/xcompmgr.log" 2>&1 &
  local compositor=$! i
  PIDS+=("$compositor")
  for i in $(seq 50); do
    xdotool search --name '^xcompmgr$' >/dev/null 2>&1 && { sleep 0.2; return 0; }
    kill -0 "$compositor" 2>/dev/null || break
    sleep 0.1
  done
  fail "the compositor did not start: $(cat "$WORK/xcompmgr.log")"
}

# pixel FILE X Y: the red, green and blue values of one pixel of a picture.
pixel() {
  convert "$1" -crop "1x1+$2+$3" +repage -depth 8 rgb:- | od -An -tu1 | xargs
}

# expect_opacity WINDOW ALPHA: the window asks the compositor for ALPHA (0..255) opacity.
expect_opacity() {
  local value i
  for i in $(seq 50); do
    value=$(xprop -id "$1" -notype _NET_WM_WINDOW_OPACITY 2>/dev/null | sed -n 's/.* = //p')
    if [ -n "$value" ] &&
      python3 -c "import sys; sys.exit(abs($value / 0xffffffff * 255 - $2) > 0.5)"; then
      return 0
    fi
    sleep 0.1
  done
  fail "window $1 has opacity \"$value\", expected $2 of 255"
}

# blend_errors DESKTOP WINDOW_SHOT WX WY ALPHA BGX BGY X,Y...: checks that the desktop picture
# shows, at each window point X,Y, the window's own pixel laid at ALPHA over the background
# colour found at BGX,BGY of the desktop. Prints what does not match; nothing when all do.
blend_errors() {
  python3 - "$@" <<'PY'
import subprocess, sys

def load(path):
    data = subprocess.run(["convert", path, "-depth", "8", "ppm:-"], check=True,
                          capture_output=True).stdout
    fields, pos = [], 0
    while len(fields) < 4:  # P6, width, height, maximum; a single blank ends the header
        while data[pos:pos + 1].isspace(): pos += 1
        end = pos
        while not data[end:end + 1].isspace(): end += 1
        fields.append(data[pos:end]); pos = end
    width = int(fields[1])
    pixels = data[pos + 1:]
    return lambda x, y: tuple(pixels[3 * (y * width + x):3 * (y * width + x) + 3])

desktop_path, window_path, wx, wy, alpha, bgx, bgy, *points = sys.argv[1:]
desktop, window = load(desktop_path), load(window_path)
a = int(alpha) / 255
background = desktop(int(bgx), int(bgy))
for point in points:
    x, y = map(int, point.split(","))
    own, seen = window(x, y), desktop(int(wx) + x, int(wy) + y)
    expected = tuple(round(a * o + (1 - a) * b) for o, b in zip(own, background))
    if max(abs(o - b) for o, b in zip(own, background)) < 40:
        print(f"at {x},{y} the window ({own}) is too close to the background ({background})")
    elif max(abs(s - e) for s, e in zip(seen, expected)) > 10:
        print(f"at {x},{y} the desktop shows {seen}, expected {expected} "
              f"(window {own} over background {background})")
PY
}

# same_colour A B: two "R G B" triples that differ by at most 6 in every channel.
same_colour() {
  python3 -c "import sys; a, b = '$1'.split(), '$2'.split(); sys.exit(max(abs(int(x) - int(y)) for x, y in zip(a, b)) > 6)"
}

# The look a person sees: translucency over a compositor and the rounded corners.
translucency_and_look() {
  start_compositor
  set_setting UserDefault0 AlphaValue 128
  launch 1
  local wid
  wid=$(main_window)
  expect_opacity "$wid" 128
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
  stop_program
}
