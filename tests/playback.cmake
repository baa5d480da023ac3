# The play handlers and the media player's calls on a scripted device.
sonabel_add_test(player_test GUI SOURCES player_test.cpp)
