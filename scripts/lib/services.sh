# Sourced by scripts: starts a private Xvfb and a private PulseAudio with a null sink,
# exports DISPLAY, XDG_RUNTIME_DIR and PULSE_SERVER, and stops both on exit.

lv_services_dir=""
lv_xvfb_pid=""
lv_pulse_pid=""

lv_stop_services() {
  [ -n "$lv_pulse_pid" ] && kill "$lv_pulse_pid" 2>/dev/null && wait "$lv_pulse_pid" 2>/dev/null
  [ -n "$lv_xvfb_pid" ] && kill "$lv_xvfb_pid" 2>/dev/null && wait "$lv_xvfb_pid" 2>/dev/null
  [ -n "$lv_services_dir" ] && rm -rf "$lv_services_dir"
  lv_pulse_pid="" lv_xvfb_pid="" lv_services_dir=""
}

# With LV_SERVICES_OWN_SESSION set, the servers run in a session of their own, so a Ctrl-C
# meant for a program using them does not take them down first. (A prefix word rather
# than a function, so that $! stays the server's own pid.)
lv_session_prefix() {
  [ -n "${LV_SERVICES_OWN_SESSION:-}" ] && echo setsid
  return 0
}

# Waits up to 20 s for a command to succeed.
lv_wait_for() {
  local i
  for i in $(seq 1 200); do
    "$@" >/dev/null 2>&1 && return 0
    sleep 0.1
  done
  return 1
}

# LV_XVFB_SCREEN sets the screen (default 1920x1080x24; the bench wants 2560x1440x24).
lv_start_xvfb() {
  local n
  for n in $(seq 90 140); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
    $(lv_session_prefix) Xvfb ":$n" -screen 0 "${LV_XVFB_SCREEN:-1920x1080x24}" -nolisten tcp -noreset +extension Composite >"$lv_services_dir/xvfb.log" 2>&1 &
    lv_xvfb_pid=$!
    export DISPLAY=":$n"
    # Another run may have taken the same number first: then our server has exited
    # and xdpyinfo answered from theirs.
    if lv_wait_for xdpyinfo && kill -0 "$lv_xvfb_pid" 2>/dev/null; then return 0; fi
    kill "$lv_xvfb_pid" 2>/dev/null; lv_xvfb_pid=""
  done
  echo "Could not start Xvfb" >&2
  return 1
}

lv_start_pulse() {
  export XDG_RUNTIME_DIR="$lv_services_dir/runtime"
  mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
  $(lv_session_prefix) pulseaudio --daemonize=no --exit-idle-time=-1 -n --disable-shm=yes \
    --load="module-null-sink sink_name=lumivane_null" \
    --load="module-native-protocol-unix socket=$XDG_RUNTIME_DIR/pulse.sock" \
    >"$lv_services_dir/pulse.log" 2>&1 &
  lv_pulse_pid=$!
  export PULSE_SERVER="unix:$XDG_RUNTIME_DIR/pulse.sock"
  if ! lv_wait_for pactl info; then
    echo "Could not start PulseAudio:" >&2; cat "$lv_services_dir/pulse.log" >&2
    return 1
  fi
  pactl set-default-sink lumivane_null
}

lv_start_services() {
  lv_services_dir=$(mktemp -d /tmp/lumivane-services.XXXXXX)
  trap lv_stop_services EXIT
  lv_start_xvfb && lv_start_pulse
}
