#!/usr/bin/env bash
# The README's list of formats is the one the program's own table prints.
#   formats_in_readme.sh FORMAT-LIST README.md
set -euo pipefail
diff <("$1" readme) <(sed -n '/^<!-- formats -->$/,/^<!-- end formats -->$/{//!p}' "$2")
