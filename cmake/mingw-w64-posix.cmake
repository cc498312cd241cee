# Cross-build for 64-bit Windows: Debian's mingw-w64 compilers (posix threads) and a Qt
# built with them. TALLIX_QT_MINGW (cache or environment) is that Qt's prefix, the folder
# holding lib/cmake/Qt6; its own toolchain file names the compilers. moc, rcc and uic are
# the host's (Debian's qt6-base-dev-tools, the same Qt version).
if(NOT TALLIX_QT_MINGW)
  set(TALLIX_QT_MINGW "$ENV{TALLIX_QT_MINGW}")
endif()
set(_tallix_qt_toolchain "${TALLIX_QT_MINGW}/lib/cmake/Qt6/qt.toolchain.cmake")
if(NOT EXISTS "${_tallix_qt_toolchain}")
  message(FATAL_ERROR "Set TALLIX_QT_MINGW to the prefix of Qt for mingw-w64 (no ${_tallix_qt_toolchain})")
endif()
# try_compile projects read this file again and need the prefix too.
set(ENV{TALLIX_QT_MINGW} "${TALLIX_QT_MINGW}")
set(QT_HOST_PATH /usr CACHE PATH "Host Qt providing moc, rcc and uic")
include("${_tallix_qt_toolchain}")
