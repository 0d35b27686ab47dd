#include <gtest/gtest.h>

#include "support/parsed_outcome.h"
#include "worktree/add.h"
#include "worktree/branch.h"
#include "worktree/checkout.h"
#include "worktree/commit.h"
#include "worktree/reset.h"
#include "worktree/restore.h"
#include "worktree/status.h"
#include "worktree/tag.h"

namespace testing_support {
namespace {

const std::string k_status = " | orrery [--quiet|-q] status [-s|--short] [-b|--branch]";
const std::string k_commit = " | orrery commit -m \"…\" [--amend]";
const std::string k_upstream = " | пример: orrery branch -u origin/main";
const std::string k_switch_create = "пример: orrery switch -c topic [старт]";

TEST(ParseArgs, EveryUsageErrorOfTheWorktreeCommands) {
  constexpr auto status = outcome_of<parse_status_args>;
  constexpr auto add = outcome_of<parse_add_args>;
  constexpr auto commit = outcome_of<parse_commit_args>;
  constexpr auto checkout = outcome_of<parse_checkout_args>;
  constexpr auto switch_ = outcome_of<parse_switch_args>;
  constexpr auto reset = outcome_of<parse_reset_args>;
  constexpr auto branch = outcome_of<parse_branch_args>;
  constexpr auto tag = outcome_of<parse_tag_args>;
  constexpr auto restore = outcome_of<parse_restore_args>;
  expect_rows({
      {status, {"-bbq"}, "неизвестный флаг status: -q" + k_status},
      {status, {"-s", "-x", "--shorter"}, "неизвестный флаг status: -x" + k_status},
      {status, {"--shorter"}, "неизвестный аргумент для status: --shorter" + k_status},
      {status, {"file.txt"}, "неизвестный аргумент для status: file.txt" + k_status},
      {status, {"", "-ssbb", "-b", "--branch", "-s"}, "ok"},
      {add, {"--patch"}, "не указан путь для -p | используй: orrery add -p <файл>"},
      {add, {"a.txt", "-p"}, "ok"},
      {commit, {"-m", "msg", "--amen"}, "неизвестный флаг для commit: --amen" + k_commit},
      {commit, {"-m"}, "неизвестный флаг для commit: -m" + k_commit},
      {commit, {"extra"}, "лишний аргумент для commit: extra" + k_commit},
      {commit, {"-m", "-m", "", "--amend"}, "ok"},
      {checkout, {"-b"}, "нужно имя новой ветки | пример: orrery checkout -b topic origin/main"},
      {checkout, {"--branch", "../../evil"}, "недопустимое имя ветки: ../../evil"},
      {checkout,
       {"a", "b"},
       "неверное число аргументов | используй: orrery checkout <ветка> или orrery checkout -b ..."},
      // Too many arguments are told only once the new name is found free.
      {checkout, {"-b", "x", "main", "extra"}, "ok"},
      {switch_,
       {"a", "b"},
       "неверное число аргументов | переключение: orrery switch <ветка>; создание: orrery switch "
       "-c <ветка> [старт]"},
      {switch_, {"-x"}, "неизвестный флаг: -x | switch: см. orrery help switch"},
      {switch_, {"-c"}, "укажи имя новой ветки | " + k_switch_create},
      {switch_,
       {"-c", "a", "b", "c"},
       "слишком много аргументов | формат: orrery switch -c <ветка> [старт]"},
      {switch_,
       {"--create="},
       "ожидается имя ветки после --create= | пример: orrery switch --create=topic"},
      {switch_,
       {"--create=a", "--create=b"},
       "повторное имя для --create | используй один вид: -c или --create="},
      {switch_,
       {"--create=a", "b", "c"},
       "слишком много аргументов | формат: orrery switch --create=<ветка> [старт]"},
      {reset,
       {"--keep"},
       "неизвестный флаг для reset: --keep | orrery reset [--mixed|--soft|--hard] [<ревизия>] "
       "иначе см. orrery help reset"},
      {reset, {"--soft", "--hard", "HEAD"}, "выбери один режим reset: --soft, --mixed или --hard"},
      {reset, {"--mixed", "--mixed"}, "выбери один режим reset: --soft, --mixed или --hard"},
      {reset, {"--soft"}, "для reset --soft нужна ревизия | например: orrery reset --soft HEAD~1"},
      {reset, {"--hard", "HEAD", "HEAD"}, "ожидается не больше одной ревизии для reset"},
      {branch,
       {"--set-upstream-to"},
       "ожидается remote/ветка после '--set-upstream-to'" + k_upstream},
      {branch, {"-u", "origin"}, "неверная upstream-спека: origin" + k_upstream},
      {branch, {"--set-upstream-to=../x/main"}, "неверная upstream-спека: ../x/main" + k_upstream},
      {branch, {"-vv", "-u", "origin/main"}, "нельзя совмещать -vv с --set-upstream-to"},
      {branch,
       {"-u", "origin/main", "a", "b"},
       "слишком много аргументов для branch --set-upstream-to"},
      {branch, {"-vv", "x"}, "лишние аргументы вместе с -vv"},
      {branch, {"../outside"}, "недопустимое имя ветки: ../outside"},
      {branch, {"a", "b"}, "help branch"},
      {tag, {"-d"}, "help tag after укажи хотя бы одно имя тега | orrery tag -d|--delete <тег…>"},
      {tag, {"a", "HEAD", "c"}, "help tag"},
      {tag, {"--delete", "a", "b", "c"}, "ok"},
      {restore, {"--staged", "--source"}, "help restore"},
      {restore, {"--source", "HEAD", "a"}, "ok"},
  });
}

}  // namespace
}  // namespace testing_support
