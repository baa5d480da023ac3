# The play handlers and the media player's calls on a scripted device.
sonabel_add_test(player_test GUI SOURCES player_test.cpp)
sonabel_add_test(play_e2e_test SOURCES play_e2e_test.cpp TIMEOUT 180)
