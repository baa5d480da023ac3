# The play handlers and the media player's calls on a scripted device, saving
# songs as audio from the window, and the real program as a media player on a
# private session bus.
sonabel_add_test(player_test GUI SOURCES player_test.cpp save_audio_test.cpp TIMEOUT 180)
find_package(Qt6 REQUIRED COMPONENTS Test)
target_link_libraries(player_test PRIVATE Qt6::Test PkgConfig::SNDFILE)
