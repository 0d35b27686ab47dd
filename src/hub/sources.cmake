orrery_modules(orrery_net credentials form hub_cmd login pr_cmd rest_client safe_text ssh_key)
