#!/bin/sh
# The daemon installs and runs without a desktop: neither it nor any library it loads names
# Qt's Gui, Widgets, DBus or OpenGL modules, X11 or xcb.
#   daemon-links.sh DAEMON_EXECUTABLE
set -eu
needed=$(objdump -p "$1" | awk '$1 == "NEEDED" { print $2 }')
echo "$needed" | grep -q '^libQt6Network\.so' || { echo "objdump -p $1 names no libQt6Network:" $needed >&2; exit 1; }
if printf '%s\n' "$needed" "$(ldd "$1")" | grep -E 'Qt6(Gui|Widgets|DBus|OpenGL)|libxcb|libX11|libGL'; then
  echo "$1 needs a desktop library (above)" >&2
  exit 1
fi
