#pragma once

#include <sys/stat.h>

#include <string>
#include <string_view>

// File routines every store file goes through. Paths are plain strings with
// "/" separators; errors throw std::runtime_error naming the path.

// Returns the whole file. Throws "Cannot open file for reading: <path>".
std::string read_file(const std::string& path);

// Reads the whole file into `out`, reusing its capacity. Returns false when
// the file cannot be opened; throws when it opened but could not be read,
// and "Not a regular file: <path>" for a FIFO, socket or device, which is
// opened without waiting for a writer and never read.
// `before`, when given, receives the opened file's stat, taken before the
// first read (zeroed if that fails): the file read, not whatever the path
// names a moment earlier or later, for one system call less.
bool read_file_into(const std::string& path, std::string& out, struct stat* before = nullptr);

// read_file_into for the files of .orrery, which anyone may have planted:
// false when nothing (or a directory) is at path; RepositoryDamaged "Not a
// regular file: <path>" for a symbolic link (never followed), a FIFO, a
// socket or a device.
bool read_store_file(const std::string& path, std::string& out);

// What a replaced file must survive.
enum class Durability {
  none,      // working files: a crash may lose the write, never half of it
  deferred,  // objects: synced as one batch before the next synced write
  synced,    // references, HEAD, the index: deferred writes first, then the
             // file, then its directory, so that after a power loss nothing
             // names an object that is not on disk
};

// Replaces `path` with `bytes` through a temporary sibling and a rename, so a
// reader sees the old or the new content, never a part. Creates missing
// parent directories. Every write, the flush and the close are checked; on
// any failure the temporary file is deleted and std::runtime_error
// "Failed to atomically write file: <path> -> <reason>" is thrown.
// Only regular files and new paths are replaced: an existing FIFO, socket
// or device is written in place, without truncation ("Cannot open file for
// writing: <path>" when a FIFO has no reader). A symbolic link at path is
// replaced itself, never written through.
void write_file_atomic(const std::string& path, std::string_view bytes,
                       Durability durability = Durability::none);

// Syncs the file system of `path` when a deferred write of this thread is
// still unsynced.
// Throws "Cannot sync: <path> -> <reason>".
void sync_deferred_writes(const std::string& path);

// The path a chain of symbolic links at `path` ends in (relative targets
// taken from each link's directory), or `path` itself when it is no link.
// Throws "Too many levels of symbolic links: <path>" past 40 links.
std::string follow_links(const std::string& path);

// True for a FIFO, socket or device: files to be written in place.
bool is_special_file(const struct stat& st);

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
// True when the path itself is a symbolic link (not followed).
bool is_symbolic_link(const std::string& path);

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
