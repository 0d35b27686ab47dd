#pragma once

#include <sys/stat.h>

#include <string>
#include <string_view>

// File routines every store file goes through. Paths are plain strings with
// "/" separators; errors throw std::runtime_error naming the path.

// Returns the whole file. Throws "Cannot open file for reading: <path>".
std::string read_file(const std::string& path);

// Reads the whole file into `out`, reusing its capacity. Returns false when
// the file cannot be opened; throws when it opened but could not be read.
// `before`, when given, receives the opened file's stat, taken before the
// first read (zeroed if that fails): the file read, not whatever the path
// names a moment earlier or later, for one system call less.
bool read_file_into(const std::string& path, std::string& out, struct stat* before = nullptr);

// Replaces `path` with `bytes` through a temporary sibling and a rename, so a
// reader sees the old or the new content, never a part. Creates missing
// parent directories. Every write, the flush and the close are checked; on
// any failure the temporary file is deleted and std::runtime_error
// "Failed to atomically write file: <path> -> <reason>" is thrown.
void write_file_atomic(const std::string& path, std::string_view bytes);

// write_file_atomic for a file only its owner may read: the temporary file
// is created with mode 0600 (refusing to follow a link), and missing parent
// directories are created with mode 0700.
void write_private_file_atomic(const std::string& path, std::string_view bytes);

// Creates the directory and its missing parents; an existing path of any type
// is accepted. Throws "Failed to create directory: <path> -> <reason>".
void ensure_directory(const std::string& path);

// True when something (of any type, a dangling symlink included) is at path.
bool path_exists(const std::string& path);
bool is_directory(const std::string& path);
bool is_regular_file(const std::string& path);

// Removes a file or a whole directory tree; a missing path is not an error.
// Returns false when something could not be removed.
bool remove_path(const std::string& path);

// False for the empty string, absolute paths, drive-letter paths and any
// path with a ".." component ("/" and "\" both separate components).
bool is_safe_relpath(std::string_view path);

// The process's current working directory.
std::string current_directory();

// The final component of a "/"-separated path, and everything before it
// ("" when there is no "/").
std::string_view path_basename(std::string_view path);
std::string_view path_dirname(std::string_view path);
