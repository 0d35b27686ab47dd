# Every end-to-end test file of tests/e2e/, linked into one executable.
set(ORRERY_E2E_SOURCES
  add_patch_test.cpp
  add_test.cpp
  archive_test.cpp
  bisect_test.cpp
  blame_test.cpp
  branch_test.cpp
  checkout_test.cpp
  clean_test.cpp
  cli_test.cpp
  commit_test.cpp
  completion_test.cpp
  config_test.cpp
  crash_test.cpp
  describe_test.cpp
  diff_test.cpp
  grep_test.cpp
  history_test.cpp
  hostile_repo_test.cpp
  hub_client_test.cpp
  hostile_tree_test.cpp
  init_test.cpp
  log_test.cpp
  pack_test.cpp
  reflog_test.cpp
  remote_test.cpp
  reset_restore_test.cpp
  rm_mv_tag_test.cpp
  show_test.cpp
  stash_test.cpp
  sync_test.cpp
  terminal_test.cpp
  status_test.cpp
  uninstall_test.cpp
)
if(ORRERY_E2E_SOURCES)
  list(TRANSFORM ORRERY_E2E_SOURCES PREPEND ${CMAKE_CURRENT_LIST_DIR}/)
  add_executable(orrery_e2e_tests ${ORRERY_E2E_SOURCES})
  target_link_libraries(orrery_e2e_tests PRIVATE orrery_test_support GTest::gtest_main)
  gtest_discover_tests(orrery_e2e_tests DISCOVERY_TIMEOUT 60 PROPERTIES LABELS e2e)
endif()
