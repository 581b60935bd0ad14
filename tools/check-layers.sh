#!/usr/bin/env bash
# Fails when a source file includes across the layers (docs/architecture.md, "Layers"):
#   platform/*.h, platform/shared/  the C++ standard library and other such headers only
#   platform/posix/, platform/win32/ anything (the only home of system headers)
#   foundation/                      platform interface headers, foundation/, the standard library
#   update/, ui/                     foundation/, platform interface headers, their own folder
#   app/                             all of the above
# A system header is any angle include that is not a bare standard name (<vector>, <cstdint>).
set -euo pipefail
cd "$(dirname "$0")/.."

status=0
fail() { echo "layer violation: $1: $2"; status=1; }

check() { # file, allowed quoted-include pattern
  local file=$1 allowed=$2 line inc
  while IFS= read -r line; do
    if [[ $line =~ ^[[:space:]]*#[[:space:]]*include[[:space:]]*\<([^>]+)\> ]]; then
      inc=${BASH_REMATCH[1]}
      [[ $inc =~ ^[a-z_0-9]+$ ]] || fail "$file" "<$inc> (system headers belong under platform/posix or platform/win32)"
    elif [[ $line =~ ^[[:space:]]*#[[:space:]]*include[[:space:]]*\"([^\"]+)\" ]]; then
      inc=${BASH_REMATCH[1]}
      [[ $inc =~ $allowed ]] || fail "$file" "\"$inc\""
    fi
  done <"$file"
}

iface='^platform/[A-Za-z0-9_]+\.h$|^platform/shared/[A-Za-z0-9_]+\.h$'
while IFS= read -r f; do
  case $f in
    platform/posix/* | platform/win32/*) ;;
    platform/*) check "$f" "$iface" ;;
    foundation/*) check "$f" "$iface|^foundation/" ;;
    update/*) check "$f" "$iface|^foundation/|^update/" ;;
    ui/*) check "$f" "$iface|^foundation/|^ui/" ;;
    app/*) check "$f" "$iface|^foundation/|^update/|^ui/|^app/" ;;
  esac
done < <(git ls-files --cached --others --exclude-standard -- '*.h' '*.cpp' '*.hpp')

[ $status -eq 0 ] && echo "layers: no file includes across the layers"
exit $status
