orrery_unit_tests(worktree
  branch_header_test.cpp
  branch_test.cpp
  log_test.cpp
  restore_test.cpp
  scan_test.cpp
  tree_builder_test.cpp
  tree_writer_test.cpp)
