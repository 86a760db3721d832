# Sourced by the scripts that run Wine programs with windows of their own
# (run-headless.sh, bench/installer-bench.sh): an Xvfb server on a display
# nobody uses.
#   start_private_display NAME  starts it, exports DISPLAY and waits until it
#                               answers; the server's pid is in xvfb_pid. On
#                               failure says so, naming the caller, and returns 1.
#   stop_private_display        stops it again (harmless when none runs).
xvfb_pid=
start_private_display() {
    local n display=
    for n in $(seq 90 199); do
        if [ ! -e /tmp/.X$n-lock ] && [ ! -e /tmp/.X11-unix/X$n ]; then display=$n; break; fi
    done
    [ -n "$display" ] || { echo "$1: no free X display" >&2; return 1; }
    Xvfb :$display -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb_pid=$!
    export DISPLAY=:$display
    for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.2; done
}
stop_private_display() {
    [ -n "$xvfb_pid" ] || return 0
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
    xvfb_pid=
}
