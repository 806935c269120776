#!/usr/bin/env bash
# The layering rules: only the Linux backend reaches X11, xcb, AT-SPI or /proc; only views and the app link Qt GUI;
# no view reads text as markup.
set -euo pipefail
cd "$(dirname "$0")/.."

status=0
hits=$(grep -rnE '#include\s*[<"](X11/|xcb/|atspi|QtGui|QGuiApplication|QClipboard|QWidget|QApplication|QQuick)' src \
    --include='*.h' --include='*.cpp' | grep -vE '^src/(platform/(linux|x11|wayland)|app)/|/view/' || true)
if [ -n "$hits" ]; then
    echo "Platform or GUI headers outside src/platform/{linux,x11,wayland}, src/app and view folders:"
    echo "$hits"
    status=1
fi
procs=$(grep -rnE '"/(proc|sys)/' src --include='*.h' --include='*.cpp' | grep -vE '^src/platform/linux/' || true)
if [ -n "$procs" ]; then
    echo "/proc or /sys paths outside src/platform/linux:"
    echo "$procs"
    status=1
fi
# Texts from other programs are never read as markup: every Text in a view says its format.
for qml in $(find src -name '*.qml'); do
    texts=$(grep -cE '\bText\s*\{' "$qml" || true)
    formats=$(grep -c 'textFormat:' "$qml" || true)
    if [ "$texts" -gt "$formats" ]; then
        echo "$qml: $texts Text items but $formats textFormat lines (outside text must not be read as markup)"
        status=1
    fi
done
exit $status
