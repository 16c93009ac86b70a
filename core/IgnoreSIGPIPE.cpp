#include "core/IgnoreSIGPIPE.h"

#include <csignal>

namespace corvane {

void ignoreSIGPIPE() {
    struct sigaction action {};
    action.sa_handler = SIG_IGN;
    sigemptyset(&action.sa_mask);
    sigaction(SIGPIPE, &action, nullptr);
}

}  // namespace corvane
