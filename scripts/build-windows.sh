#!/usr/bin/env bash
# Cross-builds the program for 64-bit Windows into build-win/ and packs what a Windows user
# copies into one folder: build-win/tallix-server/ and build-win/tallix-server-windows-x64.zip,
# the portable form, and the same folder as a setup program, build-win/tallix-server-setup-x64.exe.
# Qt for mingw-w64 comes from ../shared/toolchains (unpacked once into $TALLIX_QT_MINGW_DIR,
# default ../qt-mingw, outside the repository).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup-debian.sh g++-mingw-w64-x86-64-posix mingw-w64-tools qt6-base-dev-tools ninja-build zip nsis

tarball=${TALLIX_QT_MINGW_TARBALL:-../shared/toolchains/qt-6.4.2-mingw-w64-x86_64-posix.tar.xz}
qtdir=${TALLIX_QT_MINGW_DIR:-../qt-mingw}
if [ ! -f "$qtdir/prefix/lib/cmake/Qt6/qt.toolchain.cmake" ]; then
  # Unpacked aside and renamed into place, so that a build running at the same time from
  # another clone never sees half of it.
  mkdir -p "$qtdir"
  unpack=$(mktemp -d "$qtdir/unpack.XXXXXX")
  tar xJf "$tarball" -C "$unpack"
  mv -T "$unpack/prefix" "$qtdir/prefix" 2>/dev/null || true
  rm -rf "$unpack"
fi
prefix=$(cd "$qtdir/prefix" && pwd)

cmake -S . -B build-win -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING="${TALLIX_WINDOWS_TESTS:-OFF}" \
      -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-posix.cmake" -DTALLIX_QT_MINGW="$prefix" >/dev/null
# The window program, and the daemon: the console program and the Windows service.
cmake --build build-win -j"$(nproc)" --target tallix-server tallix-serverd

out=build-win/tallix-server
rm -rf "$out" build-win/tallix-server-windows-x64.zip build-win/tallix-server-setup-x64.exe
mkdir -p "$out/platforms" "$out/styles"
cp build-win/tallix-server.exe build-win/tallix-serverd.exe build-win/Readme.txt "$out/"
cp "$prefix"/bin/Qt6{Core,Gui,Widgets,Network}.dll "$prefix"/mingw-runtime/*.dll "$out/"
cp "$prefix/plugins/platforms/qwindows.dll" "$out/platforms/"
cp "$prefix/plugins/styles/qwindowsvistastyle.dll" "$out/styles/"
x86_64-w64-mingw32-strip "$out"/*.exe
# What the folder ships is passed on under these terms: the program's licence, and those of
# Qt (with the notices of what is built into it) and of the MinGW-w64 runtime, in Windows'
# line ends. Debian's copyright files are those of the very sources that were built.
mkdir -p "$out/licenses"
crlf() { sed 's/\r*$/\r/' "$1" >"$2"; }
crlf LICENSE "$out/LICENSE.txt"
crlf packaging/windows/THIRD-PARTY.txt "$out/THIRD-PARTY.txt"
crlf /usr/share/common-licenses/LGPL-3 "$out/licenses/LGPL-3.0.txt"
crlf /usr/share/common-licenses/GPL-3 "$out/licenses/GPL-3.0.txt"
crlf /usr/share/doc/libqt6core6/copyright "$out/licenses/qt6-base-copyright.txt"
crlf /usr/share/doc/gcc-mingw-w64-base/copyright "$out/licenses/gcc-mingw-w64-copyright.txt"
crlf /usr/share/doc/mingw-w64-common/copyright "$out/licenses/mingw-w64-copyright.txt"
cp packaging/windows/build-qt-mingw.sh "$out/licenses/" # how Qt's DLLs were built from their source
(cd build-win && zip -qr tallix-server-windows-x64.zip tallix-server)
echo "build-win/tallix-server-windows-x64.zip"

# What the uninstaller removes: each file of the folder, then each folder once emptied.
{
  echo '!macro REMOVE_PAYLOAD'
  (cd "$out" && find . -mindepth 1 -depth \( -type f -printf '  Delete "$INSTDIR\\%P"\n' \
     -o -type d -printf '  RMDir "$INSTDIR\\%P"\n' \)) | tr / '\\'
  echo '!macroend'
} >build-win/installer/files.nsh
makensis -V2 -DPAYLOAD="$PWD/$out" -DGENERATED="$PWD/build-win/installer" \
         -DOUTFILE="$PWD/build-win/tallix-server-setup-x64.exe" packaging/windows/tallix-server.nsi
echo "build-win/tallix-server-setup-x64.exe"
