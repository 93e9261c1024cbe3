# Sourced: installs the Debian packages this project needs when missing.
zeb_need() {   # zeb_need COMMAND PACKAGE...
  command -v "$1" >/dev/null 2>&1 && return 0
  shift
  ZEB_MISSING="$ZEB_MISSING $*"
}
zeb_install_deps() {
  ZEB_MISSING=""
  zeb_need cmake cmake
  zeb_need make make
  zeb_need g++ g++
  zeb_need x86_64-w64-mingw32-g++-posix g++-mingw-w64-x86-64 mingw-w64
  zeb_need wine wine wine64
  zeb_need Xvfb xvfb
  zeb_need xdotool xdotool
  zeb_need xclip xclip
  zeb_need socat socat
  zeb_need import imagemagick   # the screenshots use import; convert may be a stand-in
  zeb_need python3 python3
  zeb_need /usr/bin/time time   # peak memory in the benchmarks
  # The release's installer, its signatures, and the test's throwaway certificates.
  zeb_need wixl wixl
  zeb_need msibuild msitools
  zeb_need osslsigncode osslsigncode
  zeb_need openssl openssl
  # The report test renders a page in Debian's headless browser.
  command -v chromium-headless-shell >/dev/null 2>&1 || command -v chromium >/dev/null 2>&1 ||
    ZEB_MISSING="$ZEB_MISSING chromium-headless-shell"
  # The locale data for the test under a Cyrillic code page.
  [ -f /usr/share/i18n/locales/ru_RU ] || ZEB_MISSING="$ZEB_MISSING locales"
  [ -f /usr/src/googletest/CMakeLists.txt ] || ZEB_MISSING="$ZEB_MISSING googletest"
  [ -f /usr/share/fonts/truetype/liberation/LiberationMono-Regular.ttf ] || ZEB_MISSING="$ZEB_MISSING fonts-liberation"
  if [ -n "$ZEB_MISSING" ]; then
    echo "Installing:$ZEB_MISSING"
    local sudo=""
    [ "$(id -u)" = 0 ] || sudo=sudo
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq $ZEB_MISSING >/dev/null
  fi
}
