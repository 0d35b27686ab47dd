#pragma once

#include <optional>
#include <string>

#include "cli/console.h"
#include "store/object.h"

struct Repository;

// Writes the commit's tree into the working tree (additively: files the tree
// lacks stay). Reports its own failure through print_error and answers false;
// a hostile tree is refused before anything is written.
bool checkout_commit_files(const Repository& repo, const ObjectId& commit);

// Points HEAD at branch `name` (at `commit`, or at what refs/heads/<name>
// holds when absent), records the branch left behind and writes the files.
// Prints the result line; returns the exit code.
int switch_to_branch(const Repository& repo, const std::string& name,
                     std::optional<ObjectId> commit);

// Writes .orrery/previous-branch when HEAD is on a branch other than `target`.
void save_previous_branch(const Repository& repo, const std::string& target);

// The name in .orrery/previous-branch, trimmed; nothing when the file is
// missing or holds only blanks.
std::optional<std::string> read_previous_branch(const Repository& repo);

int cmd_checkout(const Args& args);
int cmd_switch(const Args& args);
