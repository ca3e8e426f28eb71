#!/bin/sh
# wine-run.sh win32|win64 program [args...]: runs a cross-built program in the build tree's own
# Wine prefix for that architecture.
arch=$1
shift
top=$(cd "$(dirname "$0")/.." && pwd)
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEARCH="$arch"
if [ "$arch" = win64 ]; then
  export WINEPREFIX="$top/build/wineprefix64"
  exec /usr/lib/wine/wine64 "$@"
fi
export WINEPREFIX="$top/build/wineprefix"
exec wine "$@"
