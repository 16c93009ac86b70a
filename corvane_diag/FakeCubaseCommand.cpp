#include "corvane_diag/FakeCubaseCommand.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <optional>

#include "core/BridgeCodec.h"
#include "core/Hex.h"
#include "core/HostMessage.h"
#include "core/Overloaded.h"
#include "core/PushInputDecoder.h"
#include "core/PushMIDIMap.h"
#include "core/StateKeys.h"
#include "corvane_diag/CommandRun.h"
#include "corvane_diag/InputDescription.h"
#include "corvane_diag/PushPort.h"
#include "corvane_diag/TextFormat.h"

namespace corvane {

namespace {

struct Track {
    const char* name;
    RGB color;
};

constexpr std::array<Track, 5> tracks{{
    {"Guitar", {229, 57, 53}},
    {"Bass", {30, 136, 229}},
    {"Drums", {67, 160, 71}},
    {"Lead Vocal – Take 3", {251, 192, 45}},
    {"Synth Pad", {142, 36, 170}},
}};

constexpr const char* scriptVersion = "fake-0.1";
constexpr const char* hostName = "Fake Cubase";
constexpr const char* hostVersion = "(corvane-diag)";
constexpr std::uint8_t pageLeft = PushMIDIMap::controller(PushMIDIMap::Button::pageLeft);
constexpr std::uint8_t pageRight = PushMIDIMap::controller(PushMIDIMap::Button::pageRight);
constexpr std::uint8_t play = PushMIDIMap::controller(PushMIDIMap::Button::play);
constexpr std::uint8_t firstTrackEncoder = PushMIDIMap::trackEncoderCCs.lower;

const char* flag(bool on) { return on ? "true" : "false"; }

class FakeCubase {
public:
    explicit FakeCubase(CommandRun& run) : run_(run) {}

    int start() {
        auto client = makeClient(run_, "corvane-diag fake-cubase");
        if (!client) return run_.status();
        port_ = makePort(run_, client, "Corvane", messagePathAll());
        if (!port_) return run_.status();
        // The port reports changes on the main queue, where the rest of the state lives.
        port_->setOnConnectionChange([this](bool connected) {
            if (run_.finished()) return;
            if (connected) {
                run_.print("connected to bridge");
                sendStartSequence();
            } else {
                run_.print("bridge went away");
            }
        });
        if (!port_->isConnected()) {
            run_.print("corvane-bridge is not running (no \"Corvane\" port)");
            run_.finish(1);
            return run_.status();
        }
        // Before the banner: once it invites Ctrl-C, Ctrl-C has to say goodbye.
        run_.catchInterrupt([this] {
            sendRaw({0xB0, play, 0x00});
            send(HostMessage::goodbye());
            run_.finish(0);
        });
        run_.print(
            "fake Cubase connected: encoder 1 = volume, Play toggles, Page ◀ ▶ changes track. Ctrl-C to "
            "stop.");
        sendStartSequence();
        run_.every(1.0, [this] { send(HostMessage::heartbeat()); });
        return run_.wait();
    }

private:
    MIDIReceiveCallback messagePathAll() {
        return everyMessagePath(run_, [this](const MIDIMessage& message) { handle(message); });
    }

    void send(const HostMessage& message) { port_->send(BridgeCodec::encode(message)); }
    void sendRaw(Bytes bytes) { port_->send(bytes); }

    void sendStartSequence() {
        send(HostMessage::hello(scriptVersion));
        send(HostMessage::setString(StateKeys::Session::hostName, hostName));
        send(HostMessage::setString(StateKeys::Session::hostVersion, hostVersion));
        send(HostMessage::setNumber(StateKeys::Transport::playing, playing_ ? 1 : 0));
        sendTrack();
    }

    void sendTrack() {
        const Track& track = tracks[selected_];
        send(HostMessage::setString(StateKeys::selectedTrack(StateKeys::ChannelField::name), track.name));
        send(HostMessage::setColor(StateKeys::selectedTrack(StateKeys::ChannelField::color), track.color));
        sendVolume();
    }

    void sendVolume() {
        send(HostMessage::setNumber(StateKeys::selectedTrack(StateKeys::ChannelField::volume),
                                    static_cast<std::int64_t>(volume_ * 16383)));
        send(HostMessage::setString(StateKeys::selectedTrack(StateKeys::ChannelField::volumeText),
                                    fakeCubaseVolumeText(volume_)));
    }

    void handle(const MIDIMessage& message) {
        if (const auto* cc = message.as<MIDIMessage::ControlChange>(); cc && cc->channel == 0) {
            if ((cc->controller == pageLeft || cc->controller == pageRight) && cc->value == 127) {
                selected_ =
                    (selected_ + (cc->controller == pageRight ? 1 : tracks.size() - 1)) % tracks.size();
                sendTrack();
                run_.print(std::string("selected ") + tracks[selected_].name);
                return;
            }
            if (cc->controller == firstTrackEncoder) {
                const double delta = static_cast<double>(PushInputDecoder::relativeDelta(cc->value));
                volume_ = std::max(0.0, std::min(1.0, volume_ + delta / 200));
                sendVolume();
                return;
            }
            if (cc->controller == play && cc->value == 127) {
                playing_ = !playing_;
                send(HostMessage::setNumber(StateKeys::Transport::playing, playing_ ? 1 : 0));
                sendRaw({0xB0, play, static_cast<std::uint8_t>(playing_ ? 126 : 0)});
                run_.print(playing_ ? "▶ play" : "■ stop");
                return;
            }
        }
        if (const auto* sysex = message.as<MIDIMessage::Sysex>();
            sysex && BridgeCodec::isOurs(sysex->bytes)) {
            auto decoded = BridgeCodec::decodeBridgeMessage(sysex->bytes);
            if (!decoded) {
                run_.print("bridge → cubase: " + Hex::bytes(sysex->bytes));
                return;
            }
            run_.print("bridge → cubase: " + bridgeMessageText(*decoded));
            if (decoded->is<BridgeMessage::RequestResync>()) sendStartSequence();
            return;
        }
        run_.print("push → cubase: " + describe(PushInputDecoder::decode(message)));
    }

    CommandRun& run_;
    std::size_t selected_ = 0;
    double volume_ = 0.72;
    bool playing_ = false;
    std::shared_ptr<MIDIDevicePort> port_;
};

}  // namespace

std::string fakeCubaseVolumeText(double volume) {
    if (volume <= 0.001) return "-∞ dB";
    return TextFormat::fixed(20 * std::log10(std::pow(volume / 0.72, 3)), 1) + " dB";
}

std::string bridgeMessageText(const BridgeMessage& message) {
    using M = BridgeMessage;
    return std::visit(Overloaded{
                          [](const M::BridgeHello& m) {
                              return "bridgeHello(bridgeVersion: \"" + m.bridgeVersion +
                                     "\", pushConnected: " + flag(m.pushConnected) + ")";
                          },
                          [](const M::PushStatus& m) {
                              return std::string("pushStatus(connected: ") + flag(m.connected) + ")";
                          },
                          [](const M::RequestResync&) { return std::string("requestResync"); },
                      },
                      message.value);
}

int fakeCubaseCommand(DiagEnvironment& environment) {
    auto run = CommandRun::create(environment);
    FakeCubase fake(*run);
    return fake.start();
}

}  // namespace corvane
