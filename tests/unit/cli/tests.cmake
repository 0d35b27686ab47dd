orrery_unit_tests(cli console_test.cpp help_test.cpp
  progress_test.cpp)
