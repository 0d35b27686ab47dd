orrery_modules(orrery_net
  clone
  fetch
  http_client
  hub_url
  pull
  push
  remote
  sync_protocol
  INTERNAL http_settings local_clone sync_target)
