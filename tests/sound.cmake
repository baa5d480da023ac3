# The sound choice and the media player on the session bus.
sonabel_add_test(sound_test GUI SOURCES sound_test.cpp TIMEOUT 180)
