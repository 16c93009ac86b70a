#include "corvane_diag/RenderPreviewCommand.h"

#include <array>
#include <filesystem>
#include <string>

#include "PushDisplay/Canvas.h"
#include "PushDisplay/ControlMapModel.h"
#include "PushDisplay/ControlMapScreen.h"
#include "PushDisplay/DeviceScreen.h"
#include "PushDisplay/MixScreen.h"
#include "PushDisplay/Popup.h"
#include "PushDisplay/ScaleScreen.h"
#include "PushDisplay/StatusModel.h"
#include "PushDisplay/StatusScreen.h"
#include "PushDisplay/TrackPageScreen.h"
#include "PushDisplay/TracksScreen.h"
#include "PushDisplay/TracksScreenModel.h"
#include "core/PadEngine.h"
#include "core/PadSettings.h"
#include "corvane_diag/CommandRun.h"
#include "corvane_diag/DemoData.h"

namespace corvane {

namespace {

using StateKeys::Page;

// Encoder 8 shows as touched.
constexpr std::array<bool, 8> touched{false, false, false, false, false, false, false, true};

void drawMix(Canvas& canvas, RemoteState& state, std::int64_t lowerMode) {
    DemoData::slots(state, Page::mix);
    state.set(StateKeys::Session::lowerMode, StateValue::number(lowerMode));
    MixScreen::draw(canvas, state, touched);
}

PadSettings scaleSettings(const Arguments& arguments) {
    PadSettings settings;
    settings.root = 9;
    settings.scaleIndex = 1;
    // An index outside the scale table counts as one that does not parse.
    if (auto index = arguments.integer("--scale-index");
        index && *index >= 0 && *index < static_cast<std::int64_t>(PadEngine::scales().size())) {
        settings.scaleIndex = static_cast<int>(*index);
    }
    settings.inKey = true;
    settings.layout = NoteLayout::fourthsUp;
    settings.fixed = false;
    settings.drums = arguments.flag("--drums");
    settings.octave = 0;
    return settings;
}

StatusModel statusModel() {
    StatusModel model;
    model.cubaseConnected = true;
    model.hostDescription = "Cubase 15.0.30";
    model.scriptVersion = "0.1.0";
    model.bridgeVersion = "0.1.0";
    model.diagnostics = {"push midi   connected", "display     attached",
                         "cubase      connected  hb 0.4 s ago"};
    return model;
}

}  // namespace

int renderPreviewCommand(DiagEnvironment& environment) {
    auto run = CommandRun::create(environment);
    const Arguments& arguments = environment.arguments;
    const std::string screen = arguments.option("--screen").value_or("tracks");
    const std::filesystem::path out = arguments.option("--out").value_or("preview-" + screen + ".png");
    const std::int64_t scale = arguments.integer("--scale").value_or(1);

    RemoteState state;
    DemoData::populate(state, "9. 2. 1.   0");
    Canvas canvas;
    if (screen == "tracks") {
        TracksScreen::draw(canvas, TracksScreenModel(state));
    } else if (screen == "track") {
        DemoData::slots(state, Page::track);
        TrackPageScreen::draw(canvas, state, touched);
    } else if (screen == "mix") {
        drawMix(canvas, state, arguments.integer("--lower").value_or(0));
    } else if (screen == "device") {
        DemoData::slots(state, Page::device);
        DeviceScreen::draw(canvas, state, touched);
    } else if (screen == "scale") {
        ScaleScreen::draw(canvas, scaleSettings(arguments));
    } else if (screen == "popup") {
        drawMix(canvas, state, 0);
        Popup("STEREO OUT", "-2.40 dB", 0.72).draw(canvas);
    } else if (screen == "status") {
        StatusScreen::draw(canvas, statusModel());
    } else if (screen == "map") {
        ControlMapScreen::draw(canvas, ControlMapModel());
    } else {
        run->print("unknown screen " + screen + " (tracks, track, mix, device, scale, popup, status, map)");
        return 2;
    }

    std::filesystem::path path;
    try {
        // An empty path has no absolute form.
        path = std::filesystem::absolute(out);
        // A scale beyond an int is as impossible as one below 1.
        const int pngScale = scale < 1 || scale > 1'000'000 ? 0 : static_cast<int>(scale);
        canvas.writePNG(path, pngScale, PixelOrder::bgr565);
    } catch (const std::exception& error) {
        run->print(std::string("error: ") + error.what());
        return 1;
    }
    run->print("wrote " + path.string());
    return 0;
}

}  // namespace corvane
