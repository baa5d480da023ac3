# The German and French translations: complete, and chosen from the locale.
sonabel_add_test(translations_test SOURCES translations_test.cpp)
find_package(Qt6 REQUIRED COMPONENTS Xml)
target_link_libraries(translations_test PRIVATE Qt6::Xml)
list(JOIN SONABEL_TRANSLATED_FOLDERS "," translated_folders)
target_compile_definitions(translations_test PRIVATE
    SONABEL_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
    SONABEL_TRANSLATED_FOLDERS="${translated_folders}"
    SONABEL_LUPDATE="$<TARGET_FILE:Qt6::lupdate>")
add_dependencies(translations_test sonabel)
