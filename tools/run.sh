#!/usr/bin/env bash
# Builds the Linux target and runs the updater's main job with its instance key.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh
cmake --preset linux >/dev/null
cmake --build --preset linux -j "$(nproc)" --target kestrow
exec build/linux/app/kestrow Vimbly_Kestrow "$@"
