#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class Db;

struct User {
  int64_t id = 0;
  std::string name;
};

struct RepoRecord {
  int64_t id = 0;
  int64_t owner_id = 0;
  std::string owner;
  std::string name;
  bool is_private = false;
  std::string description;
  std::string default_branch = "main";
};

// 1 to 39 ASCII letters, digits, "-" and "_", starting with a letter or digit.
bool is_valid_user_name(std::string_view name);

// 1 to 100 ASCII letters, digits, "-", "_" and ".", not starting with "." and
// not ending in ".orrery" (which the repository URL appends).
bool is_valid_repo_name(std::string_view name);

// The form names are compared in: ASCII letters lowered.
std::string name_key(std::string_view name);

// Adds a user with a hashed password. Throws DbConstraintError when the name
// (in any letter case) is taken.
User add_user(Db& db, std::string_view name, std::string_view password);

std::optional<User> find_user(Db& db, std::string_view name);

// The user when the password is theirs; nothing for an unknown name or a
// wrong password (which take about the same time).
std::optional<User> check_password(Db& db, std::string_view name, std::string_view password);

// Creates a personal access token for the user and returns it; only its
// SHA-256 is stored, so this is the one time it can be seen.
std::string create_token(Db& db, const User& user);

// The user a presented token belongs to: a personal access token, or an
// access token of a device login that has not expired. Nothing otherwise.
std::optional<User> user_for_token(Db& db, std::string_view token);

std::optional<RepoRecord> find_repo(Db& db, std::string_view owner, std::string_view name);

std::optional<RepoRecord> find_repo_by_id(Db& db, int64_t id);

// Records a new repository. Throws DbConstraintError when the owner already
// has one of that name.
RepoRecord add_repo(Db& db, const User& owner, std::string_view name, bool is_private,
                    std::string_view description = {});

// The owner's repository of that name, recording it first when it is
// missing; two racing callers get the same record.
RepoRecord find_or_add_repo(Db& db, const User& owner, std::string_view name, bool is_private);

// Every repository, ordered by owner and name.
std::vector<RepoRecord> list_repos(Db& db);

// The repositories of one owner, ordered by name.
std::vector<RepoRecord> list_repos_of(Db& db, const User& owner);
