# What `cmake --install` puts where. debian/ splits it into two packages: the
# program and its man page (ostrivane), and everything of the window
# (ostrivane-gui). The window module goes to lib/ostrivane, where the program
# looks for it beside its own bin folder.

install(TARGETS ostrivane RUNTIME DESTINATION bin)
# The exporter's unit (`ostrivane --serve`); debian/rules puts it in /lib.
set(OSTRIVANE_SYSTEMD_UNIT_DIR lib/systemd/system CACHE STRING "Where the systemd unit goes")
install(FILES packaging/systemd/ostrivane-exporter.service DESTINATION ${OSTRIVANE_SYSTEMD_UNIT_DIR})
if(OSTRIVANE_GUI)
  install(TARGETS ostrivane_window LIBRARY DESTINATION lib/ostrivane)
  install(FILES packaging/ostrivane.desktop DESTINATION share/applications)
  foreach(size 16 32 48 64 128 256)
    install(FILES ui/icons/ostrivane-${size}.png
            DESTINATION share/icons/hicolor/${size}x${size}/apps RENAME ostrivane.png)
  endforeach()
  install(FILES ui/icons/ostrivane.svg DESTINATION share/icons/hicolor/scalable/apps)
  install(FILES packaging/ostrivane.metainfo.xml
          DESTINATION share/metainfo RENAME example.ostrivane.ostrivane.metainfo.xml)
endif()
configure_file(packaging/ostrivane.1 ${CMAKE_BINARY_DIR}/ostrivane.1 @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/ostrivane.1 DESTINATION share/man/man1)
