orrery_unit_tests(history text_merge_test.cpp)
