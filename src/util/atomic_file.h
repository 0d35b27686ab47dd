#pragma once

#include <sys/types.h>

#include <string>
#include <string_view>

#include "util/handles.h"

// A file that appears whole or not at all. It is written under a temporary
// name next to its own, which replaces the file on commit(); until then
// readers see the old file, and if commit() is never reached (an error, an
// exception, a refused input) the destructor removes the temporary file, so
// nothing is left behind.
//
// Errors come back as errno values, so that each caller words them as its
// readers expect.
class AtomicFile {
 public:
  enum class Sync {
    none,       // a crash may lose the file, never leave half of it
    file,       // the bytes reach the disk before the file takes its name
    directory,  // and so does the rename, through an fsync of the directory
  };

  struct Options {
    mode_t mode = 0666;  // before the umask
    int open_flags = 0;  // more flags for the open, e.g. O_NOFOLLOW
    Sync sync = Sync::none;
  };

  AtomicFile() = default;
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;
  ~AtomicFile();

  // Creates "<path>.tmp.<random>" exclusively (a fresh name on a clash) to
  // replace `path` on commit. 0, or the errno of the last open tried.
  int open_sibling(const std::string& path, const Options& options);
  // Creates `path` itself exclusively: EEXIST when something is there. On
  // commit it stays, without a rename; otherwise it is removed again.
  int create_new(const std::string& path, const Options& options);

  // The file being written: the temporary name, or the path itself.
  const std::string& writing_path() const { return temp_path_; }
  const std::string& path() const { return path_; }
  int fd() const { return fd_.get(); }

  // Writes now. 0 or errno.
  int write(std::string_view bytes);
  // Buffers small pieces and writes them in large ones. 0 or errno.
  int append(std::string_view bytes);
  // Writes what is buffered, syncs as the options say and closes: the bytes
  // are complete, but not yet under their name. 0 or errno.
  int finish();
  // finish() when not done yet, then the rename and the directory sync.
  // 0 or errno; committed() tells whether the file took its name (only the
  // directory sync failed) or was removed.
  int commit();
  bool committed() const { return committed_; }

 private:
  int flush();

  std::string path_;
  std::string temp_path_;
  UniqueFd fd_;
  Sync sync_ = Sync::none;
  bool finished_ = false;
  bool committed_ = false;
  std::string buffer_;
};

// fsync of the directory, so that a rename into it survives a power loss;
// "" is the current directory. File systems that cannot sync a directory
// answer EINVAL, which counts as success. 0 or errno.
int sync_directory(std::string_view dir);
