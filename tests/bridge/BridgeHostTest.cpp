// What the script tells the bridge: hello, host state, resync, heartbeats and their loss,
// goodbye, protocol problems, and the status that follows.

#include <gtest/gtest.h>

#include <algorithm>

#include "core/StateKeys.h"
#include "tests/bridge/BridgeHarness.h"

namespace corvane {
namespace {

using namespace std::chrono_literals;
namespace Session = StateKeys::Session;

class BridgeHostTest : public BridgeHarness {
protected:
    std::size_t count(const BridgeMessage& message) {
        const auto said = script->sentByBridge();
        return static_cast<std::size_t>(std::count(said.begin(), said.end(), message));
    }

    std::size_t occurrences(const std::string& text) {
        const std::string all = logText();
        std::size_t found = 0;
        for (auto at = all.find(text); at != std::string::npos; at = all.find(text, at + 1)) ++found;
        return found;
    }
};

TEST_F(BridgeHostTest, HelloConnectsAndTheStatusScreenGivesWayToTheHostPage) {
    start();
    EXPECT_EQ(bridge->screen(), BridgeScreen::status);
    script->setString(Session::hostName, "Cubase");
    script->setString(Session::hostVersion, "13.0.41");
    script->hello("2.1.0");
    ASSERT_TRUE(script->waitFor(BridgeMessage::bridgeHello("0.4.3", true)));
    EXPECT_TRUE(bridge->cubaseConnected());
    // The hello empties what came before it.
    EXPECT_TRUE(bridge->state().values().empty());
    EXPECT_TRUE(logged("INFO Cubase script 2.1.0 said hello"));
    EXPECT_TRUE(logged("INFO Cubase connected"));
    EXPECT_EQ(bridge->screen(), BridgeScreen::status);

    script->setNumber(Session::page, 1);
    ASSERT_TRUE(pumpUntil([&] { return bridge->screen() == BridgeScreen::mix; }, 3s));
    EXPECT_EQ(bridge->statusModel().scriptVersion, "2.1.0");
}

TEST_F(BridgeHostTest, StateChangesRedrawAndUnchangedValuesDoNothing) {
    start();
    connectCubase();
    waitForHostPage();
    int renders = rendersWhenQuiet();
    script->setNumber(StateKeys::Master::volume, 9000);
    ASSERT_TRUE(pumpUntil([&] { return bridge->state().number(StateKeys::Master::volume) == 9000; }));
    EXPECT_TRUE(rendersAfter(renders));
    EXPECT_TRUE(logged("DEBUG state setNumber(04.00, 9000)"));

    renders = rendersWhenQuiet();
    const std::size_t toPush = push->receivedCount();
    script->setNumber(StateKeys::Master::volume, 9000);
    settle();
    EXPECT_EQ(rendersWhenQuiet(), renders);
    EXPECT_EQ(push->receivedCount(), toPush);

    // The running time and the meters change too often to log.
    script->setString(StateKeys::Transport::timeText, "1. 1. 1.  0");
    script->setNumber(StateKeys::bankChannel(0, StateKeys::ChannelField::meter), 300);
    script->setNumber(StateKeys::selectedTrack(StateKeys::ChannelField::meter), 301);
    settle();
    EXPECT_FALSE(logged("timeText"));
    EXPECT_FALSE(logged("state setNumber(10.0C, 300)"));
    EXPECT_TRUE(logged("state setNumber(02.0C, 301)"));
}

TEST_F(BridgeHostTest, ASecondHelloEmptiesTheStateAnswersAgainAndRedraws) {
    usb->plug();
    start();
    connectCubase();
    script->setNumber(Session::page, 1);
    waitForHostPage();
    ASSERT_EQ(bridge->screen(), BridgeScreen::mix);
    const int renders = rendersWhenQuiet();

    connectCubase();
    EXPECT_TRUE(bridge->state().values().empty());
    EXPECT_EQ(bridge->screen(), BridgeScreen::track);
    EXPECT_EQ(count(BridgeMessage::bridgeHello("0.4.3", true)), 3u);  // start, and one per hello
    EXPECT_EQ(occurrences("INFO Cubase connected"), 1u);
    // The emptied state reaches the display and the LEDs.
    EXPECT_TRUE(rendersAfter(renders));
    EXPECT_TRUE(push->waitUntil([&] {
        return push->ledButton(PushMIDIMap::Button::note) == 127 && push->ledButton(PushMIDIMap::Button::mix) == 16;
    }));
}

TEST_F(BridgeHostTest, HeartbeatsAloneConnectAndAskForTheStateOnce) {
    // Sent before there was a bridge to hear it; the script keeps it for a resync.
    script->setString(Session::hostName, "Cubase");
    script->setNumber(Session::page, 2);
    start();
    EXPECT_TRUE(bridge->state().values().empty());
    script->heartbeat();
    ASSERT_TRUE(pumpUntil([&] { return bridge->state().values().size() == 2; }));
    EXPECT_TRUE(bridge->cubaseConnected());
    EXPECT_EQ(bridge->state().string(Session::hostName), "Cubase");
    script->heartbeat();
    settle();
    EXPECT_EQ(count(BridgeMessage::requestResync()), 2u);  // at start, and for the first heartbeat
    EXPECT_EQ(script->resyncsAnswered(), 1);
    EXPECT_EQ(bridge->state().values().size(), 2u);  // a heartbeat never empties the state
}

TEST_F(BridgeHostTest, SilenceDisconnectsAtAWatchdogTickAndAHeartbeatComesBack) {
    options.heartbeatTimeout = 0.3;
    start();
    connectCubase();
    ASSERT_TRUE(push->waitUntil([&] { return push->ledButton(PushMIDIMap::Button::undo) == 16; }));
    // The first tick more than 0.3 s after the hello notices.
    ASSERT_TRUE(pumpUntil([&] { return !bridge->cubaseConnected(); }, 3s));
    EXPECT_TRUE(logged("WARN Cubase heartbeat lost"));
    EXPECT_TRUE(logged("INFO Cubase disconnected"));
    EXPECT_EQ(bridge->screen(), BridgeScreen::status);
    ASSERT_TRUE(push->waitUntil([&] { return push->ledButton(PushMIDIMap::Button::undo) == 0; }));

    script->setAnswersResync(false);
    script->heartbeat();
    ASSERT_TRUE(pumpUntil([&] { return bridge->cubaseConnected(); }));
    EXPECT_TRUE(script->waitFor(BridgeMessage::requestResync()));
    ASSERT_TRUE(push->waitUntil([&] { return push->ledButton(PushMIDIMap::Button::undo) == 16; }));

    // Heartbeats in time keep it so across several ticks.
    script->startHeartbeat(100ms);
    pump(1500ms);
    EXPECT_TRUE(bridge->cubaseConnected());
    script->stopHeartbeat();
}

TEST_F(BridgeHostTest, GoodbyeDisconnectsAndDarkensTheHostButtons) {
    start();
    connectCubase();
    script->goodbye();
    ASSERT_TRUE(pumpUntil([&] { return !bridge->cubaseConnected(); }));
    EXPECT_TRUE(logged("INFO Cubase script said goodbye"));
    EXPECT_TRUE(logged("INFO Cubase disconnected"));
    ASSERT_TRUE(push->waitUntil([&] { return push->ledButton(PushMIDIMap::Button::undo) == 0; }));
    // A second goodbye says so and changes nothing.
    script->goodbye();
    settle();
    EXPECT_EQ(occurrences("INFO Cubase disconnected"), 1u);
}

TEST_F(BridgeHostTest, AProtocolMismatchIsShownUntilAMessageDecodesAndItsEndIsRedrawn) {
    start();
    connectCubase();
    waitForHostPage();
    script->sendBytes({0xF0, 0x7D, 0x50, 0x43, 0x02, 0x03, 0xF7});  // a version 2 heartbeat
    ASSERT_TRUE(pumpUntil([&] { return bridge->protocolProblem().has_value(); }));
    EXPECT_EQ(*bridge->protocolProblem(), "Script protocol v2 ≠ bridge v1 — update both");
    EXPECT_EQ(bridge->status().problem, bridge->protocolProblem());
    EXPECT_EQ(bridge->screen(), BridgeScreen::status);
    EXPECT_TRUE(logged("WARN bad message from Cubase (versionMismatch(2)): F0 7D 50 43 02 03 F7"));

    // Other refusals are only logged, cut to 24 bytes.
    Bytes longUnknown{0xF0, 0x7D, 0x50, 0x43, 0x01, 0x66};
    longUnknown.resize(40, 0x11);
    longUnknown.push_back(0xF7);
    script->sendBytes(longUnknown);
    settle();
    std::string shown = "F0 7D 50 43 01 66";
    for (int i = 0; i < 18; ++i) shown += " 11";
    EXPECT_TRUE(logged("WARN bad message from Cubase (unknownCommand(102)): " + shown + "\n"));
    EXPECT_TRUE(bridge->protocolProblem().has_value());

    // A heartbeat changes nothing else, yet the display must leave the problem.
    const int renders = rendersWhenQuiet();
    script->heartbeat();
    ASSERT_TRUE(pumpUntil([&] { return !bridge->protocolProblem(); }));
    EXPECT_TRUE(rendersAfter(renders));
    EXPECT_EQ(bridge->screen(), BridgeScreen::track);
}

TEST_F(BridgeHostTest, ScriptLogLinesAreLoggedByLevel) {
    start();
    script->log(2, "no selected track");
    script->log(1, "bank 2");
    script->log(0, "hi");
    settle();
    EXPECT_TRUE(logged("WARN [script] no selected track"));
    EXPECT_TRUE(logged("INFO [script] bank 2"));
    EXPECT_TRUE(logged("INFO [script] hi"));

    // Host text reaches no terminal raw: not in the script's lines, its version or a name.
    script->log(1, std::string("\x1b[2Jcleared\0\a\xe2\x80\xae\xe2\x80\xa8\xe2\x80\xa9", 22));
    script->hello(std::string("1\a", 2));
    script->setString(StateKeys::selectedTrack(StateKeys::ChannelField::name), "\x1b]0;owned\a");
    settle();
    EXPECT_TRUE(
        logged("INFO [script] \\x1b[2Jcleared\\x00\\x07\\xe2\\x80\\xae\\xe2\\x80\\xa8\\xe2\\x80\\xa9\n"));
    EXPECT_TRUE(logged("INFO Cubase script 1\\x07 said hello"));
    EXPECT_TRUE(logged(", \"\\x1b]0;owned\\x07\")"));
    const std::string all = logText();
    EXPECT_EQ(all.find_first_of(std::string("\x1b\a\0", 3)), std::string::npos);
}

TEST_F(BridgeHostTest, AFloodOfBadFramesCostsAFewLinesThatCountTheRest) {
    start();
    for (int i = 0; i < 1000; ++i) script->sendBytes({0xF0, 0x7D, 0x50, 0x43, 0x01, 0x66, 0xF7});
    settle();
    EXPECT_EQ(occurrences("WARN bad message from Cubase (unknownCommand(102))"), 2u);
    EXPECT_EQ(occurrences("(and 998 more like this in the last second)"), 1u);
}

TEST_F(BridgeHostTest, EachKindOfBadFrameIsSummarisedOnItsOwn) {
    start();
    for (int i = 0; i < 500; ++i) {
        script->sendBytes({0xF0, 0x7D, 0x50, 0x43, 0x01, 0x66, 0xF7});
        script->sendBytes({0xF0, 0x7D, 0x50, 0x43, 0x02, 0x01, 0xF7});
    }
    settle();
    EXPECT_EQ(occurrences("WARN bad message from Cubase (unknownCommand(102))"), 2u);
    EXPECT_EQ(occurrences("WARN bad message from Cubase (versionMismatch(2))"), 2u);
    EXPECT_EQ(occurrences("(and 498 more like this in the last second)"), 2u);
}

TEST_F(BridgeHostTest, StatusReachesTheMenuOnlyWhenItChanges) {
    start();
    std::vector<BridgeStatus> published;
    bridge->setOnStatusChange([&](const BridgeStatus& status) { published.push_back(status); });
    connectCubase();
    script->setString(Session::hostName, "Cubase");
    script->setString(Session::hostVersion, "13");
    script->heartbeat();
    settle();
    ASSERT_EQ(published.size(), 3u);  // connected; the host's name; its version
    EXPECT_TRUE(published[0].cubaseConnected);
    EXPECT_TRUE(published[0].pushConnected);
    EXPECT_FALSE(published[0].displayAttached);
    EXPECT_EQ(published[1].host, "Cubase");
    EXPECT_EQ(published[2].host, "Cubase 13");
    EXPECT_EQ(published.back(), bridge->status());
}

TEST_F(BridgeHostTest, TheStatusModelCarriesTheDiagnostics) {
    start();
    connectCubase();
    push->turnEncoder(0, 1);
    script->send(MIDIMessage::controlChange(0, 85, 127));
    ASSERT_TRUE(script->waitForControls(1));
    settle();
    const StatusModel model = bridge->statusModel();
    EXPECT_TRUE(model.cubaseConnected);
    EXPECT_EQ(model.bridgeVersion, "0.4.3");
    EXPECT_EQ(model.scriptVersion, "1.0.0");
    ASSERT_EQ(model.diagnostics.size(), 8u);
    EXPECT_EQ(model.diagnostics[0], "push midi   connected");
    EXPECT_EQ(model.diagnostics[1], "display     waiting");
    EXPECT_EQ(model.diagnostics[2].rfind("cubase      connected  hb ", 0), 0u) << model.diagnostics[2];
    EXPECT_TRUE(model.diagnostics[2].ends_with(" s ago")) << model.diagnostics[2];
    EXPECT_EQ(model.diagnostics[3], "pads        " + bridge->local().pads.summary() + ", oct 0");
    EXPECT_EQ(model.diagnostics[4], "midi push→  1  →push 1");
    EXPECT_EQ(model.diagnostics[5], "midi cub→   2  →cub 1");  // the hello and the control change
    EXPECT_EQ(model.diagnostics[6].rfind("render ", 0), 0u);
    EXPECT_EQ(model.diagnostics[7].rfind("fps ", 0), 0u);

    script->goodbye();
    ASSERT_TRUE(pumpUntil([&] { return !bridge->cubaseConnected(); }));
    EXPECT_EQ(bridge->statusModel().diagnostics[2], "cubase      waiting  hb —");
}

}  // namespace
}  // namespace corvane
