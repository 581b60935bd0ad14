#!/usr/bin/env bash
# Benchmark of the whole update up to the installer: the updater's own time from its start
# to the start of the installer, with a 1 MiB package on the loopback endpoint, against
# `curl` fetching a 1 MiB package from the same endpoint plus `osslsigncode verify` on it,
# in one run, reported as the ratio of their mean times; and the updater's peak memory
# over the whole run.
#
#   bench/update-bench.sh [BUILD-FOLDER] [RUNS]     (defaults: build/linux, 5)
#
# The updater runs in a sandbox as the demo does (tools/demo-update.sh, docs/demo.md). Its
# install stage begins when the demo installer starts; the installer writes the host
# product's Version.txt first thing, so that file's modification time marks it.
# Needs: a Linux build (kestrow and the demo package), curl, osslsigncode, hyperfine,
# GNU time, python3. Limit: ratio at most 1.5.
set -euo pipefail
# The installer's window goes to a display (a private Xvfb when there is none), where the
# install stage finds it at once; GTK is kept off it, so the dialog stays on the terminal.
if [ -z "${DISPLAY:-}" ] && command -v xvfb-run >/dev/null 2>&1; then exec xvfb-run -a bash "$0" "$@"; fi
cd "$(dirname "$0")/.."
repo=$PWD
build=$(realpath "${1:-build/linux}")
runs=${2:-5}
program=$build/app/kestrow
installer=$build/tools/demo/kestrow-demo-installer
[ -x "$program" ] && [ -x "$installer" ] || { echo "build $build first (kestrow, demo_package)"; exit 1; }

sandbox=$(mktemp -d)
trap 'rm -f "$sandbox/server/run"; wait 2>/dev/null; rm -rf "$sandbox"' EXIT
mkdir -p "$sandbox"/{registry,vimbly,tmp,locks,server/packages}
cd "$sandbox"

# The two 1 MiB packages, signed by one demo CA: the Linux package the updater takes, and a
# Windows program of the same size for osslsigncode.
bash "$repo/tools/demo/sign-demo-package.sh" "$installer" signed VimblyUpdate.bin 1048576
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
demo_machine_hive registry/machine.reg "$sandbox/vimbly" "$base/updater/check.php" "$sandbox/signed/roots" \
  '"RunMs"=dword:00000000'

# One update; prints the seconds from the start to the installer's start, and adds the
# run's peak memory (KiB, the largest of the updater and the installer) to peak-kib.
run_updater() {
  printf '4.2.01.12020\r\n' >vimbly/Version.txt
  touch -d '2000-01-01' vimbly/Version.txt
  rm -rf tmp/Vimbly_Kestrow
  local start
  start=$(date +%s.%N)
  /usr/bin/time -f %M -a -o peak-kib env -u WAYLAND_DISPLAY GDK_BACKEND=wayland NORVALE_REGISTRY_DIR="$sandbox/registry" \
    TMPDIR="$sandbox/tmp" KESTROW_MUTEX_DIR="$sandbox/locks" KESTROW_TERMINAL_INPUT=0 "$program" Vimbly_Kestrow \
    </dev/null >updater.log 2>&1
  grep -q '^4.3' vimbly/Version.txt || { echo "the update did not reach the installer:" >&2; cat updater.log >&2; exit 1; }
  python3 -c "import sys; print(float(sys.argv[1]) - float(sys.argv[2]))" "$(stat -c %.9Y vimbly/Version.txt)" "$start"
}

run_updater >/dev/null  # warm-up
: >updater-times
: >peak-kib
for _ in $(seq "$runs"); do run_updater >>updater-times; done
hyperfine --warmup 1 --runs "$runs" --export-json reference.json \
  -n 'curl + osslsigncode verify' \
  "curl -s -o fetched.exe $base/packages/reference.exe && osslsigncode verify -CAfile signed/roots/demo-root.pem fetched.exe" \
  >/dev/null
python3 - <<'PY'
import json, statistics, sys
updater = [float(line) for line in open("updater-times") if line.strip()]
reference = json.load(open("reference.json"))["results"][0]["mean"]
mean = statistics.mean(updater)
ratio = mean / reference
print(f"1 MiB package: updater start to install stage {mean:.3f} s (of {len(updater)} runs), "
      f"curl + osslsigncode verify {reference:.3f} s, ratio {ratio:.2f} (limit 1.5)")
peak = max(int(line) for line in open("peak-kib") if line.strip().isdigit())
print(f"updater peak memory over the whole run: {peak / 1024:.1f} MiB")
sys.exit(0 if ratio <= 1.5 else 1)
PY
