orrery_modules(orrery_core
  console help init_cmd open_repo
  INTERNAL help_topics)
