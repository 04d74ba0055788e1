# Installing: both programs in one folder (Quillbox starts Quillpost from its
# own folder), icons and menu entries after the freedesktop.org layout, an
# autostart entry that starts Quillbox hidden, and the capability that lets
# Quillbox listen on port 505 without root.
include(GNUInstallDirs)

option(QUILL_INSTALL_AUTOSTART "Install the entry that starts Quillbox hidden at login" ON)
option(QUILL_SETCAP "Grant the installed quillbox cap_net_bind_service (needs root and setcap)" ON)

install(TARGETS quillpost quillbox RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES common/icons/quillpost.svg common/icons/quillbox.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES dist/quillpost.desktop dist/quillbox.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
if(QUILL_INSTALL_AUTOSTART)
  # A system install (prefix /usr, as the package uses) puts the entry where
  # desktops look for it; any other prefix keeps it inside the prefix. The
  # prefix is the one of the install itself (cpack installs into /usr
  # whatever the build was configured with), so it is read then.
  install(CODE "set(QUILL_AUTOSTART_FILE \"${CMAKE_CURRENT_SOURCE_DIR}/dist/quillbox-autostart.desktop\")")
  install(CODE [[
    if(CMAKE_INSTALL_PREFIX STREQUAL "/usr")
      set(autostart /etc/xdg/autostart)
    else()
      set(autostart "${CMAKE_INSTALL_PREFIX}/etc/xdg/autostart")
    endif()
    # file(INSTALL) puts DESTDIR (cpack's staging folder) in front.
    file(INSTALL "${QUILL_AUTOSTART_FILE}" DESTINATION "${autostart}" RENAME quillbox.desktop)
  ]])
endif()

if(QUILL_SETCAP)
  install(CODE [[
    set(quillbox "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/bin/quillbox")
    find_program(SETCAP setcap PATHS /usr/sbin /sbin)
    if(SETCAP AND EXISTS "${quillbox}")
      execute_process(COMMAND "${SETCAP}" cap_net_bind_service=+ep "${quillbox}"
                      RESULT_VARIABLE result ERROR_QUIET)
      if(result EQUAL 0)
        message(STATUS "quillbox may now listen on ports below 1024")
      else()
        message(STATUS "Could not grant quillbox cap_net_bind_service (run the install as root); "
                       "port 505 will be refused until then")
      endif()
    endif()
  ]])
endif()

set(CPACK_PACKAGE_NAME quill)
set(CPACK_PACKAGE_VENDOR "Quill developers")
set(CPACK_PACKAGE_CONTACT "Quill developers <hello@quill.example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Pop-up messages between people on one local network")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The history's SQLite driver is a plugin, which dpkg-shlibdeps cannot see.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6svg6, libqt6sql6-sqlite, libcap2-bin")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA "${CMAKE_CURRENT_SOURCE_DIR}/dist/postinst")
include(CPack)
