orrery_modules(orrery_core
  archive archive_format config_cmd describe reflog)
