orrery_modules(orrery_core
  archive archive_format clean config_cmd describe reflog
  INTERNAL work_tree)
