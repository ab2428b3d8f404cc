# What `cmake --install` puts beside the binary, and the Debian package that
# `cpack -G DEB` makes of it. Debian policy wants the man page and the
# changelog compressed with gzip -9n (-n: no name or time stamp inside, so
# the same sources give the same package), and a copyright file and a
# changelog in /usr/share/doc/qovant.
include_guard(GLOBAL)
# The Windows build ships as a zip instead.
if(WIN32)
  include(${CMAKE_CURRENT_LIST_DIR}/packaging_windows.cmake)
  return()
endif()
include(GNUInstallDirs)
install(TARGETS qovant RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# Compresses SOURCE to NAME.gz in the build tree; the .gz is built with all.
function(qovant_gzip source name)
  set(copy ${CMAKE_CURRENT_BINARY_DIR}/gzip/${name})
  add_custom_command(OUTPUT ${copy}.gz
    COMMAND ${CMAKE_COMMAND} -E copy ${source} ${copy}
    COMMAND gzip -9nf ${copy}
    DEPENDS ${source}
    VERBATIM)
  add_custom_target(qovant_gzip_${name} ALL DEPENDS ${copy}.gz)
endfunction()

qovant_gzip(${PROJECT_SOURCE_DIR}/docs/qovant.1 qovant.1)
qovant_gzip(${PROJECT_SOURCE_DIR}/packaging/changelog changelog)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/gzip/qovant.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/gzip/changelog.gz
              ${PROJECT_SOURCE_DIR}/packaging/copyright
        DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_PACKAGE_NAME qovant)
# A placeholder until the project has a mail address of its own: .example
# is reserved (RFC 2606), so it can never reach a stranger.
set(CPACK_PACKAGE_CONTACT "qovant developers <qovant@qovant.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "find directory objects whose login script contains a text")
set(CPACK_PACKAGE_DESCRIPTION [[
qovant walks a whole directory tree from its top and prints one line for
every object whose login script contains a given text, case ignored: the
object's name and the script line. Run it before retiring a file server,
moving a share or dropping a command from the logon scripts.

The tree comes from an LDIF export of the directory, or from a live LDAP
server through OpenLDAP's client library.]])
set(CPACK_DEBIAN_PACKAGE_SECTION admin)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
# strip keeps the .comment section (the compiler's version strings), which
# nothing reads at run time: a stripped install (the package's,
# `cmake --install --strip`) drops it too.
install(CODE "
  if(CMAKE_INSTALL_DO_STRIP)
    execute_process(COMMAND \"${CMAKE_OBJCOPY}\" --remove-section=.comment
      \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/qovant\"
      COMMAND_ERROR_IS_FATAL ANY)
  endif()")
include(CPack)
