# The desktop entry must pass the freedesktop validator.
find_program(DESKTOP_FILE_VALIDATE desktop-file-validate)
if(DESKTOP_FILE_VALIDATE)
    add_test(NAME DesktopEntryIsValid
             COMMAND ${DESKTOP_FILE_VALIDATE} ${CMAKE_SOURCE_DIR}/app/sonabel.desktop)
endif()
