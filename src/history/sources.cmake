orrery_modules(orrery_core
  cherry_pick merge_base merge_cmd path_merge pick rebase text_merge worktree_files
  INTERNAL command_steps quiet_read rebase_state side_walk)
