#!/usr/bin/env bash
# release_test.sh <case> <source root> <build folder B> <work folder>
# scripts/release.sh as a maker runs it, into a scratch dist/ folder:
#   unsigned    dist/ holds the build's installer and sums that check; the
#               summary's sizes add up
#   signed      with a throwaway code-signing certificate: osslsigncode verifies
#               the SHA-256 signature against it (and not against another one),
#               the sums check, the signature only adds the certificate table,
#               and the signed installer installs unattended under Wine exactly
#               as the unsigned one does
#   bad_inputs  a wrong password, a missing or unreadable key, a key without
#               its private half, one variable of two, no osslsigncode, a
#               time-stamp server that refuses (signing fails after the build):
#               each fails with its reason and leaves dist/ as it was
# The installs run the i686 build under 32-bit Wine where this kernel runs
# 32-bit programs, otherwise the x86_64 twin under wine64, each in the Wine
# prefix of its own tree.
set -euo pipefail
case_name=$1
src=$(cd "$2" && pwd)
export B=$3
work=$4
release=$src/scripts/release.sh
. "$src/tests/support/checks.sh"

rm -rf "$work"
mkdir -p "$work"
dist=$work/dist
export TOVRA_DIST=$dist
unset TOVRA_SIGN_PFX TOVRA_SIGN_PASS_FILE TOVRA_SIGN_TIMESTAMP_URL TOVRA_RELEASE_TREE

if bash "$src/scripts/can-run-32.sh" >/dev/null; then
  tree=i686
  arch=i686
else
  tree=x64
  arch=x86_64
  export TOVRA_RELEASE_TREE=x64
fi
built=$B/$tree/bin/TovraSetup.exe

# A throwaway signer: self-signed, code-signing usage, a password with a blank
# and Chinese characters. $1: folder.
make_signer() {
  mkdir -p "$1"
  openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Tovra Release Test" \
    -addext "keyUsage=critical,digitalSignature" -addext "extendedKeyUsage=critical,codeSigning" \
    -keyout "$1/key.pem" -out "$1/cert.pem" 2>/dev/null
  printf '%s\n' 'test 密码 1' >"$1/pass"
  openssl pkcs12 -export -inkey "$1/key.pem" -in "$1/cert.pem" -out "$1/signer.pfx" \
    -passout "file:$1/pass"
}

# Runs release.sh; its exit code in $rc, its output in $work/out and $work/err.
run_release() {
  set +e
  env "$@" bash "$release" >"$work/out" 2>"$work/err"
  rc=$?
  set -e
}

sums_check() { (cd "$dist" && sha256sum -c --quiet SHA256SUMS); }
only_two_files() { [ "$(ls -A "$dist" | LC_ALL=C sort | tr '\n' ' ')" = "SHA256SUMS TovraSetup.exe " ]; }
no_stage_left() { [ -z "$(find "$work" -maxdepth 1 -name '.dist-*' | head -1)" ]; }
summary() { sed -n "s/^  $1 *//p" "$work/out"; }

# Installs exe unattended into $work/<name> and writes the folder's listing
# (path, size, SHA-256; the control program's launch record, which names the
# folder, by presence only) to $work/<name>.list.
install_into() { # exe, name
  local dir="$work/安装 $2"
  local win="Z:$(echo "$dir" | tr / '\\')"
  mkdir -p "$dir"
  set +e
  timeout 180 "$TOVRA_WINE" "$1" -auto_setup -target_dir "$win" </dev/null >/dev/null 2>&1
  local code=$?
  set -e
  for _ in $(seq 50); do [ -f "$dir/TovraControl.launch.txt" ] && break; sleep 0.1; done
  (cd "$dir" && find . -type f ! -name TovraControl.launch.txt -print0 | LC_ALL=C sort -z |
    xargs -0 sha256sum | while read -r h f; do echo "$f $(stat -c %s "$f") $h"; done
    if [ -f TovraControl.launch.txt ]; then echo "TovraControl.launch.txt present"; fi) >"$work/$2.list"
  echo "$code" >"$work/$2.code"
}

case $case_name in
unsigned)
  run_release
  check "release.sh exits 0 (got $rc: $(tail -1 "$work/err"))" test $rc = 0
  check "dist/ holds TovraSetup.exe and SHA256SUMS only" only_two_files
  check "sha256sum -c accepts SHA256SUMS" sums_check
  check "dist/TovraSetup.exe is the built installer" cmp -s "$dist/TovraSetup.exe" "$built"
  check "no stage folder is left" no_stage_left
  check "the summary names version 3.0.26.203" grep -q "^Tovra Setup 3.0.26.203 ($tree)$" "$work/out"
  carried=$(($(stat -c %s "$B/$tree/bin/7ZG.exe") + $(stat -c %s "$B/$tree/bin/7Z.dll") +
    $(stat -c %s "$B/$tree/product/setup.zip")))
  size=$(stat -c %s "$built")
  check "the summary's installer size is the file's" grep -q "TovraSetup.exe: $size bytes$" "$work/out"
  check "the summary's payload is what the installer carries" \
    test "$(summary payload | cut -d' ' -f1)" = "$carried"
  check "the summary's own code is the image less the payload" \
    test "$(summary 'own code' | cut -d' ' -f1)" = $((size - carried))
  check "the summary's SHA-256 is the file's" \
    test "$(summary SHA-256)" = "$(sha256sum <"$dist/TovraSetup.exe" | cut -d' ' -f1)"
  ;;

signed)
  make_signer "$work/signer"
  make_signer "$work/other"
  run_release TOVRA_SIGN_PFX="$work/signer/signer.pfx" TOVRA_SIGN_PASS_FILE="$work/signer/pass"
  check "signed release.sh exits 0 (got $rc: $(tail -3 "$work/err"))" test $rc = 0
  check "dist/ holds TovraSetup.exe and SHA256SUMS only" only_two_files
  check "sha256sum -c accepts SHA256SUMS of the signed file" sums_check
  check "no stage folder is left" no_stage_left
  check "the summary names the signer" grep -q "Authenticode SHA-256, CN = Tovra Release Test" "$work/out"
  set +e
  osslsigncode verify -in "$dist/TovraSetup.exe" -CAfile "$work/signer/cert.pem" >"$work/verify" 2>&1
  vrc=$?
  osslsigncode verify -in "$dist/TovraSetup.exe" -CAfile "$work/other/cert.pem" >"$work/verify-other" 2>&1
  orc=$?
  set -e
  check "osslsigncode verify accepts the signature with the test certificate" test $vrc = 0
  check "the signature is verified" grep -q "^Signature verification: ok" "$work/verify"
  check "the signature's digest is SHA-256" grep -q "^Message digest algorithm *: SHA256" "$work/verify"
  check "osslsigncode verify refuses it with another certificate" test $orc != 0
  osslsigncode remove-signature -in "$dist/TovraSetup.exe" -out "$work/stripped.exe" >/dev/null
  check "without its signature the file is the built installer, byte for byte" \
    cmp -s "$work/stripped.exe" "$built"

  TOVRA_BUILD=$B/$tree
  TOVRA_ARCH=$arch
  . "$src/scripts/wine-env.sh"
  tovra_wine_prefix || { echo "FAIL: no Wine prefix" >&2; exit 1; }
  tovra_display || { echo "FAIL: no X display" >&2; exit 1; }
  tovra_wine_server || { echo "FAIL: no wineserver" >&2; exit 1; }
  install_into "$built" unsigned
  install_into "$dist/TovraSetup.exe" signed
  check "the unsigned installer exits 0 (got $(cat "$work/unsigned.code"))" \
    test "$(cat "$work/unsigned.code")" = 0
  check "the signed installer exits 0 (got $(cat "$work/signed.code"))" \
    test "$(cat "$work/signed.code")" = 0
  check "the signed install started the control program" \
    grep -q "^TovraControl.launch.txt present$" "$work/signed.list"
  check "the signed install holds the product's service program" \
    grep -q "^./TovraClientService.exe " "$work/signed.list"
  for f in 7ZG.EXE:7ZG.exe 7Z.DLL:7Z.dll; do
    check "the signed install's ${f%%:*} is the $tree build's" \
      grep -q "^./${f%%:*} .* $(sha256sum <"$B/$tree/bin/${f#*:}" | cut -d' ' -f1)$" "$work/signed.list"
  done
  if ! diff "$work/unsigned.list" "$work/signed.list" >"$work/install.diff"; then
    sed 's/^/  /' "$work/install.diff" >&2
  fi
  check "the signed installer installs exactly what the unsigned one does" test ! -s "$work/install.diff"
  ;;

bad_inputs)
  make_signer "$work/signer"
  pfx=$work/signer/signer.pfx
  passfile=$work/signer/pass
  printf 'not the password\n' >"$work/wrong-pass"
  # A PKCS#12 file with the certificate but not its key.
  openssl pkcs12 -export -nokeys -in "$work/signer/cert.pem" -out "$work/cert-only.pfx" \
    -passout "file:$passfile"
  # PATH without osslsigncode: every other program of /usr/bin and /bin.
  mkdir -p "$work/path"
  for f in /usr/bin/* /bin/*; do
    n=${f##*/}
    [ "$n" = osslsigncode ] || [ -e "$work/path/$n" ] || ln -s "$f" "$work/path/$n"
  done

  # First a release in dist/ that every failure must leave as it is.
  run_release
  check "the first, unsigned release succeeds" test $rc = 0
  before=$(cd "$dist" && ls -l --time-style=+%s.%N && sha256sum ./*)

  expect_refused() { # description, expected text on stderr, release.sh variables...
    local what=$1 text=$2
    shift 2
    run_release "$@"
    check "$what: release.sh fails" test $rc != 0
    check "$what: it says why ($(head -1 "$work/err"))" grep -qF "$text" "$work/err"
    check "$what: dist/ is as it was" test "$(cd "$dist" && ls -l --time-style=+%s.%N && sha256sum ./*)" = "$before"
    check "$what: no stage folder is left" no_stage_left
  }
  expect_refused "wrong password" "wrong password" \
    TOVRA_SIGN_PFX="$pfx" TOVRA_SIGN_PASS_FILE="$work/wrong-pass"
  expect_refused "missing key" "cannot read the signing key" \
    TOVRA_SIGN_PFX="$work/none.pfx" TOVRA_SIGN_PASS_FILE="$passfile"
  # Root reads any file, whatever its mode: a folder stands for an unreadable key.
  expect_refused "unreadable key" "cannot read the signing key" \
    TOVRA_SIGN_PFX="$work/signer" TOVRA_SIGN_PASS_FILE="$passfile"
  expect_refused "missing password file" "cannot read the password file" \
    TOVRA_SIGN_PFX="$pfx" TOVRA_SIGN_PASS_FILE="$work/none"
  expect_refused "key without its private half" "holds no private key" \
    TOVRA_SIGN_PFX="$work/cert-only.pfx" TOVRA_SIGN_PASS_FILE="$passfile"
  expect_refused "password file alone" "TOVRA_SIGN_PFX is not" TOVRA_SIGN_PASS_FILE="$passfile"
  expect_refused "no osslsigncode" "osslsigncode not found" \
    PATH="$work/path" TOVRA_SIGN_PFX="$pfx" TOVRA_SIGN_PASS_FILE="$passfile"
  # Nothing listens on the discard port: osslsigncode fails once the
  # installer is built and copied into the stage.
  tsa=http://127.0.0.1:9/
  expect_refused "time-stamp server refuses" "signing failed (time-stamp server $tsa)" \
    TOVRA_SIGN_PFX="$pfx" TOVRA_SIGN_PASS_FILE="$passfile" TOVRA_SIGN_TIMESTAMP_URL="$tsa"
  check "time-stamp server refuses: osslsigncode's reason is shown" \
    grep -q "osslsigncode: .*RFC 3161 timestamping failed" "$work/err"

  # Without an earlier release, a failure leaves no dist/ at all.
  rm -rf "$dist"
  run_release TOVRA_SIGN_PFX="$pfx" TOVRA_SIGN_PASS_FILE="$passfile" TOVRA_SIGN_TIMESTAMP_URL="$tsa"
  check "a failed first release fails" test $rc != 0
  check "a failed first release leaves no dist/" test ! -e "$dist"
  check "a failed first release leaves no stage folder" no_stage_left
  ;;

*)
  echo "release_test.sh: unknown case $case_name" >&2
  exit 2
  ;;
esac

if [ $failures = 0 ]; then
  rm -rf "$work"
  exit 0
fi
echo "$failures check(s) failed; files kept in $work" >&2
exit 1
