#include "net/sync_protocol.h"

#include <gtest/gtest.h>

#include "store/repo.h"
#include "support/repo_builder.h"

using namespace testing_support;

namespace {

TEST(SyncProtocol, AsksForATokenOnlyOffTheLoopback) {
  std::pair<std::string, bool> cases[] = {
      {"https://hub.example/r", true},  {"http://hub.example/r", true},
      {"https://127.0.0.1:9/r", false}, {"http://localhost/r", false},
      {"http://[::1]:80/r", false},     {"/srv/repo", false},
  };
  for (const auto& [url, needed] : cases) EXPECT_EQ(needs_hub_auth(url), needed) << url;
  EXPECT_EQ(sync_base_url("http://h/r/"), "http://h/r/");
  EXPECT_EQ(sync_headers(""), (HttpHeaders{"X-Orrery-Protocol: 1"}));
}

TEST(SyncProtocol, WritesWantHaveAndReadsOnlyWellFormedMissingIds) {
  const std::string a(64, 'a'), b(64, 'b');
  EXPECT_EQ(want_have_document({}, {}), R"({"have":[],"proto":1,"want":[]})");
  EXPECT_EQ(want_have_document({b, a}, {a}),
            R"({"have":[")" + a + R"("],"proto":1,"want":[")" + a + R"(",")" + b + R"("]})");
  std::pair<std::string, std::set<ObjectId>> cases[] = {
      {R"({"missing":[")" + a + R"(",7,"../../x",")" + std::string(64, 'C') + R"("]})", {a}},
      {R"({"missing":")" + a + R"("})", {}},
      {R"([")" + a + R"("])", {}},
      {"not json", {}},
  };
  for (const auto& [body, ids] : cases) EXPECT_EQ(parse_missing_list(body), ids) << body;
}

TEST(CollectReachable, GathersTheHistoryWithoutReadingBlobs) {
  TempDir dir;
  Repository repo(dir.path());
  const ObjectId first = store_commit(repo.objects, store_tree(repo.objects, {{"a/x", "1"}}));
  const ObjectId tree = store_tree(repo.objects, {{"a/x", "1"}, {"y", "2"}});
  const ObjectId second = store_commit(repo.objects, tree, {first, std::string(64, 'e')});
  std::set<ObjectId> all;
  collect_reachable(repo, second, all);
  // Two commits, a missing parent, two root trees, one subtree, two blobs.
  EXPECT_EQ(all.size(), 8u);
  EXPECT_TRUE(all.count(std::string(64, 'e')));
  EXPECT_TRUE(all.count(blob_id("2")));
}

}  // namespace
