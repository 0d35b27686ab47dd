orrery_modules(orrery_core
  merge_base path_merge stash text_merge worktree_files
  INTERNAL quiet_read side_walk stash_save stash_show)
