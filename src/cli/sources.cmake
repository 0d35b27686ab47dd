orrery_modules(orrery_core
  console help
  pager
  progress
  INTERNAL help_topics)
