orrery_modules(orrery_core
  canonical_json codec config errors fs ignore index init lock object object_check refs repo revision tree_walk)
