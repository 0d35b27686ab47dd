#pragma once

#include <cstdint>
#include <string>
#include <string_view>

struct Repository;

// The Russian word for "commit" after a count: коммит, коммита or коммитов.
std::string_view commit_plural_ru(int64_t count);

// The id itself up to 12 characters, else its first 12 and "…".
std::string abbreviate_id(std::string_view id);

// The status report's opening lines: where HEAD stands and how the current
// branch relates to its upstream. Prints nothing under the quiet option.
// With a HEAD that resolves to nothing in a repository that also has .git,
// asks git for its branch (arguments passed without a shell).
void print_branch_header(const Repository& repo);
