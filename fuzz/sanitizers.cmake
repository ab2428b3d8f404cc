# Sanitizer and fuzzing builds (see fuzz/README.md). Included by the top
# CMakeLists.txt before any target, so that the flags reach every target.
option(QOVANT_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
option(QOVANT_FUZZ "Build the libFuzzer harnesses in fuzz/ (clang only, implies QOVANT_SANITIZE)" OFF)

if(QOVANT_FUZZ AND NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  message(FATAL_ERROR "QOVANT_FUZZ needs clang: configure with -DCMAKE_CXX_COMPILER=clang++")
endif()

if(QOVANT_SANITIZE OR QOVANT_FUZZ)
  # Any report ends the process, so that a test or a fuzz run cannot pass over it.
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined -fno-sanitize-recover=all)
  # GCC's flow analysis sees the sanitizers' checks and warns falsely inside
  # the standard library (<regex>, <functional>).
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    add_compile_options(-Wno-maybe-uninitialized)
  endif()
endif()

if(QOVANT_FUZZ)
  # Coverage feedback in everything; only the harnesses link the fuzzer's main.
  add_compile_options(-fsanitize=fuzzer-no-link)
  add_subdirectory(fuzz)
endif()
