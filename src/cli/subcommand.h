#pragma once

// The subcommands of the one `vorlan` program that need no window and no display: find, solve,
// stack and known. They run under a QCoreApplication, write their results to standard output
// and their progress and problems to standard error, and end with an exit status a script can
// test.

namespace vorlan {

enum ExitStatus : int {
    ExitResults = 0,    ///< something was found, solved or written
    ExitNothing = 1,    ///< the run went through and found nothing
    ExitBadUsage = 2,   ///< the command line cannot be carried out as given
    ExitUnreadable = 3, ///< a file could not be read (the others were still processed)
};

/// Whether argv[1] names a subcommand.
bool isSubcommand(int argc, char* argv[]);

/// Runs the subcommand argv[1] under a QCoreApplication of its own; returns the exit status.
int runSubcommand(int argc, char* argv[]);

} // namespace vorlan
