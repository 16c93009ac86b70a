#include "corvane_diag/DisplayMapCommand.h"

#include <algorithm>
#include <exception>
#include <memory>
#include <set>

#include "PushDisplay/ControlMapModel.h"
#include "PushDisplay/ControlMapScreen.h"
#include "PushDisplay/DisplayFormat.h"
#include "PushDisplay/DisplayScheduler.h"
#include "core/PushInputDecoder.h"
#include "core/PushMIDIMap.h"
#include "corvane_diag/CommandRun.h"
#include "corvane_diag/InputDescription.h"
#include "corvane_diag/PushPort.h"
#include "corvane_diag/TextFormat.h"
#include "hardware/USBDisplayMonitor.h"

namespace corvane {

namespace {

constexpr double maxFPS = 30;
constexpr double keepAlive = 0.25;
constexpr std::uint8_t upperLit = 126;
constexpr std::uint8_t lowerLit = 125;
constexpr std::uint8_t padHard = 127;
constexpr std::uint8_t padSoft = 126;

std::string errorText(std::exception_ptr error) {
    try {
        std::rethrow_exception(std::move(error));
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return "unknown error";
    }
}

class DisplayMap {
public:
    explicit DisplayMap(CommandRun& run) : run_(run) {}

    ~DisplayMap() {
        // The monitor stops without calling back; the scheduler may still have a render queued,
        // which draws from its own copy of the model.
        monitor_.reset();
        if (scheduler_) scheduler_->setSink(nullptr);
    }

    int start() {
        auto client = makeClient(run_);
        if (!client) return run_.status();
        scheduler_ =
            DisplayScheduler::create(PixelOrder::bgr565, maxFPS, keepAlive, [model = model_](Canvas& canvas) {
                const ControlMapModel frame = *model;
                ControlMapScreen::draw(canvas, frame);
            });
        monitor_ =
            std::make_unique<USBDisplayMonitor>(DisplayFormat::push3ProductID, run_.environment().usb());
        monitor_->onAttach = [this](const std::shared_ptr<USBDisplay>& display) {
            run_.print("Push display attached");
            scheduler_->setSink(display);
        };
        monitor_->onDetach = [this] {
            run_.print("Push display detached");
            scheduler_->setSink(nullptr);
        };
        monitor_->onError = [this](const USBDisplayError& error) {
            run_.print(std::string("display error: ") + error.what());
        };
        scheduler_->setOnTransferError([this, run = run_.weak_from_this()](
                                           std::exception_ptr error, const std::shared_ptr<FrameSink>& sink) {
            auto alive = run.lock();
            if (!alive || alive->finished()) return;
            if (!monitor_->isOpen(sink)) return;  // a display already closed: nothing to retry
            run_.print("display transfer error: " + errorText(std::move(error)) + "; retrying");
            monitor_->transferFailed(sink);
        });
        port_ = connectPush(run_, client, [this](const MIDIMessage& message) { handle(message); });
        if (!port_) return run_.status();
        run_.catchInterrupt([this] { interrupted(); });
        monitor_->start();
        run_.print("display-map running — Ctrl-C to exit");
        return run_.wait();
    }

private:
    void sendControl(std::uint8_t controller, std::uint8_t value) {
        port_->send(MIDIMessage::controlChange(PushMIDIMap::liveChannel, controller, value).bytes());
    }
    void sendNote(std::uint8_t note, std::uint8_t value) {
        port_->send(MIDIMessage::noteOn(PushMIDIMap::liveChannel, note, value).bytes());
    }

    void handle(const MIDIMessage& message) {
        const PushInput input = PushInputDecoder::decode(message);
        run_.print(describe(input));
        ControlMapModel& model = *model_;
        if (const auto* turn = input.as<PushInput::TrackEncoder>()) {
            auto i = static_cast<std::size_t>(turn->index);
            model.encoderValue[i] =
                static_cast<int>(std::clamp<std::int64_t>(model.encoderValue[i] + turn->delta, 0, 127));
            model.encoderLastDelta[i] = static_cast<int>(turn->delta);
        } else if (const auto* touch = input.as<PushInput::TrackEncoderTouch>()) {
            auto i = static_cast<std::size_t>(touch->index);
            model.encoderTouched[i] = touch->touched;
            if (!touch->touched) model.encoderLastDelta[i] = 0;
        } else if (const auto* upper = input.as<PushInput::UpperDisplayButton>()) {
            model.upperPressed[static_cast<std::size_t>(upper->index)] = upper->pressed;
            const auto controller =
                static_cast<std::uint8_t>(PushMIDIMap::upperDisplayButtonCCs.lower + upper->index);
            sendControl(controller, upper->pressed ? upperLit : 0);
            litControllers_.insert(controller);
        } else if (const auto* lower = input.as<PushInput::LowerDisplayButton>()) {
            model.lowerPressed[static_cast<std::size_t>(lower->index)] = lower->pressed;
            const auto controller =
                static_cast<std::uint8_t>(PushMIDIMap::lowerDisplayButtonCCs.lower + lower->index);
            sendControl(controller, lower->pressed ? lowerLit : 0);
            litControllers_.insert(controller);
        } else if (const auto* pad = input.as<PushInput::Pad>()) {
            const std::uint8_t note = PushInputDecoder::padNote(pad->row, pad->column);
            sendNote(note, pad->velocity > 100 ? padHard : pad->velocity >= 1 ? padSoft : 0);
            litNotes_.insert(note);
        }
        scheduler_->invalidate();
    }

    void interrupted() {
        for (std::uint8_t note : litNotes_) sendNote(note, 0);
        for (std::uint8_t controller : litControllers_) sendControl(controller, 0);
        const DisplayStats stats = scheduler_->stats();
        run_.print("\nframes rendered " + std::to_string(stats.framesRendered) + ", sent " +
                   std::to_string(stats.framesSent) + " (keep-alive " + std::to_string(stats.keepAlivesSent) +
                   "), errors " + std::to_string(stats.transferErrors) + ", last render " +
                   TextFormat::fixed(stats.lastRenderMs, 2) + " ms, encode " +
                   TextFormat::fixed(stats.lastEncodeMs, 2) + " ms, transfer " +
                   TextFormat::fixed(stats.lastTransferMs, 2) + " ms");
        // An open display closes here and says so after the statistics.
        monitor_->stop();
        run_.finish(0);
    }

    CommandRun& run_;
    // Shared with the draw callback, which a render queued on the main queue may still call.
    std::shared_ptr<ControlMapModel> model_ = std::make_shared<ControlMapModel>();
    std::set<std::uint8_t> litNotes_;
    std::set<std::uint8_t> litControllers_;
    std::shared_ptr<DisplayScheduler> scheduler_;
    std::unique_ptr<USBDisplayMonitor> monitor_;
    std::shared_ptr<MIDIDevicePort> port_;
};

}  // namespace

int displayMapCommand(DiagEnvironment& environment) {
    auto run = CommandRun::create(environment);
    DisplayMap map(*run);
    return map.start();
}

}  // namespace corvane
