#!/usr/bin/env bash
# Runs a Windows program under Wine, headless, in a private Wine prefix.
# The prefix is made once per KESTROW_WINEPREFIX (default: a folder under the system
# temporary folder, kept between runs of one session so that only the first run pays
# for Wine's set-up).
set -euo pipefail
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export WINEPREFIX="${KESTROW_WINEPREFIX:-${TMPDIR:-/tmp}/kestrow-wine-$(id -u)}"
unset DISPLAY
# Wine's recycle bin is the host's freedesktop.org trash: keep it inside the prefix so
# that tests never put anything into the user's own trash.
export XDG_DATA_HOME="$WINEPREFIX/xdg-data"
mkdir -p "$XDG_DATA_HOME"
"$(dirname "$0")/wine-prefix.sh" "$WINEPREFIX"
wine=wine64
command -v wine64 >/dev/null 2>&1 || wine=wine
exec "$wine" "$@"
