orrery_unit_tests(tools
  reflog_test.cpp
)
