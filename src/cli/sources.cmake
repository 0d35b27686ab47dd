orrery_modules(orrery_core
  console help init_cmd open_repo
  pager
  progress
  INTERNAL help_topics)
