#include <gtest/gtest.h>

#include "hub/hub_cmd.h"
#include "hub/login.h"
#include "hub/pr_cmd.h"
#include "support/parsed_outcome.h"

namespace testing_support {
namespace {

TEST(HubCommandArgs, ParseIntoOptionsOrOneUsageError) {
  const auto hub = [](const HubOptions& o) {
    const char* action[] = {"repos", "clone", "clone usage"};
    const HubCloneOptions& c = o.clone;
    return std::string(action[static_cast<int>(o.action)]) + " " + c.owner + "/" + c.repo +
           " folder=" + c.folder + " branch=" + c.branch + " workspace=" + c.workspace;
  };
  expect_arg_errors(
      parse_hub_args,
      {
          {{"repos", "extra"}, "repos / folder= branch=main workspace="},
          {{"clone"}, "clone usage / folder= branch=main workspace="},
          {{"clone", "a/b", "--workspace", "ws", "copy", "dev"},
           "clone a/b folder=copy branch=dev workspace=ws"},
          {{"clone", "a/b", "--workspace"}, "clone a/b folder=--workspace branch=main workspace="},
          {{"clone", "alice/"}, "ожидается owner/repo | например orrery hub clone alice/demo"},
          {{"clone", "/demo"}, "ожидается owner/repo | например orrery hub clone alice/demo"},
          {{"x"},
           "неизвестная подкоманда hub: x | orrery hub repos | orrery hub clone "
           "<owner/repo> …"},
      },
      hub);

  const auto pr = [](const PrOptions& o) {
    const char* action[] = {"list", "create", "merge"};
    return std::string(action[static_cast<int>(o.action)]) + " title=" + o.title +
           " head=" + o.head + " id=" + std::to_string(o.id) + " method=" + o.method;
  };
  const std::string merge_usage =
      "неверное число аргументов | orrery pr merge <id> [merge|squash|rebase]";
  expect_arg_errors(
      parse_pr_args,
      {
          {{"list"}, "list title= head=main id=0 method=merge"},
          {{"create", "--head", "f", "Новое"}, "create title=Новое head=f id=0 method=merge"},
          {{"create", "t", "ignored", "--head"}, "create title=t head=main id=0 method=merge"},
          {{"create", "--head", "f"},
           "неверное число аргументов | orrery pr create <title> [--head <branch>]"},
          {{"merge", " 2abc", "squash"}, "merge title= head=main id=2 method=squash"},
          {{"merge"}, merge_usage},
          {{"merge", "x"}, "неверный id PR | x"},
          {{"merge", "99999999999"}, "неверный id PR | 99999999999"},
          {{"close"}, "неизвестная подкоманка pr: close | orrery pr list | create | merge"},
      },
      pr);

  const auto login = [](const LoginOptions& o) { return o.token ? "token " + *o.token : "device"; };
  expect_arg_errors(parse_login_args,
                    {
                        {{}, "device"},
                        {{"tok"}, "token tok"},
                        {{"a", "b"}, "help login"},
                        {{"t\nx"}, "токен содержит управляющие символы | скопируй токен заново"},
                    },
                    login);
}

}  // namespace
}  // namespace testing_support
