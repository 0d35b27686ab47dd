orrery_modules(orrery_core
  text_merge)
