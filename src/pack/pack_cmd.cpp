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

PackResult do_pack(const Repository& repo, Progress* progress) {
  PackResult result;
  try {
    result.name = write_pack(repo.root, progress);
  } catch (const std::exception& e) {
    result.error = std::string("pack завершился ошибкой: ") + e.what();
  }
  return result;
}

int print_pack(const PackResult& result) {
  if (result.error) {
    print_error(*result.error);
    return 1;
  }
  out_stream() << "Создан pack: " << result.name << "\n";
  return 0;
}

int cmd_pack(const Args& args) {
  if (has_help_flag(args)) return cmd_help({"pack"});
  std::optional<Repository> repo = open_repo_or_report();
  if (!repo) return 1;
  Progress progress("Упаковка объектов");
  const PackResult result = do_pack(*repo, &progress);
  progress.finish();
  return print_pack(result);
}

GcResult do_gc(const Repository& repo, Progress* progress) {
  GcResult result;
  result.name = write_pack(repo.root, progress);
  if (progress) progress->finish();
  result.deleted = prune_packed_loose(repo.root, result.name);
  remove_stale_temp_files(repo.root);
  return result;
}

void print_gc(const GcResult& result) {
  out_stream() << "gc: создан " << result.name << ", удалено свободных объектов: " << result.deleted
               << "\n";
}

int cmd_gc(const Args& args) {
  if (has_help_flag(args)) return cmd_help({"gc"});
  std::optional<Repository> repo = open_repo_or_report();
  if (!repo) return 1;
  Progress progress("Упаковка объектов");
  print_gc(do_gc(*repo, &progress));
  return 0;
}
