#include <algorithm>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "cli/internal/docgen.h"

// The pages are plain man(7) roff in UTF-8. A help line that starts with
// "orrery " is a form of the command and goes to the synopsis as it stands;
// the other lines make the paragraphs of the description. "**" marks turn
// into bold, backticks are dropped.

namespace {

// One line of help text as roff text: backslashes and hyphens escaped, a
// leading control character neutralised, "**" pairs as bold.
std::string roff_line(std::string_view text) {
  std::string out;
  bool bold = false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '`') continue;
    if (text.substr(i, 2) == "**") {
      out += bold ? "\\fR" : "\\fB";
      bold = !bold;
      ++i;
    } else if (c == '\\') {
      out += "\\e";
    } else if (c == '-') {
      out += "\\-";
    } else {
      out += c;
    }
  }
  if (bold) out += "\\fR";
  if (!out.empty() && (out[0] == '.' || out[0] == '\'')) out.insert(0, "\\&");
  return out;
}

std::string upper_ascii(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return text;
}

std::string header(const std::string& page, const std::string& summary,
                   const std::string& version) {
  return ".\\\" -*- coding: UTF-8 -*-\n"
         ".\\\" Generated from orrery's help texts when orrery is built.\n"
         ".TH " +
         upper_ascii(page) + " 1 \"\" \"orrery " + version + "\" \"Orrery\"\n.SH ИМЯ\n" + page +
         " \\- " + roff_line(summary) + "\n";
}

std::string no_fill_section(const std::string& title, const std::vector<std::string>& lines) {
  if (lines.empty()) return "";
  std::string out = ".SH " + title + "\n.nf\n";
  for (const std::string& line : lines) out += roff_line(line) + "\n";
  return out + ".fi\n";
}

// "  term   description" lines as tagged paragraphs. A line at the same
// indentation without a gap is a term of its own; deeper lines continue
// the paragraph above, each on a line of its own.
std::string tagged_section(const std::string& title, const std::vector<std::string>& lines) {
  std::string out = ".SH " + title + "\n";
  for (const std::string& line : lines) {
    const std::string text = trimmed(line);
    const size_t gap = text.find("  ");
    if (line.find_first_not_of(' ') > 2) {
      out += ".br\n" + roff_line(text) + "\n";
    } else if (gap == std::string::npos) {
      out += ".TP\n.B " + roff_line(text) + "\n";
    } else {
      out += ".TP\n.B " + roff_line(text.substr(0, gap)) + "\n" +
             roff_line(trimmed(text.substr(gap))) + "\n";
    }
  }
  return out;
}

}  // namespace

std::string program_man_page(const ProgramDoc& doc, const std::string& version) {
  std::vector<std::string> usage, options, commands, rest;
  std::vector<std::string>* part = &usage;
  for (const std::string& line : lines_of(doc.general_help)) {
    if (line.starts_with("Использование: ")) {
      usage.push_back(line.substr(std::string_view("Использование: ").size()));
    } else if (line == "Глобальные опции:") {
      part = &options;
    } else if (line == "Команды:") {
      part = &commands;
    } else if (line.empty()) {
      part = &rest;
    } else {
      part->push_back(line);
    }
  }
  std::string out = header("orrery", "система контроля версий", version);
  out += no_fill_section("ОБЗОР", usage);
  out += tagged_section("ОПЦИИ", options);
  out += tagged_section("КОМАНДЫ", commands);
  for (const std::string& line : rest) out += ".PP\n" + roff_line(line) + "\n";
  out += ".SH СМОТРИТЕ ТАКЖЕ\n";
  std::string see_also;
  for (const CommandDoc& command : doc.commands) {
    if (command.help.empty()) continue;
    if (!see_also.empty()) see_also += ",\n";
    see_also += ".BR orrery\\-" + command.name + " (1)";
  }
  return out + see_also + "\n";
}

std::string command_man_page(const CommandDoc& command, const std::string& version) {
  std::vector<std::string> forms, description;
  for (const std::string& line : lines_of(command.help)) {
    std::string text = trimmed(line);
    if (text.starts_with("Использование:")) text = trimmed(text.substr(text.find(':') + 1));
    if (text.empty()) continue;
    (text.starts_with("orrery ") ? forms : description).push_back(text);
  }
  std::string out = header("orrery-" + command.name, command.summary, version);
  out += no_fill_section("ОБЗОР", forms);
  if (!description.empty()) out += ".SH ОПИСАНИЕ\n";
  // Help lines are wrapped by hand: a line after one that ends a sentence
  // starts a paragraph, any other continues it.
  bool sentence_ended = true;
  for (const std::string& line : description) {
    if (sentence_ended) out += ".PP\n";
    out += roff_line(line) + "\n";
    sentence_ended = std::string_view(".:!?").find(line.back()) != std::string_view::npos;
  }
  return out + ".SH СМОТРИТЕ ТАКЖЕ\n.BR orrery (1)\n";
}
