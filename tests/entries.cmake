sonabel_add_test(new_entries_test GUI SOURCES new_entries_test.cpp)
sonabel_add_test(handover_test SOURCES handover_test.cpp TIMEOUT 600)
