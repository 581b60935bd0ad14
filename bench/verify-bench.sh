#!/usr/bin/env bash
# Benchmark of the package check: kestrow-verify on a large signed package against
# `openssl dgst -sha256` over the same file, in one hyperfine run, reported as the ratio of
# their mean times; and the check's peak memory on that package against its peak on a
# small one (the file is streamed, never read whole).
#
#   bench/verify-bench.sh [BUILD-FOLDER] [SIZE-MIB]     (defaults: build/linux, 512)
#
# Needs: a Linux build (kestrow-verify, and the test packages beside the tests), openssl,
# osslsigncode, hyperfine, GNU time. Limits: ratio at most 1.15, memory within 8 MiB.
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build/linux}")
mib=${2:-512}
verify=$build/app/kestrow-verify
stand_in=$build/tests/signed-packages/unsigned.exe
[ -x "$verify" ] && [ -f "$stand_in" ] || { echo "build $build first (kestrow-verify and the tests)"; exit 1; }

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cd "$scratch"
mkdir roots
openssl req -x509 -newkey rsa:2048 -nodes -keyout root.key -out roots/root.pem -days 30 \
  -subj "/CN=Kestrow Bench Root" -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign >/dev/null 2>&1
openssl req -new -newkey rsa:2048 -nodes -keyout signer.key -out signer.csr -subj "/CN=Norvale Corporation" >/dev/null 2>&1
printf 'extendedKeyUsage=codeSigning\nkeyUsage=critical,digitalSignature\n' >signer.ext
openssl x509 -req -in signer.csr -CA roots/root.pem -CAkey root.key -CAcreateserial -days 30 -extfile signer.ext \
  -out signer.pem >/dev/null 2>&1

cp "$stand_in" small.exe
{ cat "$stand_in"; head -c "${mib}M" /dev/urandom; } >big.exe
for name in small big; do
  osslsigncode sign -certs signer.pem -key signer.key -h sha256 -in $name.exe -out $name-signed.exe >/dev/null
done
"$verify" --roots roots big-signed.exe >/dev/null || { echo "the benchmark package was refused"; exit 1; }

hyperfine --warmup 2 --runs 7 --export-json times.json \
  -n verify "'$verify' --roots roots big-signed.exe" \
  -n 'openssl dgst' 'openssl dgst -sha256 big-signed.exe' >/dev/null
peak() { /usr/bin/time -f %M "$@" 2>&1 >/dev/null | tail -n 1; }
small_kib=$(peak "$verify" --roots roots small-signed.exe)
big_kib=$(peak "$verify" --roots roots big-signed.exe)

python3 - "$mib" "$small_kib" "$big_kib" <<'PY'
import json, sys
mib, small, big = int(sys.argv[1]), int(sys.argv[2]), int(sys.argv[3])
times = {r["command"]: r["mean"] for r in json.load(open("times.json"))["results"]}
ratio = times["verify"] / times["openssl dgst"]
growth = (big - small) / 1024
print(f"package {mib} MiB: verify {times['verify']:.3f} s, openssl dgst -sha256 {times['openssl dgst']:.3f} s, "
      f"ratio {ratio:.3f} (limit 1.15)")
print(f"peak memory: {small / 1024:.1f} MiB on a small package, {big / 1024:.1f} MiB on this one, "
      f"growth {growth:.1f} MiB (limit 8)")
sys.exit(0 if ratio <= 1.15 and growth <= 8 else 1)
PY
