orrery_unit_tests(hub credentials_test.cpp hub_client_test.cpp
  command_args_test.cpp)
