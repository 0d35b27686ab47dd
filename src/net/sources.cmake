orrery_modules(orrery_net
  hub_url)
