orrery_modules(orrery_core
  add add_patch branch branch_header checkout commit log reset restore rm_mv scan status
  tag tree_builder tree_writer working_stat
  INTERNAL dir_walk foreign_branch repo_path tree_fold)
