# Compile and link settings for every target of ours. They ride on one
# INTERFACE target, qovant_build_options, that each library and executable
# links PRIVATE, rather than on global flags: a target gets exactly what it
# links, and a folder with a CMakeLists.txt of its own needs only that line.
include_guard(GLOBAL)

option(QOVANT_WERROR "Treat warnings as errors" OFF)
option(QOVANT_ASSERTIONS "Check bounds and preconditions inside the C++ standard library (_GLIBCXX_ASSERTIONS)" OFF)

add_library(qovant_build_options INTERFACE)
target_compile_options(qovant_build_options INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wno-sign-conversion)
if(QOVANT_WERROR)
  target_compile_options(qovant_build_options INTERFACE -Werror)
endif()
if(QOVANT_ASSERTIONS)
  # An index past a container's end or front() of an empty one stops the
  # test at once instead of reading whatever lies there.
  target_compile_definitions(qovant_build_options INTERFACE _GLIBCXX_ASSERTIONS)
endif()

# Sanitizer and fuzzing builds: QOVANT_SANITIZE, QOVANT_FUZZ (fuzz/README.md).
include(${CMAKE_CURRENT_LIST_DIR}/sanitizers.cmake)
