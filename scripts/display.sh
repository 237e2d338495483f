# Sourced by the scripts that run Windows programs under Wine: a virtual X display, since
# UNTARN32.EXE (like every windowed program) needs one even when it shows nothing.
#
# start_display: starts Xvfb on a free display number once, with a window manager (openbox)
# on it, exports DISPLAY and leaves the process ids in XVFB_PID and WM_PID; stop_display ends
# both. Callers stop them from their EXIT trap.
#
# The window manager is there because without one Wine waits two seconds for it every time
# a shown window is hidden (its log says "wait_for_withdrawn_state ... wait timed out"): an
# /A run of a one-file log took 4.1 s on a bare display and 0.22 s with openbox. Every GUI
# test, benchmark and the demo starts its display here, so none of them pays that wait or
# times it.
XVFB_PID=${XVFB_PID:-}
WM_PID=${WM_PID:-}

# start_window_manager: openbox on $DISPLAY, waited for until it has taken the screen.
start_window_manager() {
  [[ -n $WM_PID ]] && return 0
  if ! command -v openbox >/dev/null; then
    echo "openbox is missing (make deps installs it): windows will wait for a window manager" >&2
    return 0
  fi
  openbox --sm-disable >/dev/null 2>&1 &
  WM_PID=$!
  local waited=0
  while ! xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' &&
    [[ $waited -lt 50 ]]; do
    sleep 0.1
    waited=$((waited + 1))
  done
}

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
      start_window_manager
      return 0
    fi
    XVFB_PID=
  done
  echo "no virtual display could be started" >&2
  return 1
}

stop_display() {
  if [[ -n $WM_PID ]]; then kill "$WM_PID" 2>/dev/null; fi
  if [[ -n $XVFB_PID ]]; then kill "$XVFB_PID" 2>/dev/null; fi
  WM_PID=
  XVFB_PID=
  return 0
}
