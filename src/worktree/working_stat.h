#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <string>

#include "util/handles.h"

// What the index records of a working file so an unchanged file need not be
// read again: all zero for anything that is not a regular file.
struct WorkingStat {
  uint64_t size = 0;   // bytes; all ones when it cannot be read
  uint64_t mtime = 0;  // whole seconds since 1601-01-01 UTC
  uint32_t mode = 0;   // 33261 when owner-execute is set, else 33188

  bool operator==(const WorkingStat&) const = default;
};

// Seconds between 1601-01-01 and 1970-01-01, both UTC.
inline constexpr uint64_t k_unix_epoch_in_1601_seconds = 11644473600ULL;

// The triple of the file at path. A symlink is followed, as reading the file
// follows it. Never throws.
WorkingStat stat_working_file(const std::string& path);

// The triple of what a stat call answered.
WorkingStat working_stat_of(const struct stat& st);

// The same triple from the same single stat call, telling also whether
// anything is there: false (and `out` zero) when the path or one of its
// parents is missing, so a scan learns existence and stat in one system call.
bool stat_working_path(const std::string& path, WorkingStat& out);

// A directory held open for stat_working_path_at; not valid when it could
// not be opened.
UniqueFd open_directory(const std::string& path);

// The same for `relative` below the open directory `dir_fd`: the kernel then
// resolves only the components below it, which a scan of every indexed file
// notices.
bool stat_working_path_at(int dir_fd, const char* relative, WorkingStat& out);
