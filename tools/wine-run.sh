#!/usr/bin/env bash
# Runs a Windows program under Wine, headless, in a private Wine prefix.
# The prefix is made once per KESTROW_WINEPREFIX (default: a folder under the system
# temporary folder, kept between runs of one session so that only the first run pays
# for Wine's set-up).
set -euo pipefail
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export WINEPREFIX="${KESTROW_WINEPREFIX:-${TMPDIR:-/tmp}/kestrow-wine-$(id -u)}"
# The window tests need a display of their own (ctest entry win32_dialog): with
# KESTROW_WINE_X11=1 the program gets DISPLAY set to a display number that no X server
# holds now, and the tests start Xvfb on it themselves. Wine's processes connect to the
# display named in the environment they were started with, so it is set here, before the
# first of them; without it Wine makes no windows and the program uses the terminal.
if [ "${KESTROW_WINE_X11:-}" = 1 ]; then
  n=$((150 + $$ % 100))
  for _ in $(seq 100); do
    [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] || break
    n=$((n >= 249 ? 150 : n + 1))
  done
  export DISPLAY=":$n"
else
  unset DISPLAY
fi
# Wine's recycle bin is the host's freedesktop.org trash: keep it inside the prefix so
# that tests never put anything into the user's own trash.
export XDG_DATA_HOME="$WINEPREFIX/xdg-data"
mkdir -p "$XDG_DATA_HOME"
"$(dirname "$0")/wine-prefix.sh" "$WINEPREFIX"
wine=wine64
command -v wine64 >/dev/null 2>&1 || wine=wine
exec "$wine" "$@"
