#pragma once

#include <iosfwd>
#include <string_view>

// Writes the help topic named exactly `name` (case-sensitive) to out.
// Returns false, writing nothing, when there is no such topic.
bool print_help_topic(std::ostream& out, std::string_view name);
