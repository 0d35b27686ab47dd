#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

struct Repository;

// The Russian word for "commit" after a count: коммит, коммита or коммитов.
std::string_view commit_plural_ru(int64_t count);

// The id itself up to 12 characters, else its first 12 and "…".
std::string abbreviate_id(std::string_view id);

// One line of the status report's opening, without its newline.
struct HeaderLine {
  std::string text;
  bool cyan = false;  // a hint the user should act on
};
using BranchHeader = std::vector<HeaderLine>;

// The status report's opening lines: where HEAD stands and how the current
// branch relates to its upstream. Prints nothing. With a HEAD that resolves
// to nothing in a repository that also has .git, asks git for its branch
// (arguments passed without a shell).
BranchHeader branch_header(const Repository& repo);

// Writes the lines, the hints coloured when colour is on.
void print_branch_header(std::ostream& out, const BranchHeader& header);
