# Installing and packaging: on Linux the program, its manual pages (Finnish as
# the default, English beside it) and a Debian package; on Windows a zip with
# the program and a Finnish read-me.

set(CPACK_PACKAGE_NAME pituus)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "pituus developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "tell how many characters a line of text holds")
set(CPACK_PACKAGE_CONTACT "pituus developers <pituus@example.org>")
set(CPACK_OUTPUT_FILE_PREFIX ${CMAKE_BINARY_DIR}/packages)
# Every time in a package is the time of the commit it is made from, so that
# the same commit packs the same bytes whenever it is packed.
configure_file(${CMAKE_CURRENT_LIST_DIR}/package_time.cmake.in
    ${CMAKE_BINARY_DIR}/CPackPackageTime.cmake @ONLY)
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_BINARY_DIR}/CPackPackageTime.cmake)

if(WIN32)
    # The zip holds the very program that was built and tested: stripped
    # when linked, for binutils' strip would stamp it with the time.
    target_link_options(pituus PRIVATE -s)
    install(TARGETS pituus RUNTIME DESTINATION .)
    # UTF-8 with a byte-order mark and CR LF line ends, which Notepad reads
    # right on every Windows from XP on (older ones take a file without the
    # mark for the ANSI code page).
    set(readme ${CMAKE_BINARY_DIR}/LUEMINUT.TXT)
    add_custom_command(OUTPUT ${readme}
        COMMAND printf "\\357\\273\\277" > ${readme}
        COMMAND sed "s/$/\\r/" ${CMAKE_SOURCE_DIR}/doc/LUEMINUT.txt >> ${readme}
        DEPENDS ${CMAKE_SOURCE_DIR}/doc/LUEMINUT.txt
        VERBATIM)
    # The licence, with the CR LF line ends of Windows' own tools.
    set(licence ${CMAKE_BINARY_DIR}/LICENSE.txt)
    add_custom_command(OUTPUT ${licence}
        COMMAND sed "s/$/\\r/" ${CMAKE_SOURCE_DIR}/LICENSE > ${licence}
        DEPENDS ${CMAKE_SOURCE_DIR}/LICENSE
        VERBATIM)
    add_custom_target(readme ALL DEPENDS ${readme} ${licence})
    install(FILES ${readme} ${licence} DESTINATION .)
    set(CPACK_GENERATOR ZIP)
    set(CPACK_SYSTEM_NAME win32)
    set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
    include(CPack)
    return()
endif()

set(CPACK_STRIP_FILES ON)
include(GNUInstallDirs)
install(TARGETS pituus RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# Manual pages and the changelog go in compressed, as man and Debian expect.
function(install_compressed source destination name)
    set(compressed ${CMAKE_BINARY_DIR}/compressed/${destination}/${name}.gz)
    add_custom_command(OUTPUT ${compressed}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/compressed/${destination}
        COMMAND gzip -9n < ${source} > ${compressed}
        DEPENDS ${source}
        VERBATIM)
    string(MAKE_C_IDENTIFIER compressed_${destination}_${name} target)
    add_custom_target(${target} ALL DEPENDS ${compressed})
    install(FILES ${compressed} DESTINATION ${destination})
endfunction()
install_compressed(${CMAKE_SOURCE_DIR}/doc/pituus.1 ${CMAKE_INSTALL_MANDIR}/man1 pituus.1)
install_compressed(${CMAKE_SOURCE_DIR}/doc/pituus.en.1 ${CMAKE_INSTALL_MANDIR}/en/man1 pituus.1)
install_compressed(${CMAKE_SOURCE_DIR}/doc/changelog ${CMAKE_INSTALL_DOCDIR} changelog)
install(FILES ${CMAKE_SOURCE_DIR}/doc/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "pituus asks for a line of text, in Finnish, and says how many characters\nit holds, counting in the terminal's encoding (UTF-8 or a single-byte\ncode page). It then waits for one key at the terminal.")
include(CPack)
