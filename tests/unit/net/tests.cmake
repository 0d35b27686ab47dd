orrery_unit_tests(net
  clone_test.cpp
  command_args_test.cpp
  http_client_test.cpp
  sync_protocol_test.cpp)
