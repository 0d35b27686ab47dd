#include "cli/internal/help_topics.h"

#include <array>
#include <ostream>

#include "build_info.h"

// The texts are printed as they stand: the "**" and backtick marks are part
// of them, and the blame topic's "\t" is a backslash and a "t", not a tab.
// Each raw string holds whole lines, so a topic reads here as it prints;
// the archive topic carries two narrow no-break spaces (U+202F) before "8"
// and "ГиБ". The login topic names the hub fixed at configure time.

namespace {

struct HelpTopic {
  std::string_view name;
  std::array<std::string_view, 5> pieces;  // printed one after another
};

// clang-format off
constexpr HelpTopic k_topics[] = {
    {"init",
     {R"(Использование: orrery init [путь]
  Инициализировать новый репозиторий Orrery.
)"}},
    {"clone",
     {R"(Использование: orrery clone <источник> [папка] [ветка]
  HTTP (Orrery Hub); SSH только если сборка с libssh2; с локального пути — копия и origin.
)"}},
    {"add",
     {R"(Использование: orrery add [-p|--patch] <путь...>
  Добавить файлы в индекс.
  Опции:
    -p, --patch     Интерактивно добавить части файла (пока поддерживается один файл).
)"}},
    {"commit",
     {R"(Использование: orrery commit -m "сообщение" [--amend]
  Создать новый коммит из текущего индекса (**--amend**: заменить вершину **HEAD**, родители и автор прежнего коммита сохраняются; если **-m** не задан, беру прошлое сообщение).
)"}},
    {"status",
     {R"(Использование: orrery [--quiet|-q] status [-s|--short] [-b|--branch]
  Показать текущую ветку и отношение к upstream (если настроен),
  затем изменения staging/рабочей копии/неотслеживаемые.
  **-s** / **--short**: два столбца состояния (**??** для неотслеживаемых), без блока про ветку/upstream по умолчанию.
  **-b** / **--branch** вместе с **-s** (или **-sb**) — первая строка **`## ветка`** / **`## HEAD (…)`** перед кратким списком.
  С глобальным --quiet (-q): ничего не печатаю (ветка/upstream,
  списки файлов «Нечего коммитить…» при чистоте).
  В тихом режиме код выхода 0 если нет изменений, иначе 1.
  Счётчик коммитов к upstream склоняется по-русски: коммит / коммита / коммитов.
  Если upstream задан, а на ветке ещё нет коммита, сравнение не показываю.
)"}},
    {"diff",
     {R"(Использование: orrery diff [аргументы…]
  **--cached** / **--staged** (**индекс vs HEAD**) или по умолчанию (**индекс vs рабочее дерево**).
  Свой формат вывода (**один из**): патч по умолчанию; **--stat** или **--shortstat** — сводка; **--name-only** / **--name-status** — список путей (**A**/ **M**/ **D** через табуляцию для **name-status**).
)"}},
    {"merge",
     {R"(Использование: orrery merge [аргументы…]
  В репозитории **`.orrery`**:
  orrery merge <ветка|remote/ветка>
  orrery merge --abort
  Слить ветку в текущую (FF или merge-коммит). При конфликтах: разрешить и commit либо **--abort** (сброс рабочего дерева и индекса к HEAD, удаление .orrery/MERGE_HEAD).
)"}},
    {"checkout",
     {R"(Использование:
  orrery checkout [аргументы…]
  При **`.orrery`**:
  orrery checkout <ветка|ревизия>
  orrery checkout -
  orrery checkout -b|--branch <новая-ветка> [старт-точка]
  Локальная ветка по имени, либо ревизия (полный SHA-256 коммита, HEAD~N и др.):
  последний случай ставит отсоединённый HEAD (.orrery/HEAD без ref:).
  «-»: предыдущая локальная ветка (подсказка в `.orrery/previous-branch`).
  Старт-точка: локальная ветка или remote-tracking (например origin/main).
)"}},
    {"switch",
     {R"(Использование:
  В **`.orrery`**:
  orrery switch <ветка>
  orrery switch -
  orrery switch -c|--create <ветка> [старт-точка]
  orrery switch --create=<ветка> [старт-точка]
  Только существующая локальная ветка (без ревизий — для них **`checkout`**); создание через -c (--create).
  «-»: предыдущая локальная ветка (**`checkout -`**).
  То же семейство, что **`checkout -b`**, когда создаёшь ветку.
)"}},
    {"branch",
     {R"(Использование:
  В **`.orrery`**:
  orrery branch [-vv]
  orrery branch <имя>              # создать ветку от HEAD
  orrery branch -d <имя>           # удалить ветку
  orrery branch --set-upstream-to <remote>/<ветка>
  orrery branch --set-upstream-to=<remote>/<ветка>
  orrery branch -u <remote>/<ветка> [локальная-ветка]
)"}},
    {"log",
     {R"(Использование: orrery log [аргументы…]
  **--oneline**, **--decorate** / **--no-decorate** / **--decorate=…** (краткий лог с пометками веток/тегов),
  **-n N** / **--max-count=N**, не больше одной **ревизии**
  (ветка, тег, **HEAD**, **HEAD~N**, **HEAD^…**, полный SHA-256). Без ревизии — от **HEAD**,
  обход по первому родителю; **--decorate** добавляет суффикс **(**HEAD**, ветки, **tag:**…**)** после хэша.
)"}},
    {"fetch",
     {R"(Использование: orrery fetch [аргументы…]
  **orrery fetch** [<remote|url> [ветка]] — скачать объекты для Orrery Hub (**refs/remotes/…**).
)"}},
    {"pull",
     {R"(Использование: orrery pull [--ff-only|--rebase] [<remote|url> <ветка>]
  fetch, затем интеграция в **текущую** локальную ветку (репозиторий **`.orrery`**).
  Уже актуально или fast-forward → обновлю refs/heads и рабочее дерево (checkout ветки).
  История разошлась: по умолчанию **merge** `refs/remotes/<remote>/<ветка>`;
  **--rebase** — `rebase` на тот же апстрим; **--ff-only** — ошибка, если не FF.
)"}},
    {"push",
     {R"(Использование: orrery push [-u|--set-upstream] [-f|--force|--force-with-lease] [<remote|url> [ветка]]
  Отправить объекты и обновить refs на удалённом.
)"}},
    {"remote",
     {R"(Использование:
  orrery remote                # список remote
  orrery remote -v             # список remote с URL
  orrery remote show <name>    # показать remote (URL, ветки, отслеживание)
  orrery remote add <name> <url>
  orrery remote remove <name>
)"}},
    {"bisect",
     {R"(Использование:
  orrery bisect start
  orrery bisect bad [HEAD|ревизия]
  orrery bisect good [HEAD|ревизия]
  orrery bisect reset
  Запись состояния в **`.orrery/bisect/`**; между **bad** и **good** нужна цепочка **первого родителя**.
  После задания обеих границ середина этого диапазона проверяется через **orrery checkout** (отсоединённый HEAD).
)"}},
    {"blame",
     {R"(Использование: orrery blame [HEAD|ревизия] <файл>
  Построчное приписывание к коммиту по истории первого родителя от указанной ревизии (по умолчанию HEAD).
  Путь к файлу — относительно текущего каталога под корнем репозитория (**`is_safe_relpath`**; путь после «–», если начинается с «-»). **Бинарные** содержимого (с NUL в blob) отвергаются. Вывод: **«сокращённый OID (автор дата)\tстрока»**.
)"}},
    {"grep",
     {R"(Использование: orrery grep [опции] [--] образец [путь…]
  Поиск по **рабочим файлам** под корнем репозитория (не по объектным данным `.orrery`). **`-n`/`--line-number`**, **`-i`/`--ignore-case`**, подстрочный поиск по умолчанию (как **`-F`**) или расширенное (**`-E`**, ECMAScript / **`std::regex`**). Вывод: **`относительный-путь:N:совпадение`**. Читаю **`.orreryignore`**, не захожу в каталоги **`.orrery/`** и скрытый каталог метаданных стороннего VCS (если есть).
  Если шаблон начинается с **`-`**, поставь **`--`** перед ним и списком путей. **0** есть совпадение, **1** ничего не найдено, **2** ошибка опций или регулярного выражения; файлы с NUL в первых 64KiB пропускаю.
)"}},
    {"clean",
     {R"(Использование: orrery clean [-n|--dry-run] [-f|--force] [-d]
  Удаляю **неотслеживаемые** файлы (не в индексе, не по **`.orreryignore`**), только с **`-f`** или просмотр с **`-n`** (пробный прогон). **`-d`** — ещё каталоги целиком (пустые деревья и каталоги, от которых после удаления файлов ничего не остаётся: нет отслеживаемых и неигнорируемых файлов). Симлинки не трогаю.
)"}},
    {"reflog",
     {R"(Использование: orrery reflog [-n N|--max-count=N]
  Я читаю **`.orrery/logs/HEAD`**: упрощённый журнал смен точки резолва HEAD (переход между ветками/detach, **`update-ref`** и т.п.); полный охват событий не гарантирую.
  Свежие строки показываю сверху; для истории коммитов — **`orrery log`**.
)"}},
    {"archive",
     {R"(Использование: orrery archive [-o файл|--output=файл] [--format=tar|zip] [HEAD|ревизия]
  Собираю **ustar/tar** или **zip** дерева коммита (только **blob**‑файлы): **zlib/deflate** (метод 8); если слой только растёт — **stored** (0).
  Без **`-o`** пишу архив в **stdout** (бинарно). По умолчанию **`--format=tar`**; **zip** без **zip64** (записи ≤ 4 ГиБ, ≤65535 файлов).
)"}},
    {"describe",
     {R"(Использование: orrery describe [опции] [ревизия]
  **--always** — сокращённый хэш, если на коммит не указывает тег lightweight (**orrery tag**);
  без **--always** — ошибка, если подходящего тега нет.
  **--tags** принимается для совместимости со скриптами.
)"}},
    {"show",
     {R"(Использование:
  orrery show [--stat|--shortstat] <ревизия>   # метаданные коммита + патч дерева к первому родителю или сводка (флаги взаимно исключают друг друга).
)"}},
    {"config",
     {R"(Использование:
  orrery config [--list|-l]
  orrery config --get <ключ>
  orrery config --set <ключ> <значение>…   # несколько слов — одно значение
  orrery config --unset <ключ>
  Только ключи под **.orrery/config**:
    remote.<имя>.url; upstream.remote; upstream.branch;
    branch.<ветка>.upstream.remote; branch.<ветка>.upstream.branch
)"}},
    {"reset",
     {R"(Использование:
  orrery reset [--mixed]              # индекс = дерево текущего HEAD (снять staging), рабочее дерево не трогаю
  orrery reset --mixed <ревизия>    # HEAD и индекс на ревизию, рабочее дерево не трогаю
  orrery reset <ревизия>             # то же, что --mixed
  orrery reset --soft <ревизия>     # только сдвинуть HEAD, индекс и файлы не трогаю
  orrery reset --hard [ревизия]     # HEAD, индекс и рабочее дерево = ревизия (без аргумента — текущий HEAD)
)"}},
    {"restore",
     {R"(Использование: orrery restore [--staged] [--source <rev>] <путь>...
  Восстановить файлы в рабочем дереве или убрать из staging (индекса).
)"}},
    {"rm",
     {R"(Использование: orrery rm <путь>...
  Удалить файлы (и из индекса).
)"}},
    {"mv",
     {R"(Использование: orrery mv <src> <dest>
  Переименовать файл (и обновить индекс).
)"}},
    {"tag",
     {R"(Использование:
  orrery tag                                       # список имён
  orrery tag <имя> [ревизия]                       # создать lightweight-тег (**HEAD** по умолчанию)
  orrery tag -d|--delete <имя> [<имя>…]            # удалить теги
  Имя тега — безопасный относительный путь (без «..», абсолютных путей).
)"}},
    {"cherry-pick",
     {R"(Использование: orrery cherry-pick <rev>
  Применить коммит поверх текущей ветки.
)"}},
    {"revert",
     {R"(Использование: orrery revert <rev>
  Откатить коммит поверх текущей ветки.
)"}},
    {"rebase",
     {R"(Использование: orrery rebase [аргументы…]
  В **`.orrery`**:
  orrery rebase <upstream>
  orrery rebase --abort
  orrery rebase --continue
  Replay коммитов от HEAD до merge-base по первому родителю. Состояние в .orrery/rebase-merge/
  После конфликтов: add, затем --continue или --abort (restore orig-head).
)"}},
    {"stash",
     {R"(Использование:
  orrery stash [list]
  orrery stash save [-m сообщение]
    Несколько save подряд: цепочка stash@{N} (верхний — @{0}); **drop** любой записи через **stash@{N}**.
  orrery stash show [-p|--patch|--stat|--shortstat] [stash@{N}]
    По умолчанию — список путей; **-p** — патч; **--stat** / **--shortstat** — сводка (как **diff/show**); **-p** нельзя вместе с **--stat**/**--shortstat**.
  orrery stash apply [stash@{N}]   |   orrery stash pop [stash@{0}]
  orrery stash drop [stash@{N}]   без аргумента — как **stash@{0}**
  orrery stash clear
)"}},
    {"pack",
     {R"(Использование: orrery pack
  Упаковать свободные объекты.
)"}},
    {"gc",
     {R"(Использование: orrery gc
  Упаковать объекты и удалить свободные объекты, попавшие в pack.
)"}},
    {"login",
     {R"(Использование: orrery login | orrery login <token>
  Без аргументов — OAuth 2.0 **device flow** (RFC 8628): код устройства, браузер на )", k_default_hub_host, R"(, опрос токена.
  Переменные: **`ORRERY_HUB_URL`** (по умолчанию )", k_default_hub_url, R"(), **`ORRERY_OAUTH_DEVICE_URL`**, **`ORRERY_OAUTH_TOKEN_URL`**, **`ORRERY_OAUTH_CLIENT_ID`** (по умолчанию orrery-cli), **`ORRERY_OAUTH_SCOPE`**.
  После успешного входа: регистрация **SSH публичного ключа** на Hub (если ключа ещё нет — создаётся `~/.ssh/id_orrery_hub_ed25519`). Отключить: **`ORRERY_HUB_SYNC_SSH=0`**.
  Один аргумент — сохранить готовый Bearer-токен вручную (как раньше).
)"}},
    {"hub",
     {R"(Использование:
  orrery hub repos
    Список репозиториев, доступных учётной записи (REST **`GET /api/v1/repos/`**). Нужен **`orrery login`**.
  orrery hub clone <owner/repo> [папка] [ветка] [--workspace <каталог>]
    Запрос clone-url на Hub (REST), затем **`orrery clone`** по HTTP с Bearer.
  **`ORRERY_HUB_API_URL`** — полный префикс API (по умолчанию `ORRERY_HUB_URL` + `/api/v1`).
)"}},
    {"logout",
     {R"(Использование: orrery logout
  Удалить сохранённый токен.
)"}},
    {"uninstall",
     {R"(Использование: orrery uninstall [--dry-run] [--yes|-y]
  Удалить с этой машины **пользовательские данные** Orrery: каталог настроек (`$XDG_CONFIG_HOME/orrery`, `%LOCALAPPDATA%\orrery` или `~/.config/orrery`) или файл **`.orrery_credentials`** в текущем каталоге, если не заданы стандартные пути.
  **Репозитории `.orrery` в проектах не трогаю** — только то, что относится к CLI (токены OAuth, ручной токен).
  С **--yes** дополнительно снимается **сама программа**: исполняемый **orrery** и типичные файлы **cmake --install** в том же префиксе (**lib/liborrery_*.a**, **lib/cmake/orrery**, **share/doc/orrery**), если раскладка обнаружена. Запуск из **orrery_tests** или переименованного exe установку не трогает. Для **/usr/local** часто нужен **sudo orrery uninstall --yes**.
  Без **--yes** — показать, что будет удалено, и выйти с кодом **1**, если данные есть (чтобы случайно не стереть).
  **--dry-run** / **-n** — только список путей, без удаления.
)"}},
};
// clang-format on

}  // namespace

bool print_help_topic(std::ostream& out, std::string_view name) {
  for (const HelpTopic& topic : k_topics) {
    if (topic.name != name) continue;
    for (std::string_view piece : topic.pieces) out << piece;
    return true;
  }
  return false;
}
