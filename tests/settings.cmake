# Start and close on fakes, and the settings codec and store.
sonabel_add_test(startup_test GUI SOURCES startup_test.cpp)
