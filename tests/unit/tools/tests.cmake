orrery_unit_tests(tools
  archive_format_test.cpp
  archive_test.cpp
  command_args_test.cpp
  config_cmd_test.cpp
  line_search_test.cpp
  reflog_test.cpp
)
