// Argument tables of the tool commands: each parser answers its options or
// the exact usage error its handler prints.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/parsed_outcome.h"
#include "tools/archive.h"
#include "tools/bisect.h"
#include "tools/blame.h"
#include "tools/clean.h"
#include "tools/config_cmd.h"
#include "tools/describe.h"
#include "tools/grep.h"
#include "tools/reflog.h"

namespace {

using testing_support::ArgTable;
using testing_support::expect_arg_errors;

TEST(ParseArchiveArgs, TakesAnOutputAFormatAndOneRevisionAndExitsTwoOnAnError) {
  const ArgTable cases = {
      {{"-o", "a.tar", "--format", "zip", "main"}, "ok"},
      {{"--output=a", "--format="}, "ok"},
      {{"-o"}, "нет пути после -o [exit 2]"},
      {{"--format"}, "нет значения после --format [exit 2]"},
      {{"--format", "rar"}, "поддерживаются только форматы tar и zip | rar [exit 2]"},
      {{"-x"}, "неизвестный флаг | -x [exit 2]"},
      {{"HEAD", "main"}, "укажи не более одной ревизии [exit 2]"},
  };
  expect_arg_errors(parse_archive_args, cases);
}

TEST(ParseBisectArgs, TakesASubcommandAndForAMarkOneRevision) {
  const ArgTable cases = {
      {{"start"}, "ok"},
      {{"bad", "HEAD~3"}, "ok"},
      {{},
       "укажи подкоманду: start | bad | good | reset | например: orrery bisect start; orrery "
       "bisect bad; orrery bisect good v0; orrery bisect reset"},
      {{"run"}, "неизвестная подкоманда bisect: run | start | bad | good | reset"},
      {{"start", "x"}, "orrery bisect start не принимает аргументов"},
      {{"good", "a", "b"},
       "слишком много аргументов для bisect good | orrery bisect good [HEAD|ревизия]"},
  };
  expect_arg_errors(parse_bisect_args, cases);
  EXPECT_EQ(std::get<BisectOptions>(parse_bisect_args({"good"})).revision, "HEAD");
}

TEST(ParseBlameArgs, TakesAnOptionalRevisionAndOneFileAndExitsTwoOnAnError) {
  const std::string format = " | формат: orrery blame [HEAD|ревизия] <файл>";
  const ArgTable cases = {
      {{"f"}, "ok"},
      {{"HEAD~1", "--", "-f"}, "ok"},
      {{"-x"},
       "неизвестный флаг (пути, начинающиеся с «-», указывай после «--»)" + format +
           "   например: orrery blame HEAD readme.txt [exit 2]"},
      {{"a", "b", "c"}, "слишком много позиционных аргументов" + format + " [exit 2]"},
      {{"--"}, "не указан файл" + format + " [exit 2]"},
  };
  expect_arg_errors(parse_blame_args, cases);
}

TEST(ParseCleanArgs, WantsAModeAndNoPaths) {
  const std::string usage = " | orrery clean [-n|--dry-run] [-f|--force] [-d]";
  expect_arg_errors(parse_clean_args, {
                                          {{"-n", "-d"}, "ok"},
                                          {{"-d"},
                                           "отказ без действия по умолчанию | просмотр: orrery "
                                           "clean -n [-d]; удаление: orrery clean "
                                           "-f [-d]"},
                                          {{"-f", "-x"}, "неизвестный флаг: -x" + usage},
                                          {{"-f", "src"}, "лишний аргумент: src" + usage},
                                      });
}

TEST(ParseConfigArgs, TakesOneModeAndAStorableKeyAndValue) {
  const ArgTable cases = {
      {{}, "ok"},
      {{"--set", "upstream.remote"},
       "нет значения для --set | orrery config --set <ключ> <значение>"},
      {{"-l", "--get", "x"},
       "сочетание нескольких режимов config | используй одно из --list, --get, --set, --unset"},
      {{"--get"}, "не хватает ключа после --get | orrery config --get <ключ>"},
      {{"--set"},
       "не хватает ключа или значения после --set | orrery config --set <ключ> <значение>"},
      {{"--get", "user.name"},
       "неподдерживаемый ключ: user.name | примеры: remote.origin.url; upstream.remote; "
       "upstream.branch; branch.main.upstream.remote"},
      {{"--set", "remote.a\"b.url", "u"},
       "недопустимый символ в ключе config | ключ не может содержать перевод строки, NUL или "
       "кавычку"},
      {{"--set", "upstream.branch", "a\nb"},
       "недопустимый символ в значении config | значение не может содержать перевод строки или "
       "NUL"},
      {{"--force"},
       "неизвестный флаг или опция для config: --force | orrery config "
       "[--list|-l|--get ключ|--set ключ значение…|--unset ключ]"},
  };
  expect_arg_errors(parse_config_args, cases);
}

TEST(ParseConfigArgs, JoinsTheWordsOfASetValue) {
  const ConfigOptions opts =
      std::get<ConfigOptions>(parse_config_args({"--set", "remote.o.url", "a", "", "b"}));
  EXPECT_EQ(opts.key.name, "o");
  EXPECT_EQ(opts.value, "a  b");
}

TEST(ParseDescribeArgs, AcceptsOneRevisionAndKnownFlags) {
  const ArgTable cases = {
      {{"--tags", "--always", "v1"}, "ok"},
      {{"--contains"},
       "describe: неизвестный флаг: --contains | orrery describe [--always] [--tags] "
       "[ревизия]"},
      {{"HEAD", "main"},
       "describe: ожидается не больше одной ревизии | orrery describe [опции] [ревизия]"},
  };
  expect_arg_errors(parse_describe_args, cases);
}

TEST(ParseGrepArgs, TakesFlagsUntilThePatternAndExitsTwoOnAnError) {
  expect_arg_errors(parse_grep_args,
                    {
                        {{"-n", "-i", "-E", "-F", "a", "-x"}, "ok"},
                        {{"-x", "a"},
                         "неизвестный флаг: -x | orrery grep [-n|--line-number] [-i|--ignore-case] "
                         "[-F|--fixed-strings|-E|--extended-regexp] [--] образец [путь…] [exit 2]"},
                        {{"-n"},
                         "не задан образец для поиска | например: orrery grep NEEDLE или orrery "
                         "grep pattern src/ "
                         "[exit 2]"},
                    });
  const GrepOptions opts = std::get<GrepOptions>(parse_grep_args({"-E", "--", "-x", "p", "q"}));
  EXPECT_TRUE(opts.regex);
  EXPECT_EQ(opts.pattern, "-x");
  EXPECT_EQ(opts.paths, (std::vector<std::string>{"p", "q"}));
}

TEST(ParseReflogArgs, TakesOnlyACount) {
  const ArgTable cases = {
      {{"-n", "3"}, "ok"},
      {{"-n"}, "ожидается число после -n | например: orrery reflog -n 10"},
      {{"-n", "0"}, "неверное число после -n: 0"},
      {{"--max-count="}, "неверное --max-count=…"},
      {{"-n5"}, "неизвестный флаг: -n5 | orrery reflog [-n N|--max-count=N]"},
      {{"HEAD"}, "лишний аргумент: HEAD | orrery reflog только со счётчиком строк"},
  };
  expect_arg_errors(parse_reflog_args, cases);
}

}  // namespace
