#pragma once
// What the real-kernel tests need from the machine. Inside the guest of scripts/vm-test
// (CORVANE_VM set) a missing piece is a failure; anywhere else the tests that need it are skipped.

#include <gtest/gtest.h>

#include <string>

namespace corvane::vm {

bool insideTestGuest();

// Each returns why the piece is missing, or an empty text when it is there.
std::string sequencerMissing();
std::string gadgetMissing();
// The USB MIDI gadget's: the second dummy controller and the MIDI drivers of both sides.
std::string midiGadgetMissing();

}  // namespace corvane::vm

#define CORVANE_REQUIRE(missing)                                                  \
    do {                                                                          \
        const std::string corvaneMissing = (missing);                             \
        if (!corvaneMissing.empty()) {                                            \
            if (::corvane::vm::insideTestGuest()) {                               \
                FAIL() << corvaneMissing;                                         \
            } else {                                                              \
                GTEST_SKIP() << corvaneMissing << " (scripts/vm-test runs this)"; \
            }                                                                     \
        }                                                                         \
    } while (false)
