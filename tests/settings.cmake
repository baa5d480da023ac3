sonabel_add_test(settings_test SOURCES settings_test.cpp)
sonabel_add_test(shutdown_test GUI SOURCES shutdown_test.cpp)
