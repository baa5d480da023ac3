sonabel_add_test(settings_test SOURCES settings_test.cpp)
