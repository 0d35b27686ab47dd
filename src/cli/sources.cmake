orrery_modules(orrery_core
  console help
  pager
  INTERNAL help_topics)
