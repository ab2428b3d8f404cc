# The Windows build ships as qovant-VERSION-win64.zip: qovant.exe at its
# top, beside README.md, LICENSE and the man page rendered as text (Windows
# has no man(1)).
#   cmake --build build-win && (cd build-win && cpack -G ZIP)
# Run as `cmake -DGROFF=groff -DIN=PAGE -DOUT=TEXT -P packaging_windows.cmake`, it renders
# the page: -rHY=0 breaks no word at a line end, -P-cbou leaves no terminal
# escapes or overstruck bold and underline in the text.
if(CMAKE_SCRIPT_MODE_FILE)
  execute_process(COMMAND ${GROFF} -man -Tutf8 -rHY=0 -P-cbou ${IN} OUTPUT_FILE ${OUT}
                  COMMAND_ERROR_IS_FATAL ANY)
  return()
endif()
include_guard(GLOBAL)

find_program(QOVANT_GROFF groff REQUIRED)
set(manual ${CMAKE_CURRENT_BINARY_DIR}/qovant.txt)
add_custom_command(OUTPUT ${manual}
  COMMAND ${CMAKE_COMMAND} -DGROFF=${QOVANT_GROFF} -DIN=${PROJECT_SOURCE_DIR}/docs/qovant.1 -DOUT=${manual}
          -P ${CMAKE_CURRENT_LIST_FILE}
  DEPENDS ${PROJECT_SOURCE_DIR}/docs/qovant.1
  VERBATIM)
add_custom_target(qovant_manual_text ALL DEPENDS ${manual})

install(TARGETS qovant RUNTIME DESTINATION .)
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/LICENSE ${manual}
        DESTINATION .)

set(CPACK_PACKAGE_NAME qovant)
set(CPACK_SYSTEM_NAME win64)
set(CPACK_GENERATOR ZIP)
set(CPACK_STRIP_FILES ON)
include(CPack)
