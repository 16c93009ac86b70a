#include "core/PushMIDIMap.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace corvane {
namespace {

using PushMIDIMap::Button;

TEST(PushMIDIMapButton, AllButtonsRunInControllerOrderWithoutGaps) {
    ASSERT_EQ(PushMIDIMap::allButtons.size(), 54u);
    EXPECT_EQ(PushMIDIMap::allButtons.front(), Button::tapTempo);
    EXPECT_EQ(PushMIDIMap::allButtons.back(), Button::undo);
    for (std::size_t i = 1; i < PushMIDIMap::allButtons.size(); ++i)
        EXPECT_LT(PushMIDIMap::controller(PushMIDIMap::allButtons[i - 1]),
                  PushMIDIMap::controller(PushMIDIMap::allButtons[i]));
}

TEST(PushMIDIMapButton, OnlyButtonControllersNameAButton) {
    std::set<unsigned> controllers;
    for (auto b : PushMIDIMap::allButtons) controllers.insert(PushMIDIMap::controller(b));
    for (unsigned c = 0; c < 256; ++c) {
        const auto b = PushMIDIMap::button(c);
        EXPECT_EQ(b.has_value(), controllers.count(c) == 1) << c;
        if (b) {
            EXPECT_EQ(PushMIDIMap::controller(*b), c);
        }
    }
    EXPECT_EQ(PushMIDIMap::button(85), Button::play);
    EXPECT_EQ(PushMIDIMap::button(64), Button::footswitch1);
    EXPECT_FALSE(PushMIDIMap::button(84));
}

TEST(PushMIDIMapButton, NamesPrintAsDeclaredAndKeywordButtonsPrintPlain) {
    EXPECT_EQ(PushMIDIMap::name(Button::newButton), "new");
    EXPECT_EQ(PushMIDIMap::name(Button::deleteButton), "delete");
    EXPECT_EQ(PushMIDIMap::name(Button::repeatButton), "repeatButton");
    EXPECT_EQ(PushMIDIMap::name(Button::play), "play");
    EXPECT_EQ(PushMIDIMap::name(Button::setsFiles), "setsFiles");
    EXPECT_EQ(PushMIDIMap::name(Button::jogNudgeRight), "jogNudgeRight");
    EXPECT_EQ(PushMIDIMap::controller(Button::newButton), 92);
    EXPECT_EQ(PushMIDIMap::controller(Button::deleteButton), 118);
    std::set<std::string> names;
    for (auto b : PushMIDIMap::allButtons) {
        const auto name = PushMIDIMap::name(b);
        EXPECT_FALSE(name.empty());
        names.emplace(name);
    }
    EXPECT_EQ(names.size(), 54u);
}

TEST(PushMIDIMapControls, RangesDoNotOverlapButtons) {
    for (auto b : PushMIDIMap::allButtons) {
        const auto c = PushMIDIMap::controller(b);
        EXPECT_FALSE(PushMIDIMap::trackEncoderCCs.contains(c)) << c;
        EXPECT_FALSE(PushMIDIMap::upperDisplayButtonCCs.contains(c)) << c;
        EXPECT_FALSE(PushMIDIMap::lowerDisplayButtonCCs.contains(c)) << c;
        EXPECT_FALSE(PushMIDIMap::sceneButtonCCs.contains(c)) << c;
    }
    EXPECT_EQ(PushMIDIMap::padNotes.count(), 64);
}

}  // namespace
}  // namespace corvane
