orrery_unit_tests(hubd
  accounts_test.cpp
  db_test.cpp
  hub_admin_test.cpp
  hub_pair_test.cpp
  oauth_test.cpp
  object_check_test.cpp
  pull_request_test.cpp
  rest_api_test.cpp
  sync_path_test.cpp
  sync_server_test.cpp)
target_link_libraries(orrery_hubd_tests PRIVATE orrery_hubd)
# The same suite again with every hub on PostgreSQL; it skips itself when
# no cluster is given (scripts/test starts one, except for ThreadSanitizer).
if(NOT ORRERY_TSAN)
  gtest_discover_tests(orrery_hubd_tests TEST_PREFIX "pg." DISCOVERY_TIMEOUT 60
    PROPERTIES LABELS unit ENVIRONMENT "ORRERY_TEST_HUB_BACKEND=postgres")
endif()
