# What `cmake --install` puts where, and the Debian package CPack makes of it.
# The window module goes to lib/ostrivane, where the program looks for it
# beside its own bin folder.

install(TARGETS ostrivane RUNTIME DESTINATION bin)
if(OSTRIVANE_GUI)
  install(TARGETS ostrivane_window LIBRARY DESTINATION lib/ostrivane)
  install(FILES packaging/ostrivane.desktop DESTINATION share/applications)
  foreach(size 16 32 48)
    install(FILES ui/icons/ostrivane-${size}.png
            DESTINATION share/icons/hicolor/${size}x${size}/apps RENAME ostrivane.png)
  endforeach()
  install(FILES ui/icons/ostrivane.svg DESTINATION share/icons/hicolor/scalable/apps)
endif()
configure_file(packaging/ostrivane.1 ${CMAKE_BINARY_DIR}/ostrivane.1 @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/ostrivane.1 DESTINATION share/man/man1)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ostrivane)
set(CPACK_PACKAGE_VENDOR "Ostrivane developers")
set(CPACK_PACKAGE_CONTACT "Ostrivane developers <dev@ostrivane.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "check whether a host is listed on DNS blacklists")
set(CPACK_PACKAGE_DESCRIPTION
    "Ostrivane resolves a host and asks each of up to 20 DNS-based blacklists whether\n\
its address is listed, in a small window or unattended from the command line,\n\
writing an HTML report and an exit status that monitoring can act on.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-liberation2")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
include(CPack)
