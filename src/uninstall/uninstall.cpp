#include "uninstall/uninstall.h"

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <system_error>

#include "cli/help.h"
#include "hub/credentials.h"
#include "install_layout.h"

namespace fs = std::filesystem;

namespace {

struct UninstallOptions {
  bool yes = false;
  bool dry_run = false;
};

// The per-user data: the configuration folder, or the bare token file when
// no folder is configured.
struct UserData {
  std::string path;
  bool is_folder = false;
};

// The running program: its path when known and whether it is the binary
// named orrery (not a test or a renamed copy).
struct RunningProgram {
  std::optional<std::string> path;
  bool own = false;
};

std::optional<UninstallOptions> parse_uninstall_args(const Args& args) {
  UninstallOptions opts;
  for (const std::string& arg : args) {
    if (arg == "--yes" || arg == "-y") {
      opts.yes = true;
    } else if (arg == "--dry-run" || arg == "-n") {
      opts.dry_run = true;
    } else {
      print_error("неизвестный аргумент: " + arg, "orrery uninstall [--dry-run] [--yes]");
      return std::nullopt;
    }
  }
  return opts;
}

UserData user_data() {
  std::optional<std::string> dir = credentials_dir();
  return dir ? UserData{*dir, true} : UserData{credentials_path(), false};
}

// Existence without following a symbolic link: a link is itself the thing
// to remove, never what it points at.
bool entry_exists(const std::string& path) {
  std::error_code ec;
  return fs::exists(fs::symlink_status(path, ec));
}

std::string in(const std::string& dir, std::string_view name) {
  return (fs::path(dir) / name).string();
}

// A path of the install: relative ones below the prefix, absolute ones as
// configured.
std::string prefix_path(const std::string& prefix, const std::string& path) {
  return fs::path(path).is_absolute() ? path : prefix + "/" + path;
}

bool equal_ignoring_case(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](unsigned char x, unsigned char y) {
    return std::tolower(x) == std::tolower(y);
  });
}

RunningProgram running_program() {
  std::error_code ec;
  const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  if (ec || exe.empty()) return {};
  std::string name = exe.filename().string();
  std::transform(name.begin(), name.end(), name.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return {exe.string(), name == "orrery"};
}

void print_program_plan(const RunningProgram& program) {
  std::ostream& out = out_stream();
  if (!program.path) {
    out << "  программа: (путь к exe не определён)\n";
    return;
  }
  if (!program.own) {
    out << "  программа: (запуск не из бинарника orrery — удаление exe не планируется)\n";
    return;
  }
  out << "  программа: " << *program.path << "\n";
  if (std::optional<std::string> prefix = install_prefix_of(*program.path)) {
    out << "    и при --yes: каталоги/библиотеки установки CMake в префиксе " << *prefix
        << " (lib/liborrery_*.a, lib/cmake/orrery, share/doc/orrery)\n";
    for (const std::string& path : installed_entries(*prefix)) out << "      " << path << "\n";
  }
}

int show_dry_run(const RunningProgram& program) {
  out_stream() << "Режим просмотра (ничего не удаляю).\n"
               << "Пользовательские данные Orrery на этой машине:\n";
  print_user_data_paths();
  out_stream() << "При **--yes** из того же запуска также будет снята программа **orrery**, "
                  "если это именно бинарник **orrery** (не тесты):\n";
  print_program_plan(program);
  return 0;
}

int explain(bool has_data) {
  std::ostream& out = out_stream();
  out << "Удаление Orrery с этой учётной записи ПК.\n\n"
      << "Будут удалены сохранённые токены и каталог настроек приложения (не репозитории "
         "**.orrery** в проектах).\n\n";
  print_user_data_paths();
  out << "\nС флагом **--yes** дополнительно будет удалён исполняемый файл **orrery** и "
         "типичные файлы установки **cmake --install** в том же префиксе (**/bin/orrery** → "
         "**lib/liborrery_*.a**, **lib/cmake/orrery**, **share/doc/orrery**), если такая "
         "раскладка обнаружена. Для каталогов вроде **/usr/local** может понадобиться **sudo "
         "orrery uninstall --yes**.\n";
  if (!has_data) {
    out << "\nПользовательских данных нет; для снятия бинарника всё равно используй **--yes** "
           "(см. orrery uninstall --dry-run).\n";
    return 0;
  }
  out << "\nЧтобы выполнить удаление, запусти: orrery uninstall --yes\n";
  return 1;
}

void warn(int& warnings, const std::string& text) {
  out_stream() << "orrery: предупреждение: " << text << "\n";
  ++warnings;
}

// Removes the entry (a folder with its contents, a link as a link); the
// reason of a failure, or nothing.
std::optional<std::string> remove_entry(const std::string& path) {
  std::error_code ec;
  fs::remove_all(path, ec);
  if (!ec) return std::nullopt;
  return ec.message();
}

// The install's files, then the executable; the number of warnings written.
int remove_program(const RunningProgram& program) {
  int warnings = 0;
  if (!program.path) {
    warn(warnings, "не удалось определить путь к исполняемому файлу — удалите orrery вручную.");
    return warnings;
  }
  if (!program.own) return warnings;
  if (std::optional<std::string> prefix = install_prefix_of(*program.path)) {
    for (const std::string& path : installed_entries(*prefix)) {
      if (std::optional<std::string> reason = remove_entry(path)) {
        warn(warnings, "не удалось удалить " + path + ": " + *reason);
      }
    }
  }
  if (std::optional<std::string> reason = remove_entry(*program.path)) {
    warn(warnings, "не удалось удалить программу " + *program.path + ": " + *reason +
                       " (на macOS/Linux для /usr/local часто нужен sudo).");
  }
  return warnings;
}

int remove_everything(const UserData& data, bool has_data, const RunningProgram& program) {
  if (has_data) {
    if (std::optional<std::string> reason = remove_entry(data.path)) {
      print_error("не удалось удалить пользовательские данные",
                  reason->empty() ? "проверь права доступа" : *reason);
      return 1;
    }
    out_stream() << "Пользовательские данные Orrery удалены.\n";
  }
  if (remove_program(program) > 0) return 0;
  if (has_data && program.own) {
    out_stream() << "Файлы программы orrery в префиксе установки удалены (насколько возможно).\n";
  } else if (!has_data && program.own) {
    out_stream() << "Пользовательских данных не было; файлы программы orrery удалены (насколько "
                    "возможно).\n";
  } else if (!has_data) {
    out_stream() << "Нечего удалять: нет пользовательских данных; запуск не из бинарника orrery "
                    "— установленный exe не менял.\n";
  }
  return 0;
}

}  // namespace

InstallLayout configured_layout() {
  return {std::string(k_install_bindir),     std::string(k_install_libdir),
          std::string(k_install_includedir), std::string(k_install_datadir),
          std::string(k_install_docdir),     std::string(k_install_mandir)};
}

std::vector<std::string> installed_paths(const InstallLayout& layout) {
  return {in(layout.libdir, "liborrery_core.a"),
          in(layout.libdir, "liborrery_net.a"),
          in(layout.libdir, "cmake/orrery"),
          in(layout.includedir, "orrery"),
          layout.docdir,
          in(layout.bindir, "orrery-hub"),
          in(layout.datadir, "bash-completion/completions/orrery"),
          in(layout.datadir, "zsh/site-functions/_orrery")};
}

std::vector<std::string> installed_entries(const std::string& prefix, const InstallLayout& layout) {
  std::vector<std::string> entries;
  for (const std::string& relative : installed_paths(layout)) {
    const std::string path = prefix_path(prefix, relative);
    if (entry_exists(path)) entries.push_back(path);
  }
  // The pages are one per command, so they are recognised by name; the
  // iterator reports links as links and never enters a linked folder.
  const std::string man = prefix_path(prefix, in(layout.mandir, "man1"));
  std::error_code ec;
  if (!fs::is_directory(fs::symlink_status(man, ec))) return entries;
  std::vector<std::string> pages;
  for (const fs::directory_entry& entry : fs::directory_iterator(man, ec)) {
    const std::string name = entry.path().filename().string();
    if (name == "orrery.1" || (name.starts_with("orrery-") && name.ends_with(".1"))) {
      pages.push_back(entry.path().string());
    }
  }
  std::sort(pages.begin(), pages.end());
  entries.insert(entries.end(), pages.begin(), pages.end());
  return entries;
}

bool is_install_prefix(const std::string& prefix, const InstallLayout& layout) {
  for (const std::string& marker :
       {in(layout.libdir, "cmake/orrery"), layout.docdir, in(layout.libdir, "liborrery_core.a"),
        in(layout.libdir, "liborrery_net.a")}) {
    if (entry_exists(prefix_path(prefix, marker))) return true;
  }
  return false;
}

std::optional<std::string> install_prefix_of(const std::string& executable,
                                             const InstallLayout& layout) {
  const fs::path bindir(layout.bindir);
  if (bindir.is_absolute() || bindir.empty()) return std::nullopt;
  fs::path prefix = fs::path(executable).parent_path();
  std::vector<std::string> names;
  for (const fs::path& part : bindir) names.push_back(part.string());
  for (auto name = names.rbegin(); name != names.rend(); ++name) {
    if (!equal_ignoring_case(prefix.filename().string(), *name)) return std::nullopt;
    prefix = prefix.parent_path();
  }
  if (!is_install_prefix(prefix.string(), layout)) return std::nullopt;
  return prefix.string();
}

void print_user_data_paths() {
  const UserData data = user_data();
  const bool exists = entry_exists(data.path);
  const char* label = data.is_folder ? "  каталог" : "  файл токена";
  out_stream() << label << (exists ? ": " : " (пока отсутствует): ") << data.path << "\n";
}

int cmd_uninstall(const Args& args) {
  if (!args.empty() && has_help_flag(args)) return cmd_help({"uninstall"});
  std::optional<UninstallOptions> opts = parse_uninstall_args(args);
  if (!opts) return 1;
  const RunningProgram program = running_program();
  if (opts->dry_run) return show_dry_run(program);
  const UserData data = user_data();
  const bool has_data = entry_exists(data.path);
  if (!opts->yes) return explain(has_data);
  return remove_everything(data, has_data, program);
}
