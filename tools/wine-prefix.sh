#!/usr/bin/env bash
# Sets up a headless Wine prefix for the Windows tests: ./tools/wine-prefix.sh [FOLDER]
# (default: the prefix that tools/wine-run.sh uses). Does nothing when it exists.
set -euo pipefail
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export WINEPREFIX="${1:-${KESTROW_WINEPREFIX:-${TMPDIR:-/tmp}/kestrow-wine-$(id -u)}}"
unset DISPLAY
[ -f "$WINEPREFIX/system.reg" ] && exit 0
mkdir -p "$WINEPREFIX"
wineboot -i >/dev/null 2>&1 || true
wineserver -w || true
