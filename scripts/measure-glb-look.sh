#!/usr/bin/env bash
# How the glb's material and light show in a browser, against the window: the
# browser test's views drawn by Debian's three.js r111 and npm's current one,
# at each candidate setting, one table row per version and setting with each
# view's saturation and brightness ratios, hue difference and marble detail,
# their ranges over the views, and whether they keep the test's bounds.
# A candidate R:K[:M] sets the roughness R and the light at K times what the
# glb holds, moved to M metres from the logo's centre if given; with none,
# the glbs are drawn as they are written (as the test draws them).
#   scripts/measure-glb-look.sh [BUILD_FOLDER] [R:K[:M],...]
# BUILD_FOLDER (default build) holds the program, make-marble and the marble;
# one of an earlier version measures that version's glbs.
set -euo pipefail
build=$(realpath "${1:-build}")
cd "$(dirname "$0")/../tests"
OVRIK_TRY=${2:-} app/model_browser_test.sh "$build/ovrik-logo" "$build/marmor.bmp" \
    "$build/make-marble" "$build/tests" 2>&1 | awk '
    /^three.js/ { version = $2; next }
    /^(try .*|[a-z]+): iou/ {
        setting = "as written"
        if ($1 == "try") {
            split($2, c, ",")
            setting = "r " c[1] " k " c[2] (c[3] == "" ? "" : " m " c[3])
            $1 = $2 = ""
            $0 = $0
        }
        row = version " " setting
        if (!(row in views)) rows[++count] = row
        for (i = 2; i < NF; i += 2) {
            f[row, $i] = f[row, $i] sprintf(" %.3f", $(i + 1))
            if (!((row, $i, "low") in f) || $(i + 1) < f[row, $i, "low"]) f[row, $i, "low"] = $(i + 1)
            if (!((row, $i, "high") in f) || $(i + 1) > f[row, $i, "high"]) f[row, $i, "high"] = $(i + 1)
        }
        views[row] = views[row] " " substr($1, 1, length($1) - 1)
    }
    END {
        for (n = 1; n <= count; n++) {
            r = rows[n]
            pass = f[r, "iou", "low"] >= 0.98 && f[r, "detail", "low"] >= 0.8 &&
                f[r, "brightness", "low"] >= 0.6 && f[r, "brightness", "high"] <= 1.8 &&
                f[r, "saturation", "low"] >= 0.8 && f[r, "saturation", "high"] <= 1.25 &&
                f[r, "hue", "high"] <= 10
            printf "%s (%s): saturation %.2f-%.2f, hue up to %.1f, brightness %.2f-%.2f, detail from %.3f: %s\n",
                r, substr(views[r], 2), f[r, "saturation", "low"], f[r, "saturation", "high"], f[r, "hue", "high"],
                f[r, "brightness", "low"], f[r, "brightness", "high"], f[r, "detail", "low"], pass ? "passes" : "fails"
            for (k = 1; k <= split("saturation hue brightness detail", name, " "); k++)
                printf "    %-10s%s\n", name[k], f[r, name[k]]
        }
    }'
