orrery_unit_tests(net
  http_client_test.cpp
  sync_protocol_test.cpp)
