#!/usr/bin/env bash
# The README's first command: a whole update in a sandbox (tools/demo-update.sh, described
# in docs/demo.md). It builds the updater and the signed demo installer, serves the
# installer from the project's own endpoint on loopback and runs "kestrow Vimbly_Kestrow"
# against it; nothing outside the sandbox is touched. "--wine" runs the Windows build
# under Wine instead.
set -euo pipefail
exec bash "$(dirname "$0")/demo-update.sh" "$@"
