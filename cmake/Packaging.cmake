# Install rules and the Debian package (cpack -G DEB): the program, its desktop entry, icons
# and project type, the systemd unit of the headless mode with its maintainer scripts, the demo
# project and the copyright file.
include(GNUInstallDirs)

install(TARGETS opcstation opcserverd RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES packaging/opcstation.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES packaging/opcstation-mime.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages RENAME opcstation.xml)
install(FILES ui/resources/icons/src/application.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps RENAME opcstation.svg)
foreach(size 16 32 64 128)
  if(size EQUAL 16)
    set(icon ui/resources/icons/application.png)
  elseif(size EQUAL 32)
    set(icon ui/resources/icons/application@2x.png)
  else()
    set(icon ui/resources/icons/application-${size}.png)
  endif()
  install(FILES ${icon} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps RENAME opcstation.png)
endforeach()
# systemd looks in /usr/lib/systemd/system (or /lib, the same folder on merged /usr).
install(FILES packaging/opcstation.service DESTINATION lib/systemd/system)
install(FILES examples/demo.ovopc DESTINATION ${CMAKE_INSTALL_DATADIR}/opcstation)
install(FILES packaging/debian/copyright DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/opcstation)

set(CPACK_PACKAGE_NAME opcstation)
set(CPACK_PACKAGE_VENDOR "Orvane")
set(CPACK_PACKAGE_CONTACT "OPC Station maintainers <maintainers@opcstation.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "OPC DA client with a forwarding server for peer devices")
set(CPACK_PACKAGE_DESCRIPTION "Connects to OPC DA servers, subscribes to their items, shows live values, \
reads and writes them, saves projects, and serves item values to peer devices on TCP port 8890. \
Runs on the desktop or, with --headless, as a systemd service.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The desktop program shows Chinese texts.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS fonts-noto-cjk)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://opcstation.invalid/")
# The service's maintainer scripts: systemd told of the unit, a restart on upgrade, a stop on
# removal. The unit's user is made by systemd (DynamicUser), so none is added here.
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    "${PROJECT_SOURCE_DIR}/packaging/debian/postinst;${PROJECT_SOURCE_DIR}/packaging/debian/prerm;${PROJECT_SOURCE_DIR}/packaging/debian/postrm")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)
set(CPACK_GENERATOR DEB)
include(CPack)
