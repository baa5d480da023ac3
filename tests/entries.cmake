sonabel_add_test(handover_test SOURCES handover_test.cpp TIMEOUT 600)
