# Sourced by the scripts that run Windows programs under Wine: a virtual X display, since
# UNTARN32.EXE (like every windowed program) needs one even when it shows nothing.
#
# start_display: starts Xvfb on a free display number once, exports DISPLAY and leaves the
# process id in XVFB_PID; stop_display ends it. Callers stop it from their EXIT trap.
XVFB_PID=${XVFB_PID:-}

start_display() {
  [[ -n $XVFB_PID ]] && return 0
  local n
  for n in $(seq 90 120); do
    [[ -e /tmp/.X11-unix/X$n || -e /tmp/.X$n-lock ]] && continue
    Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    XVFB_PID=$!
    local waited=0
    while [[ ! -e /tmp/.X11-unix/X$n && $waited -lt 50 ]]; do sleep 0.1; waited=$((waited + 1)); done
    if kill -0 "$XVFB_PID" 2>/dev/null; then
      export DISPLAY=:$n
      return 0
    fi
    XVFB_PID=
  done
  echo "no virtual display could be started" >&2
  return 1
}

stop_display() {
  if [[ -n $XVFB_PID ]]; then kill "$XVFB_PID" 2>/dev/null; fi
  XVFB_PID=
  return 0
}
