#pragma once

#include <string>
#include <string_view>
#include <vector>

// What the completion scripts and the manual pages know about the program,
// read from the dispatch table and the help texts so neither can drift.

// What a command's positional arguments name: "branches", "tags",
// "remote-branches", "remotes", "stashes", "files" or "commands".
using ArgumentKinds = std::vector<std::string>;

struct CommandDoc {
  std::string name;
  std::string help;                      // the help topic as printed
  std::vector<std::string> flags;        // sorted; "--x=" for options taking "=value"
  std::vector<std::string> subcommands;  // words that may stand first, in help order
  ArgumentKinds kinds;                   // in help order
  std::string summary;                   // one line for the NAME section
};

struct ProgramDoc {
  std::string general_help;  // orrery help, uncoloured
  std::vector<std::string> global_flags;
  std::vector<CommandDoc> commands;  // in dispatch order; help is empty without a topic
};

// Reads everything from the dispatch table and the help texts.
ProgramDoc collect_program_doc();

// The bash and the zsh completion scripts.
std::string bash_completion(const ProgramDoc& doc);
std::string zsh_completion(const ProgramDoc& doc);

// The orrery(1) page and the page of one command, in roff.
std::string program_man_page(const ProgramDoc& doc, const std::string& version);
std::string command_man_page(const CommandDoc& command, const std::string& version);

// Text helpers shared by the writers.
std::vector<std::string> lines_of(std::string_view text);
std::string trimmed(std::string_view text);
