#!/usr/bin/env bash
# Release signing, offline: a test CA, its code-signing key in a SoftHSM token
# reached through PKCS#11, and a time-stamp responder on the loopback address.
# The DLL and an MSI around it, signed the release's way, verify against the
# test CA with time stamps; signing without a key or a time stamp is refused;
# a DLL signed again gives its MSI another package code.
# release_signing.sh <cmake folder> <unsigned DLL> <work folder> <BuildMsi.cmake -D arguments>...
set -euo pipefail
cmake_dir=$1 dll=$2 work=$3 && shift 3
msi_args=("$@")
fail() { echo "FAIL: $*" >&2; exit 1; }
rm -rf "$work" && mkdir -p "$work/tokens" && cd "$work"
cat > pki.cnf <<'END'
[req]
distinguished_name = dn
[dn]
[ca]
basicConstraints = critical, CA:true
[code]
extendedKeyUsage = codeSigning
[stamp]
extendedKeyUsage = critical, timeStamping
[tsa]
signer_cert = stamp.pem
signer_key = stamp.key
signer_digest = sha256
default_policy = 1.3.6.1.4.1.4146.2.3
digests = sha256
serial = stamp.serial
END
echo 01 > stamp.serial
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=QuarnverTestCA -config pki.cnf -extensions ca \
        -keyout ca.key -out ca.pem 2>/dev/null
for who in code stamp; do  # valid for two days only: the time stamp must outlive them
  openssl req -new -newkey rsa:2048 -nodes -subj /CN=$who -config pki.cnf -keyout $who.key -out $who.csr 2>/dev/null
  openssl x509 -req -in $who.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 2 -extfile pki.cnf \
          -extensions $who -out $who.pem 2>/dev/null
done
cat code.pem ca.pem > chain.pem
printf 'directories.tokendir = %s/tokens\n' "$work" > softhsm2.conf
export SOFTHSM2_CONF=$work/softhsm2.conf
softhsm2-util --init-token --free --label release --pin 1234 --so-pin 5678 >/dev/null
softhsm2-util --import code.key --token release --label code --id 01 --pin 1234 >/dev/null && rm code.key

timeout 110 python3 "$(dirname "$0")/timestamp_responder.py" pki.cnf > port &
responder=$!
trap 'kill $responder 2>/dev/null || true' EXIT
for _ in $(seq 100); do [ -s port ] && break; sleep 0.1; done
export QUARNVER_SIGN_PKCS11_MODULE=/usr/lib/softhsm/libsofthsm2.so QUARNVER_SIGN_KEY="pkcs11:token=release;object=code"
export QUARNVER_SIGN_CERT=$work/chain.pem QUARNVER_SIGN_PASSWORD=1234 QUARNVER_SIGN_TIMESTAMP=http://127.0.0.1:$(cat port)

sign() {
  cp "$dll" "$1"
  cmake -DFILE="$1" -DWORK="$work" -DDESCRIPTION=test -P "$cmake_dir/SignFile.cmake" > sign.txt 2>&1 ||
    { cat sign.txt; fail "$1 not signed"; }
}
verify() {  # five days on, the certificates have expired: only the time stamp keeps the signature valid
  osslsigncode verify -CAfile ca.pem -TSA-CAfile ca.pem -time $(($(date +%s) + 5 * 86400)) -in "$1" > verify.txt ||
    { cat verify.txt; fail "$1 does not verify against the test CA"; }
  grep -q 'Timestamp Server Signature verification: ok' verify.txt || fail "$1 has no time stamp"
}
msi() {  # <DLL> <MSI> [-D arguments]
  cmake "${msi_args[@]}" "${@:3}" -DDLL="$work/$1.dll" -DWORK="$work/$2" -DOUTPUT="$work/$2.msi" \
        -P "$cmake_dir/BuildMsi.cmake" >/dev/null
}
code() { msiinfo suminfo "$1.msi" | sed -n 's/^Revision number (UUID): //p'; }

sign first.dll
verify first.dll
msi first first -DSIGN_WORK="$work" -DEPOCH=1767225600
verify first.msi
sign again.dll
msi first rebuilt
msi again resigned
[ -n "$(code first)" ] && [ "$(code rebuilt)" = "$(code first)" ] || fail "a rebuild changed the package code"
[ "$(code resigned)" != "$(code first)" ] || fail "a DLL signed again kept the package code $(code first)"

refused() {  # <what> <word of the refusal> <setting=value>...: signing fails, saying why, and leaves the DLL unsigned
  env "${@:3}" cmake -DFILE="$work/refused.dll" -DWORK="$work" -DDESCRIPTION=test -P "$cmake_dir/SignFile.cmake" \
      > refused.txt 2>&1 && fail "signed $1"
  grep -q "$2" refused.txt || { cat refused.txt; fail "no word of $2 $1"; }
  ! osslsigncode verify -in refused.dll > /dev/null 2>&1 || fail "left a signature $1"
}
cp "$dll" refused.dll
refused "without a time-stamping server" QUARNVER_SIGN_TIMESTAMP: QUARNVER_SIGN_TIMESTAMP=
refused "without a key" QUARNVER_SIGN_KEY: QUARNVER_SIGN_PKCS11_MODULE= QUARNVER_SIGN_KEY=
refused "with a key file for a pkcs11: URI" QUARNVER_SIGN_KEY: QUARNVER_SIGN_PKCS11_MODULE=
refused "without a certificate" QUARNVER_SIGN_CERT: QUARNVER_SIGN_CERT=
refused "when the time-stamping server does not answer" "signing .* failed" QUARNVER_SIGN_TIMESTAMP=http://127.0.0.1:1
