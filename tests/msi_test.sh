#!/usr/bin/env bash
# The installer and the signatures. scripts/release.sh signs the release
# with a certificate of a throwaway authority made here, timestamped by a
# timestamp server of the test's on this machine: every program, in the zip
# and in the MSI, and the MSI verify against that authority, still after the
# certificate has expired, and fail once a byte has changed. Under Wine,
# each case in a prefix of its own whose Documents folder is the test's: the MSI installs silently, per user; the
# programs run from the installed folder; the shortcuts point at them and
# at Documents\zebdiag; an older version is replaced in place and the user's
# settings kept; a downgrade is refused; uninstalling leaves Documents\zebdiag.
#   msi_test.sh VERSION    (run by ctest)
set -uo pipefail
version=$1
root=$(cd "$(dirname "$0")/.." && pwd)
tmp=$(mktemp -d /tmp/zebmsi-test.XXXXXX)
prefixes=()
tsa_pid=""
. "$(dirname "$0")/check.sh"

cleanup() {
  local p
  [ -n "$tsa_pid" ] && kill "$tsa_pid" 2>/dev/null
  for p in "${prefixes[@]}"; do WINEPREFIX=$p wineserver -k >/dev/null 2>&1; done
  rm -rf "$tmp"
}
trap cleanup EXIT
zip=zebdiag-$version-win64.zip
msi=zebdiag-$version-win64.msi

# A throwaway authority, a code signing certificate and a timestamp
# server's certificate it issued, valid for two days; the password has a
# space, as a company's may.
pki=$tmp/pki
mkdir -p "$pki"
(
  cd "$pki" || exit 1
  issue() {   # issue NAME SUBJECT EXTENDED-KEY-USAGE
    openssl req -newkey rsa:2048 -nodes -keyout "$1.key" -out "$1.csr" -subj "$2" &&
    printf 'basicConstraints=CA:false\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=%s\n' "$3" >"$1.ext" &&
    openssl x509 -req -in "$1.csr" -CA ca.pem -CAkey ca.key -CAcreateserial -days 2 -extfile "$1.ext" -out "$1.pem"
  }
  openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days 2 -subj '/CN=zebdiag test authority' \
    -addext basicConstraints=critical,CA:true -addext keyUsage=critical,keyCertSign,cRLSign &&
  issue signer '/CN=zebdiag test signer' codeSigning &&
  issue tsa '/CN=zebdiag test timestamps' critical,timeStamping &&
  openssl pkcs12 -export -inkey signer.key -in signer.pem -certfile ca.pem -passout 'pass:zeb test' -out signer.pfx &&
  printf '[tsa]\ndefault_tsa = zeb\n[zeb]\nserial = %s/tsa.serial\nsigner_digest = sha256\n%s\n' "$PWD" \
    'default_policy = 1.2.3.4.1
digests = sha256
accuracy = secs:1
ess_cert_id_alg = sha256' >tsa.cnf
) >"$pki/openssl.log" 2>&1 || { cat "$pki/openssl.log"; exit 1; }
# The timestamp server: RFC 3161 over HTTP on the loopback, answered by openssl.
python3 - "$pki" >"$pki/tsa.port" 2>"$pki/tsa.log" <<'PY' &
import http.server, subprocess, sys
pki = sys.argv[1]
class Stamp(http.server.BaseHTTPRequestHandler):
    def do_POST(self):
        query = self.rfile.read(int(self.headers['Content-Length']))
        reply = subprocess.run(['openssl', 'ts', '-reply', '-config', pki + '/tsa.cnf', '-queryfile', '/dev/stdin',
                                '-signer', pki + '/tsa.pem', '-inkey', pki + '/tsa.key', '-chain', pki + '/ca.pem',
                                '-out', '/dev/stdout'], input=query, capture_output=True).stdout
        self.send_response(200 if reply else 500)
        self.send_header('Content-Type', 'application/timestamp-reply')
        self.send_header('Content-Length', str(len(reply)))
        self.end_headers()
        self.wfile.write(reply)
    def log_message(self, *args):
        pass
server = http.server.HTTPServer(('127.0.0.1', 0), Stamp)
print(server.server_address[1], flush=True)
server.serve_forever()
PY
tsa_pid=$!
for i in $(seq 50); do [ -s "$pki/tsa.port" ] && break; sleep 0.1; done
tsa=http://127.0.0.1:$(cat "$pki/tsa.port")/

check "a certificate without its password refuses" \
  "release: signing needs both ZEB_SIGN_PFX (a PKCS#12 file that exists) and ZEB_SIGN_PASSWORD" \
  "$(env -u ZEB_SIGN_PASSWORD ZEB_SIGN_PFX="$pki/signer.pfx" "$root/scripts/release.sh" --once --out "$tmp/refused" 2>&1)"
signed=$tmp/signed
ZEB_SIGN_PFX=$pki/signer.pfx ZEB_SIGN_PASSWORD='zeb test' ZEB_SIGN_TIMESTAMP=$tsa \
  nice -n 10 "$root/scripts/release.sh" --worktree --once --out "$signed" >"$tmp/signed.log" 2>&1
rc=$?
check "signed release script" 0 $rc
[ $rc -eq 0 ] || { tail -20 "$tmp/signed.log"; exit 1; }
check "the signed release says so" "release: signing the programs and the MSI with $pki/signer.pfx, timestamp from $tsa" \
  "$(grep -e '^release: sign' -e unsigned "$tmp/signed.log")"
check "SHA256SUMS of the signed release verifies" "$zip: OK|$msi: OK" \
  "$(cd "$signed" && sha256sum -c SHA256SUMS 2>&1 | paste -sd'|')"

mkdir -p "$signed/zip" "$signed/msi"
python3 -m zipfile -e "$signed/$zip" "$signed/zip"
msiextract -C "$signed/msi" "$signed/$msi" >/dev/null
programs=$(cd "$signed/zip" && ls -- *.exe | xargs)
# verify FILE [TIME]: the digest algorithm of a signature that verifies
# against the authority (at TIME, seconds since 1970), and whether it is
# timestamped; or what went wrong.
verify() {
  osslsigncode verify -CAfile "$pki/ca.pem" -TSA-CAfile "$pki/ca.pem" ${2:+-time "$2"} -in "$1" >"$tmp/verify.log" 2>&1 &&
    echo "$(sed -n 's/^Message digest algorithm *: *//p' "$tmp/verify.log" | head -1)" \
      "$(grep -q -i 'Timestamp Server Signature verification: ok' "$tmp/verify.log" && echo timestamped)" ||
    echo "fails: $(grep -i -m1 -e mismatch -e expired -e fail "$tmp/verify.log")"
}
for p in $programs; do
  check "$p in the zip verifies" "SHA256 timestamped" "$(verify "$signed/zip/$p")"
  check "$p in the MSI verifies" "SHA256 timestamped" "$(verify "$signed/msi/Programs/zebdiag/$p")"
done
check "the MSI verifies" "SHA256 timestamped" "$(verify "$signed/$msi")"
# Five days on the certificate has expired: the timestamp still vouches for
# the signature, which without one fails.
later=$(($(date +%s) + 5 * 86400))
check "timestamped, it verifies after the certificate expired" "SHA256 timestamped" \
  "$(verify "$signed/zip/zebdiag.exe" $later)"
printf 'zeb test' >"$pki/password"
osslsigncode remove-signature -in "$signed/zip/zebdiag.exe" -out "$tmp/unsigned.exe" >/dev/null 2>&1
osslsigncode sign -pkcs12 "$pki/signer.pfx" -readpass "$pki/password" -h sha256 \
  -in "$tmp/unsigned.exe" -out "$tmp/untimestamped.exe" >/dev/null 2>&1
check "without a timestamp it does not" "fails: expired" \
  "$(verify "$tmp/untimestamped.exe" $later | grep -o -m1 '^fails: .*expired' | sed 's/: .*expired/: expired/')"
# One byte changed: in the middle of a program, and in the MSI's string pool
# (a stream the signature covers, unlike a free sector).
changed() {   # changed FILE [TEXT]: a copy with a byte of TEXT, else the middle byte, changed
  python3 - "$@" <<'PY'
import sys
data = bytearray(open(sys.argv[1], 'rb').read())
at = data.index(sys.argv[2].encode()) if len(sys.argv) > 2 else len(data) // 2
data[at] ^= 0x20
open(sys.argv[1] + '.changed', 'wb').write(data)
PY
}
changed "$signed/zip/zebdiag.exe"
check "a program changed by one byte fails" fails "$(verify "$signed/zip/zebdiag.exe.changed" | cut -d: -f1)"
changed "$signed/$msi" Lichtgitter-Diagnose
check "the MSI changed by one byte fails" fails "$(verify "$signed/$msi.changed" | cut -d: -f1)"

# The MSI the Wine cases install: the test run's unsigned release when the
# whole run built one (scripts/test.sh), else the signed one.
if [ -n "${ZEB_RELEASE_RC:-}" ]; then
  until [ -s "$ZEB_RELEASE_RC" ]; do sleep 1; done
  dist=$(dirname "$ZEB_RELEASE_RC")/dist
  check "the test run's release" 0 "$(cat "$ZEB_RELEASE_RC")"
  check "an unsigned release says so in one line" \
    "release: this release is unsigned (no ZEB_SIGN_PFX and ZEB_SIGN_PASSWORD)" \
    "$(grep -e '^release: sign' -e unsigned "$(dirname "$ZEB_RELEASE_RC")/release.log")"
else
  dist=$signed
fi
echo "installing $dist/$msi"
files=$tmp/files
mkdir -p "$files"
python3 -m zipfile -e "$dist/$zip" "$files"

# An older package of the same files (every release is 1.0 or later).
# Without the report window in the release, a stand-in for it shows that a
# windowed program in the list gets its shortcut.
older=0.9.0
mkdir -p "$tmp/older"
cp "$files"/* "$tmp/older/"
[ -f "$files/zebreportw.exe" ] || cp "$files/zebreport.exe" "$tmp/older/zebreportw.exe"
SOURCE_DATE_EPOCH=$(git -C "$root" log -1 --format=%ct) \
  python3 "$root/scripts/msi.py" "$tmp/older" "$older" test "$tmp/zebdiag-$older-win64.msi" ||
  { echo "the older MSI could not be built"; exit 1; }

export WINEDEBUG=-all WINEARCH=win64
# No Mono or Gecko prompts, and no menu entries on this machine's desktop
# for the shortcuts in the Start menu.
export WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe=d"
# Wine links Documents and the other user folders to $HOME.
export HOME=$tmp/home
mkdir -p "$HOME"
user=$(id -un)

# new_prefix NAME: a fresh prefix whose Documents is a folder of its own.
new_prefix() {
  export WINEPREFIX=$tmp/$1
  prefixes+=("$WINEPREFIX")
  wineboot -i >/dev/null 2>&1
  users=$WINEPREFIX/drive_c/users/$user
  rm -f "$users/Documents" && mkdir -p "$users/Documents"
  wineserver -p >/dev/null 2>&1
  inst=$users/AppData/Local/Programs/zebdiag
  menu="$users/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/zebdiag"
  data=$users/Documents/zebdiag
}
msiexec() {   # msiexec /i|/x FILE: its exit status (the low 8 bits reach Linux)
  wine msiexec "$1" "Z:${2//\//\\}" /qn >/dev/null 2>&1
  echo $?
}
# installed: each uninstall entry of zebdiag with its version, and how many
# products of the name the installer has (Wine keeps the entries of a
# per-user package under HKLM, Windows under HKCU).
installed() {
  local key
  for key in HKCU HKLM; do
    wine reg query "$key\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall" /s 2>/dev/null
  done | tr -d '\r' | awk '/^HKEY/ { name = ""; ver = "" } $1 == "DisplayName" { name = $3 }
    $1 == "DisplayVersion" { ver = $3 } name == "zebdiag" && ver != "" { print "zebdiag", ver; name = "" }'
  echo "products: $(wine reg query 'HKCU\Software\Microsoft\Installer\Products' /s 2>/dev/null |
    tr -d '\r' | grep -c 'ProductName *REG_SZ *zebdiag$')"
}
# shortcuts: each shortcut of the Start menu folder with the target and the
# working folder its file holds (read from the file, not through Wine).
shortcuts() {
  [ -d "$menu" ] || { echo "no folder"; return; }
  python3 - "$menu" <<'PY'
import os, struct, sys
for name in sorted(os.listdir(sys.argv[1])):
    d = open(os.path.join(sys.argv[1], name), 'rb').read()
    flags, p, target, strings = struct.unpack_from('<I', d, 0x14)[0], 0x4C, '', {}
    if flags & 0x1:                                  # an item id list
        p += 2 + struct.unpack_from('<H', d, p)[0]
    if flags & 0x2:                                  # link info: the local path
        size, _, _, _, base = struct.unpack_from('<5I', d, p)
        target = d[p + base:d.index(b'\0', p + base)].decode('cp1252') if base else ''
        p += size
    for bit in (0x4, 0x8, 0x10, 0x20, 0x40):         # name, relative path, working folder, ...
        if flags & bit:
            n, w = struct.unpack_from('<H', d, p)[0], 2 if flags & 0x80 else 1
            strings[bit] = d[p + 2:p + 2 + n * w].decode('utf-16-le' if w == 2 else 'cp1252')
            p += 2 + n * w
    print('%s -> %s | %s' % (name, target, strings.get(0x10, '').rstrip('\0').rstrip('\\')))
PY
}
win_users="C:\\users\\$user"
win_inst="$win_users\\AppData\\Local\\Programs\\zebdiag"
expected_shortcuts() {   # expected_shortcuts FOLDER: those of the programs in FOLDER
  echo "LIESMICH.lnk -> $win_inst\\LIESMICH.txt | "
  echo "Lichtgitter-Diagnose.lnk -> $win_inst\\zebdiag.exe | $win_users\\Documents\\zebdiag"
  [ -f "$1/zebreportw.exe" ] &&
    echo "Servicebericht und Prüfplan.lnk -> $win_inst\\zebreportw.exe | $win_users\\Documents\\zebdiag"
  return 0
}
same_files() {   # same_files FOLDER: how the installed folder differs from FOLDER
  diff <(cd "$1" && ls) <(cd "$inst" 2>/dev/null && ls)
  local f
  for f in "$1"/*; do [ -f "$inst/${f##*/}" ] && ! cmp -s "$f" "$inst/${f##*/}" && echo "${f##*/} differs"; done
  return 0
}

# A technician's own settings are there before the first installation.
new_prefix fresh
mkdir -p "$data"
printf '[Communication]\r\nComPort=COM7:\r\n' >"$data/zebdiag.ini"
cp "$data/zebdiag.ini" "$tmp/own.ini"
check "silent installation" 0 "$(msiexec /i "$dist/$msi")"
check "installed once" "zebdiag $version|products: 1" "$(installed | paste -sd'|')"
check "the program folder holds the zip's files" "" "$(same_files "$files")"
check "a user's settings file is kept" same "$(cmp -s "$tmp/own.ini" "$data/zebdiag.ini" && echo same)"
check "zebreport.exe runs from the program folder" "zebreport $version" \
  "$(wine "$inst/zebreport.exe" --version </dev/null 2>&1 | tr -d '\r')"
check "zebcheck.exe --help runs from the program folder" "0 zebcheck" \
  "$(wine "$inst/zebcheck.exe" --help </dev/null >"$tmp/help.txt" 2>&1; echo $? "$(grep -o -m1 zebcheck "$tmp/help.txt")")"
check "shortcuts in the Start menu" "$(expected_shortcuts "$files")" "$(shortcuts)"
check "uninstallation" 0 "$(msiexec /x "$dist/$msi")"
check "uninstalled" "products: 0" "$(installed | paste -sd'|')"
check "the program folder and the Start menu folder are gone" "" \
  "$([ -e "$inst" ] && echo "left: $(ls -A "$inst" | xargs)"; [ -e "$menu" ] && echo "left: $(ls -A "$menu" | xargs)")"
check "Documents\\zebdiag stays with the user's settings" "zebdiag.ini same" \
  "$(ls "$data" | xargs) $(cmp -s "$tmp/own.ini" "$data/zebdiag.ini" && echo same)"

# An older version first, then this one over it, then the older one again.
new_prefix upgrade
check "older version installs" 0 "$(msiexec /i "$tmp/zebdiag-$older-win64.msi")"
check "older version installed" "zebdiag $older|products: 1" "$(installed | paste -sd'|')"
check "the sample settings go where none are" same \
  "$(cmp -s "$files/zebdiag.sample.ini" "$data/zebdiag.ini" && echo same)"
check "a windowed program in the list gets its shortcut" "$(expected_shortcuts "$tmp/older")" "$(shortcuts)"
printf '; the technician was here\r\n' >>"$data/zebdiag.ini"
cp "$data/zebdiag.ini" "$tmp/marked.ini"
check "upgrade" 0 "$(msiexec /i "$dist/$msi")"
check "one product, the new version" "zebdiag $version|products: 1" "$(installed | paste -sd'|')"
check "the program folder holds the new files" "" "$(same_files "$files")"
check "shortcuts after the upgrade" "$(expected_shortcuts "$files")" "$(shortcuts)"
check "the user's settings survive the upgrade" same "$(cmp -s "$tmp/marked.ini" "$data/zebdiag.ini" && echo same)"
rc=$(msiexec /i "$tmp/zebdiag-$older-win64.msi")
check "a downgrade is refused" refused "$([ "$rc" != 0 ] && echo refused || echo "exit status $rc")"
check "still the new version" "zebdiag $version|products: 1" "$(installed | paste -sd'|')"

echo "msi: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
