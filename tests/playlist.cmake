sonabel_add_test(album_file_test SOURCES album_file_test.cpp)
sonabel_add_test(playlist_window_test GUI SOURCES playlist_window_test.cpp)
sonabel_add_test(startup_test GUI SOURCES startup_test.cpp)
