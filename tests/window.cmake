# The window's keys, accessible buttons, about box and play menu, offscreen.
find_package(Qt6 REQUIRED COMPONENTS Test)
sonabel_add_test(window_controls_test GUI SOURCES window_controls_test.cpp)
target_link_libraries(window_controls_test PRIVATE Qt6::Test)
