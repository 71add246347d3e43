# What `cmake --install` puts in place and what `cpack -G DEB` packs: two packages, pagerake-cli
# (the command line, no Qt, for headless servers) and pagerake (the window, its desktop entry and
# icon), each with a manual page made by help2man from the program's own --help and --version.
# Their dependencies come from the binaries (dpkg-shlibdeps).
include(GNUInstallDirs)

find_program(HELP2MAN help2man)
set(man_pages "")
function(pagerake_man_page target component description)
  if(NOT HELP2MAN OR NOT TARGET ${target})
    return()
  endif()
  set(page ${CMAKE_BINARY_DIR}/man/${target}.1)
  add_custom_command(OUTPUT ${page}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
    COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen
            ${HELP2MAN} --no-info --no-discard-stderr --name=${description} --output=${page}
            $<TARGET_FILE:${target}>
    DEPENDS ${target} VERBATIM)
  add_custom_target(${target}-man ALL DEPENDS ${page})
  install(FILES ${page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT ${component})
endfunction()

pagerake_man_page(pagerake-cli cli "recover SQL Server data files (MDF) from disks and images")
if(TARGET pagerake)
  pagerake_man_page(pagerake gui "recover SQL Server data files (MDF) in a desktop window")
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/pagerake.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT gui)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/pagerake.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps COMPONENT gui)
endif()

set(CPACK_PACKAGE_NAME pagerake)
set(CPACK_PACKAGE_VENDOR "Pagerake")
set(CPACK_PACKAGE_CONTACT "Pagerake developers <pagerake@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Recover SQL Server data files (MDF) from disks and images")
set(CPACK_GENERATOR DEB)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL cli)
if(TARGET pagerake)
  list(APPEND CPACK_COMPONENTS_ALL gui)
endif()
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_CLI_PACKAGE_NAME pagerake-cli)
set(CPACK_DEBIAN_GUI_PACKAGE_NAME pagerake)
# The window takes its translations from the command line's package.
set(CPACK_COMPONENT_GUI_DEPENDS cli)
set(CPACK_DEBIAN_CLI_DESCRIPTION "Recover SQL Server data files (MDF): the command line
 Scans a disk, partition or image (raw or in a container) for SQL Server database pages and
 rebuilds deleted or formatted-away data files from them, with a report of every page.")
set(CPACK_DEBIAN_GUI_DESCRIPTION "Recover SQL Server data files (MDF): the desktop window
 The four-tab window over the same recovery: source, fragments, analysis, assembly.")
include(CPack)
