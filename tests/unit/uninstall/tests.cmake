orrery_unit_tests(uninstall
  uninstall_test.cpp)
