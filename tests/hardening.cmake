sonabel_add_test(hardening_test GUI SOURCES hardening_test.cpp)
sonabel_add_test(hardening_e2e_test SOURCES hardening_e2e_test.cpp TIMEOUT 600)
