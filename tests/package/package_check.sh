#!/usr/bin/env bash
# Packages a build folder as a .deb, installs it with apt as a user would, runs the installed program, checks the
# desktop entry and the icons, then purges the package and checks that none of its files is left behind.
# Usage: tests/package/package_check.sh <build folder>   (needs root or sudo; it installs system-wide)
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:?usage: $0 <build folder>}

sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
export DEBIAN_FRONTEND=noninteractive
work=$(mktemp -d /tmp/tillory-package.XXXXXX)
purge() { "${sudo_cmd[@]}" apt-get purge -y -qq tillory >/dev/null; }
installed() { dpkg-query -W -f='${Status}' tillory 2>/dev/null | grep -q 'install ok installed'; }
cleanup() {
    if installed; then purge; fi
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "package check: $*" >&2
    exit 1
}

# A package left by an earlier run would hide what this one installs.
if installed; then purge; fi

bash scripts/package.sh "$build" "$work" >/dev/null
deb=$(ls "$work"/tillory_*.deb)
echo "package check: $(basename "$deb"), $(stat -c %s "$deb") bytes"
depends=$(dpkg-deb -f "$deb" Depends)
[[ $depends == *-dev[\ ,]* || $depends == *-dev ]] && fail "a -dev package among the dependencies: $depends"
for package in $(python3 tests/package/qml_packages.py src "$(qtpaths6 --query QT_INSTALL_QML)"); do
    [[ ", $depends," == *", $package,"* || ", $depends," == *", $package ("* ]] ||
        fail "the views load QML modules from $package, which Depends does not name"
done
"${sudo_cmd[@]}" apt-get install -y -qq "$deb" >/dev/null
dpkg -L tillory >"$work/files"

version=$(dpkg-query -W -f='${Version}' tillory)
[[ $(/usr/bin/tillory --version) == *"$version"* ]] || fail "--version does not print $version"
/usr/bin/tillory --snapshot | python3 -c 'import json, sys; assert "cpu" in json.load(sys.stdin)' ||
    fail "--snapshot from /usr/bin printed no reading"
desktop-file-validate /usr/share/applications/tillory.desktop || fail "the desktop entry is not valid"
for icon in 16x16 22x22 24x24 32x32 48x48 64x64 128x128 256x256; do
    [ -s "/usr/share/icons/hicolor/$icon/apps/tillory.png" ] || fail "no $icon icon"
done
[ -s /usr/share/icons/hicolor/scalable/apps/tillory.svg ] || fail "no scalable icon"
[ -s /usr/share/doc/tillory/copyright ] || fail "no copyright file"

purge
installed && fail "still installed after purge"
# Shared folders such as /usr/share/icons stay; every file and every folder of our own must be gone.
while read -r path; do
    if [ -e "$path" ] && { [ ! -d "$path" ] || [[ $path == */tillory ]]; }; then
        fail "$path left after purge"
    fi
done <"$work/files"
echo "package check: installed, ran, validated and purged cleanly"
