# SPDX-License-Identifier: GPL-3.0-or-later
# Cross-building the core, kyr.exe and the unit tests for 64-bit Windows with
# Debian's mingw-w64 (the posix threading flavour, for std::thread).
#   cmake -S . -B build-windows -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(KYR_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${KYR_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KYR_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${KYR_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${KYR_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Executables that run without the compiler's DLLs beside them.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
