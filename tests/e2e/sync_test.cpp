#include <sstream>

#include "pack/transfer.h"
#include "support/http_stub.h"
#include "support/hub_process.h"
#include "support/repo_builder.h"

using namespace testing_support;

namespace {

using Fault = std::function<std::optional<StubReply>(const StubRequest&)>;

const std::string k_repo = "/.orrery/alice/proj.orrery";

bool ends_with(const std::string& text, const std::string& suffix) {
  return text.size() >= suffix.size() &&
         text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// A stub in front of the hub that records every request and forwards it,
// unless `fault` answers it first: a broken or lying server on demand.
class Front {
 public:
  Front(const HubProcess& hub, Fault fault = {}) : port_(hub.port()), fault_(std::move(fault)) {}

  std::string url() const { return stub_.url() + k_repo; }
  std::vector<std::string> requests() const {
    std::vector<std::string> out;
    for (const StubRequest& r : stub_.requests()) out.push_back(r.method + " " + last(r.path));
    return out;
  }
  StubRequest last_request() const { return stub_.requests().back(); }

 private:
  // The request path below the repository's URL.
  static std::string last(const std::string& path) { return path.substr(k_repo.size() + 1); }

  int port_;
  Fault fault_;
  StubServer stub_{[this](const StubRequest& request) {
    if (fault_) {
      if (std::optional<StubReply> reply = fault_(request)) return *reply;
    }
    return forward_request(port_, request);
  }};
};

// Every loose object of a repository: id to stored bytes.
std::map<std::string, std::string> loose_objects(const std::string& root) {
  std::map<std::string, std::string> objects;
  const std::string dir = root + "/.orrery/objects";
  for (const std::string& file : list_files(dir)) {
    objects[file.substr(0, 2) + file.substr(3)] = read_text(dir + "/" + file);
  }
  return objects;
}

// The error report of `message`, with "{url}" standing for the remote's URL.
std::string error_report(std::string message, const std::string& url) {
  if (size_t at = message.find("{url}"); at != std::string::npos) message.replace(at, 5, url);
  return "orrery: ошибка: " + message + "\n";
}

class SyncTest : public OrreryTest {
 protected:
  void SetUp() override {
    for (const std::string& repo : {source, target}) {
      ASSERT_EQ(run_orrery({"init", repo}, {dir.path(), "", {}}).code, 0);
    }
  }

  RunResult in(const std::string& repo, const std::vector<std::string>& args) {
    return run_orrery(args, {repo, "", {}});
  }
  void set_origin(const std::string& repo, const std::string& url) {
    write_text(repo + "/.orrery/config", "[remote \"origin\"]\nurl = " + url + "\n\n");
  }
  ObjectId commit_in_source(int files, const std::string& message) {
    FileSet set;
    for (int i = 0; i < files; ++i) set[concat("d", i % 7, "/f", i)] = concat(message, i);
    return commit_snapshot(source, set, message);
  }
  std::string tracking(const std::string& repo) {
    return read_ref(repo, "refs/remotes/origin/main").value_or("");
  }

  const std::string source = dir / "a";
  const std::string target = dir / "b";
  HubProcess hub;
  ScopedEnv env{{{"ORRERY_HTTP_RETRY_BASE_MS", "50"},
                 {"ORRERY_TOKEN", hub.add_user("alice")},
                 {"XDG_CONFIG_HOME", dir / "config"},
                 {"ORRERY_HUB_URL", "https://hub.test"}}};
};

TEST_F(SyncTest, RoundTripsThroughTheHub) {
  Front front(hub);
  const std::string url = front.url();
  set_origin(source, url);
  set_origin(target, url);
  const ObjectId first = commit_in_source(20, "one");
  EXPECT_RUN(in(source, {"push"}), 0, "Отправлено main на " + url + "\n", "");
  EXPECT_EQ(front.requests(),
            (std::vector<std::string>{"POST negotiate", "POST packs/main", "PUT refs/main"}));
  StubRequest update = front.last_request();
  EXPECT_EQ(update.body, first);
  EXPECT_EQ(update.header("X-Orrery-Protocol"), "1");
  EXPECT_EQ(update.header("X-Orrery-Expected-Old"), "");
  EXPECT_EQ(update.header("Authorization"), "Bearer " + std::string(std::getenv("ORRERY_TOKEN")));
  EXPECT_RUN(in(target, {"fetch"}), 0, "Скачано main с " + url + "\n", "");
  EXPECT_EQ(loose_objects(target), loose_objects(source));

  // The target builds on what it fetched; the source moves the hub ahead.
  update_ref(Repository(target), "refs/heads/main", first);
  const ObjectId ahead = commit_in_source(25, "two");
  const std::string head_log = read_text(source + "/.orrery/logs/HEAD");
  EXPECT_EQ(in(source, {"push"}).code, 0);
  EXPECT_EQ(front.last_request().header("X-Orrery-Expected-Old"), first);
  EXPECT_EQ(read_text(source + "/.orrery/logs/HEAD"), head_log) << "HEAD did not move";
  EXPECT_EQ(tracking(source), ahead);
  commit_snapshot(target, {{"x", "mine"}}, "mine");
  EXPECT_RUN(in(target, {"push"}), 1, "",
             "orrery: ошибка: push rejected (non-fast-forward / expected-old mismatch)\n"
             "  подсказка: сделай orrery fetch и интегрируй изменения (merge/rebase), либо "
             "повтори с --force-with-lease / --force\n");
  EXPECT_EQ(tracking(target), first);

  EXPECT_EQ(in(target, {"fetch"}).code, 0);
  EXPECT_EQ(tracking(target), ahead);
  for (const auto& [id, stored] : loose_objects(source)) {
    EXPECT_EQ(read_text(target + "/.orrery/objects/" + id.substr(0, 2) + "/" + id.substr(2)),
              stored);
  }
  // Nothing new: the tracking reference already names the remote commit.
  const size_t before = front.requests().size();
  EXPECT_EQ(in(target, {"fetch"}).code, 0);
  EXPECT_EQ(front.requests().size(), before + 1);
}

TEST_F(SyncTest, FetchFallsBackToSingleObjects) {
  const ObjectId head = commit_in_source(12, "one");
  EXPECT_EQ(in(source, {"push", Front(hub).url()}).code, 0);
  Front front(hub, [](const StubRequest& r) -> std::optional<StubReply> {
    if (r.path.find("/packs") != std::string::npos) return StubReply{404};
    return std::nullopt;
  });
  EXPECT_RUN(in(target, {"fetch", front.url()}), 0, "Скачано main с " + front.url() + "\n", "");
  EXPECT_EQ(tracking(target), head);
  EXPECT_EQ(loose_objects(target), loose_objects(source));
  EXPECT_EQ(front.requests().size(), 3 + loose_objects(source).size());
}

TEST_F(SyncTest, ADishonestServerLeavesNothingBehind) {
  commit_in_source(3, "one");
  EXPECT_EQ(in(source, {"push", Front(hub).url()}).code, 0);
  const std::map<std::string, std::string> objects = loose_objects(source);
  const std::string blob = blob_id("one0"), wrong = objects.at(blob_id("one1"));
  auto pack = [&](const std::string& left_out, const std::string& replaced) {
    std::string out;
    for (const auto& [id, stored] : objects) {
      if (id != left_out) append_transfer_record(out, id, id == replaced ? wrong : stored, 0);
    }
    return out;
  };
  const std::string whole = pack("", "");
  // Packed only, so a record for it would become a loose file hiding the pack's.
  write_object(Repository(target).objects, "blob", "one0");
  ASSERT_EQ(in(target, {"gc"}).code, 0);
  struct Case {
    std::string name;
    std::string path;  // the request answered with `reply`; packs fail for the others
    StubReply reply;
    std::string error;
  } cases[] = {
      {"ref is a path",
       "refs/main",
       {200, "../../../etc/passwd\n"},
       "не удалось получить ref\n  подсказка: GET {url}/refs/main — в ответе нет id коммита"},
      {"mismatching record", "packs", {200, pack("", blob)}, "не удалось распаковать pack"},
      {"truncated stream",
       "packs",
       {200, whole.substr(0, whole.size() - 5)},
       "не удалось распаковать pack"},
      {"non-hex record id", "packs", {200, "F ../../x 3 3\nabc"}, "не удалось распаковать pack"},
      {"pack lacks a blob",
       "packs",
       {200, pack(blob_id("one2"), "")},
       "не удалось получить объект " + blob_id("one2") +
           "\n  подсказка: его нет ни в pack, ни в репозитории"},
      {"mismatching object",
       "objects/" + blob,
       {200, wrong},
       "не удалось получить объект " + blob +
           "\n  подсказка: содержимое не соответствует id объекта"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Front front(hub, [&](const StubRequest& r) -> std::optional<StubReply> {
      if (ends_with(r.path, "/" + c.path)) return c.reply;
      if (r.path.find("/packs") != std::string::npos) return StubReply{404};
      return std::nullopt;
    });
    EXPECT_RUN(in(target, {"fetch", front.url()}), 1, "", error_report(c.error, front.url()));
    EXPECT_EQ(loose_objects(target).size(), 0u);
    EXPECT_EQ(tracking(target), "");
  }
}

TEST_F(SyncTest, PushFallsBackToOnePutPerObject) {
  Front front(hub, [](const StubRequest& r) -> std::optional<StubReply> {
    if (r.method == "POST" && ends_with(r.path, "/packs/main")) return StubReply{500};
    return std::nullopt;
  });
  commit_in_source(10, "many");
  EXPECT_EQ(in(source, {"push", front.url()}).code, 0);
  EXPECT_EQ(front.requests().size(), 3 + loose_objects(source).size());
  EXPECT_EQ(in(target, {"fetch", front.url()}).code, 0);
  EXPECT_EQ(loose_objects(target), loose_objects(source));
}

TEST_F(SyncTest, PushAfterGcSendsThePackedObjectsToo) {
  const ObjectId head = commit_in_source(3, "one");
  ASSERT_EQ(in(source, {"gc"}).code, 0);
  const std::string url = hub.repo_url("alice", "proj");
  EXPECT_RUN(in(source, {"push", url}), 0, "Отправлено main на " + url + "\n", "");
  EXPECT_EQ(in(target, {"fetch", url}).code, 0);
  EXPECT_EQ(tracking(target), head);
}

TEST_F(SyncTest, PushReportsAFailedBranchUpdateAndHonoursTheLease) {
  Front front(hub, [](const StubRequest& r) -> std::optional<StubReply> {
    if (r.method == "PUT" && ends_with(r.path, "/refs/main")) return StubReply{500};
    return std::nullopt;
  });
  const ObjectId head = commit_in_source(2, "one");
  EXPECT_RUN(in(source, {"push", front.url()}), 1, "",
             error_report("не удалось обновить ref на удалённом\n  подсказка: PUT {url}/refs/main "
                          "— HTTP 500",
                          front.url()));
  EXPECT_RUN(in(source, {"push", "--force-with-lease", Front(hub).url()}), 1, "",
             "orrery: ошибка: push --force-with-lease: нет local remote-tracking "
             "refs/remotes/origin/main\n  подсказка: сначала сделай orrery fetch, либо используй "
             "--force (без lease)\n");
  EXPECT_EQ(tracking(source), "");
  Front plain(hub);
  EXPECT_EQ(in(source, {"push", "-u", plain.url()}).code, 0);
  EXPECT_EQ(read_text(source + "/.orrery/config"),
            "[remote \"origin\"]\nurl = " + plain.url() +
                "\n\n[branch \"main\"]\nupstream.remote = origin\nupstream.branch = main\n\n");
  EXPECT_EQ(tracking(source), head);
  EXPECT_EQ(in(source, {"push", "-f"}).code, 0);
  EXPECT_EQ(plain.last_request().header("X-Orrery-Expected-Old"), "");
}

TEST_F(SyncTest, AHubRemoteNeedsALoginBeforeAnyRequest) {
  commit_in_source(1, "one");
  ScopedEnv no_token({{"ORRERY_TOKEN", k_unset}});
  const std::string expected =
      "orrery: ошибка: нет авторизации для Orrery Hub\n"
      "  подсказка: выполни orrery login (OAuth device flow на hub.test)\n";
  EXPECT_RUN(in(target, {"fetch", "https://hub.example/r"}), 1, "", expected);
  EXPECT_RUN(in(source, {"push", "https://hub.example/r"}), 1, "", expected);
}

}  // namespace
