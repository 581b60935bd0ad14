#!/usr/bin/env bash
# Builds both targets and runs every test: the Linux build, the sanitizer build (with
# short, time-bounded fuzz runs), the Windows build under Wine, and the synchronisation
# tests under the thread sanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/install-deps.sh
bash tools/check-layers.sh

jobs=$(nproc)
# A fresh Wine prefix in a temporary folder for this run.
scratch=$(mktemp -d)
# Only this run's own wineserver is stopped (the one of its prefix), never the user's.
trap 'WINEPREFIX="$KESTROW_WINEPREFIX" wineserver -k >/dev/null 2>&1 || true; rm -rf "$scratch"' EXIT
export KESTROW_WINEPREFIX="$scratch/wine"
tools/wine-prefix.sh "$KESTROW_WINEPREFIX"

for preset in linux sanitize windows tsan; do
  echo "== $preset: build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  echo "== $preset: tests"
  ctest --preset "$preset"
done

echo "== fuzzing (bounded)"
fuzzers=(build/sanitize/tests/*_fuzzer)
[ -x "${fuzzers[0]}" ] || { echo "no fuzzer was built in build/sanitize/tests"; exit 1; }
for fuzzer in "${fuzzers[@]}"; do
  name=$(basename "$fuzzer")
  corpus="$scratch/corpus-$name"
  mkdir -p "$corpus"
  seeds="tests/fuzz/seeds/${name%_fuzzer}"
  [ -d "$seeds" ] && cp -r "$seeds"/. "$corpus"/
  "$fuzzer" -max_total_time="${KESTROW_FUZZ_SECONDS:-20}" -rss_limit_mb=2048 -timeout=10 "$corpus" >"$scratch/$name.log" 2>&1 ||
    { tail -n 40 "$scratch/$name.log"; echo "fuzzer $name failed"; exit 1; }
  tail -n 1 "$scratch/$name.log"
done
echo "all builds and tests passed"
