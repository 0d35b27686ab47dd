#include "worktree/tag.h"

#include <ostream>

#include "cli/help.h"
#include "cli/open_repo.h"
#include "store/refs.h"
#include "store/repo.h"
#include "store/revision.h"
#include "worktree/branch.h"

namespace {

void list_tags(const Repository& repo) {
  std::ostream& out = out_stream();
  for (const auto& [name, id] : list_refs_in(repo, "refs/tags")) out << name << "\n";
}

bool check_tag_name(const std::string& name) {
  if (is_valid_ref_name(name)) return true;
  print_error("недопустимое имя тега: " + name);
  return false;
}

int delete_tags(const Repository& repo, const Args& args) {
  if (args.size() < 2) {
    print_error("укажи хотя бы одно имя тега", "orrery tag -d|--delete <тег…>");
    cmd_help({"tag"});
    return 1;
  }
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& name = args[i];
    if (!check_tag_name(name)) return 1;
    const RefDeletion deletion = delete_ref(repo, "refs/tags/" + name);
    if (deletion == RefDeletion::absent) {
      print_error("тег не найден: " + name);
      return 1;
    }
    if (deletion == RefDeletion::failed) {
      print_error("не удалось удалить тег: " + name);
      return 1;
    }
    out_stream() << "удалён тег " << name << "\n";
  }
  return 0;
}

int create_tag(const Repository& repo, const Args& args) {
  if (args.size() > 2) {
    cmd_help({"tag"});
    return 1;
  }
  const std::string& name = args[0];
  if (!check_tag_name(name)) return 1;
  const std::string revision = args.size() == 2 ? args[1] : "HEAD";
  std::optional<ObjectId> commit = resolve_revision(repo, revision);
  if (!commit) {
    print_error("не удалось разрешить ревизию: " + revision);
    return 1;
  }
  update_ref(repo, "refs/tags/" + name, *commit);
  return 0;
}

}  // namespace

int cmd_tag(const Args& args) {
  // Unlike most commands, tag looks for its repository before its help flag.
  std::optional<Repository> repo = open_repo_or_report();
  if (!repo) return 1;
  if (has_help_flag(args)) return cmd_help({"tag"});

  if (args.empty()) {
    list_tags(*repo);
    return 0;
  }
  if (args.front() == "-d" || args.front() == "--delete") return delete_tags(*repo, args);
  return create_tag(*repo, args);
}
