#pragma once
// A fixture for a page drawn from the host state with the encoders' touch flags: the mixer,
// device and track pages.

#include <gtest/gtest.h>

#include <cstdint>
#include <span>
#include <string>
#include <utility>

#include "PushDisplay/Canvas.h"
#include "core/RemoteState.h"
#include "tests/PushDisplay/ScreenPicture.h"

namespace corvane::testing {

template <void (*DrawPage)(Canvas&, const RemoteState&, std::span<const bool>)>
class HostPageTest : public ::testing::Test {
protected:
    Picture draw(std::span<const bool> touched = {}) {
        canvas.clear(DisplayColor(255, 0, 255));  // the page must cover all of it
        DrawPage(canvas, state, touched);
        return Picture(canvas);
    }
    void set(StateKey key, std::int64_t value) { state.set(key, StateValue::number(value)); }
    void set(StateKey key, std::string value) { state.set(key, StateValue::string(std::move(value))); }

    Canvas canvas;
    RemoteState state;
};

}  // namespace corvane::testing
