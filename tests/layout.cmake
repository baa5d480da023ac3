# The include rules between the top-level folders.
sonabel_add_test(layout_test SOURCES layout_test.cpp)
target_compile_definitions(layout_test PRIVATE SONABEL_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
