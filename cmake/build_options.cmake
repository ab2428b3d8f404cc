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

# Sanitizer and fuzzing builds: QOVANT_SANITIZE, QOVANT_TSAN, QOVANT_FUZZ (fuzz/README.md).
include(${CMAKE_CURRENT_LIST_DIR}/sanitizers.cmake)

# Hardening, in every build type: the tool parses what files and servers
# send, so an overflow that slips past review should stop the process, not
# steer it.
include(CheckCXXCompilerFlag)
if(WIN32)
  # The PE counterparts of PIE and RELRO: a relocatable image that address
  # randomisation may place anywhere in 64-bit space, and data that is never
  # executable. -static: the C++ runtime, winpthreads and libssp inside the
  # executable, so that it imports system DLLs alone.
  # <windows.h> without its min and max macros, which break std::min.
  target_compile_definitions(qovant_build_options INTERFACE NOMINMAX WIN32_LEAN_AND_MEAN)
  target_link_options(qovant_build_options INTERFACE
    LINKER:--dynamicbase,--high-entropy-va,--nxcompat -static)
  target_compile_options(qovant_build_options INTERFACE -fstack-protector-strong)
  target_link_libraries(qovant_build_options INTERFACE ssp)
else()
  # PIE and full RELRO let address randomisation cover the binary itself and
  # leave no writable relocation table after start-up.
  include(CheckPIESupported)
  check_pie_supported(OUTPUT_VARIABLE qovant_pie_output LANGUAGES CXX)
  if(NOT CMAKE_CXX_LINK_PIE_SUPPORTED)
    message(WARNING "the linker cannot make a position-independent executable:\n${qovant_pie_output}")
  endif()
  set_property(TARGET qovant_build_options PROPERTY INTERFACE_POSITION_INDEPENDENT_CODE ON)
  target_compile_options(qovant_build_options INTERFACE -fstack-protector-strong)
  target_link_options(qovant_build_options INTERFACE LINKER:-z,relro,-z,now)
endif()
# Not every compiler and target has these two (-fcf-protection is x86 only).
# mingw-w64's GCC crashes compiling the standard library's checked code with
# stack clash protection (GCC bug 90458); Windows probes every large frame
# (__chkstk) anyway.
check_cxx_compiler_flag(-fstack-clash-protection QOVANT_HAVE_STACK_CLASH_PROTECTION)
if(QOVANT_HAVE_STACK_CLASH_PROTECTION AND NOT (WIN32 AND QOVANT_ASSERTIONS))
  target_compile_options(qovant_build_options INTERFACE -fstack-clash-protection)
endif()
check_cxx_compiler_flag(-fcf-protection QOVANT_HAVE_CF_PROTECTION)
if(QOVANT_HAVE_CF_PROTECTION)
  target_compile_options(qovant_build_options INTERFACE -fcf-protection)
endif()
# glibc's checked string and memory functions need optimisation to know the
# sizes they check. Not under the sanitizers: their own checks see every
# access, and the checked functions would hide calls from them. -U first,
# since some compilers define the macro themselves.
if(NOT QOVANT_SANITIZE AND NOT QOVANT_TSAN AND NOT QOVANT_FUZZ)
  target_compile_options(qovant_build_options INTERFACE
    "$<$<CONFIG:Release,RelWithDebInfo,MinSizeRel>:-U_FORTIFY_SOURCE;-D_FORTIFY_SOURCE=2>")
endif()
