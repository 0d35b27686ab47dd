#include "net/clone.h"

#include <filesystem>
#include <iostream>
#include <regex>
#include <stdexcept>

#include "cli/command_error.h"
#include "cli/help.h"
#include "net/fetch.h"
#include "net/hub_url.h"
#include "net/internal/local_clone.h"
#include "net/internal/sync_target.h"
#include "store/config.h"
#include "store/fs.h"
#include "store/index.h"
#include "store/object.h"
#include "store/refs.h"
#include "store/repo.h"
#include "store/tree_walk.h"
#include "util/text.h"
#include "worktree/checkout.h"
#include "worktree/working_stat.h"

namespace {

// The text after the source's last "/" or ":", else the whole source; a
// source ending in either gets "orrery-repo".
std::string derive_destination(const std::string& source) {
  const size_t cut = source.find_last_of("/:");
  std::string name = cut == std::string::npos ? source : source.substr(cut + 1);
  return name.empty() ? "orrery-repo" : name;
}

unsigned parse_port(const std::string& digits) {
  if (digits.size() > 5 || std::stoul(digits) > 65535) {
    throw std::runtime_error("SSH port out of range: " + digits);
  }
  return static_cast<unsigned>(std::stoul(digits));
}

// The new repository's HEAD names the branch before fetch runs, so the
// branch created from the fetched commit is HEAD's and the checkout that
// follows records no previous branch.
void prepare_repository(const Repository& repo, const CloneOptions& opts) {
  create_repository(repo);
  set_head_symbolic(repo, "refs/heads/" + opts.branch);
  RepoConfig config = load_config(repo);
  config.remotes["origin"].url = opts.source;
  if (!config.upstream_remote) config.upstream_remote = "origin";
  if (!config.upstream_branch) config.upstream_branch = opts.branch;
  save_config(repo, config);
}

// A new repository has no index; checkout does not write one. Recording the
// files just written, with their stat, makes the fresh clone clean for
// status and lets the next checkout skip the files it did not change.
void record_checked_out_files(const Repository& repo, const ObjectId& commit) {
  PathMap files;
  if (std::optional<Commit> parsed = read_commit(repo.objects, commit)) {
    flatten_tree(repo.objects, parsed->tree, "", files);
  }
  Index index;
  for (const auto& [path, id] : files) {
    const WorkingStat stat = stat_working_file(repo.root + "/" + path);
    index.emplace_hint(index.end(), path, IndexEntry{id, stat.size, stat.mtime, stat.mode});
  }
  save_index(repo, index);
}

// The fetched branch checked out in the new repository as `orrery checkout
// <branch>` would there, its files recorded in the index.
CheckoutResult check_out_clone(const Repository& repo, const CloneOptions& opts,
                               const ObjectId& commit) {
  Parsed<CheckoutOptions> parsed = parse_checkout_args({opts.branch});
  if (const ArgError* error = std::get_if<ArgError>(&parsed)) throw CommandError(*error);
  CheckoutResult checkout = do_checkout(repo, std::get<CheckoutOptions>(parsed));
  record_checked_out_files(repo, commit);
  return checkout;
}

}  // namespace

std::optional<SshTarget> parse_ssh_source(const std::string& source) {
  static const std::regex k_url(R"((?:(.*?)@)?([^:/]+)(?::(\d+))?/(.*))");
  static const std::regex k_scp(R"((?:(.*?)@)?([^:]+):(.*))");
  std::smatch match;
  if (source.rfind("ssh://", 0) == 0) {
    const std::string rest = source.substr(6);
    if (!std::regex_match(rest, match, k_url)) return std::nullopt;
    SshTarget target{match[1], match[2], 22, "/" + match[4].str()};
    if (match[3].matched) target.port = parse_port(match[3]);
    return target;
  }
  if (!std::regex_match(source, match, k_scp)) return std::nullopt;
  return SshTarget{match[1], match[2], 22, match[3].length() ? match[3].str() : "."};
}

Parsed<CloneOptions> parse_clone_args(const Args& args) {
  if (args.empty()) return help_error("clone");
  CloneOptions opts;
  opts.source = args[0];
  opts.destination = args.size() > 1 ? args[1] : derive_destination(opts.source);
  if (args.size() > 2) opts.branch = args[2];
  // A derived "." or ".." would put the clone over the folder it runs in.
  if (args.size() < 2 && (opts.destination == "." || opts.destination == "..")) {
    return ArgError{"папка назначения внутри источника: " + opts.destination, ""};
  }
  // The branch becomes a reference file and a configuration line.
  if (std::optional<ArgError> bad = check_tracking_names("origin", opts.branch)) return *bad;
  if (is_http_url(opts.source)) {
    opts.kind = CloneSource::http;
  } else if (parse_ssh_source(opts.source)) {
    return ArgError{"orrery собран без libssh2: клонирование по SSH недоступно",
                    "собери с HAVE_LIBSSH2 / libssh2 или используй URL https:// для Orrery Hub"};
  }
  return opts;
}

CloneResult do_clone(const CloneOptions& opts, Progress& progress, const CloneEvents& events) {
  CloneResult result;
  if (opts.kind == CloneSource::local) {
    clone_local(opts.source, opts.destination, opts.branch, progress, result.warnings);
    return result;
  }
  // Creating the repository would rewrite an existing one's HEAD.
  if (is_initialized(opts.destination)) {
    throw CommandError("репозиторий уже существует: " + opts.destination,
                       "выбери другой каталог или удали существующий .orrery/");
  }
  ensure_directory(opts.destination);
  Repository repo(std::filesystem::canonical(opts.destination).string());
  prepare_repository(repo, opts);
  events.created();
  const FetchResult fetched = do_fetch(repo, FetchOptions{{opts.source, opts.branch}}, progress);
  events.fetched(fetched);
  update_ref(repo, "refs/heads/" + opts.branch, fetched.commit);
  result.checkout = check_out_clone(repo, opts, fetched.commit);
  return result;
}

void print_clone(const CloneOptions& opts, const CloneResult& result) {
  if (opts.kind == CloneSource::http) {
    print_checkout(result.checkout);
    return;
  }
  out_stream() << "Склонировано " << opts.source << " -> " << opts.destination << "\n";
  for (const std::string& warning : result.warnings) print_warning(warning);
}

int run_clone(const CloneOptions& opts) {
  bool created = false;
  const CloneEvents events{[&] { created = true; }, print_fetch};
  const int code = report_command_error([&] {
    CloneResult result;
    {
      Progress progress(opts.kind == CloneSource::local ? "Копирование файлов"
                                                        : "Получение объектов");
      result = do_clone(opts, progress, events);
    }
    print_clone(opts, result);
    return 0;
  });
  if (code != 0 && created) {
    out_stream().flush();
    std::cerr << "Не удалось клонировать по HTTP\n";
  }
  return code;
}

int cmd_clone(const Args& args) {
  if (has_help_flag(args)) return cmd_help({"clone"});
  Parsed<CloneOptions> parsed = parse_clone_args(args);
  if (const ArgError* error = std::get_if<ArgError>(&parsed)) return report_arg_error(*error);
  return run_clone(std::get<CloneOptions>(parsed));
}
