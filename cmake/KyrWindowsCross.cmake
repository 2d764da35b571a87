# SPDX-License-Identifier: GPL-3.0-or-later
# The Windows cross-build: the core, kyr.exe and the unit tests with
# cmake/mingw-w64.cmake; with KYR_WINDOWS_APP and the toolchain of a Qt built
# for Windows (scripts/build-qt-windows.sh) also kyr-tuner.exe and its
# packages. The simulator, the benchmarks, the fuzz targets and the
# pseudo-terminal tests are POSIX programs.
option(KYR_WINDOWS_APP "Cross-build kyr-tuner.exe too (needs Qt built for Windows)" OFF)
if(NOT KYR_WINDOWS_APP)
  set(KYR_BUILD_APP OFF CACHE BOOL "" FORCE)
endif()
set(KYR_BUILD_BENCH OFF CACHE BOOL "" FORCE)
set(KYR_FUZZ OFF CACHE BOOL "" FORCE)

add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)

# CLI11 and nlohmann-json are header-only: the build machine's headers serve
# the cross build too. Only their folders are put on the include path, so that
# the host's C library headers never stand in for the Windows ones.
set(KYR_HOST_INCLUDE_DIR /usr/include CACHE PATH "Where the header-only libraries of the build machine are")
set(_kyr_hdrs ${CMAKE_BINARY_DIR}/host-headers)
file(MAKE_DIRECTORY ${_kyr_hdrs})
foreach(_dir CLI nlohmann)
  if(NOT EXISTS ${KYR_HOST_INCLUDE_DIR}/${_dir})
    message(FATAL_ERROR "${KYR_HOST_INCLUDE_DIR}/${_dir} is missing: install libcli11-dev and nlohmann-json3-dev")
  endif()
  file(CREATE_LINK ${KYR_HOST_INCLUDE_DIR}/${_dir} ${_kyr_hdrs}/${_dir} SYMBOLIC)
endforeach()
add_library(CLI11::CLI11 INTERFACE IMPORTED GLOBAL)
target_include_directories(CLI11::CLI11 INTERFACE ${_kyr_hdrs})
add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED GLOBAL)
target_include_directories(nlohmann_json::nlohmann_json INTERFACE ${_kyr_hdrs})

# GoogleTest from its Debian sources, built with the cross compiler.
set(KYR_GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources to build for Windows")

# GCC 12 warns of overlapping copies inside std::string that cannot happen.
add_compile_options(-Wno-restrict)
