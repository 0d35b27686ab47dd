orrery_modules(orrery_core
  archive archive_format describe reflog)
