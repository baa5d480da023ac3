# The sound choice and the media player on the session bus.
find_package(Qt6 REQUIRED COMPONENTS Test)
sonabel_add_test(sound_test GUI SOURCES sound_test.cpp TIMEOUT 180)
sonabel_add_test(mpris_e2e_test SOURCES mpris_e2e_test.cpp TIMEOUT 180)
target_link_libraries(sound_test PRIVATE Qt6::Test)
