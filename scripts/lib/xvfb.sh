# Sourced by the scripts that need an X server of their own.
# use_private_display: starts Xvfb on a free display, exports DISPLAY and
# stops the server when the calling script exits.

use_private_display() {
    command -v Xvfb >/dev/null || {
        echo "Xvfb is missing: install the Debian package xvfb" >&2
        return 1
    }
    local display_file
    display_file=$(mktemp)
    # -displayfd: the server picks a free display and writes it once ready.
    env -u LD_PRELOAD Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$display_file" 2>/dev/null &
    ovrik_xvfb_pid=$!
    trap 'kill "$ovrik_xvfb_pid" 2>/dev/null; wait "$ovrik_xvfb_pid" 2>/dev/null || true' EXIT
    for _ in $(seq 100); do
        [ -s "$display_file" ] && break
        sleep 0.1
    done
    if ! [ -s "$display_file" ]; then
        echo "Xvfb did not start" >&2
        rm -f "$display_file"
        return 1
    fi
    export DISPLAY=":$(head -n1 "$display_file")"
    rm -f "$display_file"
    # Mesa's software renderer, whatever GPU the machine may have.
    export LIBGL_ALWAYS_SOFTWARE=1
}
