orrery_modules(orrery_core
  canonical_json codec config fs ignore index init object object_check refs repo revision tree_walk)
