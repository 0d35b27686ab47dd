orrery_unit_tests(hubd
  accounts_test.cpp
  db_test.cpp
  hub_admin_test.cpp
  oauth_test.cpp
  object_check_test.cpp
  pull_request_test.cpp
  rest_api_test.cpp
  sync_path_test.cpp
  sync_server_test.cpp)
target_link_libraries(orrery_hubd_tests PRIVATE orrery_hubd)
