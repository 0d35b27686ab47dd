#include "cli/init_cmd.h"

#include <ostream>

#include "cli/command_error.h"
#include "cli/help.h"
#include "store/fs.h"
#include "store/repo.h"

InitOptions parse_init_args(const Args& args) {
  return InitOptions{args.empty() ? "." : args.front()};
}

void do_init(const InitOptions& options) {
  ensure_directory(options.target);
  Repository repo(options.target);
  if (is_initialized(options.target)) {
    throw CommandError("репозиторий уже существует: " + options.target,
                       "выбери другой каталог или удали существующий .orrery/");
  }
  create_repository(repo);
}

int print_init(const InitOptions& options) {
  out_stream() << "Инициализирован пустой репозиторий orrery в " << options.target << "/.orrery\n";
  return 0;
}

int cmd_init(const Args& args) {
  if (has_help_flag(args)) return cmd_help({"init"});
  const InitOptions options = parse_init_args(args);
  return report_command_error([&] {
    do_init(options);
    return print_init(options);
  });
}
