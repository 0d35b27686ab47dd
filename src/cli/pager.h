#pragma once

// Long output (log, diff, show, blame, grep) goes through a pager when
// standard output is a terminal. The pager is $ORRERY_PAGER, else $PAGER,
// else "less", which gets LESS=FRX in its environment when LESS is unset (so
// it quits at once on output that fits the screen, keeps colour, and leaves
// the screen as it was). "cat" or an empty value turns paging off. A value
// made only of plain words (letters, digits and -_./=+,:@%) separated by
// spaces runs directly with those words as its arguments; any other value
// (quotes, pipes, variables) runs through "sh -c".

// Starts the pager and makes it standard output for the rest of the
// process. Does nothing when standard output is not a terminal, when paging
// is off, when a pager already runs, or when the pager cannot be started.
// The colour decision is made first, from the terminal, so colour survives.
void start_pager();

// Flushes and closes the pager's input, then waits until the pager exits.
// Called by the entry point once the command has returned.
void finish_pager();
