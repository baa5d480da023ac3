sonabel_add_test(play_flow_test GUI SOURCES play_flow_test.cpp)
sonabel_add_test(progress_test GUI SOURCES progress_test.cpp)
sonabel_add_test(play_e2e_test SOURCES play_e2e_test.cpp TIMEOUT 180)
