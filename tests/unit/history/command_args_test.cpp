// Argument tables of the history commands: each parser answers its options
// or the exact usage error its handler prints.
#include <gtest/gtest.h>

#include <string>

#include "history/cherry_pick.h"
#include "history/merge_cmd.h"
#include "history/rebase.h"
#include "history/stash.h"
#include "support/parsed_outcome.h"

namespace {

using testing_support::ArgTable;
using testing_support::expect_arg_errors;

TEST(ParseMergeArgs, TakesOneBranchOrAbort) {
  const ArgTable cases = {
      {{"topic"}, "ok"},
      {{"-x", "main"},
       "неизвестный флаг для merge: -x | orrery merge [--abort] | orrery merge "
       "<ветка|remote/ветка>"},
      {{"--abort", "main"}, "лишние аргументы для merge --abort | используй: orrery merge --abort"},
      {{"a", "b"}, "неверное число аргументов | используй: orrery merge <ветка|remote/ветка>"},
  };
  expect_arg_errors(parse_merge_args, cases);
  EXPECT_EQ(std::get<ArgError>(parse_merge_args({})).help_topic, "merge");
}

TEST(ParseRebaseArgs, TakesAnUpstreamOrOneOfAbortAndContinue) {
  const ArgTable cases = {
      {{"main"}, "ok"},
      {{"-i", "main"},
       "неизвестный флаг для rebase: -i | orrery rebase [--abort|--continue] | orrery rebase "
       "<upstream>"},
      {{"--continue", "--abort"}, "нельзя одновременно --abort и --continue | выбери один вариант"},
      {{"--abort", "main"},
       "лишние аргументы | orrery rebase --abort  или  orrery rebase --continue"},
  };
  expect_arg_errors(parse_rebase_args, cases);
  EXPECT_EQ(std::get<ArgError>(parse_rebase_args({"a", "b"})).help_topic, "rebase");
}

TEST(ParsePickArgs, TakesExactlyOneRevision) {
  EXPECT_EQ(std::get<PickOptions>(parse_pick_args({"HEAD~1"}, PickKind::revert)).revision,
            "HEAD~1");
  EXPECT_EQ(std::get<ArgError>(parse_pick_args({}, PickKind::revert)).help_topic, "revert");
  EXPECT_EQ(std::get<ArgError>(parse_pick_args({"a", "b"}, PickKind::cherry_pick)).help_topic,
            "cherry-pick");
}

TEST(ParseStashArgs, ChecksEachSubcommandsArguments) {
  const std::string show_usage = " | orrery stash show [-p|--patch|--stat|--shortstat] [stash@{N}]";
  const ArgTable cases = {
      {{"apply", "stash@{0}", "x"}, "слишком много аргументов | orrery stash apply [stash@{N}]"},
      {{"apply", "stash@{x}"}, "ожидался формат stash@{N} | orrery stash apply [stash@{N}]"},
      {{"pop", "stash@{1}"},
       "orrery stash pop применим только к вершине списка (stash@{0}) | для промежуточной "
       "записи "
       "сначала orrery stash apply stash@{…}, затем по очереди pop/drop верхней"},
      {{"drop", "a", "b"}, "слишком много аргументов | orrery stash drop [stash@{N}]"},
      {{"drop", "top"}, "ожидался формат stash@{N} | например: orrery stash drop stash@{1}"},
      {{"show", "-x"}, "неизвестная опция stash show: -x" + show_usage},
      {{"show", "stash@{0}", "stash@{1}"}, "лишний аргумент stash show" + show_usage},
      {{"show", "--stat", "--shortstat"},
       "нельзя сочетать --stat и --shortstat | orrery stash show [--stat|--shortstat] "
       "[stash@{N}]"},
      {{"show", "-p", "--stat"},
       "нельзя сочетать -p|--patch со --stat|--shortstat | выбери один вид вывода: orrery "
       "stash "
       "show …"},
      {{"show", "stash@{}"}, "ожидался формат stash@{N} | например: stash@{1}"},
  };
  expect_arg_errors(parse_stash_args, cases);
}

TEST(ParseStashArgs, ReadsTheEntryFormatAndMessage) {
  const auto parse = [](const Args& args) {
    return std::get<StashOptions>(parse_stash_args(args));
  };
  EXPECT_EQ(parse({"save", "x", "-m", "msg", "-m", "later"}).message, "msg");
  EXPECT_EQ(parse({"drop", "stash@{12}"}).entry, 12u);
  EXPECT_EQ(parse({"show", "--patch"}).format, StashShowFormat::patch);
  EXPECT_EQ(std::get<ArgError>(parse_stash_args({"nonsense"})).help_topic, "stash");
}

}  // namespace
