# SPDX-License-Identifier: GPL-3.0-or-later
# Cross-building 64-bit Windows executables on Debian with the mingw-w64 compiler of the posix
# thread model (g++-mingw-w64-x86-64-posix): std::thread and std::mutex need it, the win32
# model offers neither in GCC 12.
#
#   cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DZELBOR_BUILD_UI=OFF
#
# The executables link libgcc, libstdc++ and winpthread statically, so they run on Windows and
# under Wine without any of the compiler's DLLs beside them.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(ZELBOR_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${ZELBOR_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZELBOR_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${ZELBOR_MINGW_TRIPLET}-windres)

# Libraries and headers come from the mingw-w64 tree only; programs (moc, rcc, ...) from the host.
# A Qt 6 for Windows installed elsewhere is found by adding its folder to CMAKE_PREFIX_PATH.
set(CMAKE_FIND_ROOT_PATH /usr/${ZELBOR_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# -static makes the linker take the static winpthread too, which -static-libgcc and
# -static-libstdc++ alone would leave as libwinpthread-1.dll.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

