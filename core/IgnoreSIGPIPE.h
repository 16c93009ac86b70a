#pragma once

namespace corvane {

// Both programs call this first thing: a write to a closed pipe (standard error whose reader has
// gone, a peer that hung up) then fails with EPIPE instead of ending the process.
void ignoreSIGPIPE();

}  // namespace corvane
