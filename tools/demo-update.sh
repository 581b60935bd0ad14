#!/usr/bin/env bash
# A whole update, safely: builds the updater and the signed demo installer, makes a
# sandbox under a temporary folder (registry hives with Vimbly "installed" at an old
# version, a temporary folder, a demo root trusted only there), starts the project's own
# update endpoint on loopback, runs "kestrow Vimbly_Kestrow" against it and prints what
# changed. Nothing outside the sandbox is touched (docs/demo.md).
#
#   tools/demo-update.sh [--wine] [--keep] [--no-build]
#
#   --wine      the Windows build under Wine, in a fresh Wine prefix inside the sandbox
#   --keep      keep the sandbox afterwards (its path is printed)
#   --no-build  use the build folder as it is
#
# Under a display the updater shows its dialog; without one it prints the dialog on the
# terminal. Extra settings of the demo installer (DemoInstaller.cpp) can be given as
# environment variables: DEMO_EXIT_CODE, DEMO_INSTALL_RESULT, DEMO_RUN_MS.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD

wine_mode=0 keep=0 build=1
for argument in "$@"; do
  case $argument in
    --wine) wine_mode=1 ;;
    --keep) keep=1 ;;
    --no-build) build=0 ;;
    *) echo "usage: $0 [--wine] [--keep] [--no-build]" >&2; exit 2 ;;
  esac
done

old_version=4.2.01.12020
new_version=4.3.00.10000
if [ $wine_mode -eq 1 ]; then
  preset=windows package_name=VimblyUpdate.exe program=build/windows/app/kestrow.exe
else
  preset=linux package_name=VimblyUpdate.bin program=build/linux/app/kestrow
fi

if [ $build -eq 1 ]; then
  bash tools/install-deps.sh
  cmake --preset $preset >/dev/null
  cmake --build --preset $preset -j "$(nproc)" --target kestrow demo_package
fi
package="build/$preset/tools/demo/demo-package/$package_name"
[ -x "$program" ] && [ -f "$package" ] || { echo "demo: $program or $package is missing; build first" >&2; exit 1; }

sandbox=$(mktemp -d "${TMPDIR:-/tmp}/kestrow-demo.XXXXXX")
server_pid=
cleanup() {
  rm -f "$sandbox/server/run"
  [ -n "$server_pid" ] && wait "$server_pid" 2>/dev/null || true
  # Only the sandbox's own Wine server is stopped, never another prefix's.
  [ $wine_mode -eq 1 ] && WINEPREFIX="$sandbox/wine" wineserver -k >/dev/null 2>&1 || true
  if [ $keep -eq 1 ]; then echo "sandbox kept: $sandbox"; else rm -rf "$sandbox"; fi
}
trap cleanup EXIT
mkdir -p "$sandbox"/{registry,vimbly,tmp,locks,roots,server/packages}
printf '%s\r\n' "$old_version" >"$sandbox/vimbly/Version.txt"
cp "$package" "$sandbox/server/packages/"
cp "build/$preset/tools/demo/demo-package/roots/demo-root.pem" "$sandbox/roots/"

# The loopback endpoint: it answers every check with the demo package's URL.
python3 tools/update-server.py --packages "$sandbox/server/packages" --package "$package_name" \
  --run-file "$sandbox/server/run" --log "$sandbox/server/log" --max-seconds 900 &
server_pid=$!
for _ in $(seq 100); do [ -f "$sandbox/server/run" ] && break; sleep 0.1; done
port=$(sed -n 's/^http=//p' "$sandbox/server/run")
[ -n "$port" ] || { echo "demo: the update endpoint did not start" >&2; exit 1; }
endpoint="http://127.0.0.1:$port/updater/check.php"

# Reads the first line of the sandboxed product's Version.txt.
installed_version() { head -n 1 "$sandbox/vimbly/Version.txt" | tr -d '\r'; }
before=$(installed_version)

if [ $wine_mode -eq 0 ]; then
  source tools/demo/sandbox-hive.sh
  demo_machine_hive "$sandbox/registry/machine.reg" "$sandbox/vimbly" "$endpoint" "$sandbox/roots" \
    "\"NewVersion\"=\"$new_version\"" \
    "\"ExitCode\"=dword:$(printf %08x "${DEMO_EXIT_CODE:-0}")" \
    "\"InstallResult\"=dword:$(printf %08x "${DEMO_INSTALL_RESULT:-0}")" \
    "\"RunMs\"=dword:$(printf %08x "${DEMO_RUN_MS:-1500}")"
  # Without a display the dialog is printed on the terminal; the installer's window then
  # goes to a private X display (Xvfb), where the install stage finds it at once rather
  # than waiting its 30 seconds for a window that cannot appear. GTK is kept off that
  # display, so the dialog stays on the terminal.
  display=()
  if [ -z "${DISPLAY:-}" ] && command -v xvfb-run >/dev/null 2>&1; then
    mkdir -p "$sandbox/x11"
    display=(env TMPDIR="$sandbox/x11" xvfb-run -a env GDK_BACKEND=wayland)
  fi
  echo "== running the updater (sandbox $sandbox)"
  status=0
  "${display[@]}" env NORVALE_REGISTRY_DIR="$sandbox/registry" TMPDIR="$sandbox/tmp" KESTROW_MUTEX_DIR="$sandbox/locks" \
    XDG_CONFIG_HOME="$sandbox/config" XDG_DATA_HOME="$sandbox/data" "$program" Vimbly_Kestrow || status=$?
  # "InstallResult" of the host product's own key (the installer's settings have one too).
  result=$(KEY='[HKEY_LOCAL_MACHINE\SOFTWARE\Norvale Corporation\Vimbly]' awk '
    { sub(/\r$/, "") }
    /^\[/ { inside = tolower($0) == tolower(ENVIRON["KEY"]); next }
    inside && index($0, "\"InstallResult\"=dword:") == 1 { print substr($0, 23) }' "$sandbox/registry/machine.reg")
  [ -n "$result" ] && result=$((16#$result)) || result="(absent)"
  work="$sandbox/tmp/Vimbly_Kestrow"
else
  export WINEPREFIX="$sandbox/wine" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
  export XDG_DATA_HOME="$sandbox/data"
  echo "== making a Wine prefix in the sandbox (a minute the first time)"
  tools/wine-prefix.sh "$WINEPREFIX"
  wine=wine64
  command -v wine64 >/dev/null 2>&1 || wine=wine
  winpath() { printf 'Z:%s' "${1//\//\\}"; }
  reg() { "$wine" reg add "$@" /f >/dev/null; }
  # The update supports Windows 7 workstations: the prefix is set to report that version.
  "$wine" winecfg /v win7 >/dev/null 2>&1
  vimbly='HKLM\SOFTWARE\Norvale Corporation\Vimbly'
  reg "$vimbly" /v InstalledLocation /t REG_SZ /d "$(winpath "$sandbox/vimbly")\\"
  reg "$vimbly" /v InstalledLanguage /t REG_SZ /d 1033
  reg "$vimbly\\Updater" /v CheckEndpoint /t REG_SZ /d "$endpoint"
  reg "$vimbly\\DemoInstaller" /v NewVersion /t REG_SZ /d "$new_version"
  reg "$vimbly\\DemoInstaller" /v ExitCode /t REG_DWORD /d "${DEMO_EXIT_CODE:-0}"
  reg "$vimbly\\DemoInstaller" /v InstallResult /t REG_DWORD /d "${DEMO_INSTALL_RESULT:-0}"
  reg "$vimbly\\DemoInstaller" /v RunMs /t REG_DWORD /d "${DEMO_RUN_MS:-1500}"
  # The work directory lands in the sandbox's temporary folder.
  reg 'HKCU\Environment' /v TEMP /t REG_SZ /d "$(winpath "$sandbox/tmp")"
  reg 'HKCU\Environment' /v TMP /t REG_SZ /d "$(winpath "$sandbox/tmp")"
  echo "== running the updater under Wine (sandbox $sandbox)"
  status=0
  "$wine" "$program" Vimbly_Kestrow || status=$?
  result=$({ "$wine" reg query "$vimbly" /v InstallResult 2>/dev/null || true; } |
    sed -n 's/.*REG_DWORD[[:space:]]*0x\([0-9a-fA-F]*\).*/\1/p' | tr -d '\r')
  [ -n "$result" ] && result=$((16#$result)) || result="(absent)"
  work="$sandbox/tmp/Vimbly_Kestrow"
fi

after=$(installed_version)
echo "== what changed"
echo "exit status:        $status"
echo "installed version:  $before -> $after"
echo "InstallResult:      $result"
if [ -d "$work" ]; then echo "work folder:        kept ($work)"; else echo "work folder:        removed"; fi
echo "endpoint requests:  $(cut -f2,3 "$sandbox/server/log" 2>/dev/null | tr '\t\n' ' ;' || true)"
