#include <gtest/gtest.h>

#include "net/clone.h"
#include "net/fetch.h"
#include "net/pull.h"
#include "net/push.h"
#include "net/remote.h"
#include "support/parsed_outcome.h"

namespace testing_support {
namespace {

std::string joined(const std::vector<std::string>& words) {
  std::string out;
  for (const std::string& word : words) out += (out.empty() ? "" : " ") + word;
  return "[" + out + "]";
}

TEST(SyncCommandArgs, ParseIntoOptionsOrOneUsageError) {
  const auto fetch = [](const FetchOptions& o) { return joined(o.positionals); };
  expect_arg_errors(parse_fetch_args,
                    {
                        {{}, "[]"},
                        {{"up", "dev"}, "[up dev]"},
                        {{"a", "b", "c"}, "help fetch"},
                    },
                    fetch);

  const auto push = [](const PushOptions& o) {
    const char* force[] = {"guarded", "force", "lease"};
    return std::string(o.set_upstream ? "upstream " : "") + force[static_cast<int>(o.force)] + " " +
           joined(o.positionals);
  };
  expect_arg_errors(
      parse_push_args,
      {
          {{}, "guarded []"},
          {{"-u", "--force-with-lease", "up", "dev"}, "upstream lease [up dev]"},
          {{"--force-with-lease", "-f"}, "force []"},  // the last one wins
          {{"--set-upstream", "--force", "http://h/r"}, "upstream force [http://h/r]"},
          {{"a", "b", "c"}, "help push"},
      },
      push);

  const auto pull = [](const PullOptions& o) {
    const char* mode[] = {"merge", "rebase", "ff_only"};
    return std::string(mode[static_cast<int>(o.integration)]) + " " + joined(o.positionals);
  };
  expect_arg_errors(
      parse_pull_args,
      {
          {{}, "merge []"},
          {{"--rebase", "up", "dev"}, "rebase [up dev]"},
          {{"--ff-only"}, "ff_only []"},
          {{"--ff-only", "--rebase"},
           "нельзя одновременно --ff-only и --rebase | выбери один режим интеграции"},
          {{"--squash"}, "неизвестный флаг для pull: --squash | pull: см. orrery help pull"},
          {{"up"}, "help pull"},
          {{"a", "b", "c"}, "help pull"},
      },
      pull);

  const auto remote = [](const RemoteOptions& o) {
    const char* action[] = {"list", "show", "add", "remove"};
    return std::string(action[static_cast<int>(o.action)]) + " " + joined({o.name, o.url});
  };
  expect_arg_errors(parse_remote_args,
                    {
                        {{}, "list []"},
                        {{"show", "up"}, "show [up ]"},
                        {{"add", "up", "http://h"}, "add [up http://h]"},
                        {{"rm", "up"}, "remove [up ]"},
                        {{"remove", "up"}, "remove [up ]"},
                        {{"add", "up"}, "help remote"},
                        {{"show"}, "help remote"},
                        {{"rename", "a", "b"}, "help remote"},
                    },
                    remote);
}

TEST(CloneArgs, DeriveTheDestinationAndRefuseWhatCannotBeCloned) {
  const auto clone = [](const CloneOptions& o) {
    return std::string(o.kind == CloneSource::http ? "http " : "local ") +
           joined({o.source, o.destination, o.branch});
  };
  const std::string ssh =
      "orrery собран без libssh2: клонирование по SSH недоступно | собери с HAVE_LIBSSH2 / "
      "libssh2 или используй URL https:// для Orrery Hub";
  expect_arg_errors(parse_clone_args,
                    {
                        {{}, "help clone"},
                        {{"../src"}, "local [../src src main]"},
                        {{"https://h/a/proj", "copy", "dev"}, "http [https://h/a/proj copy dev]"},
                        {{"http://h:8080/"}, "http [http://h:8080/ orrery-repo main]"},
                        {{"."}, "папка назначения внутри источника: ."},
                        {{"src/.."}, "папка назначения внутри источника: .."},
                        {{"..", "copy"}, "local [.. copy main]"},
                        {{"src", "copy", "../x"}, "недопустимое имя ветки: ../x"},
                        {{"src", "copy", "a\nb"}, "недопустимое имя ветки: a\nb"},
                        {{"git@host:team/app"}, ssh},
                        {{"ssh://u@host:2222/app", "copy"}, ssh},
                    },
                    clone);
}

}  // namespace
}  // namespace testing_support
