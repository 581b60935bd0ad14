#!/usr/bin/env bash
# Benchmark of the whole update up to the installer: the updater's own time from its start
# to the start of the installer, with a 1 MiB package on the loopback endpoint, against
# `curl` fetching a 1 MiB package from the same endpoint plus `osslsigncode verify` on it,
# in one run, reported as the ratio of their mean times; and the updater's peak memory
# over the whole run.
#
#   bench/update-bench.sh [--dialog] [BUILD-FOLDER] [RUNS]     (defaults: build/linux, 10)
#
# The updater runs in a sandbox as the demo does (tools/demo-update.sh, docs/demo.md),
# without a display, so its dialog is the terminal view. With --dialog it shows its GTK
# dialog on a private Xvfb display instead; that run is reported for information, as the
# reference shows no window, and the limit is not applied to it. The package it updates with is a
# small static program padded to 1 MiB and signed by the demo CA: the first thing it does
# is write the clock's time into the file that KESTROW_BENCH_MARK names (the updater's
# environment reaches it), which marks the start of the install stage. The installer's
# own work is not the updater's time, so nothing else of it is measured.
# Needs: a Linux build (kestrow), curl, osslsigncode, hyperfine, GNU time, gcc with the
# static C library, x86_64-w64-mingw32-gcc, python3. Limit: ratio at most 1.5.
set -euo pipefail
dialog=0
if [ "${1:-}" = --dialog ]; then
  dialog=1
  shift
  if [ -z "${KESTROW_BENCH_XVFB:-}" ]; then exec env KESTROW_BENCH_XVFB=1 xvfb-run -a bash "$0" --dialog "$@"; fi
fi
cd "$(dirname "$0")/.."
repo=$PWD
build=$(realpath "${1:-build/linux}")
runs=${2:-10}
program=$build/app/kestrow
[ -x "$program" ] || { echo "build $build first (kestrow)"; exit 1; }

sandbox=$(mktemp -d)
trap 'rm -f "$sandbox/server/run"; wait 2>/dev/null; rm -rf "$sandbox"' EXIT
mkdir -p "$sandbox"/{registry,vimbly,tmp,locks,server/packages}
cd "$sandbox"

# The two 1 MiB packages, signed by one demo CA: the Linux package the updater takes, and a
# Windows program of the same size for osslsigncode.
cat >mark-start.c <<'C'
#include <stdio.h>
#include <stdlib.h>
#include <time.h>
int main(void)
{
    struct timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    const char* mark = getenv("KESTROW_BENCH_MARK");
    FILE* file = mark ? fopen(mark, "w") : NULL;
    if (!file) return 1;
    fprintf(file, "%lld.%09ld\n", (long long)now.tv_sec, now.tv_nsec);
    return fclose(file) == 0 ? 0 : 1;
}
C
gcc -O2 -static -s -o mark-start mark-start.c
bash "$repo/tools/demo/sign-demo-package.sh" mark-start signed VimblyUpdate.bin 1048576
printf 'int main(void) { return 0; }\n' >stand-in.c
x86_64-w64-mingw32-gcc -O2 -s -o stand-in.exe stand-in.c
bash "$repo/tools/demo/sign-demo-package.sh" stand-in.exe signed reference.exe 1048576
cp signed/VimblyUpdate.bin signed/reference.exe server/packages/

python3 "$repo/tools/update-server.py" --packages server/packages --package VimblyUpdate.bin \
  --run-file server/run --max-seconds 600 &
for _ in $(seq 100); do [ -f server/run ] && break; sleep 0.1; done
port=$(sed -n 's/^http=//p' server/run)
base="http://127.0.0.1:$port"

source "$repo/tools/demo/sandbox-hive.sh"
demo_machine_hive registry/machine.reg "$sandbox/vimbly" "$base/updater/check.php" "$sandbox/signed/roots"

# One update; prints the seconds from the start to the installer's start, and adds the
# run's peak memory (KiB) to peak-kib.
run_updater() {
  printf '4.2.01.12020\r\n' >vimbly/Version.txt
  rm -rf tmp/Vimbly_Kestrow started
  local start
  start=$(date +%s.%N)
  local display=(-u DISPLAY)
  [ $dialog -eq 1 ] && display=()
  /usr/bin/time -f %M -a -o peak-kib env "${display[@]}" -u WAYLAND_DISPLAY NORVALE_REGISTRY_DIR="$sandbox/registry" \
    TMPDIR="$sandbox/tmp" KESTROW_MUTEX_DIR="$sandbox/locks" KESTROW_TERMINAL_INPUT=0 \
    KESTROW_BENCH_MARK="$sandbox/started" "$program" Vimbly_Kestrow </dev/null >updater.log 2>&1
  [ -s started ] || { echo "the update did not reach the installer:" >&2; cat updater.log >&2; exit 1; }
  python3 -c "import sys; print(float(sys.argv[1]) - float(sys.argv[2]))" "$(cat started)" "$start"
}

run_updater >/dev/null  # warm-up
: >updater-times
: >peak-kib
for _ in $(seq "$runs"); do run_updater >>updater-times; done
hyperfine --warmup 1 --runs "$runs" --export-json reference.json \
  -n 'curl + osslsigncode verify' \
  "curl -s -o fetched.exe $base/packages/reference.exe && osslsigncode verify -CAfile signed/roots/demo-root.pem fetched.exe" \
  >/dev/null
DIALOG=$dialog python3 - <<'PY'
import json, os, statistics, sys
updater = [float(line) for line in open("updater-times") if line.strip()]
reference = json.load(open("reference.json"))["results"][0]["mean"]
mean = statistics.mean(updater)
ratio = mean / reference
dialog = os.environ["DIALOG"] == "1"
view = "GTK dialog" if dialog else "terminal view"
limit = "for information" if dialog else "limit 1.5"
print(f"1 MiB package, {view}: updater start to install stage {mean:.3f} s (of {len(updater)} runs), "
      f"curl + osslsigncode verify {reference:.3f} s, ratio {ratio:.2f} ({limit})")
peak = max(int(line) for line in open("peak-kib") if line.strip().isdigit())
print(f"updater peak memory over the whole run: {peak / 1024:.1f} MiB")
sys.exit(0 if dialog or ratio <= 1.5 else 1)
PY
