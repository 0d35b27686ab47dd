orrery_modules(orrery_core
  changes diff_cmd engine patch show_cmd)
