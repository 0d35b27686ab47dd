orrery_modules(orrery_core
  canonical_json codec config errors fs ignore index lock object object_check object_links
  pack_reader pack_record refs repo revision tree_walk
  INTERNAL pack_set raw_cache store_state)
