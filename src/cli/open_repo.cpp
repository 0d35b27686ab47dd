#include "cli/open_repo.h"

#include "cli/console.h"
#include "store/fs.h"

std::optional<Repository> open_repo_or_report() {
  std::string root = find_repo_root(current_directory());
  if (!path_exists(root + "/.orrery")) {
    print_error("не найден репозиторий orrery",
                "запусти 'orrery init' (нет .orrery в текущем или родительских каталогах)");
    return std::nullopt;
  }
  return Repository(root);
}
