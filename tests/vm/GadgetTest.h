#pragma once
// Tests with the display gadget bound and visible to libusb before the code under test starts
// looking.

#include <gtest/gtest.h>

#include <memory>

#include "tests/vm/DisplayGadget.h"
#include "tests/vm/RealKernel.h"

namespace corvane::vm {

class GadgetTest : public ::testing::Test {
protected:
    void SetUp() override {
        CORVANE_REQUIRE(gadgetMissing());
        gadget = std::make_unique<DisplayGadget>();
        ASSERT_TRUE(gadget->waitUntilEnabled()) << "the host never configured the gadget";
        ASSERT_TRUE(gadget->waitUntilVisible()) << "libusb never listed the gadget";
    }

    std::unique_ptr<DisplayGadget> gadget;
};

}  // namespace corvane::vm
