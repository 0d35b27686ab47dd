# uninstall needs the credentials paths of hub/, so it joins orrery_net.
orrery_modules(orrery_net uninstall)
