#include "pack/pack_cmd.h"

#include <exception>
#include <optional>
#include <ostream>
#include <string>

#include "cli/help.h"
#include "cli/open_repo.h"
#include "cli/progress.h"
#include "pack/pack_writer.h"
#include "store/repo.h"

// Both commands ignore arguments other than the help flags.

int cmd_pack(const Args& args) {
  if (has_help_flag(args)) return cmd_help({"pack"});

  std::optional<Repository> repo = open_repo_or_report();
  if (!repo) return 1;

  std::string name;
  try {
    Progress progress("Упаковка объектов");
    name = write_pack(repo->root, &progress);
  } catch (const std::exception& e) {
    print_error(std::string("pack завершился ошибкой: ") + e.what());
    return 1;
  }
  out_stream() << "Создан pack: " << name << "\n";
  return 0;
}

int cmd_gc(const Args& args) {
  if (has_help_flag(args)) return cmd_help({"gc"});

  std::optional<Repository> repo = open_repo_or_report();
  if (!repo) return 1;

  Progress progress("Упаковка объектов");
  std::string name = write_pack(repo->root, &progress);
  progress.finish();
  size_t deleted = prune_packed_loose(repo->root, name);
  remove_stale_temp_files(repo->root);
  out_stream() << "gc: создан " << name << ", удалено свободных объектов: " << deleted << "\n";
  return 0;
}
