# The sound choice and the media player on the session bus.
sonabel_add_test(sound_test GUI SOURCES sound_test.cpp TIMEOUT 180)
sonabel_add_test(mpris_test GUI SOURCES mpris_test.cpp)
sonabel_add_test(mpris_e2e_test SOURCES mpris_e2e_test.cpp TIMEOUT 180)
