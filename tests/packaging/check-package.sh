#!/usr/bin/env bash
# A Debian package as an operator meets it, as root: lintian; apt-get (recommended packages too)
# installing it into a fresh minimal Debian 12 root, the packages that adds counted; the program
# run there on loopback; a purge. Usage: check-package.sh tallix-serverd|tallix-server [deb folder]
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# The root lives while this script runs again as its hook, with /proc, /sys and /dev mounted.
[ $# -ge 3 ] || exec mmdebstrap --variant=minbase --quiet --format=null \
  --customize-hook="bash '$here/check-package.sh' '$1' '$(realpath "${2:-build-deb}")' \"\$1\"" bookworm /dev/null
pkg=$1 root=$3
source "$here/../e2e/e2e-helpers.sh" # check, wait_for, free_port, answers
tmp=/tmp/check # in the root, as the programs there see it
mkdir -m 755 "$root$tmp" && cp "$2/${pkg}"_*.deb "$2"/tallix-server-common_*.deb "$root$tmp/"

check "lintian finds no error and no warning" quiet lintian --fail-on error,warning "$root$tmp"/*.deb
installed() { chroot "$root" dpkg-query -W -f='${db:Status-Abbrev}\n' | grep -c '^ii'; }
before=$(installed)
chroot "$root" sh -c "apt-get install -y -q -o APT::Install-Recommends=true $tmp/*.deb" >"$root$tmp/apt.log" 2>&1 || cat "$root$tmp/apt.log"
state() { chroot "$root" dpkg-query -W -f='${db:Status-Abbrev}' "$pkg" 2>/dev/null; }
check "apt-get installs it with its dependencies" test "$(state)" = "ii "
added=$(($(installed) - before)) && say "apt-get install $pkg added $added packages to a fresh minimal Debian 12 root of $before"
chroot "$root" dpkg -L "$pkg" | sort >"$root$tmp/files"

# The installed program as the given user with a home of its own, SIGTERM once its handler
# is in place: true when it answered on the port (if one is given) and ended with status 0.
run() { # uid home port-or-"" command [arguments]
  chroot "$root" setpriv --reuid="$1" --regid="$1" --clear-groups env HOME="$2" XDG_CONFIG_HOME="$2/config" \
    XDG_STATE_HOME="$2/state" QT_QPA_PLATFORM=offscreen "${@:4}" 2>>"$root$tmp/stderr" & pid=$!
  wait_for 20 grep -qs '^SigCgt:.*[4-7c-f][0-9a-f]\{3\}$' "/proc/$pid/status"
  local served=0; [ -z "$3" ] || wait_for 10 answers "$3" || served=1
  kill "$pid"; wait "$pid"; local status=$?; pid=""
  [ "$status" -eq 0 ] && [ "$served" -eq 0 ] || { cat "$root$tmp/stderr"; false; }
}
if [ "$pkg" = tallix-serverd ]; then
  check "that is at most 40 packages" test "$added" -le 40
  units=$root/lib/systemd/system && cp "$units/tallix-server.socket" "$root$tmp/"
  sed "s|/usr/bin/|$root/usr/bin/|" "$units/tallix-server.service" >"$root$tmp/tallix-server.service"
  check "the installed units verify (the executable where the root has it), manual page included" \
    env MANPATH="$root/usr/share/man" systemd-analyze verify "$root$tmp"/tallix-server.s*
  check "the service is not enabled" test -z "$(find "$root/etc/systemd/system" -name 'tallix-server*')"
  state=$root/var/lib/tallix-server && free_port port && mkdir -p "$state" && printf 'port=%s\r\n' "$port" >"$state/Server.ini" && chown -R 61610 "$state"
  check "the service's command line, unprivileged on its state folder, answers a loopback client and stops with status 0" \
    run 61610 /var/lib/tallix-server "$port" $(sed -n 's/^ExecStart=//p' "$units/tallix-server.service")
else
  check "it holds no systemd unit" test -z "$(grep systemd "$root$tmp/files")"
  check "the desktop entry is valid" desktop-file-validate "$root/usr/share/applications/tallix-server.desktop"
  check "the AppStream metadata is valid" quiet appstreamcli validate --no-net "$root/usr/share/metainfo/com.example.TallixServer.metainfo.xml"
  mkdir "$root$tmp/user" && chown 65534:65534 "$root$tmp/user"
  check "an ordinary user's window ends with status 0" run 65534 "$tmp/user" "" /usr/bin/tallix-server
  check "as an installed copy: its Server.ini is in that user's XDG_CONFIG_HOME, none in /usr/bin" \
    test -f "$root$tmp/user/config/tallix-server/Server.ini" -a ! -e "$root/usr/bin/Server.ini"
fi

chroot "$root" apt-get purge -y -q "$pkg" >"$root$tmp/apt.log" 2>&1 || cat "$root$tmp/apt.log"
# Shared folders (and /lib, a link to usr/lib) stay; nothing of its own may.
left() { while read -r f; do [ -e "$root$f" ] && { [ ! -d "$root$f" ] || [[ "$f" == *tallix* ]]; } && echo "$f"; done <"$root$tmp/files"; }
check "apt-get purge leaves none of its files, nor the package" test -z "$(left)$(state | grep -v '^.n')"
finish
