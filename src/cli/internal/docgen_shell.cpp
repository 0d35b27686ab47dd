#include <algorithm>
#include <string>
#include <vector>

#include "cli/internal/docgen.h"

// Both scripts share one body written in the common ground of bash and zsh:
// generated functions that print the static words one per line, and the
// functions that find names at completion time. Branch, tag and
// remote-tracking names are the files under .orrery/refs (one find, no
// orrery process); remotes and stash entries come from the orrery being
// completed, whose listings already hide the storage details. Outside a
// repository only the static words are offered.

namespace {

constexpr std::string_view k_shared_body = R"SH(
# Sets _orrery_dir to the repository's .orrery folder above the current
# directory; fails outside a repository. No subshell: completion forks enough.
_orrery_find_root() {
  _orrery_dir=$PWD
  while :; do
    [[ -d $_orrery_dir/.orrery ]] && _orrery_dir=$_orrery_dir/.orrery && return 0
    [[ -z $_orrery_dir ]] && return 1
    _orrery_dir=${_orrery_dir%/*}
  done
}

# _orrery_words <program> <kind>: the names of one kind of argument, inside
# the repository _orrery_find_root found.
_orrery_words() {
  case $2 in
    commands) _orrery_commands ;;
    branches) find "$_orrery_dir/refs/heads" -type f -printf '%P\n' 2>/dev/null | LC_ALL=C sort ;;
    tags) find "$_orrery_dir/refs/tags" -type f -printf '%P\n' 2>/dev/null | LC_ALL=C sort ;;
    remote-branches)
      find "$_orrery_dir/refs/remotes" -type f -printf '%P\n' 2>/dev/null | LC_ALL=C sort ;;
    remotes) "$1" remote 2>/dev/null ;;
    stashes) "$1" stash list 2>/dev/null | while IFS=: read -r entry rest; do
        printf '%s\n' "$entry"
      done ;;
  esac
}

# _orrery_candidates <program> <command> <arguments before> <word>
_orrery_candidates() {
  local kind
  if [[ -z $2 ]]; then
    if [[ $4 == -* ]]; then _orrery_global_flags; else _orrery_commands; fi
    return 0
  fi
  if [[ $4 == -* ]]; then
    _orrery_flags "$2"
    _orrery_global_flags
    return 0
  fi
  if [[ $3 == 0 ]] && _orrery_has_subcommands "$2"; then
    _orrery_subcommands "$2"
    return 0
  fi
  _orrery_find_root || [[ $2 == help ]] || return 0
  for kind in $(_orrery_kinds "$2"); do _orrery_words "$1" "$kind"; done
}

# _orrery_scan <word>...: the words before the one being completed. Sets
# command (the first word that is no global option) and before (the
# non-option words after it).
_orrery_scan() {
  local word
  for word in "$@"; do
    if [[ -z $command ]]; then
      _orrery_is_global "$word" || command=$word
    elif [[ $word != -* ]]; then
      before=$((before + 1))
    fi
  done
}
)SH";

constexpr std::string_view k_bash_entry = R"SH(
_orrery() {
  local cur=${COMP_WORDS[COMP_CWORD]} command= before=0 _orrery_dir
  _orrery_scan "${COMP_WORDS[@]:1:COMP_CWORD-1}"
  local IFS=$'\n'
  COMPREPLY=($(compgen -W "$(_orrery_candidates "${COMP_WORDS[0]}" "$command" "$before" "$cur")" -- "$cur"))
  if [[ $cur != -* ]] && _orrery_takes_files_of "$command"; then
    COMPREPLY+=($(compgen -f -- "$cur"))
    compopt -o filenames 2>/dev/null
  fi
  if [[ ${#COMPREPLY[@]} == 1 && ${COMPREPLY[0]} == *= ]]; then
    compopt -o nospace 2>/dev/null
  fi
  return 0
}
complete -F _orrery orrery
)SH";

constexpr std::string_view k_zsh_entry = R"SH(
_orrery() {
  local command= before=0 _orrery_dir
  local -a found
  _orrery_scan "${(@)words[2,CURRENT-1]}"
  found=(${(f)"$(_orrery_candidates "${words[1]}" "$command" "$before" "$PREFIX")"})
  compadd -Q -- "${found[@]}"
  if [[ $PREFIX != -* ]] && _orrery_takes_files_of "$command"; then
    _files
  fi
}

_orrery "$@"
)SH";

std::string joined(const std::vector<std::string>& words, std::string_view separator) {
  std::string out;
  for (const std::string& word : words) {
    if (!out.empty()) out += separator;
    out += word;
  }
  return out;
}

// A function printing the words one per line. The words are flags, command
// names and kinds: letters, digits, "-" and "=" only, so they need no quotes.
std::string word_function(std::string_view name, const std::vector<std::string>& words) {
  return std::string(name) + "() {\n  printf '%s\\n' " + joined(words, " ") + "\n}\n";
}

// A function of one command name answering with that command's words.
std::string per_command_function(std::string_view name, const ProgramDoc& doc,
                                 const std::vector<std::string> CommandDoc::*field) {
  std::string out = std::string(name) + "() {\n  case $1 in\n";
  for (const CommandDoc& command : doc.commands) {
    const std::vector<std::string>& words = command.*field;
    if (words.empty()) continue;
    out += "    " + command.name + ") printf '%s\\n' " + joined(words, " ") + " ;;\n";
  }
  return out + "  esac\n}\n";
}

// A function that succeeds for the commands the predicate holds for.
template <typename Predicate>
std::string command_test_function(std::string_view name, const ProgramDoc& doc, Predicate holds) {
  std::vector<std::string> names;
  for (const CommandDoc& command : doc.commands) {
    if (holds(command)) names.push_back(command.name);
  }
  if (names.empty()) return std::string(name) + "() {\n  return 1\n}\n";
  return std::string(name) + "() {\n  case $1 in\n    " + joined(names, "|") +
         ") return 0 ;;\n  esac\n  return 1\n}\n";
}

std::string shared_script(const ProgramDoc& doc) {
  std::vector<std::string> names;
  for (const CommandDoc& command : doc.commands) names.push_back(command.name);
  std::string out = word_function("_orrery_commands", names);
  out += word_function("_orrery_global_flags", doc.global_flags);
  out += per_command_function("_orrery_flags", doc, &CommandDoc::flags);
  out += per_command_function("_orrery_subcommands", doc, &CommandDoc::subcommands);
  out += "_orrery_is_global() {\n  case $1 in\n    " + joined(doc.global_flags, "|") +
         ") return 0 ;;\n  esac\n  return 1\n}\n";
  out += per_command_function("_orrery_kinds", doc, &CommandDoc::kinds);
  out += command_test_function("_orrery_has_subcommands", doc, [](const CommandDoc& command) {
    return !command.subcommands.empty();
  });
  out += command_test_function("_orrery_takes_files_of", doc, [](const CommandDoc& command) {
    return std::find(command.kinds.begin(), command.kinds.end(), "files") != command.kinds.end();
  });
  return out + std::string(k_shared_body);
}

constexpr std::string_view k_generated_note =
    "# Generated from orrery's help texts when orrery is built; edits are lost.\n";

}  // namespace

std::string bash_completion(const ProgramDoc& doc) {
  return "# bash completion for orrery.\n" + std::string(k_generated_note) + "\n" +
         shared_script(doc) + std::string(k_bash_entry);
}

std::string zsh_completion(const ProgramDoc& doc) {
  return "#compdef orrery\n# zsh completion for orrery.\n" + std::string(k_generated_note) + "\n" +
         shared_script(doc) + std::string(k_zsh_entry);
}
