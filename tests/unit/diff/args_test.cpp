#include <gtest/gtest.h>

#include "diff/diff_cmd.h"
#include "diff/show_cmd.h"
#include "support/parsed_outcome.h"

namespace testing_support {
namespace {

const std::string k_diff =
    " | orrery diff [--cached|--staged] [--stat|--shortstat|--name-only|--name-status]";
const std::string k_show = " | orrery show [--stat|--shortstat] <ревизия>";
const std::string k_revision =
    " | orrery show <ревизия> или orrery show [--stat|--shortstat] <ревизия>";

TEST(ParseArgs, EveryUsageErrorOfDiffAndShow) {
  constexpr auto diff = outcome_of<parse_diff_args>;
  constexpr auto show = outcome_of<parse_show_args>;
  const std::string formats =
      "выбери один формат вывода: патч по умолчанию, --stat, --shortstat, --name-only или "
      "--name-status";
  expect_rows({
      {diff, {"--stat", "--name-only"}, formats + k_diff},
      {diff, {"--patch"}, "неизвестный флаг для diff: --patch" + k_diff},
      {diff, {"a.txt"}, "лишний аргумент: a.txt" + k_diff},
      // The first bad argument is reported, before the format clash.
      {diff, {"--stat", "--name-only", "HEAD"}, "лишний аргумент: HEAD" + k_diff},
      {diff, {"--shortstat", "", "--shortstat", "--staged"}, "ok"},
      {show, {"", "--stat"}, "не указана ревизия" + k_revision},
      {show, {"main", "side"}, "слишком много аргументов" + k_revision},
      {show,
       {"--stat", "--shortstat", "main"},
       "нельзя сочетать --stat и --shortstat | выбери один вариант: orrery show "
       "[--stat|--shortstat] <ревизия>"},
      {show, {"--name-only", "main"}, "неизвестный флаг для show: --name-only" + k_show},
  });
}

}  // namespace
}  // namespace testing_support
