#!/usr/bin/env bash
# Takes a picture of the dialog at each stage (pre-check, update check, download,
# verification, the error screen), each on a private Xvfb display: a test program runs
# the real dialog with stand-in stages that stop where asked (KESTROW_SAMPLE_STAGE).
# During the installation the dialog is hidden, so that stage has no picture of its own.
#   tools/dialog-screenshots.sh          the GTK dialog: docs/screenshots/gtk-<stage>.png
#   tools/dialog-screenshots.sh --wine   the Win32 dialog under Wine, on a Wine desktop of
#                                        its own: docs/screenshots/win32-<stage>.png
set -euo pipefail
cd "$(dirname "$0")/.."
target=gtk
[ "${1:-}" = --wine ] && target=win32
mkdir -p docs/screenshots
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
if [ $target = gtk ]; then
  cmake --preset linux >/dev/null
  cmake --build --preset linux -j2 --target kestrow_gtk_sample >/dev/null
  run() { KESTROW_MUTEX_DIR="$work" NO_AT_BRIDGE=1 build/linux/tests/kestrow_gtk_sample; }
else
  cmake --preset windows >/dev/null
  cmake --build --preset windows -j2 --target kestrow_dialog_sample >/dev/null
  export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
  export WINEPREFIX="${KESTROW_WINEPREFIX:-$work/wine}"
  bash tools/wine-prefix.sh "$WINEPREFIX"
  run() { wine explorer /desktop=kestrow-shot,640x360 build/windows/tests/kestrow_dialog_sample.exe; }
fi

for stage in precheck check download verify error; do
  display=$((200 + RANDOM % 400))
  Xvfb ":$display" -nolisten tcp -screen 0 800x600x24 >/dev/null 2>&1 &
  xvfb=$!
  for _ in $(seq 50); do xwininfo -display ":$display" -root >/dev/null 2>&1 && break; sleep 0.1; done
  KESTROW_SAMPLE_STAGE=$stage DISPLAY=":$display" run &
  program=$!
  window=""
  for _ in $(seq 200); do
    window=$(xwininfo -display ":$display" -root -tree 2>/dev/null | awk '/"Vimbly Updater"/ {print $1; exit}')
    [ -n "$window" ] && break
    sleep 0.1
  done
  sleep 2  # the texts and the marquee settle
  if [ -n "$window" ]; then
    import -display ":$display" -window "$window" "docs/screenshots/$target-$stage.png"
    echo "docs/screenshots/$target-$stage.png"
  else
    echo "no dialog for $stage" >&2
  fi
  kill "$program" 2>/dev/null || true
  wait "$program" 2>/dev/null || true
  [ $target = win32 ] && { wineserver -k 2>/dev/null || true; }
  kill "$xvfb" 2>/dev/null || true
  wait "$xvfb" 2>/dev/null || true
done
