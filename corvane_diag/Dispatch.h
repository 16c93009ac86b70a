#pragma once
// The command line of corvane-diag: one sub-command per run, picked by the first argument.

#include <string>
#include <vector>

#include "corvane_diag/DiagEnvironment.h"

namespace corvane {

// The usage text, printed as one piece (the print adds the final line end).
extern const char* const diagUsage;

// Runs the command named by the first argument with the rest as its arguments, in `environment`
// (whose arguments it replaces); returns the exit status. No command, or one it does not know:
// the usage text and 2.
int runDiag(DiagEnvironment& environment, std::vector<std::string> arguments);

}  // namespace corvane
