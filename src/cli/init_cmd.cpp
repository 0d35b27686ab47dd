#include "cli/init_cmd.h"

#include <ostream>

#include "cli/help.h"
#include "store/fs.h"
#include "store/repo.h"

int cmd_init(const Args& args) {
  if (has_help_flag(args)) return cmd_help({"init"});

  const std::string target = args.empty() ? "." : args.front();
  ensure_directory(target);
  Repository repo(target);
  if (is_initialized(target)) {
    print_error("репозиторий уже существует: " + target,
                "выбери другой каталог или удали существующий .orrery/");
    return 1;
  }
  create_repository(repo);
  out_stream() << "Инициализирован пустой репозиторий orrery в " << target << "/.orrery\n";
  return 0;
}
