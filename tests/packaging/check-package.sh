#!/usr/bin/env bash
# The Debian package as an operator meets it, as root: Debian's tools on it; installed with
# apt-get; the window-less mode on loopback; an ordinary user's window keeping its settings
# in that user's folders; the launch-at-login entry; a purge that leaves nothing.
# Usage: check-package.sh tallix-server_<version>_<arch>.deb
set -uo pipefail
deb=$(realpath "$1")
source "$(dirname "$0")/../e2e/e2e-helpers.sh" # check, wait_for, free_port, answers
tmp=$(mktemp -d) && chmod 755 "$tmp"
trap '[ -n "$pid" ] && kill "$pid" 2>/dev/null; rm -rf "$tmp"' EXIT

check "lintian finds no error and no warning" quiet lintian --fail-on error,warning "$deb"
apt-get install -y -q "$deb" >"$tmp/apt.log" 2>&1 || cat "$tmp/apt.log"
state() { dpkg-query -W -f='${db:Status-Abbrev}' tallix-server 2>/dev/null; }
check "apt-get installs it with its dependencies" test "$(state)" = "ii "
dpkg -L tallix-server | sort >"$tmp/files"
check "the desktop entry is valid" desktop-file-validate /usr/share/applications/tallix-server.desktop
check "the AppStream metadata is valid" quiet appstreamcli validate --no-net /usr/share/metainfo/com.example.TallixServer.metainfo.xml
check "the installed unit verifies, manual page included" systemd-analyze verify /lib/systemd/system/tallix-server.service
check "the service is not enabled" test -z "$(find /etc/systemd/system -name 'tallix-server*')"

# The installed program as the given user (uid) with a home of its own, offscreen; SIGTERM
# once its handler is in place, which ends the window like its close box. True when it
# answered on the port (if one is given) and ended with status 0.
run() { # uid home port-or-"" [arguments]
  mkdir -p "$2"
  setpriv --reuid="$1" --regid="$1" --clear-groups env HOME="$2" XDG_CONFIG_HOME="$2/config" \
    XDG_STATE_HOME="$2/state" QT_QPA_PLATFORM=offscreen /usr/bin/tallix-server "${@:4}" 2>>"$2/stderr" & pid=$!
  wait_for 20 grep -q '^SigCgt:.*[4-7c-f][0-9a-f]\{3\}$' "/proc/$pid/status"
  local served=0; [ -z "$3" ] || wait_for 10 answers "$3" || served=1
  kill "$pid"; wait "$pid"; local status=$?; pid=""
  [ "$status" -eq 0 ] && [ "$served" -eq 0 ]
}
free_port port
mkdir "$tmp/service" && printf 'port=%s\r\n' "$port" >"$tmp/service/Server.ini"
check "the window-less mode answers a loopback client, then stops with status 0" \
  run 0 "$tmp/service" "$port" --headless --folder "$tmp/service"
user=$tmp/user
mkdir -p "$user/config/autostart"
printf '[Desktop Entry]\nType=Application\nExec=/old/tallix-server\n' >"$user/config/autostart/tallix-server.desktop"
chown -R 65534:65534 "$user"
ini=$user/config/tallix-server/Server.ini
check "an ordinary user's window ends with status 0" run 65534 "$user" ""
check "its Server.ini is in that user's XDG_CONFIG_HOME" grep -q $'^port=1610\r$' "$ini"
check "its launch-at-login entry names /usr/bin/tallix-server" \
  grep -qx 'Exec="/usr/bin/tallix-server"' "$user/config/autostart/tallix-server.desktop"
sed -i "s/^StartOnLoad=0/StartOnLoad=1/; s/^LogIPs=0/LogIPs=1/; s/^port=1610/port=$port/" "$ini"
check "the next start reads it back: it listens on the port written there" run 65534 "$user" "$port"
check "and logs in that user's XDG_STATE_HOME" grep -q '127.0.0.1' "$user"/state/tallix-server/Logs/*.log
run 0 "$tmp/root" ""
check "root's window keeps Server.ini in root's folder, never in /usr/bin" \
  test -f "$tmp/root/config/tallix-server/Server.ini" -a ! -e /usr/bin/Server.ini

apt-get purge -y -q tallix-server >"$tmp/apt.log" 2>&1 || cat "$tmp/apt.log"
# Shared folders (and /lib, a link to usr/lib) stay; nothing of its own may.
left() { while read -r f; do [ -e "$f" ] && { [ ! -d "$f" ] || [[ "$f" == *tallix* ]]; } && echo "$f"; done <"$tmp/files"; }
check "apt-get purge leaves none of its files" test -z "$(left)"
check "nor the package" test -z "$(state | grep -v '^.n')"

finish
