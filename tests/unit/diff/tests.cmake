orrery_unit_tests(diff engine_test.cpp patch_test.cpp changes_test.cpp)
