# Owned handles, the atomic file and text helpers: standard library and POSIX
# only, so every other folder (and the hub) may use them.
orrery_modules(orrery_core atomic_file handles text)
