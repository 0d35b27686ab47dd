// Pull requests on orrery-hub: opening one needs its head on the hub, and
// the owner's merge runs on the hub by each method, or is refused with
// nothing moved.

#include <gtest/gtest.h>

#include <map>

#include "hub_test_util.h"
#include "store/refs.h"
#include "store/repo.h"
#include "web_test_util.h"

namespace testing_support {
namespace {

using Files = std::map<std::string, std::string>;

struct Snapshot {
  std::string id, tree;
  std::vector<StoredObject> objects;
};

// A commit of a flat tree of files on the given parents.
Snapshot snapshot(const Files& files, const std::vector<std::string>& parents,
                  const std::string& message) {
  Snapshot made;
  Tree tree;
  for (const auto& [path, content] : files) {
    made.objects.push_back(make_object("blob", content));
    tree.push_back({"100644", "blob", made.objects.back().id, path});
  }
  made.objects.push_back(make_object("tree", serialize_tree(tree)));
  made.tree = made.objects.back().id;
  Commit commit{made.tree, parents, "tester", message, 1700000000u};
  made.objects.push_back(make_object("commit", serialize_commit(commit)));
  made.id = made.objects.back().id;
  return made;
}

class HubPulls : public ::testing::Test {
 protected:
  void SetUp() override {
    alice_ = hub_.add_user("alice");
    bob_ = hub_.add_user("bob");
    base_ = snapshot({{"a.txt", "1\n2\n3\n"}, {"b.txt", "x\n"}}, {}, "base");
    main_ = snapshot({{"a.txt", "1\n2\n3\n"}, {"b.txt", "y\n"}}, {base_.id}, "main");
    f1_ = snapshot({{"a.txt", "1\n2\n3\n4\n"}, {"b.txt", "x\n"}}, {base_.id}, "f1");
    f2_ =
        snapshot({{"a.txt", "1\n2\n3\n4\n"}, {"b.txt", "x\n"}, {"c.txt", "new\n"}}, {f1_.id}, "f2");
    clash_ = snapshot({{"a.txt", "1\n2\n3\n"}, {"b.txt", "z\n"}}, {base_.id}, "clash");
    alone_ = snapshot({{"a.txt", "other\n"}}, {}, "unrelated");
    // The merge base comes in through the second parent only.
    joined_ = snapshot({{"a.txt", "1\n2\n3\n"}, {"b.txt", "x\n"}}, {alone_.id, base_.id}, "j");
  }

  // Pushes every snapshot to alice/<name> with main at main_; returns its id.
  int64_t push_repo(const std::string& name) {
    hub_.create_repo("alice/" + name);
    const std::string base = "/.orrery/alice/" + name + ".orrery/";
    std::vector<StoredObject> objects;
    for (const Snapshot* s : {&base_, &main_, &f1_, &f2_, &clash_, &alone_, &joined_}) {
      objects.insert(objects.end(), s->objects.begin(), s->objects.end());
    }
    EXPECT_EQ(hub_call(hub_, "POST", base + "packs/main", alice_, transfer_stream(objects)).status,
              200);
    EXPECT_EQ(hub_call(hub_, "PUT", base + "refs/main", alice_, main_.id).status, 200);
    return api_call(hub_, "GET", "/repos/by-path/alice/" + name, alice_).json()["id"];
  }

  HubReply open_pull(int64_t repo, const std::string& head, const std::string& token,
                     const std::string& title = "Add four") {
    return api_call(hub_, "POST", "/pull-requests/", token,
                    nlohmann::json({{"head_branch", "feature"},
                                    {"head_sha", head},
                                    {"repository_id", repo},
                                    {"title", title}})
                        .dump());
  }

  std::string root(int64_t repo) const {
    return hub_.data_dir() + "/repos/" + std::to_string(repo) + ".orrery";
  }

  HubProcess hub_;
  std::string alice_, bob_;
  Snapshot base_, main_, f1_, f2_, clash_, alone_, joined_;
};

TEST_F(HubPulls, MergesByEachMethodOnTheHub) {
  const Snapshot merged =
      snapshot({{"a.txt", "1\n2\n3\n4\n"}, {"b.txt", "y\n"}, {"c.txt", "new\n"}}, {}, "");
  for (const std::string method : {"merge", "squash", "rebase"}) {
    const int64_t repo = push_repo("by-" + method);
    HubReply opened = open_pull(repo, f2_.id, alice_);
    ASSERT_EQ(opened.status, 201) << opened.body;
    EXPECT_EQ(opened.json()["state"], "open");
    EXPECT_EQ(opened.json()["base_branch"], "main");
    const std::string merge_path =
        "/pull-requests/" + std::to_string(opened.json()["id"].get<int>()) + "/merge?merge_method=";
    EXPECT_EQ(api_call(hub_, "POST", merge_path + method, bob_).status, 403);
    HubReply done = api_call(hub_, "POST", merge_path + method, alice_);
    ASSERT_EQ(done.status, 200) << method << ": " << done.body;
    EXPECT_EQ(done.json()["state"], "merged");

    Repository stored(root(repo));
    const std::string tip = *read_ref(stored.root, "refs/heads/main");
    EXPECT_EQ(done.json()["merge_sha"], tip);
    Commit commit = *read_commit(stored.objects, tip);
    EXPECT_EQ(commit.tree, merged.tree) << method;
    if (method == "merge") {
      EXPECT_EQ(commit.parents, (std::vector<std::string>{main_.id, f2_.id}));
    } else if (method == "squash") {
      EXPECT_EQ(commit.parents, std::vector<std::string>{main_.id});
    } else {
      Commit first = *read_commit(stored.objects, commit.parents.at(0));
      EXPECT_EQ(commit.message + " " + first.message, "f2 f1");
      EXPECT_EQ(first.parents, std::vector<std::string>{main_.id});
    }
    EXPECT_EQ(api_call(hub_, "POST", merge_path + method, alice_).status, 409);
  }
}

TEST_F(HubPulls, RefusesMergesItCannotMakeAndMovesNothing) {
  const int64_t repo = push_repo("clash");
  struct Case {
    const Snapshot* head;
    std::string method, shown;
  } cases[] = {
      {&clash_, "merge", "b.txt"},  {&clash_, "squash", "b.txt"},   {&clash_, "rebase", "b.txt"},
      {&alone_, "merge", "общего"}, {&joined_, "rebase", "rebase"},
  };
  for (const Case& c : cases) {
    const std::string path =
        "/pull-requests/" +
        std::to_string(open_pull(repo, c.head->id, alice_).json()["id"].get<int>());
    HubReply refused = api_call(hub_, "POST", path + "/merge?merge_method=" + c.method, alice_);
    EXPECT_EQ(refused.status, 409) << c.method;
    EXPECT_NE(refused.body.find(c.shown), std::string::npos) << refused.body;
    EXPECT_EQ(api_call(hub_, "GET", path, alice_).json()["state"], "open");
  }
  EXPECT_EQ(api_call(hub_, "POST", "/pull-requests/1/merge?merge_method=octopus", alice_).status,
            400);
  EXPECT_EQ(read_ref(root(repo), "refs/heads/main"), main_.id);
}

TEST_F(HubPulls, OpensOnlyWhatTheHubHoldsAndShowsItToWhoMaySee) {
  const int64_t repo = push_repo("rules");
  hub_.admin({"repo", "create", "alice/private", "--private"});
  const int64_t hidden = api_call(hub_, "GET", "/repos/by-path/alice/private", alice_).json()["id"];
  const Snapshot absent = snapshot({{"z", "z"}}, {main_.id}, "absent");
  struct Case {
    int64_t repo;
    std::string head;
    const std::string* token;
    std::string title;
    int status;
  } cases[] = {
      {repo, absent.id, &alice_, "t", 422},   {repo, main_.id, &alice_, "t", 422},
      {repo, f2_.id, &alice_, "bell\a", 422}, {repo, f2_.id, &alice_, "", 422},
      {hidden, f2_.id, &bob_, "t", 404},      {repo + 100, f2_.id, &alice_, "t", 404},
      {repo, f2_.id, &bob_, "From bob", 201},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(open_pull(c.repo, c.head, *c.token, c.title).status, c.status) << c.title;
  }
  EXPECT_EQ(api_call(hub_, "POST", "/pull-requests/", alice_, R"({"title":"t"})").status, 400);
  nlohmann::json mine = api_call(hub_, "GET", "/pull-requests/", bob_).json();
  ASSERT_EQ(mine.size(), 1u);
  EXPECT_EQ(mine[0]["title"], "From bob");
  EXPECT_EQ(mine[0]["head_sha"], f2_.id);
  EXPECT_EQ(api_call(hub_, "GET", "/pull-requests/", alice_).json(), mine) << "the owner sees it";
  const std::string path = "/pull-requests/" + std::to_string(mine[0]["id"].get<int>());
  EXPECT_EQ(api_call(hub_, "POST", path + "/close", bob_).json()["state"], "closed");
  EXPECT_EQ(api_call(hub_, "POST", path + "/merge", alice_).status, 409);
}

}  // namespace
}  // namespace testing_support
