#!/usr/bin/env bash
# Virtual serial lines: pty pairs joined by socat, linked into the prefix as
# COM ports and registered so that the port enumeration lists them and the
# system knows them as serial devices (Wine's own port table, which also
# fills the device map; read when the Wine server starts, so the server is
# restarted).
#   vports.sh up COM5:COM6 [COM7:COM8 ...]    vports.sh down
set -e
. "$(dirname "$0")/wine-env.sh"
dir=$ZEB_BUILD/vports
ports_key='HKLM\Software\Microsoft\Windows NT\CurrentVersion\Ports'
wine_ports='HKLM\Software\Wine\Ports'
case "$1" in
up)
  shift
  mkdir -p "$dir"
  for pair in "$@"; do
    a=${pair%%:*}; b=${pair##*:}
    la=$dir/${a,,}; lb=$dir/${b,,}
    rm -f "$la" "$lb"
    socat "pty,link=$la,raw,echo=0" "pty,link=$lb,raw,echo=0" >/dev/null 2>&1 &
    echo $! >> "$dir/pids"
    for i in $(seq 50); do [ -e "$la" ] && [ -e "$lb" ] && break; sleep 0.1; done
    for p in $a $b; do
      ln -sfn "$dir/${p,,}" "$WINEPREFIX/dosdevices/${p,,}"
      wine reg add "$ports_key" /v "$p:" /t REG_SZ /d "" /f >/dev/null 2>&1
      wine reg add "$wine_ports" /v "$p" /t REG_SZ /d "$dir/${p,,}" /f >/dev/null 2>&1
      echo "$p" >> "$dir/ports"
    done
  done
  wineserver -k >/dev/null 2>&1 || true
  wineserver -w
  ;;
down)
  [ -f "$dir/pids" ] && kill $(cat "$dir/pids") 2>/dev/null || true
  if [ -f "$dir/ports" ]; then
    for p in $(sort -u "$dir/ports"); do
      rm -f "$WINEPREFIX/dosdevices/${p,,}"
      wine reg delete "$ports_key" /v "$p:" /f >/dev/null 2>&1 || true
      wine reg delete "$wine_ports" /v "$p" /f >/dev/null 2>&1 || true
    done
  fi
  rm -f "$dir"/pids "$dir"/ports "$dir"/com[0-9]*
  ;;
*) echo "usage: $0 up A:B... | down" >&2; exit 2 ;;
esac
