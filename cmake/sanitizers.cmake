# Sanitizer and fuzzing builds (see fuzz/README.md): the flags go on
# qovant_build_options, so that they reach every target of ours.
option(QOVANT_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
option(QOVANT_TSAN "Build with ThreadSanitizer" OFF)
option(QOVANT_FUZZ "Build the libFuzzer harnesses in fuzz/ (clang only, implies QOVANT_SANITIZE)" OFF)

if(QOVANT_TSAN AND (QOVANT_SANITIZE OR QOVANT_FUZZ))
  message(FATAL_ERROR "QOVANT_TSAN cannot be combined with AddressSanitizer")
endif()
if(QOVANT_TSAN)
  target_compile_options(qovant_build_options INTERFACE -fsanitize=thread -fno-omit-frame-pointer)
  target_link_options(qovant_build_options INTERFACE -fsanitize=thread)
endif()

if(QOVANT_FUZZ AND NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  message(FATAL_ERROR "QOVANT_FUZZ needs clang: configure with -DCMAKE_CXX_COMPILER=clang++")
endif()

if(QOVANT_SANITIZE OR QOVANT_FUZZ)
  # Any report ends the process, so that a test or a fuzz run cannot pass over it.
  target_compile_options(qovant_build_options INTERFACE
    -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  target_link_options(qovant_build_options INTERFACE
    -fsanitize=address,undefined -fno-sanitize-recover=all)
  # GCC's flow analysis sees the sanitizers' checks and warns falsely inside
  # the standard library (<regex>, <functional>).
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    target_compile_options(qovant_build_options INTERFACE -Wno-maybe-uninitialized)
  endif()
endif()

if(QOVANT_FUZZ)
  # Coverage feedback in everything; only the harnesses link the fuzzer's main.
  target_compile_options(qovant_build_options INTERFACE -fsanitize=fuzzer-no-link)
endif()
