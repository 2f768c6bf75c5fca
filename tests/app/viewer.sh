# Sourced by the shell tests: starts the real viewer under X, finds its
# window, ends it with Escape. On exit a viewer still running is killed and
# the scratch folder removed.
viewer_pid=
viewer_scratch=$(mktemp -d)
trap '[ -n "$viewer_pid" ] && kill "$viewer_pid" 2>/dev/null; rm -rf "$viewer_scratch"' EXIT
usage=$'Use x/y/z/X/Y/Z-keys to rotate.\nMove mouse while pressing button to change light position.'
fail() { echo "$(basename "$0" .sh): $*" && exit 1; }

# start_viewer FOLDER COMMAND...: runs COMMAND in FOLDER, its output in
# FOLDER/stdout.txt and FOLDER/stderr.txt, and waits for its window.
start_viewer() {
    (cd "$1" && shift && exec "$@" >stdout.txt 2>stderr.txt) &
    viewer_pid=$!
    viewer_window=$(timeout 20 xdotool search --sync --onlyvisible --pid "$viewer_pid" \
        --name '^Ovrik-Logo$' | head -n1)
    [ -n "$viewer_window" ] || fail "no viewer window appeared"
}

# quit_viewer FOLDER: presses Escape (only the press: the window is gone
# before a release could be sent); expects exit status 0 and nothing on
# stderr but apitrace's notes.
quit_viewer() {
    local status=0 errors
    xdotool keydown --window "$viewer_window" Escape 2>/dev/null
    timeout 20 tail --pid="$viewer_pid" -f /dev/null || fail "viewer did not exit on Escape"
    wait "$viewer_pid" || status=$?
    viewer_pid= errors=$(grep -v '^apitrace: ' "$1/stderr.txt" || true)
    [ "$status" -eq 0 ] && [ -z "$errors" ] || fail "exit status $status (expected 0), stderr: $errors"
}
