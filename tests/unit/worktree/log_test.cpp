#include "worktree/log.h"

#include <gtest/gtest.h>

#include "support/parsed_outcome.h"

namespace {

LogOptions parsed_log(const Args& args) { return std::get<LogOptions>(parse_log_args(args)); }

TEST(ParseLogOptions, ReadsEveryOption) {
  const LogOptions options =
      std::get<LogOptions>(parse_log_args({"--oneline", "--decorate", "-n", " +7", "main~2"}));
  EXPECT_TRUE(options.oneline);
  EXPECT_TRUE(options.decorate);
  EXPECT_EQ(options.max_count, 7);
  EXPECT_EQ(options.revision, "main~2");

  EXPECT_EQ(parsed_log({"--max-count=1000000"}).max_count, 1000000);
  EXPECT_EQ(parsed_log({""}).revision, "");  // the empty argument is positional
}

TEST(ParseLogOptions, DecorateValuesTurnItOnOrOff) {
  const std::vector<std::pair<std::string, bool>> cases = {
      {"--decorate=", true},    {"--decorate=auto", true},   {"--decorate=short", true},
      {"--decorate=NO", false}, {"--decorate=Never", false}, {"--decorate=false", false},
  };
  for (const auto& [arg, on] : cases) {
    EXPECT_EQ(parsed_log({"--decorate", arg}).decorate, on) << arg;
  }
  EXPECT_FALSE(parsed_log({"--decorate", "--no-decorate"}).decorate);
}

TEST(ParseLogOptions, RejectsBadCounts) {
  const std::vector<std::pair<Args, std::string>> cases = {
      {{"-n", "0"}, "неверное число после -n: 0"},
      {{"-n", "-3"}, "неверное число после -n: -3"},
      {{"-n", "1000001"}, "неверное число после -n: 1000001"},
      {{"-n", "5x"}, "неверное число после -n: 5x"},
      {{"-n", ""}, "неверное число после -n: "},
      {{"-n", "99999999999999999999"}, "неверное число после -n: 99999999999999999999"},
      {{"-n"}, "ожидается число после -n (сколько последних коммитов показать)"},
      {{"--max-count=0x10"}, "неверное --max-count=…"},
      {{"-x"}, "неизвестный флаг: -x"},
      {{"a", "b"}, "ожидается не больше одной ревизии (ветка, HEAD~N, хэш …)"},
  };
  const std::string usage =
      " | orrery log [--oneline] [--decorate|--no-decorate|--decorate=…] [-n N|--max-count=N] "
      "[ревизия]";
  for (const auto& [args, error] : cases) {
    EXPECT_EQ(testing_support::parsed_outcome(parse_log_args(args)), "log: " + error + usage);
  }
}

TEST(FormatDecorations, OrdersHeadThenRefsThenTagsWithoutDuplicates) {
  const std::string id(64, 'a');
  Decorations decorations;
  decorations.labels[id] = {"tag: z", "main", "origin/main", "tag: a", "main", "beta"};
  decorations.head = id;
  decorations.head_ref = "refs/heads/main";
  EXPECT_EQ(format_decorations(decorations, id),
            " (HEAD -> main, beta, origin/main, tag: a, tag: z)");

  decorations.head_ref.reset();
  EXPECT_EQ(format_decorations(decorations, id),
            " (HEAD, beta, main, origin/main, tag: a, tag: z)");
  EXPECT_EQ(format_decorations(decorations, std::string(64, 'b')), "");

  decorations.labels.clear();
  decorations.head_ref = "refs/heads/unborn";
  EXPECT_EQ(format_decorations(decorations, id), " (HEAD -> unborn)");
}

}  // namespace
