#!/usr/bin/env bash
# Builds both targets and runs every test: the Linux build, the sanitizer build (with
# short, time-bounded fuzz runs) and the Windows build under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/install-deps.sh

jobs=$(nproc)
# A fresh Wine prefix in a temporary folder for this run.
scratch=$(mktemp -d)
trap 'wineserver -k >/dev/null 2>&1 || true; rm -rf "$scratch"' EXIT
export KESTROW_WINEPREFIX="$scratch/wine"
tools/wine-prefix.sh "$KESTROW_WINEPREFIX"

for preset in linux sanitize windows; do
  echo "== $preset: build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  echo "== $preset: tests"
  ctest --preset "$preset"
done

echo "== fuzzing (bounded)"
for fuzzer in build/sanitize/tests/*_fuzzer; do
  [ -x "$fuzzer" ] || continue
  name=$(basename "$fuzzer")
  corpus="$scratch/corpus-$name"
  mkdir -p "$corpus"
  seeds="tests/fuzz/seeds/${name%_fuzzer}"
  [ -d "$seeds" ] && cp -r "$seeds"/. "$corpus"/
  "$fuzzer" -max_total_time="${KESTROW_FUZZ_SECONDS:-30}" -rss_limit_mb=2048 -timeout=10 "$corpus" >"$scratch/$name.log" 2>&1 ||
    { tail -n 40 "$scratch/$name.log"; echo "fuzzer $name failed"; exit 1; }
  tail -n 1 "$scratch/$name.log"
done
echo "all builds and tests passed"
