orrery_modules(orrery_net credentials form)
