# SPDX-License-Identifier: GPL-3.0-or-later
# KYR_SANITIZE: every target of the build with AddressSanitizer and
# UndefinedBehaviorSanitizer; undefined behaviour stops the program like a
# memory error does, so that a test cannot pass over it.
#
# KYR_FUZZ: the same sanitizers, plus libFuzzer's coverage instrumentation of
# every library; the targets in fuzz/ link the fuzzer's main() (clang only).
set(KYR_SANITIZER_FLAGS -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)

if(KYR_SANITIZE OR KYR_FUZZ)
  add_compile_options(${KYR_SANITIZER_FLAGS})
  add_link_options(${KYR_SANITIZER_FLAGS})
endif()

if(KYR_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "KYR_FUZZ needs clang: configure with -DCMAKE_CXX_COMPILER=clang++")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()
