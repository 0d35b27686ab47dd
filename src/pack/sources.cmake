orrery_modules(orrery_core
  pack_cmd pack_writer transfer)
