orrery_modules(orrery_net
  http_client
  hub_url
  INTERNAL http_settings)
