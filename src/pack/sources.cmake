orrery_modules(orrery_core
  pack_cmd pack_reader pack_writer transfer
  INTERNAL pack_set raw_cache record)
