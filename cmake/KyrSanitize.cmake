# KYR_SANITIZE: every target of the build with AddressSanitizer and
# UndefinedBehaviorSanitizer; undefined behaviour stops the program like a
# memory error does, so that a test cannot pass over it.
set(KYR_SANITIZER_FLAGS -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)

if(KYR_SANITIZE)
  add_compile_options(${KYR_SANITIZER_FLAGS})
  add_link_options(${KYR_SANITIZER_FLAGS})
endif()
