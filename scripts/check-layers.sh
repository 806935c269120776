#!/usr/bin/env bash
# The layering rules: only the Linux backend reaches X11, xcb, AT-SPI or /proc; only views and the app link Qt GUI.
set -euo pipefail
cd "$(dirname "$0")/.."

status=0
hits=$(grep -rnE '#include\s*[<"](X11/|xcb/|atspi|QtGui|QGuiApplication|QClipboard|QWidget|QApplication|QQuick)' src \
    --include='*.h' --include='*.cpp' | grep -vE '^src/(platform/linux|app)/|/view/' || true)
if [ -n "$hits" ]; then
    echo "Platform or GUI headers outside src/platform/linux, src/app and view folders:"
    echo "$hits"
    status=1
fi
procs=$(grep -rnE '"/(proc|sys)/' src --include='*.h' --include='*.cpp' | grep -vE '^src/platform/linux/' || true)
if [ -n "$procs" ]; then
    echo "/proc or /sys paths outside src/platform/linux:"
    echo "$procs"
    status=1
fi
exit $status
