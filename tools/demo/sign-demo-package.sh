#!/usr/bin/env bash
# Signs the demo installer as "Norvale Corporation" with a demo CA that it makes in the
# output folder the first time (the keys never leave the build folder; nothing is checked
# in):
#
#   sign-demo-package.sh INSTALLER OUTPUT-FOLDER PACKAGE-NAME [SIZE]
#
# With SIZE the program is first padded with zero bytes to that many bytes, as a
# self-extracting installer carries its payload after the program.
#
# A PE file (a Windows installer) gets an Authenticode signature with osslsigncode; any
# other file (the Linux installer, an ELF program) a detached PKCS #7 signature appended
# in the kernel-module format (docs/signing.md). Output: OUTPUT-FOLDER/PACKAGE-NAME and
# OUTPUT-FOLDER/roots/demo-root.pem, the root that only the demo's sandbox trusts.
set -euo pipefail
source=$1 out=$2 name=$3 size=${4:-0}
ca="$out/ca"
mkdir -p "$ca" "$out/roots"
installer="$out/unsigned-$name"
cp "$source" "$installer"
[ "$(stat -c %s "$installer")" -lt "$size" ] && truncate -s "$size" "$installer"

quiet() { "$@" >/dev/null 2>&1 || { echo "failed: $*" >&2; "$@"; exit 1; }; }

if [ ! -f "$ca/signer.pem" ]; then
  quiet openssl req -x509 -newkey rsa:2048 -nodes -days 3650 -subj "/CN=Kestrow Demo Root" \
    -keyout "$ca/root.key" -out "$ca/root.pem" \
    -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign,cRLSign
  quiet openssl req -new -newkey rsa:2048 -nodes -subj "/C=US/O=Norvale Corporation/CN=Norvale Corporation" \
    -keyout "$ca/signer.key" -out "$ca/signer.csr"
  printf 'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n' \
    >"$ca/signer.ext"
  quiet openssl x509 -req -in "$ca/signer.csr" -CA "$ca/root.pem" -CAkey "$ca/root.key" -CAcreateserial \
    -days 3650 -extfile "$ca/signer.ext" -out "$ca/signer.pem"
fi
cp "$ca/root.pem" "$out/roots/demo-root.pem"

target="$out/$name"
rm -f "$target"
if [ "$(head -c 2 "$installer")" = "MZ" ]; then
  quiet osslsigncode sign -certs "$ca/signer.pem" -key "$ca/signer.key" -h sha256 -n "Vimbly" \
    -in "$installer" -out "$target"
else
  signature="$out/signature.p7s"
  quiet openssl cms -sign -binary -noattr -md sha256 -outform DER -in "$installer" \
    -signer "$ca/signer.pem" -inkey "$ca/signer.key" -out "$signature"
  length=$(stat -c %s "$signature")
  {
    cat "$installer" "$signature"
    # algorithm 0, hash 0, id type 2 (PKCS #7), no signer name or key id, 3 bytes padding
    printf '\0\0\2\0\0\0\0\0'
    printf '%08x' "$length" | sed 's/../\\x&/g' | xargs -0 printf
    printf '~Module signature appended~\n'
  } >"$target"
  rm -f "$signature"
  chmod 0755 "$target"
fi
rm -f "$installer"
