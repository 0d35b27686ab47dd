#include "tools/archive.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>
#include <ostream>

#include "cli/command_error.h"
#include "cli/help.h"
#include "cli/open_repo.h"
#include "store/fs.h"
#include "store/repo.h"
#include "store/revision.h"
#include "store/tree_walk.h"
#include "util/atomic_file.h"
#include "util/handles.h"

// An archive goes out in pieces through a buffer of about a mebibyte, never
// whole in memory. Everything that can refuse a tree (a commit that is not
// one, an unsafe entry name, a path the format cannot hold) is checked
// before the first byte; an archive for a file is written to a temporary
// sibling that replaces the file only once complete, so a failure leaves
// neither a partial archive nor a damaged earlier one.

namespace {

constexpr size_t k_flush_size = size_t{1} << 20;
constexpr std::string_view k_output_prefix = "--output=";
constexpr std::string_view k_format_prefix = "--format=";

// A usage error exits with 2.
ArgError usage_error(std::string message, std::string hint = "") {
  return ArgError{std::move(message), std::move(hint), 2};
}

std::optional<ArgError> set_format(std::string_view value, ArchiveOptions& opts) {
  if (value == "tar") {
    opts.format = ArchiveFormat::tar;
  } else if (value == "zip") {
    opts.format = ArchiveFormat::zip;
  } else if (!value.empty()) {
    return usage_error("поддерживаются только форматы tar и zip", std::string(value));
  }
  return std::nullopt;
}

// Applies args[i] (and the value after it, advancing i); answers the error
// of a bad argument.
std::optional<ArgError> parse_one_archive_arg(const Args& args, size_t& i, ArchiveOptions& opts,
                                              bool& have_revision) {
  const std::string& arg = args[i];
  const bool has_next = i + 1 < args.size();
  if (arg == "-o" || arg == "--format") {
    if (!has_next)
      return usage_error(arg == "-o" ? "нет пути после -o" : "нет значения после --format");
    if (arg == "--format") return set_format(args[++i], opts);
    opts.output = args[++i];
    return std::nullopt;
  }
  if (arg.rfind(k_output_prefix, 0) == 0) {
    opts.output = arg.substr(k_output_prefix.size());
    return std::nullopt;
  }
  if (arg.rfind(k_format_prefix, 0) == 0) {
    return set_format(std::string_view(arg).substr(k_format_prefix.size()), opts);
  }
  if (!arg.empty() && arg[0] == '-') return usage_error("неизвестный флаг", arg);
  if (have_revision) return usage_error("укажи не более одной ревизии");
  opts.revision = arg;
  have_revision = true;
  return std::nullopt;
}

// What failed while the archive was made or written; exits with 2.
CommandError archive_error(const std::string& detail) {
  return CommandError(ArgError{"archive:", detail, 2});
}

// A hostile tree may name a file twice; the later entry wins, as it does
// when a tree is flattened for checkout.
void sort_and_dedupe(std::vector<ArchiveEntry>& entries) {
  std::stable_sort(entries.begin(), entries.end(),
                   [](const ArchiveEntry& a, const ArchiveEntry& b) { return a.path < b.path; });
  size_t kept = 0;
  for (size_t i = 0; i < entries.size(); ++i) {
    if (i + 1 < entries.size() && entries[i + 1].path == entries[i].path) continue;
    if (kept != i) entries[kept] = std::move(entries[i]);
    ++kept;
  }
  entries.resize(kept);
}

void check_fits(const ArchivePlan& plan, ArchiveFormat format) {
  for (const ArchiveEntry& entry : plan.entries) {
    if (format == ArchiveFormat::tar) check_tar_path(entry.path);
    if (format == ArchiveFormat::zip) check_zip_path(entry.path);
  }
  if (format == ArchiveFormat::zip && plan.entries.size() > 65535) {
    throw ArchiveError("zip: больше 65535 записей не поддержано");
  }
}

using Deliver = std::function<void(std::string_view)>;

// Writes the archive to `deliver` in large pieces: headers are gathered in
// `buffer`, big contents pass straight through.
void stream_archive(const Repository& repo, const ArchivePlan& plan, ArchiveFormat format,
                    const Deliver& deliver) {
  std::string buffer;
  buffer.reserve(k_flush_size);
  ByteSink sink;
  sink.write = [&](std::string_view bytes) {
    if (buffer.size() + bytes.size() <= k_flush_size) {
      buffer += bytes;
      return;
    }
    deliver(buffer);
    buffer.clear();
    if (bytes.size() >= k_flush_size) {
      deliver(bytes);
    } else {
      buffer += bytes;
    }
  };
  write_archive(repo, plan, format, sink);
  deliver(buffer);
}

// The archive file while it is being written: a temporary sibling that
// becomes the file on commit and is removed on every other way out, or a
// device or FIFO written in place.
struct PendingFile {
  AtomicFile sibling;
  UniqueFd device;
  std::string device_path;
};

[[noreturn]] void throw_file_error(const std::string& what, const std::string& path, int error) {
  throw std::runtime_error(what + " " + path + ": " + std::strerror(error));
}

// Creates the output's parent directories and a fresh temporary sibling;
// false when either is impossible or the output is a directory.
bool open_pending_file(const std::string& path, PendingFile& file) {
  if (is_directory(path)) return false;
  try {
    ensure_directory(std::string(path_dirname(path)));
  } catch (const std::runtime_error&) {
    return false;
  }
  return file.sibling.open_sibling(path, {}) == 0;
}

void write_pending(PendingFile& file, std::string_view bytes) {
  if (file.device.valid()) {
    if (int error = write_fully(file.device.get(), bytes)) {
      throw_file_error("не удалось записать", file.device_path, error);
    }
  } else if (int error = file.sibling.write(bytes)) {
    throw_file_error("не удалось записать", file.sibling.writing_path(), error);
  }
}

void commit_pending(PendingFile& file) {
  if (file.device.valid()) {
    if (int error = file.device.close()) {
      throw_file_error("не удалось записать", file.device_path, error);
    }
    return;
  }
  if (int error = file.sibling.finish()) {
    throw_file_error("не удалось записать", file.sibling.writing_path(), error);
  }
  if (int error = file.sibling.commit())
    throw_file_error("не удалось заменить", file.sibling.path(), error);
}

// The output the user named: through symbolic links to where they lead, and
// there a device or FIFO is opened as it is (a reader may be waiting on the
// FIFO), never replaced by a regular file; anything else is replaced whole.
bool open_output(const std::string& output, PendingFile& file) {
  std::string path;
  try {
    path = follow_links(output);
  } catch (const std::runtime_error&) {
    return false;
  }
  struct stat st;
  if (::lstat(path.c_str(), &st) != 0 || !is_special_file(st)) {
    return open_pending_file(path, file);
  }
  file.device_path = path;
  file.device.reset(::open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC));
  return file.device.valid();
}

void archive_to_file(const Repository& repo, const ArchivePlan& plan, const ArchiveOptions& opts) {
  PendingFile file;
  if (!open_output(opts.output, file)) {
    throw CommandError(ArgError{"не смог открыть выходной файл", "", 2});
  }
  try {
    stream_archive(repo, plan, opts.format,
                   [&file](std::string_view bytes) { write_pending(file, bytes); });
    commit_pending(file);
  } catch (const std::exception& e) {
    throw archive_error(e.what());
  }
}

void archive_to_stream(const Repository& repo, const ArchivePlan& plan, ArchiveFormat format,
                       std::ostream& out) {
  try {
    stream_archive(repo, plan, format, [&out](std::string_view bytes) {
      out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    });
  } catch (const std::exception& e) {
    throw archive_error(e.what());
  }
  if (!out.flush()) throw archive_error("не удалось записать архив в стандартный вывод");
}

}  // namespace

Parsed<ArchiveOptions> parse_archive_args(const Args& args) {
  ArchiveOptions opts;
  bool have_revision = false;
  for (size_t i = 0; i < args.size(); ++i) {
    if (std::optional<ArgError> error = parse_one_archive_arg(args, i, opts, have_revision)) {
      return *error;
    }
  }
  return opts;
}

ArchivePlan plan_archive(const Repository& repo, const ObjectId& commit, ArchiveFormat format) {
  std::optional<Commit> parsed = read_commit(repo.objects, commit);
  if (!parsed) throw ArchiveError("нет коммита");
  ArchivePlan plan;
  plan.timestamp = parsed->timestamp;
  walk_tree(repo.objects, parsed->tree, [&plan](const std::string& path, const TreeEntry& entry) {
    if (entry.type == "blob") plan.entries.push_back({path, entry.mode, entry.hash});
  });
  sort_and_dedupe(plan.entries);
  check_fits(plan, format);
  return plan;
}

void write_archive(const Repository& repo, const ArchivePlan& plan, ArchiveFormat format,
                   ByteSink& sink) {
  ZipDirectory directory;
  const DosTime when = dos_time(plan.timestamp);
  for (const ArchiveEntry& entry : plan.entries) {
    std::optional<Object> blob = read_object(repo.objects, entry.blob);
    if (!blob || blob->type != "blob") continue;
    if (format == ArchiveFormat::tar) {
      write_tar_entry(sink, entry.path, entry.mode, plan.timestamp, blob->data);
    } else {
      write_zip_entry(sink, directory, entry.path, entry.mode, when, blob->data);
    }
  }
  if (format == ArchiveFormat::tar) {
    write_tar_end(sink);
  } else {
    write_zip_end(sink, directory);
  }
}

void do_archive(const Repository& repo, const ArchiveOptions& opts, std::ostream& standard_output) {
  std::optional<ObjectId> commit = resolve_revision(repo, opts.revision);
  if (!commit) throw CommandError("ревизия не найдена", opts.revision);
  ArchivePlan plan;
  try {
    plan = plan_archive(repo, *commit, opts.format);
  } catch (const std::exception& e) {
    throw archive_error(e.what());
  }
  if (opts.output.empty()) return archive_to_stream(repo, plan, opts.format, standard_output);
  archive_to_file(repo, plan, opts);
}

int cmd_archive(const Args& args) {
  if (has_help_flag(args)) return cmd_help({"archive"});

  std::optional<Repository> repo = open_repo_or_report();
  if (!repo) return 1;
  Parsed<ArchiveOptions> opts = parse_archive_args(args);
  if (const ArgError* error = std::get_if<ArgError>(&opts)) return report_arg_error(*error);

  return report_command_error([&] {
    do_archive(*repo, std::get<ArchiveOptions>(opts), out_stream());
    return 0;
  });
}
