orrery_unit_tests(diff args_test.cpp engine_test.cpp patch_test.cpp changes_test.cpp)
