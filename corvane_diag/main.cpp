// corvane-diag: checks the Push 3, its display and a running bridge from the command line.

#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "core/IgnoreSIGPIPE.h"
#include "core/Log.h"
#include "corvane_diag/DiagEnvironment.h"
#include "corvane_diag/Dispatch.h"

int main(int argc, char** argv) {
    corvane::ignoreSIGPIPE();
    // Every line leaves at once, even into a pipe.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    // The tool keeps no log and prints only to standard output: nothing the shared libraries
    // would log passes the filter.
    corvane::Log::shared().setEchoToStderr(false);
    corvane::Log::shared().setMinimumLevel(static_cast<corvane::Log::Level>(4));

    std::vector<std::string> arguments(argv + 1, argv + argc);
    auto environment = corvane::DiagEnvironment::system({});
    const int status = corvane::runDiag(environment, std::move(arguments));
    std::fflush(stdout);
    // Receive and transfer threads may still run: leave without running static destructors.
    _exit(status);
}
