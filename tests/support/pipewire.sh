# A private PipeWire for tests: a session bus, the PipeWire daemon and WirePlumber in the caller's
# own XDG_RUNTIME_DIR, with WirePlumber's device monitors off so no real camera, sound card or
# Bluetooth device appears, and virtual cameras that are real PipeWire clients publishing a
# Video/Source node.
#
# Sourced, it defines the pw_* functions below. Run as a script, its first argument names one of
# them: "pipewire.sh start" prints the variables a client needs (DBUS_SESSION_BUS_ADDRESS=...);
# "pipewire.sh camera NAME DESCRIPTION" starts a virtual camera, "pipewire.sh kill NAME" kills it,
# "pipewire.sh stop" ends everything. State (pid files, logs) lives in $XDG_RUNTIME_DIR/pw-test.
#
# A virtual camera shows the test camera's picture through PW_CAMERA_HELPER when that names the
# helper program, else GStreamer's test picture.

: "${XDG_RUNTIME_DIR:?a private runtime folder}"
PW_STATE="$XDG_RUNTIME_DIR/pw-test"

# pw_available: true when the daemon, the session manager and GStreamer's PipeWire elements exist.
pw_available() {
  command -v pipewire >/dev/null && command -v wireplumber >/dev/null &&
    command -v dbus-daemon >/dev/null && command -v gst-inspect-1.0 >/dev/null &&
    gst-inspect-1.0 pipewiresrc >/dev/null 2>&1
}

pw_wait() { # pw_wait TRIES COMMAND...: 0.1 s apart
  local tries=$1 i
  shift
  for ((i = 0; i < tries; i++)); do
    "$@" >/dev/null 2>&1 && return 0
    sleep 0.1
  done
  return 1
}

pw_has_node() { pw-cli ls Node 2>/dev/null | grep -q "node.name = \"$1\""; }
# pw_running PID: the process runs (a killed one may stay a zombie where nothing reaps it).
pw_running() { [ -r "/proc/$1/stat" ] && [ "$(sed 's/.*) //' "/proc/$1/stat" | cut -c1)" != Z ]; }
pw_alive() { [ -f "$PW_STATE/$1.pid" ] && pw_running "$(cat "$PW_STATE/$1.pid")"; }

# pw_start: the bus, the daemon and the session manager; exports DBUS_SESSION_BUS_ADDRESS.
pw_start() {
  mkdir -p "$PW_STATE/config/wireplumber/main.lua.d" "$PW_STATE/config/wireplumber/bluetooth.lua.d"
  printf '%s\n' 'alsa_monitor.enabled = false' 'v4l2_monitor.enabled = false' \
    'libcamera_monitor.enabled = false' >"$PW_STATE/config/wireplumber/main.lua.d/90-test.lua"
  echo 'bluez_monitor.enabled = false' >"$PW_STATE/config/wireplumber/bluetooth.lua.d/90-test.lua"
  if ! pw_alive bus; then
    dbus-daemon --session --nofork --print-address=3 3>"$PW_STATE/bus.address" \
      >"$PW_STATE/bus.log" 2>&1 &
    echo $! >"$PW_STATE/bus.pid"
    pw_wait 50 test -s "$PW_STATE/bus.address" || { echo "no session bus" >&2; return 1; }
  fi
  DBUS_SESSION_BUS_ADDRESS=$(head -n1 "$PW_STATE/bus.address")
  export DBUS_SESSION_BUS_ADDRESS
  unset PIPEWIRE_REMOTE PIPEWIRE_RUNTIME_DIR
  if ! pw_alive daemon; then
    pipewire >"$PW_STATE/daemon.log" 2>&1 &
    echo $! >"$PW_STATE/daemon.pid"
    pw_wait 50 test -S "$XDG_RUNTIME_DIR/pipewire-0" || { echo "no PipeWire daemon" >&2; return 1; }
  fi
  if ! pw_alive session; then
    XDG_CONFIG_HOME="$PW_STATE/config" wireplumber >"$PW_STATE/session.log" 2>&1 &
    echo $! >"$PW_STATE/session.pid"
    # WirePlumber is ready once it has joined as a client.
    pw_wait 50 sh -c 'pw-cli ls Client | grep -qi wireplumber' ||
      { echo "no WirePlumber" >&2; return 1; }
  fi
}

# pw_kill NAME: ends the process behind pid file NAME and waits for it.
pw_kill() {
  local pid
  [ -f "$PW_STATE/$1.pid" ] || return 0
  pid=$(cat "$PW_STATE/$1.pid")
  kill -KILL "$pid" 2>/dev/null || true
  pw_wait 50 eval "! pw_running $pid" || true
  rm -f "$PW_STATE/$1.pid"
}

# pw_camera NAME DESCRIPTION: a virtual camera whose node is NAME; returns once it is listed.
pw_camera() {
  local name=$1 description=$2
  local props="props,media.class=Video/Source,node.name=$name,node.description=\\\"$description\\\",media.role=Camera"
  pw_kill "camera-$name"
  if [ -n "${PW_CAMERA_HELPER:-}" ]; then
    "$PW_CAMERA_HELPER" "$name" "$description" >"$PW_STATE/camera-$name.log" 2>&1 &
  else
    # An explicit raw format, or the node offers none; without dropping the allocation query a
    # converting producer crashes when a consumer connects.
    gst-launch-1.0 -q videotestsrc is-live=true \
      ! video/x-raw,format=YUY2,width=640,height=480,framerate=30/1 \
      ! identity drop-allocation=true \
      ! pipewiresink mode=provide client-name="$name" "stream-properties=\"$props\"" \
      >"$PW_STATE/camera-$name.log" 2>&1 &
  fi
  echo $! >"$PW_STATE/camera-$name.pid"
  pw_wait 100 pw_has_node "$name" || { echo "virtual camera $name did not appear" >&2; return 1; }
}

# pw_camera_kill NAME: kills the virtual camera's producer; returns once its node is gone.
pw_camera_kill() {
  pw_kill "camera-$1"
  pw_wait 50 sh -c "! pw-cli ls Node | grep -q 'node.name = \"$1\"'"
}

# pw_stop: every virtual camera, the session manager, the daemon and the bus.
pw_stop() {
  local f
  for f in "$PW_STATE"/camera-*.pid; do
    [ -e "$f" ] && pw_kill "$(basename "$f" .pid)"
  done
  pw_kill session
  pw_kill daemon
  pw_kill bus
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
  set -euo pipefail
  mkdir -p "$PW_STATE"
  case "${1:-}" in
    available) pw_available ;;
    start) pw_start && echo "DBUS_SESSION_BUS_ADDRESS=$DBUS_SESSION_BUS_ADDRESS" ;;
    camera) pw_camera "$2" "$3" ;;
    kill) pw_camera_kill "$2" ;;
    stop) pw_stop ;;
    *) echo "usage: $0 available|start|camera NAME DESCRIPTION|kill NAME|stop" >&2; exit 2 ;;
  esac
fi
