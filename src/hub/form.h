#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

// Letters, digits and "-._~" as they are, a space as "+", every other byte as
// "%" and two upper-case hexadecimal digits.
std::string url_encode(std::string_view text);

// "name=value" pairs, each side url_encode'd, joined by "&" in their order:
// the body of every OAuth request.
std::string form_encode(const std::vector<std::pair<std::string, std::string>>& fields);
