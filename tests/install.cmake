# Sonabel on the desktop: the association, the command line, the files an
# installation brings and the Debian package.
sonabel_add_test(desktop_test SOURCES desktop_test.cpp TIMEOUT 180)
target_compile_definitions(desktop_test PRIVATE SONABEL_SOURCE_DIR="${CMAKE_SOURCE_DIR}")

# The entry and the metainfo pass the freedesktop and AppStream validators.
find_program(DESKTOP_FILE_VALIDATE desktop-file-validate)
if(DESKTOP_FILE_VALIDATE)
    add_test(NAME DesktopEntryIsValid
             COMMAND ${DESKTOP_FILE_VALIDATE} ${CMAKE_SOURCE_DIR}/dist/sonabel.desktop)
endif()
find_program(APPSTREAMCLI appstreamcli)
if(APPSTREAMCLI)
    add_test(NAME MetainfoIsValid
             COMMAND ${APPSTREAMCLI} validate --no-net
                     ${CMAKE_BINARY_DIR}/dist/org.orvane.Sonabel.metainfo.xml)
endif()

# A DESTDIR install lays out the tree, and the Debian package holds it with
# its library dependencies.
add_test(NAME InstallTree
         COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/install_test.sh tree ${CMAKE_BINARY_DIR}
                 ${SONABEL_CONTACT})
add_test(NAME DebianPackage
         COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/install_test.sh deb ${CMAKE_BINARY_DIR}
                 ${SONABEL_CONTACT})
set_tests_properties(InstallTree DebianPackage PROPERTIES TIMEOUT 300 RESOURCE_LOCK install)
