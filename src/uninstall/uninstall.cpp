#include "uninstall/uninstall.h"

#include <algorithm>
#include <filesystem>
#include <ostream>
#include <system_error>

#include "cli/command_error.h"
#include "cli/help.h"
#include "hub/credentials.h"
#include "install_layout.h"

namespace fs = std::filesystem;

namespace {

UserData user_data() {
  std::optional<std::string> dir = credentials_dir();
  return dir ? UserData{*dir, true, false} : UserData{credentials_path(), false, false};
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

void print_user_data(const UserData& data) {
  const char* label = data.is_folder ? "  каталог" : "  файл токена";
  out_stream() << label << (data.exists ? ": " : " (пока отсутствует): ") << data.path << "\n";
}

void print_program_plan(const UninstallResult& result) {
  std::ostream& out = out_stream();
  const RunningProgram& program = result.program;
  if (!program.path) {
    out << "  программа: (путь к exe не определён)\n";
    return;
  }
  if (!program.own) {
    out << "  программа: (запуск не из бинарника orrery — удаление exe не планируется)\n";
    return;
  }
  out << "  программа: " << *program.path << "\n";
  if (result.prefix) {
    out << "    и при --yes: каталоги/библиотеки установки CMake в префиксе " << *result.prefix
        << " (lib/liborrery_*.a, lib/cmake/orrery, share/doc/orrery)\n";
    for (const std::string& path : result.entries) out << "      " << path << "\n";
  }
}

int print_dry_run(const UninstallResult& result) {
  out_stream() << "Режим просмотра (ничего не удаляю).\n"
               << "Пользовательские данные Orrery на этой машине:\n";
  print_user_data(result.data);
  out_stream() << "При **--yes** из того же запуска также будет снята программа **orrery**, "
                  "если это именно бинарник **orrery** (не тесты):\n";
  print_program_plan(result);
  return 0;
}

int print_explanation(const UserData& data) {
  std::ostream& out = out_stream();
  out << "Удаление Orrery с этой учётной записи ПК.\n\n"
      << "Будут удалены сохранённые токены и каталог настроек приложения (не репозитории "
         "**.orrery** в проектах).\n\n";
  print_user_data(data);
  out << "\nС флагом **--yes** дополнительно будет удалён исполняемый файл **orrery** и "
         "типичные файлы установки **cmake --install** в том же префиксе (**/bin/orrery** → "
         "**lib/liborrery_*.a**, **lib/cmake/orrery**, **share/doc/orrery**), если такая "
         "раскладка обнаружена. Для каталогов вроде **/usr/local** может понадобиться **sudo "
         "orrery uninstall --yes**.\n";
  if (!data.exists) {
    out << "\nПользовательских данных нет; для снятия бинарника всё равно используй **--yes** "
           "(см. orrery uninstall --dry-run).\n";
    return 0;
  }
  out << "\nЧтобы выполнить удаление, запусти: orrery uninstall --yes\n";
  return 1;
}

// Removes the entry (a folder with its contents, a link as a link); the
// reason of a failure, or nothing.
std::optional<std::string> remove_entry(const std::string& path) {
  std::error_code ec;
  fs::remove_all(path, ec);
  if (!ec) return std::nullopt;
  return ec.message();
}

// The install's files, then the executable; a warning for each failure.
std::vector<std::string> remove_program(const UninstallResult& plan) {
  std::vector<std::string> warnings;
  const RunningProgram& program = plan.program;
  if (!program.path) {
    return {"не удалось определить путь к исполняемому файлу — удалите orrery вручную."};
  }
  if (!program.own) return warnings;
  for (const std::string& path : plan.entries) {
    if (std::optional<std::string> reason = remove_entry(path)) {
      warnings.push_back("не удалось удалить " + path + ": " + *reason);
    }
  }
  if (std::optional<std::string> reason = remove_entry(*program.path)) {
    warnings.push_back("не удалось удалить программу " + *program.path + ": " + *reason +
                       " (на macOS/Linux для /usr/local часто нужен sudo).");
  }
  return warnings;
}

void remove_everything(UninstallResult& result) {
  if (result.data.exists) {
    if (std::optional<std::string> reason = remove_entry(result.data.path)) {
      throw CommandError("не удалось удалить пользовательские данные",
                         reason->empty() ? "проверь права доступа" : *reason);
    }
    result.data_removed = true;
  }
  result.warnings = remove_program(result);
}

int print_removal(const UninstallResult& result) {
  std::ostream& out = out_stream();
  const bool has_data = result.data.exists;
  if (result.data_removed) out << "Пользовательские данные Orrery удалены.\n";
  for (const std::string& warning : result.warnings) {
    out << "orrery: предупреждение: " << warning << "\n";
  }
  if (!result.warnings.empty()) return 0;
  if (has_data && result.program.own) {
    out << "Файлы программы orrery в префиксе установки удалены (насколько возможно).\n";
  } else if (!has_data && result.program.own) {
    out << "Пользовательских данных не было; файлы программы orrery удалены (насколько "
           "возможно).\n";
  } else if (!has_data) {
    out << "Нечего удалять: нет пользовательских данных; запуск не из бинарника orrery "
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

Parsed<UninstallOptions> parse_uninstall_args(const Args& args) {
  UninstallOptions opts;
  for (const std::string& arg : args) {
    if (arg == "--yes" || arg == "-y") {
      opts.yes = true;
    } else if (arg == "--dry-run" || arg == "-n") {
      opts.dry_run = true;
    } else {
      return ArgError{"неизвестный аргумент: " + arg, "orrery uninstall [--dry-run] [--yes]"};
    }
  }
  return opts;
}

UninstallResult do_uninstall(const UninstallOptions& opts) {
  UninstallResult result;
  result.dry_run = opts.dry_run;
  result.removing = opts.yes && !opts.dry_run;
  result.program = running_program();
  result.data = user_data();
  result.data.exists = entry_exists(result.data.path);
  if (result.program.path && result.program.own && (opts.dry_run || result.removing)) {
    result.prefix = install_prefix_of(*result.program.path);
    if (result.prefix) result.entries = installed_entries(*result.prefix);
  }
  if (result.removing) remove_everything(result);
  return result;
}

int print_uninstall(const UninstallResult& result) {
  if (result.dry_run) return print_dry_run(result);
  if (!result.removing) return print_explanation(result.data);
  return print_removal(result);
}

int cmd_uninstall(const Args& args) {
  if (!args.empty() && has_help_flag(args)) return cmd_help({"uninstall"});
  Parsed<UninstallOptions> opts = parse_uninstall_args(args);
  if (const ArgError* error = std::get_if<ArgError>(&opts)) return report_arg_error(*error);
  return report_command_error(
      [&] { return print_uninstall(do_uninstall(std::get<UninstallOptions>(opts))); });
}
