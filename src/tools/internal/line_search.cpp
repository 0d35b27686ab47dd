#include "tools/internal/line_search.h"

#include <algorithm>
#include <cctype>
#include <cstring>

// An expression is not run on every line: the literal its matches must
// contain is searched for in the whole buffer first, and only the lines
// holding it are handed to the expression. Expressions without
// back-references run in the library's polynomial mode, which decides
// whether a line has a match exactly as the backtracking mode does but
// without its exponential cases or its recursion per character.

namespace {

void fold_ascii(std::string_view text, std::string& out) {
  out.resize(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    out[i] = c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c;
  }
}

std::regex compile(std::string_view pattern, bool ignore_case) {
  auto flags = std::regex::ECMAScript;
  if (ignore_case) flags |= std::regex::icase;
  try {
    return std::regex(pattern.begin(), pattern.end(), flags | std::regex_constants::__polynomial);
  } catch (const std::regex_error& e) {
    // Back-references need the backtracking mode.
    if (e.code() != std::regex_constants::error_complexity) throw;
  }
  return std::regex(pattern.begin(), pattern.end(), flags);
}

// Reads an ECMAScript expression's top level for its literal runs. Groups
// and classes are skipped whole; anything it does not know leaves no
// literal at all.
class LiteralScan {
 public:
  explicit LiteralScan(std::string_view pattern) : p_(pattern) {}

  std::string longest() {
    while (i_ < p_.size()) {
      if (!step()) return {};
    }
    end_run();
    return best_;
  }

 private:
  bool step() {
    const char c = p_[i_];
    if (c == '(') return skip_group() && skip_quantifier();
    if (c == '[') return skip_class() && skip_quantifier();
    if (c == '.' || c == '^' || c == '$') {
      ++i_;
      end_run();
      return skip_quantifier();
    }
    if (c == '\\') return escape();
    if (std::strchr("|)]}*+?{", c) != nullptr) return false;
    ++i_;
    return literal(c);
  }

  bool escape() {
    if (i_ + 1 >= p_.size()) return false;
    const char e = p_[i_ + 1];
    i_ += 2;
    if (!std::isalnum(static_cast<unsigned char>(e))) return literal(e);
    end_run();
    if (e == 'x') i_ += 2;
    if (e == 'u') i_ += 4;
    if (e == 'c') i_ += 1;
    if (std::isdigit(static_cast<unsigned char>(e))) {
      while (i_ < p_.size() && std::isdigit(static_cast<unsigned char>(p_[i_]))) ++i_;
    }
    return i_ <= p_.size() && skip_quantifier();
  }

  // A literal byte and what its quantifier makes of it.
  bool literal(char c) {
    std::optional<size_t> least = quantifier_minimum();
    if (!least) return false;
    if (*least == 0) {
      end_run();
      return true;
    }
    run_ += c;
    if (quantified_) end_run();
    return true;
  }

  // The minimum count of a quantifier at i_ (1 without one), consuming it;
  // nothing for a malformed brace.
  std::optional<size_t> quantifier_minimum() {
    quantified_ = false;
    if (i_ >= p_.size()) return 1;
    size_t least = 1;
    const char q = p_[i_];
    if (q == '*' || q == '?') {
      least = 0;
      ++i_;
    } else if (q == '+') {
      ++i_;
    } else if (q == '{') {
      size_t close = p_.find('}', i_);
      if (close == std::string_view::npos) return std::nullopt;
      std::string_view body = p_.substr(i_ + 1, close - i_ - 1);
      const size_t digits = std::min(body.find(','), body.size());
      if (digits == 0) return std::nullopt;
      least = body.find_first_not_of('0') < digits ? 1 : 0;
      i_ = close + 1;
    } else {
      return 1;
    }
    quantified_ = true;
    if (i_ < p_.size() && p_[i_] == '?') ++i_;  // lazy
    return least;
  }

  bool skip_quantifier() {
    end_run();
    return quantifier_minimum().has_value();
  }

  bool skip_class() {
    end_run();
    for (++i_; i_ < p_.size(); ++i_) {
      if (p_[i_] == '\\') {
        ++i_;
      } else if (p_[i_] == ']') {
        ++i_;
        return true;
      }
    }
    return false;
  }

  bool skip_group() {
    end_run();
    size_t depth = 0;
    while (i_ < p_.size()) {
      const char c = p_[i_];
      if (c == '[') {
        if (!skip_class()) return false;
        continue;
      }
      if (c == '\\') ++i_;
      if (c == '(') ++depth;
      if (c == ')' && --depth == 0) {
        ++i_;
        return true;
      }
      ++i_;
    }
    return false;
  }

  void end_run() {
    if (run_.size() > best_.size()) best_ = run_;
    run_.clear();
  }

  std::string_view p_;
  size_t i_ = 0;
  bool quantified_ = false;
  std::string run_, best_;
};

size_t line_start(std::string_view text, size_t from, size_t hit) {
  const void* newline = ::memrchr(text.data() + from, '\n', hit - from);
  if (newline == nullptr) return from;
  return static_cast<size_t>(static_cast<const char*>(newline) - text.data()) + 1;
}

size_t line_end(std::string_view text, size_t from) {
  const void* newline = std::memchr(text.data() + from, '\n', text.size() - from);
  if (newline == nullptr) return text.size();
  return static_cast<size_t>(static_cast<const char*>(newline) - text.data());
}

}  // namespace

LineSearch make_line_search(std::string_view pattern, bool is_regex, bool ignore_case) {
  LineSearch search;
  search.ignore_case = ignore_case;
  if (is_regex) {
    search.regex = compile(pattern, ignore_case);
    search.needle = required_literal(pattern);
  } else {
    search.needle = std::string(pattern);
  }
  if (ignore_case) fold_ascii(std::string(search.needle), search.needle);
  return search;
}

void search_lines(LineSearch& search, std::string_view content,
                  const std::function<bool(size_t, std::string_view)>& on_line) {
  const std::string_view needle = search.needle;
  std::string_view hay = content;
  if (search.ignore_case && !needle.empty()) {
    fold_ascii(content, search.folded);
    hay = search.folded;
  }
  size_t pos = 0, number = 1, counted = 0;
  while (pos < content.size()) {
    size_t hit = pos;
    if (!needle.empty()) {
      const void* found =
          ::memmem(hay.data() + pos, hay.size() - pos, needle.data(), needle.size());
      if (found == nullptr) return;
      hit = static_cast<size_t>(static_cast<const char*>(found) - hay.data());
    }
    const size_t start = line_start(hay, pos, hit);
    const size_t end = line_end(hay, hit);
    const size_t text_end = end > start && content[end - 1] == '\r' ? end - 1 : end;
    const char* first = content.data() + start;
    const bool matched = search.regex
                             ? std::regex_search(first, content.data() + text_end, *search.regex)
                             : hit + needle.size() <= text_end;
    if (matched) {
      number += static_cast<size_t>(std::count(content.data() + counted, first, '\n'));
      counted = start;
      if (!on_line(number, std::string_view(first, text_end - start))) return;
    }
    pos = end + 1;
  }
}

std::string required_literal(std::string_view pattern) { return LiteralScan(pattern).longest(); }
