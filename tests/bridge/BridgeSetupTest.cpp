// The setup page on the Push: opening it, its tabs, the preamp and aftertouch choices and the
// brightness knobs sent to the Push and saved, the settings queries, and the menu's diagnostics.

#include <gtest/gtest.h>

#include <algorithm>

#include "core/PushPreferencesStore.h"
#include "tests/bridge/BridgeHarness.h"

namespace corvane {
namespace {

using namespace std::chrono_literals;
using Button = PushMIDIMap::Button;

class BridgeSetupTest : public BridgeHarness {
protected:
    void pressUpper(int index) {
        push->pressUpperDisplayButton(index);
        push->releaseUpperDisplayButton(index);
        settle();
    }

    void pressLower(int index) {
        push->pressLowerDisplayButton(index);
        push->releaseLowerDisplayButton(index);
        settle();
    }

    // Starts the bridge and waits out its start-up queries.
    void startQuietly() {
        start();
        ASSERT_TRUE(pumpUntil([&] { return queries() == 3; }));
        settle();
        push->clearReceived();
    }

    // Opens the page on a tab and waits out its settings queries.
    void openSetup(SetupTab tab) {
        push->clearReceived();
        tap(Button::setup);
        ASSERT_EQ(bridge->screen(), BridgeScreen::setup);
        pressUpper(rawValue(tab));
        ASSERT_EQ(bridge->local().setup.tab, tab);
        ASSERT_TRUE(pumpUntil([&] { return queries() >= 3; }));
        settle();
        push->clearReceived();
    }

    std::size_t queries() {
        const auto bodies = push->commandsReceived();
        return static_cast<std::size_t>(std::count_if(bodies.begin(), bodies.end(), [](const Bytes& body) {
            return body == Bytes{PushSysEx::getLEDBrightness} || body == Bytes{PushSysEx::getDisplayBrightness} ||
                   body == Bytes{PushSysEx::getAftertouchMode};
        }));
    }

    std::optional<std::int64_t> stored(const char* key) { return Settings::integer(settings->value(key)); }
};

TEST_F(BridgeSetupTest, TheSetupButtonOpensThePageInPlaceOfTheScalePageAndAsksThePush) {
    startQuietly();
    tap(Button::scale);
    push->clearReceived();

    const auto pressed = std::chrono::steady_clock::now();
    tap(Button::setup);
    EXPECT_EQ(bridge->screen(), BridgeScreen::setup);
    EXPECT_FALSE(bridge->local().scaleOverlay);
    ASSERT_TRUE(pumpUntil([&] { return queries() > 0; }));
    EXPECT_GE(std::chrono::steady_clock::now() - pressed, 200ms);
    ASSERT_TRUE(pumpUntil([&] { return queries() == 3; }));
    EXPECT_GE(std::chrono::steady_clock::now() - pressed, 360ms);
    EXPECT_EQ(push->commandsReceived(), (std::vector<Bytes>{{PushSysEx::getLEDBrightness},
                                                           {PushSysEx::getDisplayBrightness},
                                                           {PushSysEx::getAftertouchMode}}));

    // While it is open the encoders and display buttons stay here; touches still go on.
    script->clearReceived();
    push->touchEncoder(1);
    push->turnEncoder(1, 3);
    push->pressLowerDisplayButton(0);
    push->pressUpperDisplayButton(5);
    settle();
    ASSERT_EQ(script->controls().size(), 1u);
    EXPECT_TRUE(script->controls()[0].is<MIDIMessage::NoteOn>());

    // Showing the scale page closes it again.
    tap(Button::scale);
    EXPECT_FALSE(bridge->local().setup.open);
    EXPECT_EQ(bridge->screen(), BridgeScreen::scale);
}

TEST_F(BridgeSetupTest, TheUpperButtonsPickTheTabWhichIsKeptWhileThePageIsClosed) {
    startQuietly();
    openSetup(SetupTab::display);
    pressUpper(5);  // no tab there
    EXPECT_EQ(bridge->local().setup.tab, SetupTab::display);
    tap(Button::setup);
    EXPECT_FALSE(bridge->local().setup.open);
    EXPECT_NE(bridge->screen(), BridgeScreen::setup);
    tap(Button::setup);
    EXPECT_EQ(bridge->local().setup.tab, SetupTab::display);
    // Changing tabs asks the Push nothing.
    ASSERT_TRUE(pumpUntil([&] { return queries() == 3; }));
    pressUpper(1);
    pump(500ms);
    EXPECT_EQ(queries(), 3u);
}

TEST_F(BridgeSetupTest, TheAudioTabSetsEachInputsPreampAndTheBridgeKeepsIt) {
    startQuietly();
    openSetup(SetupTab::audio);
    pressLower(3);
    pressLower(7);
    EXPECT_TRUE(push->commandsReceived().empty());

    pressLower(4);
    EXPECT_EQ(push->preamp(1), rawValue(Preamp::line));
    pressLower(6);
    EXPECT_EQ(push->preamp(1), rawValue(Preamp::high));
    pressLower(5);
    EXPECT_EQ(push->preamp(1), rawValue(Preamp::instrument));
    pressLower(2);
    EXPECT_EQ(push->preamp(0), rawValue(Preamp::high));
    EXPECT_EQ(bridge->local().setup.preamps, (std::array<std::optional<Preamp>, 2>{Preamp::high, Preamp::instrument}));
    EXPECT_EQ(stored(PushPreferencesStore::preamp1Key), 2);
    EXPECT_EQ(stored(PushPreferencesStore::preamp2Key), 1);

    // The next start sends them first, and the setup page knows them.
    bridge.reset();
    settle();
    push->clearReceived();
    start();
    const auto commands = push->commandsReceived();
    ASSERT_GE(commands.size(), 2u);
    EXPECT_EQ(commands[0], *PushSysEx::body(PushSysEx::preamp(0, Preamp::high)));
    EXPECT_EQ(commands[1], *PushSysEx::body(PushSysEx::preamp(1, Preamp::instrument)));
    EXPECT_EQ(bridge->local().setup.preamps[1], Preamp::instrument);
}

TEST_F(BridgeSetupTest, TheExpressionTabSetsAftertouchAndAsksAgainToConfirmIt) {
    startQuietly();
    openSetup(SetupTab::expression);
    pressLower(3);
    EXPECT_TRUE(push->commandsReceived().empty());

    pressLower(2);
    EXPECT_EQ(push->aftertouchMode(), rawValue(AftertouchMode::mpe));
    EXPECT_EQ(bridge->local().setup.aftertouch, AftertouchMode::mpe);
    EXPECT_EQ(stored(PushPreferencesStore::aftertouchKey), 2);
    ASSERT_TRUE(pumpUntil([&] { return push->commandsReceived().size() == 2; }));
    EXPECT_EQ(push->commandsReceived(),
              (std::vector<Bytes>{{PushSysEx::setAftertouchMode, 2}, {PushSysEx::getAftertouchMode}}));

    // The Push's answer is what the page shows; the saved choice stays the user's.
    pressLower(0);
    push->setAftertouchMode(AftertouchMode::poly);
    ASSERT_TRUE(pumpUntil([&] { return bridge->local().setup.aftertouch == AftertouchMode::poly; }));
    EXPECT_EQ(stored(PushPreferencesStore::aftertouchKey), 0);
}

TEST_F(BridgeSetupTest, TheDisplayTabsKnobsStepTheBrightnessAndTheOtherTabsIgnoreThem) {
    push->setDisplayBrightness(255);
    push->setLEDBrightness(127);
    startQuietly();
    openSetup(SetupTab::audio);
    push->turnEncoder(0, 5);
    settle();
    EXPECT_TRUE(push->commandsReceived().empty());

    pressUpper(rawValue(SetupTab::display));
    push->turnEncoder(0, -10);
    settle();
    EXPECT_EQ(push->displayBrightness(), SetupState::stepped(255, 255, -10));
    EXPECT_EQ(bridge->local().setup.displayBrightness, push->displayBrightness());
    EXPECT_EQ(stored(PushPreferencesStore::displayBrightnessKey), push->displayBrightness());

    push->turnEncoder(1, -64);
    push->turnEncoder(1, -64);
    settle();
    EXPECT_EQ(push->ledBrightness(), 13);  // never below 10 %
    EXPECT_EQ(stored(PushPreferencesStore::ledBrightnessKey), push->ledBrightness());

    push->clearReceived();
    push->turnEncoder(2, 5);
    settle();
    EXPECT_TRUE(push->commandsReceived().empty());
}

TEST_F(BridgeSetupTest, DiagnosticsFromTheMenuOpenAndCloseTheDiagnosticsTab) {
    start();
    std::vector<BridgeStatus> published;
    bridge->setOnStatusChange([&](const BridgeStatus& status) { published.push_back(status); });

    tap(Button::scale);
    bridge->toggleDiagnostics();
    EXPECT_TRUE(bridge->local().setup.showsDiagnostics());
    EXPECT_FALSE(bridge->local().scaleOverlay);
    EXPECT_EQ(bridge->screen(), BridgeScreen::setup);
    ASSERT_FALSE(published.empty());
    EXPECT_TRUE(published.back().diagnostics);

    bridge->toggleDiagnostics();
    EXPECT_FALSE(bridge->local().setup.open);
    EXPECT_FALSE(published.back().diagnostics);

    // Open on another tab, it switches to diagnostics rather than closing.
    openSetup(SetupTab::audio);
    bridge->toggleDiagnostics();
    EXPECT_TRUE(bridge->local().setup.showsDiagnostics());
    EXPECT_TRUE(published.back().diagnostics);
}

}  // namespace
}  // namespace corvane
