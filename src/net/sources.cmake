orrery_modules(orrery_net
  fetch
  http_client
  hub_url
  push
  sync_protocol
  INTERNAL http_settings object_links sync_target)
