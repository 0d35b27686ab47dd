#include "diff/changes.h"

#include <ostream>

#include "store/errors.h"

void report_path(std::ostream& out, ChangeReport& report, std::string_view path,
                 std::string_view old_bytes, std::string_view new_bytes) {
  switch (report.format) {
    case DiffFormat::patch:
      print_file_patch(out, path, old_bytes, new_bytes, report.changed);
      return;
    case DiffFormat::stat:
    case DiffFormat::shortstat:
      if (std::optional<FileStat> stat = file_stat(path, old_bytes, new_bytes)) {
        report.stats.push_back(std::move(*stat));
        report.changed = true;
      }
      return;
    case DiffFormat::name_only:
    case DiffFormat::name_status:
      if (old_bytes == new_bytes) return;
      report_listed_path(out, report, name_status_letter(old_bytes, new_bytes), path);
      return;
  }
}

bool is_name_format(DiffFormat format) {
  return format == DiffFormat::name_only || format == DiffFormat::name_status;
}

void report_listed_path(std::ostream& out, ChangeReport& report, char letter,
                        std::string_view path) {
  if (report.format == DiffFormat::name_status) out << letter << '\t';
  out << path << '\n';
  report.changed = true;
}

bool finish_report(std::ostream& out, const ChangeReport& report) {
  if (!report.changed) return false;
  if (report.format == DiffFormat::stat) print_stat(out, report.stats);
  if (report.format == DiffFormat::shortstat) print_shortstat(out, report.stats);
  return true;
}

std::optional<std::string> read_blob(const ObjectStore& store, std::string_view id) {
  std::optional<Object> object;
  try {
    object = read_object(store, id);
  } catch (const RepositoryDamaged&) {
    return std::nullopt;  // damaged data reads as an unreadable object
  }
  if (!object) return std::nullopt;
  if (object->type != "blob") return std::string();
  return std::move(object->data);
}

std::string blob_bytes(const ObjectStore& store, std::string_view id) {
  return read_blob(store, id).value_or(std::string());
}

std::optional<Commit> read_commit_if_intact(const ObjectStore& store, std::string_view id) {
  try {
    return read_commit(store, id);
  } catch (const RepositoryDamaged&) {
    return std::nullopt;
  }
}

PathMap commit_tree_map(const ObjectStore& store, std::string_view commit_id) {
  PathMap paths;
  if (std::optional<Commit> commit = read_commit_if_intact(store, commit_id)) {
    flatten_tree(store, commit->tree, "", paths);
  }
  return paths;
}
