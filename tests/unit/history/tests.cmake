orrery_unit_tests(history path_merge_test.cpp text_merge_test.cpp)
