#!/usr/bin/env bash
# Takes the picture of the GTK dialog in docs/screenshots/gtk-dialog.png anew: the dialog
# halfway through a download on a private Xvfb display, as the process test that checks
# its layout captures it. Builds the Linux preset first.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset linux >/dev/null
cmake --build --preset linux -j2 >/dev/null
mkdir -p docs/screenshots
KESTROW_SCREENSHOT="$PWD/docs/screenshots/gtk-dialog.png" \
  build/linux/tests/kestrow_tests --gtest_brief=1 --gtest_filter=GtkDialogProcess.TheDownloadFillsTheBarAndCloseAsksFirst
echo "docs/screenshots/gtk-dialog.png"
