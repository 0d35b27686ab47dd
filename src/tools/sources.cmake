orrery_modules(orrery_core
  archive archive_format bisect blame clean config_cmd describe grep reflog
  INTERNAL arg_path large_stack line_search work_tree)
