# What is heard: the sound choice, the synthesizer, the real program playing.
find_package(Qt6 REQUIRED COMPONENTS Test)
sonabel_add_test(sound_test GUI SOURCES sound_test.cpp TIMEOUT 180)
target_link_libraries(sound_test PRIVATE Qt6::Test)
