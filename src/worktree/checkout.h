#pragma once

#include <optional>
#include <string>
#include <vector>

#include "cli/console.h"
#include "cli/parsed.h"
#include "store/object.h"

struct Repository;

struct CheckoutOptions {
  enum class Mode { target, previous, new_branch };
  Mode mode = Mode::target;
  std::string name;                        // the branch or revision, or the new branch
  std::optional<std::string> start_point;  // -b <name> <start>
  // -b with more than a start point: refused, but only after the name is
  // found free, as it always was.
  bool too_many = false;
};

Parsed<CheckoutOptions> parse_checkout_args(const Args& args);

struct CheckoutResult {
  std::string done;  // the result line, without its newline
};

// Switches to a branch (recording the branch left behind), detaches HEAD at
// a revision, or creates a branch and switches to it, writing the commit's
// tree into the working tree (additively: files the tree lacks stay). A
// hostile tree is refused before anything is written. Throws CommandError for
// a name that resolves to nothing or a tree that cannot be written. Prints
// nothing.
CheckoutResult do_checkout(const Repository& repo, const CheckoutOptions& opts);

// Reports the result line; answers the exit code.
int print_checkout(const CheckoutResult& result);

// Writes .orrery/previous-branch when HEAD is on a branch other than `target`.
void save_previous_branch(const Repository& repo, const std::string& target);

// The name in .orrery/previous-branch, trimmed; nothing when the file is
// missing or holds only blanks.
std::optional<std::string> read_previous_branch(const Repository& repo);

int cmd_checkout(const Args& args);

struct SwitchOptions {
  bool create = false;
  std::optional<std::string> create_name;  // from --create=<name>
  Args positional;
};

Parsed<SwitchOptions> parse_switch_args(const Args& args);

// A checkout that refuses a name other than a local branch (a revision would
// detach HEAD). Throws CommandError as do_checkout does. Prints nothing.
CheckoutResult do_switch(const Repository& repo, const SwitchOptions& opts);

int cmd_switch(const Args& args);
