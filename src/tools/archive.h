#pragma once

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "cli/console.h"
#include "cli/parsed.h"
#include "store/object.h"
#include "tools/archive_format.h"

struct Repository;

enum class ArchiveFormat { tar, zip };

struct ArchiveOptions {
  std::string output;  // empty: standard output
  ArchiveFormat format = ArchiveFormat::tar;
  std::string revision = "HEAD";
};

// Parses -o/--output=, --format/--format= and at most one revision; a usage
// error exits with 2.
Parsed<ArchiveOptions> parse_archive_args(const Args& args);

struct ArchiveEntry {
  std::string path;  // "/"-separated, from the repository root
  std::string mode;  // the tree entry's mode string
  ObjectId blob;
};

// Everything an archive of one commit holds, checked against the format.
struct ArchivePlan {
  uint64_t timestamp = 0;             // every entry's modification time
  std::vector<ArchiveEntry> entries;  // in byte order of the paths
};

// Reads the commit and every file entry below its tree. Throws ArchiveError
// "нет коммита" when the id is not a readable commit and the format's
// ArchiveError for a path it cannot hold; walk_tree's error for an unsafe
// entry name. Writes nothing, so a refused tree leaves no output behind.
ArchivePlan plan_archive(const Repository& repo, const ObjectId& commit, ArchiveFormat format);

// Writes the archive: each entry's blob in plan order (entries whose object
// is missing or not a blob are left out), then the format's closing bytes.
void write_archive(const Repository& repo, const ArchivePlan& plan, ArchiveFormat format,
                   ByteSink& sink);

// Archives the revision into opts.output (replaced whole, or a device or
// FIFO written as it is) or, without one, into `standard_output`. Throws
// CommandError for an unknown revision (exit code 1) and for a tree the
// format cannot hold or a failed write (exit code 2).
void do_archive(const Repository& repo, const ArchiveOptions& opts, std::ostream& standard_output);

// orrery archive [-o file|--output=file] [--format=tar|zip] [revision].
int cmd_archive(const Args& args);
