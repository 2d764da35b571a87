# SPDX-License-Identifier: GPL-3.0-or-later
# Sources of one platform only: the other platform's build leaves them out.
set(KYR_POSIX_ONLY_SOURCES PosixSerialDevice.cpp)
set(KYR_WINDOWS_ONLY_SOURCES Win32SerialDevice.cpp WindowsError.cpp)

# kyr_add_library(NAME DIR DEPS...): one static library per core component,
# built from every .cpp in its folder (but the other platform's sources).
function(kyr_add_library name dir)
  file(GLOB _srcs CONFIGURE_DEPENDS ${dir}/*.cpp)
  if(KYR_WINDOWS)
    set(_other ${KYR_POSIX_ONLY_SOURCES})
  else()
    set(_other ${KYR_WINDOWS_ONLY_SOURCES})
  endif()
  foreach(_file ${_other})
    list(FILTER _srcs EXCLUDE REGEX "/${_file}$")
  endforeach()
  if(NOT _srcs)
    # A component with headers only (or none yet).
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(${name} INTERFACE ${ARGN})
    return()
  endif()
  add_library(${name} STATIC ${_srcs})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(${name} PUBLIC ${ARGN})
endfunction()

# kyr_add_test(NAME DIR LABEL LIBS...): one test executable per folder of tests.
function(kyr_add_test name dir label)
  file(GLOB _srcs CONFIGURE_DEPENDS ${dir}/*.cpp)
  if(NOT _srcs)
    return()
  endif()
  add_executable(${name} ${_srcs})
  target_link_libraries(${name} PRIVATE ${ARGN} GTest::gtest GTest::gmock GTest::gtest_main)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests/support)
  target_compile_definitions(${name} PRIVATE
    KYR_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
    KYR_BINARY_DIR="${PROJECT_BINARY_DIR}")
  if(CMAKE_CROSSCOMPILING)
    # The cross-built tests cannot be listed at build time; each runs whole
    # (under CMAKE_CROSSCOMPILING_EMULATOR if one is set).
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES LABELS ${label})
  else()
    gtest_discover_tests(${name} PROPERTIES LABELS ${label} DISCOVERY_TIMEOUT 60)
  endif()
endfunction()

# A folder that may not hold a build yet.
macro(kyr_optional_subdirectory dir)
  if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/CMakeLists.txt)
    add_subdirectory(${dir})
  endif()
endmacro()
