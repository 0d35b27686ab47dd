orrery_unit_tests(util util_test.cpp)
