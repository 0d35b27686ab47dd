#include <chrono>
#include <mutex>
#include <nlohmann/json.hpp>
#include <sstream>

#include "pack/transfer.h"
#include "support/http_stub.h"
#include "support/hub_process.h"
#include "support/repo_builder.h"

using namespace testing_support;

namespace {

using Fault = std::function<std::optional<StubReply>(const StubRequest&)>;

// An honest sync server over an in-memory store; `fault` may answer any
// request first, to stage a broken or lying server.
class FakeRemote {
 public:
  explicit FakeRemote(Fault fault = {}) : fault_(std::move(fault)) {}

  std::string url() const { return server_.url() + "/r"; }
  std::vector<StubRequest> requests() const { return server_.requests(); }
  std::map<std::string, std::string> objects() {
    std::lock_guard<std::mutex> lock(mutex_);
    return objects_;
  }
  std::string ref(const std::string& branch) {
    std::lock_guard<std::mutex> lock(mutex_);
    return refs_[branch];
  }
  void seed(const std::map<std::string, std::string>& objects, const std::string& head) {
    std::lock_guard<std::mutex> lock(mutex_);
    objects_ = objects;
    refs_["main"] = head;
  }

 private:
  std::string stream(const std::set<std::string>& except) {
    std::string out;
    for (const auto& [id, stored] : objects_) {
      if (!except.count(id)) append_transfer_record(out, id, stored, 0);
    }
    return out;
  }

  StubReply answer(const StubRequest& request) {
    if (fault_) {
      if (std::optional<StubReply> reply = fault_(request)) return *reply;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    const std::string path = request.path.substr(3), method = request.method;
    auto name = [&](const std::string& prefix) {
      return path.rfind(prefix, 0) == 0 ? path.substr(prefix.size()) : "";
    };
    if (method == "GET" && !name("refs/").empty()) {
      auto it = refs_.find(name("refs/"));
      return it == refs_.end() ? StubReply{404} : StubReply{200, it->second + "\n"};
    }
    if (method == "PUT" && !name("refs/").empty()) {
      std::string expected = request.header("X-Orrery-Expected-Old");
      if (!expected.empty() && expected != refs_[name("refs/")]) return {412};
      refs_[name("refs/")] = request.body;
      return {200};
    }
    if (method == "GET" && objects_.count(name("objects/")))
      return {200, objects_[name("objects/")]};
    if (method == "PUT" && !name("objects/").empty()) objects_[name("objects/")] = request.body;
    if (method == "POST" && !name("packs/").empty()) {
      std::optional<std::vector<TransferRecord>> records = parse_transfer_stream(request.body);
      if (!records) return {400};
      for (const TransferRecord& record : *records)
        objects_[std::string(record.id)] = record.stored;
    }
    if (method == "GET" && !name("packs/").empty()) return {200, stream({})};
    const nlohmann::json document = nlohmann::json::parse(request.body, nullptr, false);
    if (path == "packs") return {200, stream(document["have"].get<std::set<std::string>>())};
    if (path == "negotiate") {
      nlohmann::json missing = nlohmann::json::array();
      for (const std::string id : document["want"]) {
        if (!objects_.count(id)) missing.push_back(id);
      }
      return {200, nlohmann::json{{"missing", missing}}.dump()};
    }
    return {method == "GET" ? 404 : 200};
  }

  Fault fault_;
  std::mutex mutex_;
  std::map<std::string, std::string> objects_;
  std::map<std::string, std::string> refs_;
  StubServer server_{[this](const StubRequest& request) { return answer(request); }};
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

// The error report of `message` with "{url}" standing for the remote's URL.
std::string error_report(std::string message, const std::string& url) {
  if (size_t at = message.find("{url}"); at != std::string::npos) message.replace(at, 5, url);
  return "orrery: ошибка: " + message + "\n";
}

std::vector<std::string> methods_and_paths(const std::vector<StubRequest>& requests) {
  std::vector<std::string> out;
  for (const StubRequest& r : requests) out.push_back(r.method + " " + r.path);
  return out;
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
    for (int i = 0; i < files; ++i)
      set["d" + std::to_string(i % 7) + "/f" + std::to_string(i)] = message + std::to_string(i);
    return commit_snapshot(source, set, message);
  }
  std::string tracking(const std::string& repo) {
    return read_ref(repo, "refs/remotes/origin/main").value_or("");
  }

  const std::string source = dir / "a";
  const std::string target = dir / "b";
  ScopedEnv env{{{"ORRERY_HTTP_RETRY_BASE_MS", "50"},
                 {"ORRERY_TOKEN", k_unset},
                 {"XDG_CONFIG_HOME", dir / "config"},
                 {"ORRERY_HUB_URL", "https://hub.test"}}};
};

TEST_F(SyncTest, PushThenFetchCarriesTheHistoryByteForByte) {
  FakeRemote remote;
  set_origin(source, remote.url());
  const ObjectId first = commit_in_source(20, "one");
  EXPECT_RUN(in(source, {"push"}), 0, "Отправлено main на " + remote.url() + "\n", "");
  EXPECT_EQ(
      methods_and_paths(remote.requests()),
      (std::vector<std::string>{"POST /r/negotiate", "POST /r/packs/main", "PUT /r/refs/main"}));
  const StubRequest update = remote.requests().back();
  EXPECT_EQ(update.body, first);
  EXPECT_EQ(update.header("X-Orrery-Protocol"), "1");
  EXPECT_EQ(update.header("X-Orrery-Expected-Old"), "");
  EXPECT_EQ(update.header("Authorization"), "");
  EXPECT_EQ(tracking(source), first);

  const ObjectId second = commit_in_source(30, "two");
  ScopedEnv token({{"ORRERY_TOKEN", "tok"}});
  EXPECT_EQ(in(source, {"push"}).code, 0);
  EXPECT_EQ(remote.requests().back().header("X-Orrery-Expected-Old"), first);
  EXPECT_EQ(remote.requests().back().header("Authorization"), "Bearer tok");
  EXPECT_EQ(remote.ref("main"), second);
  EXPECT_EQ(remote.objects(), loose_objects(source));

  EXPECT_RUN(in(target, {"fetch", remote.url()}), 0, "Скачано main с " + remote.url() + "\n", "");
  EXPECT_EQ(tracking(target), second);
  EXPECT_EQ(loose_objects(target), loose_objects(source));
  EXPECT_FALSE(testing_support::path_exists(target + "/.orrery/logs/HEAD"));
}

TEST_F(SyncTest, FetchFallsBackToSingleObjects) {
  FakeRemote remote([](const StubRequest& r) -> std::optional<StubReply> {
    if (r.path == "/r/packs" || r.path == "/r/packs/main") return StubReply{404};
    return std::nullopt;
  });
  const ObjectId head = commit_in_source(12, "one");
  remote.seed(loose_objects(source), head);
  EXPECT_RUN(in(target, {"fetch", remote.url()}), 0, "Скачано main с " + remote.url() + "\n", "");
  EXPECT_EQ(loose_objects(target), loose_objects(source));
  EXPECT_EQ(remote.requests().size(), 3 + loose_objects(source).size());
}

TEST_F(SyncTest, ADishonestServerLeavesNothingBehind) {
  const ObjectId head = commit_in_source(3, "one");
  const std::map<std::string, std::string> objects = loose_objects(source);
  const std::string blob = blob_id("one0"), good = objects.at(blob);
  const std::string wrong = objects.at(blob_id("one1"));
  std::string whole;
  for (const auto& [id, stored] : objects) append_transfer_record(whole, id, stored, 0);
  auto pack_without = [&](const std::string& left_out, const std::string& replaced = "") {
    std::string out;
    for (const auto& [id, stored] : objects) {
      if (id != left_out) append_transfer_record(out, id, id == replaced ? wrong : stored, 0);
    }
    return out;
  };
  struct Case {
    std::string name;
    std::string path;  // the request answered with `reply`
    StubReply reply;
    std::string error;
  } cases[] = {
      {"ref is a path",
       "/r/refs/main",
       {200, "../../../etc/passwd\n"},
       "не удалось получить ref\n  подсказка: GET {url}/refs/main — в ответе нет id коммита"},
      {"mismatching record",
       "/r/packs",
       {200, pack_without("", blob)},
       "не удалось распаковать pack"},
      {"truncated stream",
       "/r/packs",
       {200, whole.substr(0, whole.size() - 5)},
       "не удалось распаковать pack"},
      {"non-hex record id", "/r/packs", {200, "F ../../x 3 3\nabc"}, "не удалось распаковать pack"},
      {"pack lacks a blob",
       "/r/packs",
       {200, pack_without(blob)},
       "не удалось получить объект " + blob + "\n  подсказка: его нет ни в pack, ни в репозитории"},
      {"mismatching object",
       "/r/objects/" + blob,
       {200, wrong},
       "не удалось получить объект " + blob +
           "\n  подсказка: содержимое не соответствует id объекта"},
  };
  for (const Case& c : cases) {
    FakeRemote remote([&](const StubRequest& r) -> std::optional<StubReply> {
      if (r.path == c.path) return c.reply;
      if (c.path.find("objects") != std::string::npos && r.path.find("pack") != std::string::npos) {
        return StubReply{404};
      }
      return std::nullopt;
    });
    remote.seed(objects, head);
    SCOPED_TRACE(c.name);
    EXPECT_RUN(in(target, {"fetch", remote.url()}), 1, "", error_report(c.error, remote.url()));
    EXPECT_EQ(loose_objects(target).size(), 0u);
    EXPECT_EQ(tracking(target), "");
  }
}

TEST_F(SyncTest, PushFallsBackToOneQuickPutPerObject) {
  FakeRemote remote([](const StubRequest& r) -> std::optional<StubReply> {
    if (r.path == "/r/packs/main") return StubReply{500};
    return std::nullopt;
  });
  commit_in_source(120, "many");
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(in(source, {"push", remote.url()}).code, 0);
  // An unanswered "Expect: 100-continue" would cost a second per PUT.
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_EQ(remote.objects(), loose_objects(source));
  EXPECT_EQ(remote.requests().size(), 3 + loose_objects(source).size());
}

TEST_F(SyncTest, PushReportsARefusedBranchUpdate) {
  std::pair<int, std::string> cases[] = {
      {412,
       "push rejected (non-fast-forward / expected-old mismatch)\n  подсказка: сделай orrery fetch "
       "и интегрируй изменения (merge/rebase), либо повтори с --force-with-lease / --force"},
      {500, "не удалось обновить ref на удалённом\n  подсказка: PUT {url}/refs/main — HTTP 500"},
  };
  commit_in_source(2, "one");
  for (const auto& [status, message] : cases) {
    FakeRemote remote([status = status](const StubRequest& r) -> std::optional<StubReply> {
      if (r.method == "PUT" && r.path == "/r/refs/main") return StubReply{status};
      return std::nullopt;
    });
    EXPECT_RUN(in(source, {"push", remote.url()}), 1, "", error_report(message, remote.url()));
    EXPECT_EQ(tracking(source), "");
  }
}

TEST_F(SyncTest, PushRecordsTheUpstreamAndHonoursTheLease) {
  FakeRemote remote;
  const ObjectId head = commit_in_source(2, "one");
  EXPECT_RUN(in(source, {"push", "--force-with-lease", remote.url()}), 1, "",
             "orrery: ошибка: push --force-with-lease: нет local remote-tracking "
             "refs/remotes/origin/main\n  подсказка: сначала сделай orrery fetch, либо используй "
             "--force (без lease)\n");
  EXPECT_EQ(remote.ref("main"), "");
  EXPECT_EQ(in(source, {"push", "-u", remote.url()}).code, 0);
  EXPECT_EQ(read_text(source + "/.orrery/config"),
            "[remote \"origin\"]\nurl = " + remote.url() +
                "\n\n[branch \"main\"]\nupstream.remote = origin\nupstream.branch = main\n\n");
  EXPECT_EQ(tracking(source), head);
  EXPECT_EQ(in(source, {"push", "-f"}).code, 0);
  EXPECT_EQ(remote.requests().back().header("X-Orrery-Expected-Old"), "");
}

TEST_F(SyncTest, AHubRemoteNeedsALoginBeforeAnyRequest) {
  commit_in_source(1, "one");
  const std::string expected =
      "orrery: ошибка: нет авторизации для Orrery Hub\n"
      "  подсказка: выполни orrery login (OAuth device flow на hub.test)\n";
  EXPECT_RUN(in(target, {"fetch", "https://hub.example/r"}), 1, "", expected);
  EXPECT_RUN(in(source, {"push", "https://hub.example/r"}), 1, "", expected);
}

// The requests of the hub's access log, as "METHOD path" lines.
std::vector<std::string> logged_requests(const HubProcess& hub) {
  std::vector<std::string> out;
  std::istringstream log(read_text(hub.log_path()));
  for (std::string line; std::getline(log, line);) {
    size_t open = line.find('"'), close = line.find('"', open + 1);
    if (open != std::string::npos && close != std::string::npos) {
      out.push_back(line.substr(open + 1, close - open - 1));
    }
  }
  return out;
}

TEST_F(SyncTest, RoundTripsThroughTheHub) {
  HubProcess hub;
  ScopedEnv token({{"ORRERY_TOKEN", hub.add_user("alice")}});
  const std::string url = hub.repo_url("alice", "proj");
  set_origin(source, url);
  set_origin(target, url);
  commit_in_source(40, "one");
  EXPECT_RUN(in(source, {"push"}), 0, "Отправлено main на " + url + "\n", "");
  EXPECT_RUN(in(target, {"fetch"}), 0, "Скачано main с " + url + "\n", "");
  EXPECT_EQ(loose_objects(target), loose_objects(source));

  // The target builds on what it fetched; the source moves the hub ahead.
  const ObjectId fetched = tracking(target);
  update_ref(Repository(target), "refs/heads/main", fetched);
  const ObjectId ahead = commit_in_source(45, "two");
  const std::string head_log = read_text(source + "/.orrery/logs/HEAD");
  EXPECT_EQ(in(source, {"push"}).code, 0);
  EXPECT_EQ(read_text(source + "/.orrery/logs/HEAD"), head_log) << "HEAD did not move";
  EXPECT_EQ(tracking(source), ahead);
  const ObjectId diverged = commit_snapshot(target, {{"x", "mine"}}, "mine");
  EXPECT_RUN(in(target, {"push"}), 1, "",
             "orrery: ошибка: push rejected (non-fast-forward / expected-old mismatch)\n"
             "  подсказка: сделай orrery fetch и интегрируй изменения (merge/rebase), либо "
             "повтори с --force-with-lease / --force\n");
  EXPECT_EQ(tracking(target), fetched);

  EXPECT_EQ(in(target, {"fetch"}).code, 0);
  EXPECT_EQ(tracking(target), ahead);
  for (const auto& [id, stored] : loose_objects(source)) {
    EXPECT_EQ(read_text(target + "/.orrery/objects/" + id.substr(0, 2) + "/" + id.substr(2)),
              stored);
  }
  // Nothing new: the pack request answers an empty stream and ends the fetch.
  const size_t before = logged_requests(hub).size();
  EXPECT_EQ(in(target, {"fetch"}).code, 0);
  std::vector<std::string> noop = logged_requests(hub);
  noop.erase(noop.begin(), noop.begin() + before);
  EXPECT_EQ(noop, (std::vector<std::string>{"GET /.orrery/alice/proj.orrery/refs/main",
                                            "POST /.orrery/alice/proj.orrery/packs"}));
  EXPECT_EQ(branch_tip(target), diverged);
}

}  // namespace
