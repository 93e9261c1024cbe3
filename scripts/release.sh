#!/usr/bin/env bash
# The Windows release: builds the programs from a clean export of the current
# commit (files git does not track never enter it) and writes
# dist/zebdiag-<version>-win64.zip, the installer zebdiag-<version>-win64.msi
# (the same files) and dist/SHA256SUMS. It refuses a tree whose tracked files
# differ from the commit, and a version that CHANGELOG.md has no entry for
# ("## <version> ...").
# Then builds once more in another folder and fails unless the programs, the
# zip and the MSI come out byte for byte the same, and unless each program
# imports only Windows' own DLLs.
# With ZEB_SIGN_PFX (a PKCS#12 file) and ZEB_SIGN_PASSWORD set, every program
# and the MSI are signed (SHA-256), with a timestamp from the server
# ZEB_SIGN_TIMESTAMP names, if set.
#   scripts/release.sh [--once] [--worktree] [--out DIR]
#     --once      skip the second build
#     --worktree  build the working tree as it is, uncommitted files included
#                 (the test run's check of this script; not a release)
#     --out DIR   write the zip, the MSI and SHA256SUMS to DIR instead of dist/
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
once="" worktree="" out=$root/dist
while [ $# -gt 0 ]; do
  case "$1" in
  --once) once=1 ;;
  --worktree) worktree=1 ;;
  --out) out=$2; shift ;;
  *) sed -n '2,20s/^# \{0,1\}//p' "$0" >&2; exit 2 ;;
  esac
  shift
done
# Half a certificate is a mistake, not an unsigned release.
pfx=""
if [ -n "${ZEB_SIGN_PFX:-}" ] || [ -n "${ZEB_SIGN_PASSWORD+set}" ]; then
  if [ -z "${ZEB_SIGN_PFX:-}" ] || [ ! -f "$ZEB_SIGN_PFX" ] || [ -z "${ZEB_SIGN_PASSWORD+set}" ]; then
    echo "release: signing needs both ZEB_SIGN_PFX (a PKCS#12 file that exists) and ZEB_SIGN_PASSWORD" >&2
    exit 1
  fi
  pfx=$(realpath "$ZEB_SIGN_PFX")
fi
. "$root/scripts/deps.sh"
zeb_install_deps

cd "$root"
commit=$(git rev-parse HEAD)
# Output files of the examples and other untracked files are not exported,
# so they may stay; a changed tracked file would make the zip lie about its commit.
changed=$(git diff --name-only HEAD | xargs)
if [ -z "$worktree" ] && [ -n "$changed" ]; then
  echo "release: tracked files differ from the commit: $changed (commit or restore them)" >&2
  exit 1
fi
# Every time in the archive is the commit's.
export SOURCE_DATE_EPOCH=$(git log -1 --format=%ct HEAD)
export TZ=UTC LC_ALL=C
tmp=$(mktemp -d "${TMPDIR:-/tmp}/zebrelease.XXXXXX")
trap 'rm -rf "$tmp"' EXIT

# Windows' own DLLs: anything else (the compiler's runtime above all) would
# have to be shipped beside the program.
system_dlls=' advapi32.dll comctl32.dll comdlg32.dll gdi32.dll kernel32.dll msvcrt.dll ole32.dll shell32.dll shlwapi.dll user32.dll version.dll winmm.dll winspool.drv ws2_32.dll '

# fetch DIR: the sources to build, in DIR.
fetch() {
  if [ -n "$worktree" ]; then
    mkdir -p "$1"
    git ls-files -z --cached --others --exclude-standard |
      while IFS= read -r -d '' f; do [ -e "$f" ] && printf '%s\0' "$f"; done |
      tar --null -T - -cf - | tar -C "$1" -xf -
  else
    mkdir -p "$1"
    git archive --format=tar "$commit" | tar -C "$1" -xf -
  fi
}

version_of() {   # version_of SRC
  sed -n 's/^project(zebdiag VERSION \([0-9.]*\) .*/\1/p' "$1/CMakeLists.txt"
}

# build SRC BUILD: the release programs. Flags as in the tested build, less
# the debug information; no source path survives in the programs.
build() {
  local map="-ffile-prefix-map=$1/="
  cmake -S "$1" -B "$2" -DCMAKE_TOOLCHAIN_FILE="$1/cmake/mingw-w64.cmake" -DZEB_TESTS=OFF \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_C_FLAGS="$map" -DCMAKE_CXX_FLAGS="$map" \
    -DCMAKE_C_FLAGS_RELEASE="-O2 -DNDEBUG" -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" \
    -DCMAKE_EXE_LINKER_FLAGS_RELEASE=-s >/dev/null
  cmake --build "$2" -j2 >/dev/null
}

# programs DIR: every program the release build made (it builds no tests),
# sorted; the one list of what the zip and the MSI ship.
programs() {
  local p
  for p in "$1"/*.exe; do [ -f "$p" ] && basename "$p"; done
  return 0
}

check_imports() {   # check_imports BUILD
  local p dll bad=0
  for p in $(programs "$1"); do
    for dll in $(x86_64-w64-mingw32-objdump -p "$1/$p" | awk '/DLL Name:/ { print tolower($3) }'); do
      case "$system_dlls" in
      *" $dll "*) ;;
      *) echo "release: $p imports $dll, which Windows does not have" >&2; bad=1 ;;
      esac
    done
    if grep -q -F -e "$2" -e "$1" "$1/$p"; then
      echo "release: $p holds a build path" >&2
      bad=1
    fi
  done
  return $bad
}

# sign FILE: signed in place. The password goes in a file, never on a
# command line that other users' ps shows. -readpass, -h and -ts exist in
# osslsigncode 2.5 (Debian 12) as in later versions.
sign() {
  [ -f "$tmp/sign.pass" ] || (umask 077 && printf '%s' "$ZEB_SIGN_PASSWORD" >"$tmp/sign.pass")
  if ! osslsigncode sign -pkcs12 "$pfx" -readpass "$tmp/sign.pass" -h sha256 -n zebdiag \
      ${ZEB_SIGN_TIMESTAMP:+-ts "$ZEB_SIGN_TIMESTAMP"} -in "$1" -out "$1.signed" >"$tmp/sign.log" 2>&1; then
    cat "$tmp/sign.log" >&2
    echo "release: signing $(basename "$1") failed" >&2
    exit 1
  fi
  mv "$1.signed" "$1"
}

# package SRC PROGRAMS OUT [sign]: the zip, the MSI and their checksums in
# OUT, from the programs in the folder PROGRAMS. Both are packed from one
# staged folder, so they never hold different files.
package() {
  local version stage msi
  version=$(version_of "$1")
  stage=$3.stage
  rm -rf "$stage" "$3" && mkdir -p "$stage" "$3"
  for p in $(programs "$2"); do cp "$2/$p" "$stage/"; done
  python3 - "$1" "$stage" "$3/zebdiag-$version-win64.zip" "$version" <<'PY'
import os, sys, time, zipfile

src, stage, zip_path, version = sys.argv[1:5]

def windows_text(text, ini):
    """CR LF line ends. The settings file is read with the ANSI profile
    functions, so it is in the program's code page; the readmes are UTF-8
    with a byte order mark, which lets every Notepad see UTF-8."""
    text = text.replace('\r\n', '\n').replace('\n', '\r\n')
    return text.encode('cp1252') if ini else b'\xef\xbb\xbf' + text.encode('utf-8')

texts = {'LIESMICH.txt': 'release/LIESMICH.txt', 'README.txt': 'release/README.txt',
         'CHANGELOG.txt': 'CHANGELOG.md', 'zebdiag.sample.ini': 'release/zebdiag.sample.ini',
         'grid.sample.ini': 'release/grid.sample.ini'}
for name, path in texts.items():
    text = open(os.path.join(src, path), encoding='utf-8').read().replace('@VERSION@', version)
    data = windows_text(text, name.endswith('.ini'))
    open(os.path.join(stage, name), 'wb').write(data)
names = sorted(os.listdir(stage), key=str.lower)
if 'zebdiag.ini' in names:
    sys.exit('release: zebdiag.ini must never be shipped (it would overwrite a technician\'s settings)')
when = time.gmtime(int(os.environ['SOURCE_DATE_EPOCH']))[:6]
with zipfile.ZipFile(zip_path, 'w') as z:
    for name in names:
        info = zipfile.ZipInfo(name, when)
        info.create_system = 0          # MS-DOS attributes: a plain archive file
        info.external_attr = 0x20
        info.compress_type = zipfile.ZIP_DEFLATED
        z.writestr(info, open(os.path.join(stage, name), 'rb').read(), compresslevel=9)
PY
  msi=$3/zebdiag-$version-win64.msi
  python3 "$1/scripts/msi.py" "$stage" "$version" "$commit" "$msi"
  [ -z "${4:-}" ] || sign "$msi"
  (cd "$3" && sha256sum "zebdiag-$version-win64.zip" "zebdiag-$version-win64.msi" >SHA256SUMS)
}

fetch "$tmp/a/src"
version=$(version_of "$tmp/a/src")
# One name, one content: a zip of this version is built only once its
# changes are written down under its number.
if ! grep -q "^## ${version//./\\.}\( \|\$\)" "$tmp/a/src/CHANGELOG.md"; then
  echo "release: CHANGELOG.md has no entry for version $version (a heading \"## $version — date — ...\"); write it first" >&2
  exit 1
fi
echo "release: building zebdiag $version from ${worktree:+the working tree at }commit ${commit:0:12}"
build "$tmp/a/src" "$tmp/a/build"
check_imports "$tmp/a/build" "$tmp/a/src"
package "$tmp/a/src" "$tmp/a/build" "$tmp/a/dist"
if [ -z "$once" ]; then
  echo "release: building it again in another folder, to compare"
  # Another folder, another time: nothing of either may reach the files.
  fetch "$tmp/second/src"
  build "$tmp/second/src" "$tmp/second/build"
  package "$tmp/second/src" "$tmp/second/build" "$tmp/second/dist"
  for p in $(programs "$tmp/a/build"); do
    cmp "$tmp/a/build/$p" "$tmp/second/build/$p" || { echo "release: two builds of $p differ" >&2; exit 1; }
  done
  for f in "$tmp/a/dist/"*; do
    cmp "$f" "$tmp/second/dist/${f##*/}" || { echo "release: two builds of ${f##*/} differ" >&2; exit 1; }
  done
  echo "release: both builds are byte for byte the same"
fi
# A signature holds the time of signing (and the timestamp server's answer):
# what the second build confirmed is the unsigned release; its programs are
# signed and packed once more.
if [ -n "$pfx" ]; then
  echo "release: signing the programs and the MSI with $ZEB_SIGN_PFX${ZEB_SIGN_TIMESTAMP:+, timestamp from $ZEB_SIGN_TIMESTAMP}"
  mkdir -p "$tmp/a/signed"
  for p in $(programs "$tmp/a/build"); do
    cp "$tmp/a/build/$p" "$tmp/a/signed/"
    sign "$tmp/a/signed/$p"
  done
  package "$tmp/a/src" "$tmp/a/signed" "$tmp/a/dist" sign
else
  echo "release: this release is unsigned (no ZEB_SIGN_PFX and ZEB_SIGN_PASSWORD)"
fi
mkdir -p "$out"
cp "$tmp/a/dist/"* "$out/"
out=$(cd "$out" && pwd)
echo "release: $out/zebdiag-$version-win64.zip"
echo "release: $out/zebdiag-$version-win64.msi"
echo "release: $out/SHA256SUMS:"
sed 's/^/  /' "$out/SHA256SUMS"
