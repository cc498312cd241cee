#!/usr/bin/env bash
# dpkg's records of the packages mmdebstrap unpacked without dpkg (--variant=extract), as
# dpkg would have written them: each package's control fields with its status in
# /var/lib/dpkg/status, its files (those still there) in info/<package>.list and their
# checksums in info/<package>.md5sums. Security scanners read these to tell what is inside.
# Usage: dpkg-records.sh ROOT FOLDER  (FOLDER: the .deb files given by path, beside the
# archive's in ROOT/var/cache/apt/archives)
set -euo pipefail
root=$1
db=$root/var/lib/dpkg
# Format 1: the files of a Multi-Arch: same package are named with its architecture.
mkdir -p "$db/info" && touch "$db/status" && echo 1 >"$db/info/format"
for deb in "$root"/var/cache/apt/archives/*.deb "$2"/*.deb; do
  pkg=$(dpkg-deb -f "$deb" Package)
  grep -qx "Package: $pkg" "$db/status" && continue
  name=$pkg
  [ "$(dpkg-deb -f "$deb" Multi-Arch)" = same ] && name=$pkg:$(dpkg-deb -f "$deb" Architecture)
  { dpkg-deb -f "$deb" | sed '1a Status: install ok installed'; echo; } >>"$db/status"
  dpkg-deb --fsys-tarfile "$deb" | tar -t | sed 's|^\.||; s|/$||; s|^$|/.|' |
    while IFS= read -r f; do if [ -e "$root$f" ] || [ -L "$root$f" ]; then echo "$f"; fi; done >"$db/info/$name.list"
  dpkg-deb --ctrl-tarfile "$deb" | tar -xO ./md5sums >"$db/info/$name.md5sums" 2>/dev/null || rm "$db/info/$name.md5sums"
done
