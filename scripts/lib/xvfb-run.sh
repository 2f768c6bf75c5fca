#!/usr/bin/env bash
# Runs a command on a private Xvfb display of its own, whatever display the
# caller has or lacks, and stops the server afterwards: xvfb-run.sh COMMAND...
set -uo pipefail
source "$(dirname "$0")/xvfb.sh"
use_private_display || exit 1
"$@"
exit $?
