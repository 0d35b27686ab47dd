#include "worktree/log.h"

#include <gtest/gtest.h>

namespace {

TEST(ParseLogOptions, ReadsEveryOption) {
  LogParse parse = parse_log_options({"--oneline", "--decorate", "-n", " +7", "main~2"});
  EXPECT_EQ(parse.error, "");
  EXPECT_TRUE(parse.options.oneline);
  EXPECT_TRUE(parse.options.decorate);
  EXPECT_EQ(parse.options.max_count, 7);
  EXPECT_EQ(parse.options.revision, "main~2");

  EXPECT_EQ(parse_log_options({"--max-count=1000000"}).options.max_count, 1000000);
  EXPECT_EQ(parse_log_options({""}).options.revision, "");  // the empty argument is positional
}

TEST(ParseLogOptions, DecorateValuesTurnItOnOrOff) {
  const std::vector<std::pair<std::string, bool>> cases = {
      {"--decorate=", true},    {"--decorate=auto", true},   {"--decorate=short", true},
      {"--decorate=NO", false}, {"--decorate=Never", false}, {"--decorate=false", false},
  };
  for (const auto& [arg, on] : cases) {
    EXPECT_EQ(parse_log_options({"--decorate", arg}).options.decorate, on) << arg;
  }
  EXPECT_FALSE(parse_log_options({"--decorate", "--no-decorate"}).options.decorate);
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
  for (const auto& [args, error] : cases) EXPECT_EQ(parse_log_options(args).error, error);
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
