# Sourced by the shell tests: start the real viewer under X, find its window,
# end it with Escape. A viewer still running when the test exits is killed.

viewer_pid=
viewer_window=
trap '[ -n "$viewer_pid" ] && kill "$viewer_pid" 2>/dev/null; [ -n "${viewer_scratch:-}" ] && rm -rf "$viewer_scratch"' EXIT

# A scratch folder, removed when the test exits.
viewer_scratch=$(mktemp -d)

# start_viewer FOLDER COMMAND...: runs COMMAND in FOLDER with its output in
# FOLDER/stdout.txt and FOLDER/stderr.txt, and waits for its window.
start_viewer() {
    local folder=$1
    shift
    (cd "$folder" && exec "$@" >stdout.txt 2>stderr.txt) &
    viewer_pid=$!
    viewer_window=$(timeout 20 xdotool search --sync --onlyvisible --pid "$viewer_pid" \
        --name '^Ovrik-Logo$' | head -n1)
    [ -n "$viewer_window" ] || { echo "no viewer window appeared"; return 1; }
}

# quit_viewer FOLDER: presses Escape and checks that the viewer ended with
# status 0 and wrote nothing to stderr.
quit_viewer() {
    local folder=$1 status=0
    # Only the press: the window is gone before a release could be sent.
    xdotool keydown --window "$viewer_window" Escape 2>/dev/null
    if ! timeout 20 tail --pid="$viewer_pid" -f /dev/null; then
        echo "viewer did not exit on Escape"
        return 1
    fi
    wait "$viewer_pid" || status=$?
    viewer_pid=
    if [ "$status" -ne 0 ] || [ -s "$folder/stderr.txt" ]; then
        echo "exit status $status (expected 0), stderr:"
        cat "$folder/stderr.txt"
        return 1
    fi
}
