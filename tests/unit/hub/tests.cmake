orrery_unit_tests(hub credentials_test.cpp)
