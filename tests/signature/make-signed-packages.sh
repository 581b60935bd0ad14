#!/usr/bin/env bash
# Makes the signed packages that the signature tests check, in a fresh folder each time:
# a test root CA (and one that nobody trusts), leaf certificates with code-signing usage,
# a time-stamping authority, a stand-in installer (PE32+ and PE32, made with the mingw-w64
# tools) and a stand-in Linux package (an ELF program), signed in every way the tests
# need. No key outlives the build folder.
#
#   make-signed-packages.sh OUTPUT-FOLDER
#
# Output: roots/test-root.pem (the root to trust), *.exe and *.pkg packages; see the list
# at the end.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
out=$1
rm -rf "$out"
mkdir -p "$out/work" "$out/roots"
cd "$out/work"

cat >ca.cnf <<'CNF'
[ ca ]
default_ca = test_ca
[ test_ca ]
database = index.txt
new_certs_dir = .
serial = serial
default_md = sha256
policy = any_name
unique_subject = no
email_in_dn = yes
[ any_name ]
localityName = optional
countryName = optional
organizationName = optional
organizationalUnitName = optional
commonName = optional
emailAddress = optional
[ root ]
basicConstraints = critical,CA:TRUE
keyUsage = critical,keyCertSign,cRLSign
subjectKeyIdentifier = hash
[ code ]
basicConstraints = CA:FALSE
keyUsage = critical,digitalSignature
extendedKeyUsage = codeSigning
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
[ code_email ]
basicConstraints = CA:FALSE
keyUsage = critical,digitalSignature
extendedKeyUsage = codeSigning
subjectAltName = email:updates@norvale.example
[ server ]
basicConstraints = CA:FALSE
keyUsage = critical,digitalSignature
extendedKeyUsage = serverAuth
[ tsa ]
basicConstraints = CA:FALSE
keyUsage = critical,digitalSignature
extendedKeyUsage = critical,timeStamping
[ tsa_any ]
basicConstraints = CA:FALSE
keyUsage = critical,digitalSignature
CNF

quiet() { "$@" >/dev/null 2>&1 || { echo "failed: $*" >&2; "$@"; exit 1; }; }

use_ca() {  # folder: the database and serial file that openssl ca uses next
  sed -i "s|^database = .*|database = $1/index.txt|; s|^serial = .*|serial = $1/serial|" ca.cnf
}

# A CA folder with its own database; the root is valid from 2019 to 2040 so that times
# in the past (an old timestamp) still chain.
make_ca() {  # folder subject
  mkdir -p "$1"
  : >"$1/index.txt"
  echo 1000 >"$1/serial"
  quiet openssl req -new -newkey rsa:2048 -nodes -keyout "$1/key.pem" -out "$1/req.pem" -subj "$2"
  use_ca "$1"
  quiet openssl ca -batch -config ca.cnf -selfsign -keyfile "$1/key.pem" -in "$1/req.pem" -out "$1/cert.pem" \
    -notext -extensions root -startdate 20190101000000Z -enddate 20400101000000Z -outdir "$1"
}

# A certificate issued by a CA folder: name ca subject extensions start end
issue() {
  use_ca "$2"
  quiet openssl req -new -newkey rsa:2048 -nodes -keyout "$1.key" -out "$1.req" -subj "$3"
  quiet openssl ca -batch -config ca.cnf -cert "$2/cert.pem" -keyfile "$2/key.pem" -in "$1.req" -out "$1.pem" \
    -notext -extensions "$4" -startdate "$5" -enddate "$6" -outdir "$2"
}

sign() {  # certificate input output [extra osslsigncode options]
  local cert=$1 in=$2 output=$3
  shift 3
  quiet osslsigncode sign -certs "$cert.pem" -key "$cert.key" -h sha256 -n "Vimbly" -in "$in" -out "$output" "$@"
}

make_ca root "/CN=Kestrow Test Root"
make_ca stranger "/CN=Kestrow Untrusted Root"
now_start=20200101000000Z
now_end=20391231000000Z
issue norvale root "/C=US/O=Norvale Corporation/CN=Norvale Corporation" code $now_start $now_end
issue other root "/O=Contoso Imaging Ltd/CN=Contoso Imaging Ltd" code $now_start $now_end
issue longer root "/CN=Norvale Corporation Holdings Ltd" code $now_start $now_end
issue organization root "/OU=Norvale Corporation/O=Norvale Parent Group" code $now_start $now_end
issue alt-email root "/C=US" code_email $now_start $now_end
issue first-attribute root "/L=Springfield/C=US" code $now_start $now_end
issue server root "/CN=Norvale Corporation" server $now_start $now_end
issue expired root "/CN=Norvale Corporation" code 20200101000000Z 20210101000000Z
issue tsa root "/CN=Kestrow Test Time Stamps" tsa 20190601000000Z 20391231000000Z
issue untrusted stranger "/CN=Norvale Corporation" code $now_start $now_end
issue untrusted-tsa stranger "/CN=Kestrow Untrusted Time Stamps" tsa 20190601000000Z 20391231000000Z
issue tsa-any root "/CN=Kestrow Test Time Stamps Without Usages" tsa_any 20190601000000Z 20391231000000Z
quiet openssl req -x509 -newkey rsa:2048 -nodes -keyout selfsigned.key -out selfsigned.pem -days 3650 \
  -subj "/CN=Norvale Corporation" -addext keyUsage=critical,digitalSignature -addext extendedKeyUsage=codeSigning
cp root/cert.pem ../roots/test-root.pem

# The stand-in installer: a small PE32+ program with a payload after its sections, as a
# self-extracting installer carries one; and the same program rewritten as a PE32 image
# (never run, only signed and checked).
cat >installer.c <<'C'
int main(void) { return 7; }
C
quiet x86_64-w64-mingw32-gcc -O2 -s -o program.exe installer.c
head -c 4096 /dev/urandom >payload.bin
cat program.exe payload.bin >installer.exe
quiet x86_64-w64-mingw32-objcopy -O pei-i386 program.exe installer32.exe

sign norvale installer.exe ../norvale.exe
sign norvale installer32.exe ../norvale32.exe
sign other installer.exe ../other.exe
sign longer installer.exe ../longer.exe
sign organization installer.exe ../organization.exe
sign alt-email installer.exe ../alt-email.exe
sign first-attribute installer.exe ../first-attribute.exe
sign server installer.exe ../wrong-usage.exe
sign selfsigned installer.exe ../selfsigned.exe
sign untrusted installer.exe ../untrusted-ca.exe
sign expired installer.exe ../expired.exe
cat tsa.pem root/cert.pem >tsa-chain.pem
# A timestamp from 1 June 2020, inside the expired certificate's validity.
sign expired installer.exe ../expired-timestamped.exe -TSA-certs tsa-chain.pem -TSA-key tsa.key -TSA-time 1590969600
cp installer.exe ../unsigned.exe
# A large one (3 MiB of payload), for downloads that last long enough to show progress.
head -c 3145728 /dev/urandom >large.bin
cat program.exe large.bin >large.exe
sign norvale large.exe ../norvale-large.exe

# The older Authenticode timestamp: a PKCS #9 countersignature over the signature value,
# added to the extracted signature and attached again. 1 June 2020 lies inside the expired
# certificate's validity, 1 June 2022 after it, 1 January 2019 before the authority's.
# osslsigncode checks what it attaches and writes the file either way: the valid ones must
# pass its check and the invalid ones fail it, a check of these test files independent of
# the updater's.
quiet osslsigncode extract-signature -in ../expired.exe -out expired.p7
countersign() {  # valid|invalid authority time output [countersign.py options]
  local expected=$1 authority=$2 when=$3 output=$4
  shift 4
  python3 "$here/countersign.py" expired.p7 "$authority.pem" "$authority.key" "$when" countersigned.p7 "$@"
  local verdict=valid
  osslsigncode attach-signature -CAfile root/cert.pem -TSA-CAfile root/cert.pem -sigin countersigned.p7 \
    -in installer.exe -out "../$output" >attach.log 2>&1 || verdict=invalid
  if [ "$verdict" != "$expected" ] || [ ! -s "../$output" ]; then
    cat attach.log >&2
    echo "failed: $output is $verdict to osslsigncode, expected $expected" >&2
    exit 1
  fi
}
countersign valid tsa 200601000000Z expired-countersigned.exe
countersign valid tsa-any 200601000000Z countersigned-without-usages.exe
countersign valid tsa 200601000000Z countersigned-sha1.exe --sha1
countersign invalid tsa 220601000000Z countersigned-after-expiry.exe
countersign invalid tsa 190101000000Z countersigned-before-authority.exe
countersign invalid tsa 200601000000Z countersigned-wrong-digest.exe --wrong-digest
countersign invalid tsa 200601000000Z countersigned-bad-signature.exe --bad-signature
countersign invalid untrusted-tsa 200601000000Z countersigned-untrusted.exe
countersign invalid norvale 200601000000Z countersigned-by-code-signer.exe

# The stand-in Linux package: an ELF program with a detached PKCS #7 signature appended in
# the kernel-module format.
append_signature() {  # certificate input output
  quiet openssl cms -sign -binary -noattr -md sha256 -outform DER -in "$2" -signer "$1.pem" -inkey "$1.key" \
    -out signature.p7s
  local length
  length=$(stat -c %s signature.p7s)
  {
    cat "$2" signature.p7s
    printf '\0\0\2\0\0\0\0\0'
    printf "\\x$(printf %02x $((length >> 24 & 255)))\\x$(printf %02x $((length >> 16 & 255)))"
    printf "\\x$(printf %02x $((length >> 8 & 255)))\\x$(printf %02x $((length & 255)))"
    printf '~Module signature appended~\n'
  } >"$3"
}
printf 'int main(void) { return 7; }\n' >program.c
quiet cc -O2 -s -o program program.c
append_signature norvale program ../norvale.pkg
append_signature other program ../other.pkg
append_signature untrusted program ../untrusted-ca.pkg

cd .. && rm -rf work
