#!/usr/bin/env bash
# The Windows release: builds the programs from a clean export of the current
# commit (files git does not track never enter it) and writes
# dist/zebdiag-<version>-win64.zip and dist/SHA256SUMS. It refuses a tree
# whose tracked files differ from the commit, and a version that
# CHANGELOG.md has no entry for ("## <version> ...").
# Then builds once more in another folder and fails unless the programs and
# the zip come out byte for byte the same, and unless each program imports
# only Windows' own DLLs.
#   scripts/release.sh [--once] [--worktree] [--out DIR]
#     --once      skip the second build
#     --worktree  build the working tree as it is, uncommitted files included
#                 (the test run's check of this script; not a release)
#     --out DIR   write the zip and SHA256SUMS to DIR instead of dist/
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
once="" worktree="" out=$root/dist
while [ $# -gt 0 ]; do
  case "$1" in
  --once) once=1 ;;
  --worktree) worktree=1 ;;
  --out) out=$2; shift ;;
  *) sed -n '2,15s/^# \{0,1\}//p' "$0" >&2; exit 2 ;;
  esac
  shift
done
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

programs() {   # programs BUILD: the programs the build made, in zip order
  local p
  for p in zebcheck zebdiag zebreport zebreportw; do [ -f "$1/$p.exe" ] && echo "$p.exe"; done
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

# package SRC BUILD OUT: the zip and its checksum in OUT.
package() {
  local version stage
  version=$(version_of "$1")
  stage=$2/package
  rm -rf "$stage" && mkdir -p "$stage" "$3"
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
  (cd "$3" && sha256sum "zebdiag-$version-win64.zip" >SHA256SUMS)
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
  cmp "$tmp/a/dist/SHA256SUMS" "$tmp/second/dist/SHA256SUMS" || { echo "release: two zips differ" >&2; exit 1; }
  echo "release: both builds are byte for byte the same"
fi
mkdir -p "$out"
cp "$tmp/a/dist/"* "$out/"
out=$(cd "$out" && pwd)
echo "release: $out/zebdiag-$version-win64.zip"
echo "release: $out/SHA256SUMS: $(cat "$out/SHA256SUMS")"
