// orrery-docgen <folder>: writes the completion scripts and the manual pages
// below <folder> in the layout the install copies them from:
//
//   share/bash-completion/completions/orrery
//   share/zsh/site-functions/_orrery
//   share/man/man1/orrery.1 and orrery-<command>.1
//
// Everything is read from the dispatch table and the help texts, so a flag
// or a command added there reaches completion and the pages at the next
// build. Flags are the "-x"/"--xyz" words of a command's help topic; the
// first word of a usage line ("orrery stash pop") is a subcommand; the
// placeholders ("<ветка>", "[stash@{N}]") tell what the arguments name.

#include "cli/internal/docgen.h"

#include <algorithm>
#include <exception>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "build_info.h"
#include "cli/dispatch.h"
#include "cli/help.h"
#include "cli/internal/help_topics.h"
#include "store/fs.h"
#include "util/text.h"

namespace {

bool is_ascii_letter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

bool is_word_byte(char c) {
  return is_ascii_letter(c) || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
         static_cast<unsigned char>(c) >= 0x80;
}

void add_unique(std::vector<std::string>& list, const std::string& item) {
  if (std::find(list.begin(), list.end(), item) == list.end()) list.push_back(item);
}

// The help texts mark emphasis with "**" and backticks; the plain text.
std::string without_markup(std::string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '`') continue;
    if (text.substr(i, 2) == "**") {
      ++i;
      continue;
    }
    out += text[i];
  }
  return out;
}

// The ASCII word right before position `at`, across spaces and markup.
std::string_view word_before(std::string_view text, size_t at) {
  size_t end = at;
  while (end > 0 && (text[end - 1] == ' ' || text[end - 1] == '*' || text[end - 1] == '`')) --end;
  size_t begin = end;
  while (begin > 0 && is_ascii_letter(text[begin - 1])) --begin;
  return text.substr(begin, end - begin);
}

// "-x", "-vv", "--name" and "--name=" standing as words of the text. A flag
// right after the name of another program ("cmake --install") is not ours;
// `own_words` are the words a flag of ours may follow.
std::vector<std::string> flags_in(std::string_view text,
                                  const std::vector<std::string>& own_words = {}) {
  std::vector<std::string> flags;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '-' || (i > 0 && is_word_byte(text[i - 1]))) continue;
    const std::string before(word_before(text, i));
    if (!before.empty() && before != "orrery" &&
        std::find(own_words.begin(), own_words.end(), before) == own_words.end()) {
      continue;
    }
    const size_t dashes = text.substr(i, 2) == "--" ? 2 : 1;
    size_t end = i + dashes;
    if (end >= text.size() || !is_ascii_letter(text[end])) continue;
    while (end < text.size() && (is_ascii_letter(text[end]) || text[end] == '-' ||
                                 (text[end] >= '0' && text[end] <= '9'))) {
      ++end;
    }
    if (dashes == 2 && end < text.size() && text[end] == '=') ++end;
    add_unique(flags, std::string(text.substr(i, end - i)));
    i = end - 1;
  }
  std::sort(flags.begin(), flags.end());
  return flags;
}

// The word after "orrery <name> " on usage lines, when it is a plain
// lower-case word (possibly in brackets, as "[list]").
std::vector<std::string> subcommands_in(const std::string& name, std::string_view text) {
  std::vector<std::string> words;
  const std::string lead = "orrery " + name + " ";
  const std::string plain = without_markup(text);
  for (size_t at = plain.find(lead); at != std::string::npos; at = plain.find(lead, at + 1)) {
    size_t begin = at + lead.size();
    if (begin < plain.size() && plain[begin] == '[') ++begin;
    size_t end = begin;
    while (end < plain.size() && plain[end] >= 'a' && plain[end] <= 'z') ++end;
    const char after = end < plain.size() ? plain[end] : '\n';
    if (end > begin && (after == ' ' || after == '\n' || after == ']')) {
      add_unique(words, plain.substr(begin, end - begin));
    }
  }
  return words;
}

// The kinds a placeholder word names. "имя" is whatever its command keeps.
ArgumentKinds kinds_of_placeholder(const std::string& command, std::string word) {
  for (std::string_view tail : {"…", "..."}) {
    if (word.ends_with(tail)) word.resize(word.size() - tail.size());
  }
  static const std::map<std::string, ArgumentKinds> k_vocabulary = {
      {"ветка", {"branches"}},
      {"локальная-ветка", {"branches"}},
      {"remote/ветка", {"remote-branches"}},
      {"ревизия", {"branches", "remote-branches", "tags"}},
      {"rev", {"branches", "remote-branches", "tags"}},
      {"upstream", {"branches", "remote-branches", "tags"}},
      {"старт-точка", {"branches", "remote-branches", "tags"}},
      {"remote", {"remotes"}},
      {"stash@{N}", {"stashes"}},
      {"stash@{0}", {"stashes"}},
      {"путь", {"files"}},
      {"файл", {"files"}},
      {"src", {"files"}},
      {"dest", {"files"}},
      {"папка", {"files"}},
  };
  static const std::map<std::string, std::string> k_own_names = {
      {"branch", "branches"}, {"tag", "tags"}, {"remote", "remotes"}};
  if (word == "имя" || word == "name") {
    auto own = k_own_names.find(command);
    return own == k_own_names.end() ? ArgumentKinds{} : ArgumentKinds{own->second};
  }
  auto known = k_vocabulary.find(word);
  return known == k_vocabulary.end() ? ArgumentKinds{} : known->second;
}

// Placeholders are "<...>" and "[...]" without nested brackets; each
// alternative between "|" is looked up.
ArgumentKinds kinds_in(const std::string& command, std::string_view text) {
  ArgumentKinds kinds;
  const std::string plain = without_markup(text);
  for (size_t open = plain.find_first_of("<["); open != std::string::npos;
       open = plain.find_first_of("<[", open + 1)) {
    const char close_char = plain[open] == '<' ? '>' : ']';
    const size_t close = plain.find_first_of(std::string("<[\n") + close_char, open + 1);
    if (close == std::string::npos || plain[close] != close_char) continue;
    // A placeholder inside a dotted name ("branch.<ветка>.upstream") is part
    // of a key, not an argument of its own.
    const bool key_follows = plain[close + 1] == '.' && plain.compare(close + 1, 3, "...") != 0;
    if ((open > 0 && plain[open - 1] == '.') || key_follows) continue;
    std::istringstream alternatives(plain.substr(open + 1, close - open - 1));
    for (std::string word; std::getline(alternatives, word, '|');) {
      for (const std::string& kind : kinds_of_placeholder(command, word)) add_unique(kinds, kind);
    }
  }
  return kinds;
}

bool starts_with_capital(std::string_view line) {
  if (line.empty()) return false;
  if (line[0] >= 'A' && line[0] <= 'Z') return true;
  // Cyrillic capitals are U+0401 and U+0410..U+042F.
  if (line.size() < 2 || static_cast<unsigned char>(line[0]) != 0xd0) return false;
  const auto second = static_cast<unsigned char>(line[1]);
  return second == 0x81 || (second >= 0x90 && second <= 0xaf);
}

// The command's line of the general help: its first column names it (as
// "add" or "login/logout"); the description after the column gap.
std::string general_help_summary(const std::string& name, const std::string& general_help) {
  for (const std::string& line : lines_of(general_help)) {
    const std::string text = trimmed(line);
    const size_t gap = text.find("  ");
    if (!line.starts_with("  ") || gap == std::string::npos) continue;
    std::istringstream names(text.substr(0, text.find(' ')));
    for (std::string word; std::getline(names, word, '/');) {
      if (word == name) return trimmed(text.substr(gap));
    }
  }
  return "";
}

// A phrase up to its first aside or stop.
std::string first_phrase(std::string text) {
  text = text.substr(0, std::min({text.find(" ("), text.find(':'), text.find(';')}));
  while (!text.empty() && (text.back() == '.' || text.back() == ',' || text.back() == ' ')) {
    text.pop_back();
  }
  return text;
}

// The command's description in the general help when it is a phrase of its
// own, else the first phrase of its topic that is not a heading.
std::string summary_of(const CommandDoc& command, const std::string& general_help) {
  const std::string listed = general_help_summary(command.name, general_help);
  if (starts_with_capital(listed) && !listed.starts_with("См.")) return listed;
  for (const std::string& line : lines_of(command.help)) {
    const std::string text = trimmed(without_markup(line));
    const bool heading = text.ends_with(":") && text.size() < 30;  // "В .orrery:"
    if (!starts_with_capital(text) || text.starts_with("Использование") || heading) continue;
    if (std::string phrase = first_phrase(text); !phrase.empty()) return phrase;
  }
  return "команда orrery " + command.name;
}

std::vector<std::string> without(std::vector<std::string> list,
                                 const std::vector<std::string>& drop) {
  std::erase_if(list, [&](const std::string& item) {
    return std::find(drop.begin(), drop.end(), item) != drop.end();
  });
  return list;
}

std::string general_help_text() {
  std::ostringstream captured;
  std::streambuf* saved = std::cout.rdbuf(captured.rdbuf());
  cmd_help({});
  std::cout.rdbuf(saved);
  return captured.str();
}

// The global options are the flags of the general help's option lines,
// which stand before the command list.
std::vector<std::string> global_flags_in(const std::string& general_help) {
  const size_t options = general_help.find('\n');
  const size_t commands = general_help.find("Команды:");
  return flags_in(std::string_view(general_help).substr(options, commands - options));
}

}  // namespace

std::vector<std::string> lines_of(std::string_view text) {
  std::vector<std::string> lines;
  std::istringstream in{std::string(text)};
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::string trimmed(std::string_view text) { return std::string(trim(text, " ")); }

ProgramDoc collect_program_doc() {
  g_color = false;
  ProgramDoc doc;
  doc.general_help = general_help_text();
  doc.global_flags = global_flags_in(doc.general_help);
  for (std::string_view name : command_names()) {
    CommandDoc command;
    command.name = name;
    std::ostringstream topic;
    if (name == "help") {
      command.kinds = {"commands"};  // its topics are the commands; orrery(1) is its page
    } else if (print_help_topic(topic, name)) {
      command.help = topic.str();
      command.subcommands = subcommands_in(command.name, command.help);
      std::vector<std::string> own_words = command.subcommands;
      own_words.push_back(command.name);
      command.flags = without(flags_in(command.help, own_words), doc.global_flags);
      command.kinds = kinds_in(command.name, command.help);
    }
    command.summary = summary_of(command, doc.general_help);
    doc.commands.push_back(std::move(command));
  }
  return doc;
}

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: orrery-docgen <output folder>\n";
    return 2;
  }
  try {
    const std::string root = argv[1];
    const ProgramDoc doc = collect_program_doc();
    const std::string version(k_orrery_version);
    write_file_atomic(root + "/share/bash-completion/completions/orrery", bash_completion(doc));
    write_file_atomic(root + "/share/zsh/site-functions/_orrery", zsh_completion(doc));
    const std::string man = root + "/share/man/man1/";
    write_file_atomic(man + "orrery.1", program_man_page(doc, version));
    for (const CommandDoc& command : doc.commands) {
      if (command.help.empty()) continue;
      write_file_atomic(man + "orrery-" + command.name + ".1", command_man_page(command, version));
    }
  } catch (const std::exception& e) {
    std::cerr << "orrery-docgen: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
