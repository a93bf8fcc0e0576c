#!/usr/bin/env bash
# The Debian package installed with apt-get, used as an operator would, and removed again: the
# menu entry's command in a fresh home folder without a display, then `apt-get remove`. The
# machine is left as it was found, also when a step fails (the package is purged on the way out).
#
# usage: install_test.sh <package build folder> <source folder>
# Exit code 77 (skipped) when no package was built, when not run as root, or when the package is
# installed on this machine already.
set -uo pipefail

build=$1
source_dir=$(realpath "$2")
export LC_ALL=C.UTF-8
source "$(dirname "$(realpath "${BASH_SOURCE[0]}")")/support.sh"
e2e_init install
work=$e2e_work

package=servermonitor
app_id=com.vormix.ServerMonitor
installed_by_us=no

# The packages dpkg knows as other than not installed, with their versions and states.
package_states() {
    dpkg-query -W -f='${Package} ${Version} ${db:Status-Abbrev}\n' | awk '$NF !~ /^.n/' | LC_ALL=C sort
}

installed() { dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q ' installed$'; }

cleanup() {
    e2e_cleanup
    if [ "$installed_by_us" = yes ] && dpkg-query -W "$package" >/dev/null 2>&1; then
        echo "removing the package left installed by a failed step" >&2
        DEBIAN_FRONTEND=noninteractive dpkg --purge "$package" >/dev/null 2>&1 ||
            echo "WARNING: could not purge $package; remove it by hand" >&2
    fi
}
trap cleanup EXIT

if [ -z "$build" ] || ! compgen -G "$build/${package}_*.deb" >/dev/null; then
    echo "SKIP: no package built; configure with -DSM_PACKAGE_BUILD_DIR=<folder> after building" \
        "the package there (scripts/package.sh)"
    exit 77
fi
if [ "$(id -u)" != 0 ]; then
    echo "SKIP: the install test installs and removes a package, which needs root"
    exit 77
fi
if dpkg-query -W "$package" >/dev/null 2>&1 &&
    [ "$(dpkg-query -W -f='${db:Status-Abbrev}' "$package")" != "un " ]; then
    echo "SKIP: $package is installed on this machine already; the test would remove it"
    exit 77
fi
debs=("$(realpath "$build")"/${package}_*.deb)
[ ${#debs[@]} = 1 ] || fail "more than one package in $build: ${debs[*]}"
deb=${debs[0]}

multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH 2>/dev/null) || fail "no multiarch name"
grep -v '^#' "$source_dir/tests/packaging/package-files.txt" | sed "s/@MULTIARCH@/$multiarch/" \
    >"$work/promised"
package_states >"$work/before"

# Everything it depends on and recommends is on the machine already (the test set of
# install-deps.sh): nothing may be downloaded, nothing but the package installed.
apt-get install -s "$deb" >"$work/apt-plan.log" 2>&1 || fail "apt-get cannot install the package: $(cat "$work/apt-plan.log")"
others=$(sed -n 's/^Inst \([^ ]*\).*/\1/p' "$work/apt-plan.log" | grep -vx "$package")
[ -z "$others" ] || fail "apt-get would also install: $others (scripts/install-deps.sh test installs them)"
installed_by_us=yes
DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=300 install -y "$deb" \
    >"$work/apt-install.log" 2>&1 || fail "apt-get install failed: $(cat "$work/apt-install.log")"
installed || fail "$package is not installed after apt-get install"

dpkg -L "$package" >"$work/listed"
while IFS= read -r path; do
    grep -qxF "$path" "$work/listed" || fail "dpkg -L does not list $path"
    [ -e "$path" ] || [ -L "$path" ] || fail "$path is listed but not on disk"
done <"$work/promised"

# The menu entry's command, word for word, as the desktop runs it: through PATH, in a fresh
# home, with no display and none of this shell's environment.
entry=/usr/share/applications/$app_id.desktop
read -ra command_line <<<"$(sed -n 's/^Exec=//p' "$entry" | head -n1)"
[ ${#command_line[@]} -gt 0 ] || fail "no Exec line in $entry"
home=$work/home
mkdir "$home"
# A command, not a function: started in the background, the monitor then keeps its pid, which
# the signal has to reach.
as_operator=(env -i HOME="$home" PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin
    LANG=C.UTF-8)

monitor_start first "${as_operator[@]}" "${command_line[@]}"
wait_for 60 "the modem line" modem_line_logged first
folder=$home/.config/servermonitor
[ -d "$folder" ] || fail "the menu entry's command did not create $folder"
[ "$(stat -c %a "$folder")" = 700 ] || fail "$folder has mode $(stat -c %a "$folder"), expected 700"
monitor_stop
[ "$monitor_status" = 0 ] || fail "exit status $monitor_status after SIGTERM, expected 0"
history_private "$folder"
[ -z "$(files_besides_history "$folder")" ] ||
    fail "files were put into the new folder: $(files_besides_history "$folder")"

# The operator's own servers.ini there is probed.
listener_start
servers_ini "$folder/servers.ini" "$listener_port"
monitor_start second "${as_operator[@]}" "${command_line[@]}"
wait_for 60 "a probe of the listener" log_has second "连接127.0.0.1成功!"
grep -q '^accepted 127.0.0.1$' "$work/listener.log" || fail "the listener saw no connection"
monitor_stop
[ "$monitor_status" = 0 ] || fail "exit status $monitor_status after SIGTERM, expected 0"

# Autostart, opted into, is the installed menu entry copied.
"${as_operator[@]}" servermonitor-launch --autostart >"$work/autostart.log" 2>&1 ||
    fail "servermonitor-launch --autostart failed: $(cat "$work/autostart.log")"
cmp -s "$entry" "$home/.config/autostart/$app_id.desktop" || fail "the autostart copy differs from $entry"

(cd "$home" && find . -type f -exec sha256sum {} + | LC_ALL=C sort) >"$work/home-before"

DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=300 remove -y "$package" \
    >"$work/apt-remove.log" 2>&1 || fail "apt-get remove failed: $(cat "$work/apt-remove.log")"
! installed || fail "$package is still installed after apt-get remove"
while IFS= read -r path; do
    [ ! -e "$path" ] && [ ! -L "$path" ] || fail "$path is left after apt-get remove"
done <"$work/promised"
(cd "$home" && find . -type f -exec sha256sum {} + | LC_ALL=C sort) >"$work/home-after"
diff -u "$work/home-before" "$work/home-after" >&2 || fail "apt-get remove changed the operator's files"

# Nothing but the package came and went.
package_states >"$work/after"
diff -u "$work/before" "$work/after" >&2 || fail "the installed packages differ from before the test"
installed_by_us=no
echo "package install: passed"
