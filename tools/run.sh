#!/usr/bin/env bash
# Builds the Linux target and runs the updater with its instance key: without a window
# view it shows the progress dialog on the terminal (Enter presses its button).
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh
cmake --preset linux >/dev/null
cmake --build --preset linux -j "$(nproc)" --target kestrow
exec build/linux/app/kestrow Vimbly_Kestrow "$@"
