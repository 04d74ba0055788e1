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
# Fixed-size PNGs of both icons, rendered from the SVGs at build time, for
# menus and panels that take no scalable icons.
set(QUILL_ICON_SIZES 16 22 24 32 48 64 128 256)
add_executable(quill_iconrender dist/iconrender.cpp)
target_link_libraries(quill_iconrender PRIVATE Qt6::Gui)
set(QUILL_ICON_PNGS)
foreach(icon quillpost quillbox)
  set(outputs)
  foreach(size ${QUILL_ICON_SIZES})
    list(APPEND outputs "${CMAKE_BINARY_DIR}/hicolor/${size}x${size}/apps/${icon}.png")
  endforeach()
  add_custom_command(OUTPUT ${outputs}
    COMMAND quill_iconrender "${CMAKE_CURRENT_SOURCE_DIR}/common/icons/${icon}.svg"
            "${CMAKE_BINARY_DIR}/hicolor" ${QUILL_ICON_SIZES}
    DEPENDS quill_iconrender "${CMAKE_CURRENT_SOURCE_DIR}/common/icons/${icon}.svg"
    COMMENT "Rendering the ${icon} icon")
  list(APPEND QUILL_ICON_PNGS ${outputs})
endforeach()
add_custom_target(quill_icons_png ALL DEPENDS ${QUILL_ICON_PNGS})
install(DIRECTORY "${CMAKE_BINARY_DIR}/hicolor" DESTINATION ${CMAKE_INSTALL_DATADIR}/icons)
install(FILES dist/quillpost.desktop dist/quillbox.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES dist/metainfo/org.example.quill.quillpost.metainfo.xml
              dist/metainfo/org.example.quill.quillbox.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES dist/man/quillpost.1 dist/man/quillbox.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
# Firewall profiles that open Quillbox's default port.
install(FILES dist/firewall/quillbox.xml DESTINATION lib/firewalld/services)
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
# ufw reads its profiles from /etc, chosen like the autostart entry's folder.
install(CODE "set(QUILL_UFW_FILE \"${CMAKE_CURRENT_SOURCE_DIR}/dist/firewall/quillbox.ufw\")")
install(CODE [[
  if(CMAKE_INSTALL_PREFIX STREQUAL "/usr")
    set(ufw /etc/ufw/applications.d)
  else()
    set(ufw "${CMAKE_INSTALL_PREFIX}/etc/ufw/applications.d")
  endif()
  file(INSTALL "${QUILL_UFW_FILE}" DESTINATION "${ufw}" RENAME quillbox)
]])

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
# Plugins, which dpkg-shlibdeps cannot see: the SVG icons, the history's
# SQLite driver, the Wayland platform; the X11 platform and the TLS backend
# come with libqt6gui6 and libqt6network6, which the programs link.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6svg6, libqt6sql6-sqlite, qt6-wayland, libcap2-bin")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA "${CMAKE_CURRENT_SOURCE_DIR}/dist/postinst")
include(CPack)
