#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// 64 lower-case hexadecimal digits: the SHA-256 of an object's canonical bytes.
using ObjectId = std::string;

// A read object: its type word ("blob", "tree", "commit") and its content.
struct Object {
  std::string type;
  std::string data;
};

struct TreeEntry {
  std::string mode;  // "100644" for a file, "40000" for a directory
  std::string type;  // "blob" or "tree"
  std::string hash;
  std::string path;  // one path component

  bool operator==(const TreeEntry&) const = default;
};

// One directory level; writers sort entries by path in byte order.
using Tree = std::vector<TreeEntry>;

struct Commit {
  ObjectId tree;
  std::vector<ObjectId> parents;  // first parent first; empty for a root commit
  std::string author;
  std::string message;
  uint64_t timestamp = 0;  // seconds since 1970-01-01 UTC

  bool operator==(const Commit&) const = default;
};

struct StoreState;

// The object part of a repository. Constructing it creates .orrery/objects.
// Copies share one state (packs, caches) with every ObjectStore opened on the
// same root string in the process; any thread may use any of them.
struct ObjectStore {
  explicit ObjectStore(std::string root_dir);

  std::string root;
  std::shared_ptr<StoreState> state;
};

// True for 64 hexadecimal digits of either case.
bool is_object_id(std::string_view text);

// .orrery/objects/XX/<62 more>. Only meaningful for ids that pass is_object_id.
std::string loose_object_path(const std::string& root, std::string_view id);

// Holds back the loose-file writes of write_object while it lives and writes
// them in groups, taking the repository lock once per group instead of once
// per object (creating the lock directory costs far more than writing a small
// object), and leaving the lock free while the next group is compressed.
// Pending objects are readable through read_raw_object at once. Every writer
// of references and of the index calls flush_pending_objects first, so
// nothing stored on disk can name an object that is not. A batch belongs to
// the thread that made it and to its store: only that thread's writes to
// that store wait in it, and other threads see its objects once they are
// written, as another process would. Only one batch is active per thread; a
// nested one joins the outer. A batch left by an exception drops what it
// still holds, since nothing names it.
struct PendingObjects;
class ObjectWriteBatch {
 public:
  explicit ObjectWriteBatch(const ObjectStore& store);
  ~ObjectWriteBatch();  // writes what is still pending; errors are dropped
  ObjectWriteBatch(const ObjectWriteBatch&) = delete;
  ObjectWriteBatch& operator=(const ObjectWriteBatch&) = delete;

 private:
  std::unique_ptr<PendingObjects> owned_;
  int unwinding_;  // exceptions in flight when the batch began
};

// Writes the objects this thread's active batch holds back, under one lock.
// Throws what write_file_atomic and RepoLock throw.
void flush_pending_objects();

// Stores the object (zlib level 9 of its canonical bytes) unless a loose file
// for its id exists already; returns the id either way. Takes the lock (or
// leaves the write to the active ObjectWriteBatch).
ObjectId write_object(const ObjectStore& store, std::string_view type, std::string_view content);

// Stores already compressed bytes under `id` without checking them. Returns
// false, writing nothing, unless the id is exactly 64 hexadecimal digits.
bool write_raw_object(const ObjectStore& store, std::string_view id, std::string_view stored);

// The stored (compressed) bytes of an object: its loose file, else a pack.
// Nothing for an id that is not 64 hexadecimal digits, without touching disk.
std::optional<std::string> read_raw_object(const ObjectStore& store, std::string_view id);

// The inflated object, or nothing when it is missing. Throws
// RepositoryDamaged "Damaged object <id>: <reason>" when its file is not a
// regular file, its stream does not inflate, or its header is malformed or
// announces another length than the content has.
std::optional<Object> read_object(const ObjectStore& store, std::string_view id);

// is_object_id(id) and the object reads as a commit.
bool is_commit(const ObjectStore& store, std::string_view id);

// Reads and parses an object of the given kind; nothing when it is missing or
// of another type. Throws what read_object throws, and RepositoryDamaged
// "Damaged commit <id>: <reason>" (or tree) for a text that is not JSON of
// the expected shape, or a timestamp that is not an unsigned 64-bit integer.
std::optional<Commit> read_commit(const ObjectStore& store, std::string_view id);
std::optional<Tree> read_tree(const ObjectStore& store, std::string_view id);

// The compact JSON texts stored as tree and commit content. The parsers
// throw RepositoryDamaged "Damaged tree: <reason>" (or commit).
std::string serialize_tree(const Tree& tree);
Tree parse_tree(std::string_view bytes);
std::string serialize_commit(const Commit& commit);
Commit parse_commit(std::string_view bytes);

// The id a blob with this content has, computed without storing anything.
ObjectId blob_id(std::string_view content);
