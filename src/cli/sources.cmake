orrery_modules(orrery_core
  console help
  INTERNAL help_topics)
