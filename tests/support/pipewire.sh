# A private PipeWire for tests: a session bus, the PipeWire daemon and WirePlumber in the caller's
# own XDG_RUNTIME_DIR, with WirePlumber's device monitors off so no real camera, sound card or
# Bluetooth device appears, and virtual cameras: $PW_CAMERA_HELPER (tests/capture/
# testdevices/pipewire/VirtualCamera.cpp), a real PipeWire client publishing a Video/Source node.
# Where pipewire-pulse is installed, its server for PulseAudio clients runs too (in
# $XDG_RUNTIME_DIR/pulse), and virtual microphones come from $PW_MICROPHONE_HELPER
# (testdevices/pipewire/VirtualMicrophone.cpp).
#
# Sourced, it defines the pw_* functions below. Run as a script, its first argument names one of
# them: "pipewire.sh start" prints DBUS_SESSION_BUS_ADDRESS=... for the clients, "camera NAME
# DESCRIPTION [OPTION...]" starts a virtual camera (options: see VirtualCamera.cpp), "kill NAME"
# kills it, "microphone NAME DESCRIPTION [late]" and "unplug NAME" do the same for microphones,
# "restart" kills the daemon, the session manager and every camera (as a crash of the daemon ends
# its nodes) and starts the daemon and session manager again, "stop" ends everything, "available"
# tells whether the packages are there, "available-pulse" whether the server for PulseAudio
# clients is. Pid files and logs live in $XDG_RUNTIME_DIR/pw-test.

: "${XDG_RUNTIME_DIR:?a private runtime folder}"
PW_STATE="$XDG_RUNTIME_DIR/pw-test"

pw_available() {
  command -v pipewire && command -v wireplumber && command -v dbus-daemon && command -v pw-cli
} >/dev/null 2>&1

pw_wait() { # pw_wait TRIES COMMAND...: 0.1 s apart
  local i
  for ((i = 0; i < $1; i++)); do
    "${@:2}" >/dev/null 2>&1 && return 0
    sleep 0.1
  done
  return 1
}

pw_has_node() { pw-cli ls Node | grep -q "node.name = \"$1\""; }
# pw_running PID: the process runs (a killed one may stay a zombie where nothing reaps it).
pw_running() { [ -r "/proc/$1/stat" ] && [ "$(sed 's/.*) //' "/proc/$1/stat" | cut -c1)" != Z ]; }
pw_alive() { [ -f "$PW_STATE/$1.pid" ] && pw_running "$(cat "$PW_STATE/$1.pid")"; }

# pw_spawn NAME COMMAND...: runs the command in the background with pid file and log NAME.
pw_spawn() {
  "${@:2}" >"$PW_STATE/$1.log" 2>&1 &
  echo $! >"$PW_STATE/$1.pid"
}

# pw_start: the bus, the daemon and the session manager; exports DBUS_SESSION_BUS_ADDRESS.
pw_start() {
  local config="$PW_STATE/config/wireplumber"
  mkdir -p "$config/main.lua.d" "$config/bluetooth.lua.d"
  printf '%s_monitor.enabled = false\n' alsa v4l2 libcamera >"$config/main.lua.d/90-test.lua"
  echo 'bluez_monitor.enabled = false' >"$config/bluetooth.lua.d/90-test.lua"
  unset PIPEWIRE_REMOTE PIPEWIRE_RUNTIME_DIR
  pw_alive bus || pw_spawn bus dbus-daemon --session --nofork --print-address=1
  pw_wait 50 test -s "$PW_STATE/bus.log" || { echo "no session bus" >&2; return 1; }
  DBUS_SESSION_BUS_ADDRESS=$(head -n1 "$PW_STATE/bus.log")
  export DBUS_SESSION_BUS_ADDRESS
  pw_alive daemon || pw_spawn daemon pipewire
  pw_wait 50 test -S "$XDG_RUNTIME_DIR/pipewire-0" || { echo "no PipeWire" >&2; return 1; }
  pw_alive session || XDG_CONFIG_HOME="$PW_STATE/config" pw_spawn session wireplumber
  # WirePlumber is ready once it has joined as a client.
  pw_wait 50 sh -c 'pw-cli ls Client | grep -qi wireplumber' || { echo "no WirePlumber" >&2; return 1; }
  if command -v pipewire-pulse >/dev/null; then
    # One graph period for every client, PipeWire's default one (1024 samples, 21 ms, as on a
    # desktop): a period that changes with the clients (a sound cue asks for a long one) moves
    # where the server says a microphone's sound was captured. A shorter one is meaner than a real
    # microphone: this graph runs on a timer with the microphone in a process of its own, which at
    # 5.3 ms lost 2-3 % of the sound even on an idle machine; an ALSA source runs in the daemon
    # and loses none of what its card holds.
    pw-metadata -n settings 0 clock.force-quantum 1024 >/dev/null
    pw_alive pulse || pw_spawn pulse pipewire-pulse
    pw_wait 50 test -S "$XDG_RUNTIME_DIR/pulse/native" || { echo "no pipewire-pulse" >&2; return 1; }
  fi
}

# pw_kill NAME: ends the process behind pid file NAME and waits for it.
pw_kill() {
  [ -f "$PW_STATE/$1.pid" ] || return 0
  local pid
  pid=$(cat "$PW_STATE/$1.pid")
  kill -KILL "$pid" 2>/dev/null || true
  pw_wait 50 eval "! pw_running $pid" || true
  rm -f "$PW_STATE/$1.pid"
}

# pw_camera NAME DESCRIPTION [OPTION...]: a virtual camera whose node is NAME; returns once it is
# listed.
pw_camera() {
  pw_kill "camera-$1"
  pw_spawn "camera-$1" "${PW_CAMERA_HELPER:?the virtual camera program}" "$@"
  pw_wait 100 pw_has_node "$1" || { echo "virtual camera $1 did not appear" >&2; return 1; }
}

# pw_camera_kill NAME: kills the virtual camera's producer; returns once its node is gone.
pw_camera_kill() {
  pw_kill "camera-$1"
  pw_wait 50 eval "! pw_has_node '$1'"
}

# pw_microphone NAME DESCRIPTION [late] / pw_unplug NAME: a virtual microphone, as for cameras
# (late: one that loses sound as a client kept waiting does; see VirtualMicrophone.cpp).
pw_microphone() {
  pw_kill "microphone-$1"
  pw_spawn "microphone-$1" "${PW_MICROPHONE_HELPER:?the virtual microphone program}" "$@"
  pw_wait 100 pw_has_node "$1" || { echo "virtual microphone $1 did not appear" >&2; return 1; }
}
pw_unplug() {
  pw_kill "microphone-$1"
  pw_wait 50 eval "! pw_has_node '$1'"
}

# pw_restart: the daemon killed (its nodes and session manager go with it), then started again.
pw_restart() {
  local f
  pw_kill daemon
  for f in "$PW_STATE"/camera-*.pid; do
    [ -e "$f" ] && pw_kill "$(basename "$f" .pid)"
  done
  pw_kill session
  pw_kill pulse
  rm -f "$XDG_RUNTIME_DIR/pipewire-0" "$XDG_RUNTIME_DIR/pipewire-0.lock" "$XDG_RUNTIME_DIR/pulse/native"
  pw_start
}

# pw_stop: every virtual camera and microphone, the session manager, the daemon and the bus.
pw_stop() {
  local f
  for f in "$PW_STATE"/camera-*.pid "$PW_STATE"/microphone-*.pid; do
    [ -e "$f" ] && pw_kill "$(basename "$f" .pid)"
  done
  pw_kill pulse
  pw_kill session
  pw_kill daemon
  pw_kill bus
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
  set -euo pipefail
  mkdir -p "$PW_STATE"
  case "${1:-}" in
    available) pw_available ;;
    available-pulse) command -v pipewire-pulse >/dev/null ;;
    start) pw_start && echo "DBUS_SESSION_BUS_ADDRESS=$DBUS_SESSION_BUS_ADDRESS" ;;
    camera) pw_camera "${@:2}" ;;
    kill) pw_camera_kill "$2" ;;
    microphone) pw_microphone "$2" "$3" ;;
    unplug) pw_unplug "$2" ;;
    restart) pw_restart ;;
    stop) pw_stop ;;
    *) echo "usage: $0 available|available-pulse|start|camera NAME DESCRIPTION [OPTION...]|kill NAME|microphone NAME DESCRIPTION [late]|unplug NAME|restart|stop" >&2; exit 2 ;;
  esac
fi
