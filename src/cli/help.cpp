#include "cli/help.h"

#include <algorithm>
#include <ostream>
#include <string>
#include <string_view>

#include "cli/internal/help_topics.h"

namespace {

// The texts are printed exactly as written, "**" and backticks included.
constexpr std::string_view k_option_lines[] = {
    "  --quiet, -q       Тихий режим (без вывода, код 0/1)",
    "  --verbose, -v     Подробный вывод",
    "  --no-color        Отключить ANSI-цвета",
    "  (env) ORRERY_HTTP_CONNECT_TIMEOUT_SEC / ORRERY_HTTP_TIMEOUT_SEC",
    "        ORRERY_HTTP_RETRY_MAX (попытки на запрос, по умолчанию 4)",
    "        ORRERY_HTTP_RETRY_BASE_MS (базовая пауза экспоненциального backoff, мс)",
    "                     Таймауты HTTP (секунды) для fetch/push.",
};

constexpr std::string_view k_command_lines[] = {
    "  help [cmd]                 Показать справку по команде",
    "  init [путь]                Инициализировать новый репозиторий",
    "  clone <src> [dest] [br]    Клонировать репозиторий (HTTP/SSH/локально)",
    "  add [-p] <путь...>         Добавить файлы в индекс",
    "  commit …                  -m; --amend (замена HEAD-коммита)",
    "  status                     [-s|--short] [-sb] краткий статус (ветка+две колонки)",
    "  diff …                     Индекс↔рабочее; --cached; --stat/--shortstat/--name-only/…",
    "  merge …                   Один аргумент / merge --abort (.orrery)",
    "  checkout …               См. help checkout (.orrery)",
    "  switch …                  Локальная ветка / -c (.orrery)",
    "  branch …                  Список/создание (.orrery)",
    "  log …                    --oneline, --decorate/--no-decorate, -n, одна ревизия опционально",
    "  fetch …                   Orrery Hub (remote|url опционально)",
    "  pull [remote|url ветка]    fetch + интеграция",
    "  push [-u] [remote|url br]  Отправка объектов и ref",
    "  remote                     Управление удалёнными",
    "  hub …                     См. help hub — репозитории на Orrery Hub, clone по owner/repo",
    "  bisect start|bad|good|reset  упрощённый bisect (первый родитель)",
    "  blame [HEAD|rev] файл   Первым родитель: blame текстовых строк",
    "  grep [опции] шаблон    Рабочие файлы, .orreryignore, -n/E/F/i",
    "  clean [-n|-f] [-d]      Неотслеживаемые (игноры .orreryignore)",
    "  reflog …                  .orrery/logs/HEAD; -n, --max-count=",
    "  archive [-o] [ревизия]   Tar (ustar) или zip (deflate|stored)",
    "  describe …               Тег / --always (хэш)",
    "  show …                   show <ревизия>; опционально --stat/--shortstat",
    "  config …                .orrery/config (subset ключей)",
    "  reset …                  --mixed / --soft / --hard, см. help reset",
    "  restore ...                Восстановить файлы / убрать из staging (индекса)",
    "  rm <путь...>               Удалить файлы",
    "  mv <src> <dest>            Переименовать файл",
    "  tag …                     список / создать / -d",
    "  cherry-pick <rev>          Применить коммит",
    "  revert <rev>               Откатить коммит",
    "  rebase …                  Upstream или --abort|--continue (.orrery)",
    "  stash ...                  Спрятать/вернуть изменения",
    "  pack                       Упаковка объектов",
    "  gc                         Сборка мусора",
    "  login/logout               OAuth device login или ручной токен",
    "  uninstall [--dry-run] [--yes]  Данные CLI и при --yes бинарник orrery + файлы установки",
    "  ...                        (есть и другие команды)",
};

void print_general_help(std::ostream& out) {
  if (color_enabled()) {
    out << bold("Использование:")
        << " orrery [--quiet|--verbose|--no-color] <команда> [аргументы]\n";
    out << colorize("Глобальные опции:", "1;36") << "\n";
  } else {
    out << "Использование: orrery [--quiet|--verbose|--no-color] <команда> [аргументы]\n";
    out << "Глобальные опции:\n";
  }
  for (std::string_view line : k_option_lines) out << line << "\n";
  out << colorize("Команды:", "1;36") << "\n";
  for (std::string_view line : k_command_lines) print_command_line(line);
  out << "\nЗапусти: orrery help <cmd>\n";
}

}  // namespace

void print_command_line(std::string_view line) {
  std::ostream& out = out_stream();
  if (line.size() < 3 || !line.starts_with("  ") || !color_enabled()) {
    out << line << "\n";
    return;
  }
  const size_t start = std::min(line.find_first_not_of(' '), line.size());
  const size_t end = std::min(line.find(' ', start), line.size());
  out << line.substr(0, start) << cyan(line.substr(start, end - start)) << line.substr(end) << "\n";
}

int cmd_help(const Args& args) {
  std::ostream& out = out_stream();
  if (args.empty()) {
    print_general_help(out);
    return 0;
  }
  if (print_help_topic(out, args.front())) return 0;
  out << "orrery: неизвестная тема справки '" << args.front() << "'\n"
      << "  подсказка: запусти 'orrery help', чтобы увидеть список команд\n";
  return 1;
}
