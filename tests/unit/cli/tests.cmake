orrery_unit_tests(cli console_test.cpp)
