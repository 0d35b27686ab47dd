// Load test of orrery-hub on loopback, bounded in requests and in time.
// Starts the hub as a child on a free port with a fresh data directory,
// then, through keep-alive connections:
//
//   reads  16 clients each GET refs/main `--reads` times: requests/s and
//          the latency percentiles;
//   pushes 16 pushers each advance their own branch by `--commits` commits,
//          one pack upload and one guarded ref update per commit;
//   race   all 16 advance one branch `--rounds` times each, each update
//          guarded by the value it read (X-Orrery-Expected-Old): every
//          refusal must be 412, every accepted commit must stay on the
//          branch's first-parent chain, and the chain must hold exactly the
//          accepted commits (no lost update).
//
// With --processes N it starts N hubs on the one data directory (which
// needs --db, a PostgreSQL URL with an empty database) and spreads the
// clients over them round-robin.
//
// Prints "key value" lines; exits 1 when a check fails or the deadline
// (--seconds) passes.
//
//   hub_load --hub build/orrery-hub --dir DIR [--clients 16] [--reads 1000]
//            [--commits 50] [--rounds 10] [--seconds 120] [--db URL]
//            [--processes 1]

#include <httplib.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <map>
#include <mutex>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "store/codec.h"
#include "store/object.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Options {
  std::string hub, dir, db;
  int clients = 16, reads = 1000, commits = 50, rounds = 10, seconds = 120, processes = 1;
};

Options g_options;
Clock::time_point g_deadline;
std::string g_token;
std::vector<int> g_ports;
std::mutex g_codec_mutex;  // the store's codec keeps one context per process

[[noreturn]] void fail(const std::string& why) {
  std::fprintf(stderr, "hub_load: %s\n", why.c_str());
  std::exit(1);
}

void check_deadline() {
  if (Clock::now() > g_deadline) fail("deadline passed");
}

std::string shell_quoted(const std::string& text) { return "'" + text + "'"; }

std::string run_admin(const std::string& args, const std::string& input) {
  const std::string command = shell_quoted(g_options.hub) + " " + args + " --data " +
                              shell_quoted(g_options.dir + "/data") +
                              (g_options.db.empty() ? "" : " --db " + shell_quoted(g_options.db));
  if (!input.empty()) {
    FILE* pipe = popen((command + " >/dev/null").c_str(), "w");
    if (pipe == nullptr) fail("cannot run " + command);
    std::fputs(input.c_str(), pipe);
    if (pclose(pipe) != 0) fail("failed: " + args);
    return {};
  }
  FILE* pipe = popen(command.c_str(), "r");
  std::string out;
  char buffer[256];
  while (pipe != nullptr && std::fgets(buffer, sizeof buffer, pipe)) out += buffer;
  if (pipe == nullptr || pclose(pipe) != 0) fail("failed: " + args);
  return out.substr(0, out.find('\n'));
}

pid_t start_hub(int number) {
  const std::string port_file = g_options.dir + "/port" + std::to_string(number);
  const std::string log = g_options.dir + "/hub" + std::to_string(number) + ".log";
  const std::string data = g_options.dir + "/data";
  const std::string threads = std::to_string(g_options.clients * 2);
  std::vector<const char*> argv{
      g_options.hub.c_str(), "serve",       "--data",          data.c_str(), "--listen",
      "127.0.0.1:0",         "--port-file", port_file.c_str(), "--threads",  threads.c_str()};
  if (!g_options.db.empty()) argv.insert(argv.end(), {"--db", g_options.db.c_str()});
  argv.push_back(nullptr);
  pid_t pid = fork();
  if (pid == 0) {
    if (!std::freopen(log.c_str(), "w", stderr)) _exit(126);
    execv(g_options.hub.c_str(), const_cast<char* const*>(argv.data()));
    _exit(127);
  }
  int port = 0;
  for (int i = 0; i < 500 && port == 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::ifstream in(port_file);
    in >> port;
  }
  if (port == 0) fail("the hub did not start; see " + log);
  g_ports.push_back(port);
  return pid;
}

struct Made {
  std::string id;
  std::string stream;  // transfer stream of the commit, its tree and its blob
};

void append_record(std::string& stream, const std::string& type, const std::string& content,
                   std::string& id) {
  id = object_hash(type, content);
  std::string stored = compress_object(type, content);
  const size_t raw = type.size() + 1 + std::to_string(content.size()).size() + 1 + content.size();
  stream += "F " + id + " " + std::to_string(stored.size()) + " " + std::to_string(raw) + "\n";
  stream += stored;
}

Made make_commit(const std::string& label, const std::string& parent) {
  std::lock_guard lock(g_codec_mutex);
  Made made;
  std::string blob, tree;
  append_record(made.stream, "blob", label, blob);
  append_record(made.stream, "tree", serialize_tree({{"100644", "blob", blob, "f"}}), tree);
  Commit commit{tree, {}, "bench", label, 1700000000};
  if (!parent.empty()) commit.parents.push_back(parent);
  append_record(made.stream, "commit", serialize_commit(commit), made.id);
  return made;
}

httplib::Headers headers(const std::string& expected_old = "") {
  httplib::Headers out{{"Authorization", "Bearer " + g_token}, {"X-Orrery-Protocol", "1"}};
  if (!expected_old.empty()) out.emplace("X-Orrery-Expected-Old", expected_old);
  return out;
}

const std::string k_base = "/.orrery/bench/load.orrery/";

// A client of the hub process `number` picks, round-robin.
std::unique_ptr<httplib::Client> client(int number = 0) {
  auto cli = std::make_unique<httplib::Client>("127.0.0.1", g_ports[number % g_ports.size()]);
  cli->set_keep_alive(true);
  cli->set_tcp_nodelay(true);
  cli->set_read_timeout(30, 0);
  return cli;
}

int push(httplib::Client& cli, const std::string& branch, const Made& made,
         const std::string& expected_old) {
  auto packed =
      cli.Post(k_base + "packs/" + branch, headers(), made.stream, "application/octet-stream");
  if (!packed || packed->status != 200) fail("pack upload to " + branch + " failed");
  auto updated = cli.Put(k_base + "refs/" + branch, headers(expected_old), made.id, "text/plain");
  if (!updated) fail("ref update of " + branch + " got no answer");
  return updated->status;
}

double percentile(std::vector<double> samples, double p) {
  if (samples.empty()) return 0;
  std::sort(samples.begin(), samples.end());
  return samples[std::min(samples.size() - 1, static_cast<size_t>(p * samples.size()))];
}

double ms_since(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Runs body(i) on `count` threads and joins them.
template <typename Body>
void on_threads(int count, Body body) {
  std::vector<std::thread> threads;
  for (int i = 0; i < count; ++i) threads.emplace_back(body, i);
  for (std::thread& t : threads) t.join();
}

void report(const char* phase, const std::vector<double>& latencies, double seconds) {
  std::printf("%s_requests %zu\n%s_per_second %.0f\n%s_p50_ms %.2f\n%s_p99_ms %.2f\n", phase,
              latencies.size(), phase, latencies.size() / seconds, phase,
              percentile(latencies, 0.5), phase, percentile(latencies, 0.99));
}

void read_phase() {
  std::vector<std::vector<double>> per_client(g_options.clients);
  const Clock::time_point start = Clock::now();
  on_threads(g_options.clients, [&](int i) {
    auto cli = client(i);
    for (int n = 0; n < g_options.reads && Clock::now() < g_deadline; ++n) {
      const Clock::time_point sent = Clock::now();
      auto res = cli->Get(k_base + "refs/main", headers());
      if (!res || res->status != 200) fail("GET refs/main failed");
      per_client[i].push_back(ms_since(sent));
    }
  });
  const double seconds = ms_since(start) / 1000;
  check_deadline();
  std::vector<double> all;
  for (const auto& samples : per_client) all.insert(all.end(), samples.begin(), samples.end());
  report("reads", all, seconds);
}

void push_phase(const std::string& base) {
  std::vector<std::vector<double>> per_pusher(g_options.clients);
  const Clock::time_point start = Clock::now();
  on_threads(g_options.clients, [&](int i) {
    auto cli = client(i);
    // Built in two steps: g++ 12 at -O3 warns falsely (-Wrestrict) on "literal" + string.
    std::string branch = "p";
    branch += std::to_string(i);
    std::string tip = base;
    for (int n = 0; n < g_options.commits; ++n) {
      check_deadline();
      Made made = make_commit(branch + "-" + std::to_string(n), tip);
      const Clock::time_point sent = Clock::now();
      if (push(*cli, branch, made, n == 0 ? "" : tip) != 200) fail(branch + " update refused");
      per_pusher[i].push_back(ms_since(sent));
      tip = made.id;
    }
    auto res = cli->Get(k_base + "refs/" + branch, headers());
    if (!res || res->body != tip + "\n") fail(branch + " does not hold its last commit");
  });
  const double seconds = ms_since(start) / 1000;
  std::vector<double> all;
  for (const auto& samples : per_pusher) all.insert(all.end(), samples.begin(), samples.end());
  report("pushes", all, seconds);
}

std::string parent_of(httplib::Client& cli, const std::string& id) {
  auto res = cli.Get(k_base + "objects/" + id, headers());
  if (!res || res->status != 200) fail("commit " + id + " is not on the hub");
  std::string raw = zlib_decompress(res->body);
  Commit commit = parse_commit(std::string_view(raw).substr(raw.find('\0') + 1));
  return commit.parents.empty() ? "" : commit.parents.front();
}

void race_phase(const std::string& base) {
  auto cli = client();
  if (push(*cli, "race", make_commit("race base", base), "") != 200) fail("race base refused");
  const std::string start_tip = cli->Get(k_base + "refs/race", headers())->body.substr(0, 64);
  std::mutex mutex;
  std::set<std::string> accepted;
  std::map<int, int> statuses;
  on_threads(g_options.clients, [&](int i) {
    auto own = client(i);
    for (int n = 0; n < g_options.rounds; ++n) {
      check_deadline();
      auto current = own->Get(k_base + "refs/race", headers());
      if (!current || current->status != 200) fail("GET refs/race failed");
      const std::string seen = current->body.substr(0, 64);
      Made made = make_commit("race " + std::to_string(i) + "-" + std::to_string(n), seen);
      const int status = push(*own, "race", made, seen);
      std::lock_guard lock(mutex);
      ++statuses[status];
      if (status == 200) accepted.insert(made.id);
    }
  });
  std::string tip = cli->Get(k_base + "refs/race", headers())->body.substr(0, 64);
  size_t chain = 0, lost = accepted.size();
  for (; tip != start_tip && !tip.empty(); tip = parent_of(*cli, tip)) {
    ++chain;
    lost -= accepted.count(tip);
  }
  const int other =
      static_cast<int>(accepted.size() + statuses[412]) - g_options.clients * g_options.rounds;
  std::printf("race_accepted %zu\nrace_refused_412 %d\nrace_other %d\nrace_lost %zu\n",
              accepted.size(), statuses[412], -other, lost);
  if (other != 0 || lost != 0 || chain != accepted.size()) fail("the race lost or misanswered");
}

Options parse_options(int argc, char** argv) {
  Options options;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string name = argv[i], value = argv[i + 1];
    if (name == "--hub")
      options.hub = value;
    else if (name == "--dir")
      options.dir = value;
    else if (name == "--clients")
      options.clients = std::stoi(value);
    else if (name == "--reads")
      options.reads = std::stoi(value);
    else if (name == "--commits")
      options.commits = std::stoi(value);
    else if (name == "--rounds")
      options.rounds = std::stoi(value);
    else if (name == "--seconds")
      options.seconds = std::stoi(value);
    else if (name == "--db")
      options.db = value;
    else if (name == "--processes")
      options.processes = std::stoi(value);
    else
      fail("unknown option " + name);
  }
  if (options.hub.empty() || options.dir.empty()) fail("usage: hub_load --hub PATH --dir DIR");
  if (options.processes < 1 || (options.processes > 1 && options.db.empty())) {
    fail("several hub processes need --db, a shared PostgreSQL database");
  }
  return options;
}

}  // namespace

int main(int argc, char** argv) {
  g_options = parse_options(argc, argv);
  g_deadline = Clock::now() + std::chrono::seconds(g_options.seconds);
  run_admin("user add bench --password-stdin", "bench\n");
  g_token = run_admin("token create bench", "");
  std::vector<pid_t> hubs;
  for (int i = 0; i < g_options.processes; ++i) hubs.push_back(start_hub(i));
  {
    auto cli = client();
    Made base = make_commit("base", "");
    if (push(*cli, "main", base, "") != 200) fail("the first push was refused");
    read_phase();
    push_phase(base.id);
    race_phase(base.id);
  }
  for (pid_t hub : hubs) {
    kill(hub, SIGTERM);
    int status = 0;
    waitpid(hub, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) fail("the hub did not stop cleanly");
  }
  return 0;
}
