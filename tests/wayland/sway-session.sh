#!/usr/bin/env bash
# Runs COMMAND inside a headless sway of its own and answers COMMAND's exit status.
#   sway-session.sh [--outputs N] [--bar] COMMAND...
# sway refuses to run as root, so it runs as an unprivileged user made for the tests; COMMAND runs as the caller
# (root may use another user's sockets), with WAYLAND_DISPLAY, SWAYSOCK and XDG_RUNTIME_DIR set, on a session
# bus of its own (the user's bus refuses root). --bar declares a bar "tray" that sway does not start itself: COMMAND
# starts `swaybar -b tray` when it wants one, on its own bus, where the bar is the tray's host. Exit status 77
# (skipped) when sway is not installed or cannot start here; with TILLORY_REQUIRE_SWAY=1 (as scripts/test.sh
# sets) that is a failure instead, status 1.
set -uo pipefail
outputs=1
bar=0
while [ $# -gt 0 ]; do
    case "$1" in
        --outputs) outputs=$2; shift 2 ;;
        --bar) bar=1; shift ;;
        *) break ;;
    esac
done
[ $# -gt 0 ] || { echo "usage: $0 [--outputs N] [--bar] COMMAND..." >&2; exit 2; }
unavailable=77
[ "${TILLORY_REQUIRE_SWAY:-0}" = 1 ] && unavailable=1
command -v sway >/dev/null || { echo "sway is not installed: cannot run this test" >&2; exit "$unavailable"; }

user=tillory-e2e
if [ "$(id -u)" -eq 0 ]; then
    # Two sessions starting at once may both try to make the user: the loser finds it made.
    id -u "$user" >/dev/null 2>&1 || useradd --system --create-home --shell /usr/sbin/nologin "$user" ||
        id -u "$user" >/dev/null 2>&1 || { echo "cannot make the user $user to run sway as" >&2; exit "$unavailable"; }
    as_user=(runuser -u "$user" --)
else
    user=$(id -un)
    as_user=()
fi
runtime=$(mktemp -d /tmp/tillory-sway.XXXXXX)
chown "$user:" "$runtime"
chmod 700 "$runtime"
config="$runtime/sway.conf"
{
    for i in $(seq 1 "$outputs"); do
        echo "output HEADLESS-$i resolution 1280x720 position $(( (i - 1) * 1280 )) 0"
    done
    echo "xwayland disable"
    echo "default_border none"
    if [ "$bar" = 1 ]; then
        printf 'bar tray {\n    swaybar_command true\n    tray_output *\n}\n'
    fi
    echo "${SWAY_EXTRA_CONFIG:-}"
} > "$config"
chown "$user:" "$config"
home=$(getent passwd "$user" | cut -d: -f6)
base_env=(HOME="$home" PATH=/usr/local/bin:/usr/bin:/bin XDG_RUNTIME_DIR="$runtime" LANG=C.UTF-8)

"${as_user[@]}" env -i "${base_env[@]}" WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman \
    WLR_HEADLESS_OUTPUTS="$outputs" dbus-run-session -- sway -c "$config" > "$runtime/sway.log" 2>&1 &
launcher=$!

cleanup() {
    if [ -n "${socket:-}" ]; then
        "${as_user[@]}" env -i "${base_env[@]}" SWAYSOCK="$socket" swaymsg exit >/dev/null 2>&1
    fi
    # dbus-run-session ends sway's bus once sway has gone; stopped before that, it would leave the bus running.
    for _ in $(seq 50); do
        kill -0 "$launcher" 2>/dev/null || break
        sleep 0.1
    done
    kill "$launcher" 2>/dev/null
    wait "$launcher" 2>/dev/null
    rm -rf "$runtime"
}
trap cleanup EXIT

socket=""
display=""
for _ in $(seq 150); do
    socket=$(ls "$runtime"/sway-ipc.*.sock 2>/dev/null | head -1)
    display=$(cd "$runtime" && ls wayland-[0-9] 2>/dev/null | head -1)
    [ -n "$socket" ] && [ -n "$display" ] && break
    kill -0 "$launcher" 2>/dev/null || break
    sleep 0.1
done
if [ -z "$socket" ] || [ -z "$display" ]; then
    echo "headless sway did not come up: cannot run this test" >&2
    cat "$runtime/sway.log" >&2
    exit "$unavailable"
fi
export WAYLAND_DISPLAY="$display" SWAYSOCK="$socket" XDG_RUNTIME_DIR="$runtime"
export XDG_SESSION_TYPE=wayland TILLORY_SWAY_USER="$user" TILLORY_SWAY_LOG="$runtime/sway.log"
unset DISPLAY DBUS_SESSION_BUS_ADDRESS
dbus-run-session -- "$@"
