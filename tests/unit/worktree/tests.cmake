orrery_unit_tests(worktree branch_test.cpp log_test.cpp restore_test.cpp tree_writer_test.cpp)
