#include "corvane_diag/Dispatch.h"

#include <functional>
#include <utility>

#include "corvane_diag/DisplayCommands.h"
#include "corvane_diag/DisplayMapCommand.h"
#include "corvane_diag/FakeCubaseCommand.h"
#include "corvane_diag/HardwareCommands.h"
#include "corvane_diag/ListingCommands.h"
#include "corvane_diag/MPEProbeCommand.h"
#include "corvane_diag/RenderPreviewCommand.h"
#include "corvane_diag/SettingsCommands.h"

namespace corvane {

const char* const diagUsage =
    "usage: corvane-diag <command> [options]\n"
    "\n"
    "  usb                 List Ableton USB devices and interfaces (read-only).\n"
    "  midi-ports          List CoreMIDI sources and destinations.\n"
    "  identity            Send the MIDI Universal Identity Request to the Push and print the reply.\n"
    "  palette [--from N] [--to M]\n"
    "                      Read LED palette entries N…M (default 0…127) from the Push (read-only).\n"
    "  aftertouch          Read the pad aftertouch mode (channel / poly / MPE; read-only).\n"
    "  push-settings       Read the Push's display and LED brightness, aftertouch mode and pad\n"
    "                      velocity curve (read-only).\n"
    "  velocity-test       Check that the Push takes pad velocity curves: saves yours, lets you\n"
    "                      play 10 s with it and 10 s with a test curve, writes yours back, checks.\n"
    "  velocity-restore    Write the curve velocity-test saved back to the Push.\n"
    "  mpe-probe [--seconds N]\n"
    "                      SPIKE: switch the pads to MPE (SysEx 0x1E 02), watch what the member\n"
    "                      channels send for N s (default 20), then write your mode back.\n"
    "  palette-test [--index N]\n"
    "                      Write a test colour to palette entry N (default 94), read it back,\n"
    "                      then restore the original.\n"
    "  midi-monitor [--raw]\n"
    "                      Print decoded Push Live Port input (Ctrl-C to stop).\n"
    "  display-map         Interactive mapping check: 8 display columns react to encoder\n"
    "                      touch/turn and the buttons above/below the screen; pads light up.\n"
    "  fake-cubase         Pretend to be the Cubase script against a running corvane-bridge\n"
    "                      (encoder 1 = volume, Play toggles, Page ◀ ▶ changes track).\n"
    "  render-preview [--screen tracks|track|status|map] [--out file.png] [--scale N]\n"
    "                      Render a screen with demo data to a PNG (no hardware needed).\n"
    "  display-test [--order bgr565|rgb565] [--seconds N] [--fps F]\n"
    "                      Labelled colour bars for N seconds (default 10) at F fps (default 10).\n"
    "  display-sweep [--order ...] [--rates 30,15,10,5,3,2] [--stage-seconds 8]\n"
    "                      Step through refresh rates to find how often Push needs a frame.";

namespace {

// The Push's palette has 128 entries, and a query's index is a seven-bit data byte: anything
// else would break the system-exclusive frame.
constexpr int largestPaletteIndex = 127;

int usage(DiagEnvironment& environment) {
    environment.output(diagUsage);
    return 2;
}

int refuse(DiagEnvironment& environment, const std::string& message) {
    environment.output("error: " + message);
    return 1;
}

int palette(DiagEnvironment& environment) {
    const Arguments& arguments = environment.arguments;
    const std::int64_t from = arguments.integer("--from").value_or(0);
    const std::int64_t to = arguments.integer("--to").value_or(127);
    if (from < 0 || to > largestPaletteIndex)
        return refuse(environment, "palette entries are numbered 0…127");
    if (to < from) return refuse(environment, "--to must not be below --from");
    std::vector<int> indices;
    for (std::int64_t index = from; index <= to; ++index) indices.push_back(static_cast<int>(index));
    return paletteCommand(environment, indices);
}

int paletteTest(DiagEnvironment& environment) {
    const std::int64_t index = environment.arguments.integer("--index").value_or(94);
    if (index < 0 || index > largestPaletteIndex)
        return refuse(environment, "palette entries are numbered 0…127");
    return paletteTestCommand(environment, static_cast<std::uint8_t>(index));
}

}  // namespace

int runDiag(DiagEnvironment& environment, std::vector<std::string> arguments) {
    if (arguments.empty()) return usage(environment);
    const std::string command = std::move(arguments.front());
    arguments.erase(arguments.begin());
    environment.arguments = Arguments(std::move(arguments));
    const Arguments& options = environment.arguments;

    using Handler = std::function<int(DiagEnvironment&)>;
    const std::pair<const char*, Handler> commands[] = {
        {"usb", usbCommand},
        {"midi-ports", midiPortsCommand},
        {"identity", identityCommand},
        {"palette", palette},
        {"aftertouch", aftertouchCommand},
        {"push-settings", pushSettingsCommand},
        {"velocity-test", velocityTestCommand},
        {"velocity-restore", velocityRestoreCommand},
        {"mpe-probe",
         [&](DiagEnvironment& e) { return mpeProbeCommand(e, options.number("--seconds").value_or(20.0)); }},
        {"palette-test", paletteTest},
        {"midi-monitor", [&](DiagEnvironment& e) { return midiMonitorCommand(e, options.flag("--raw")); }},
        {"display-map", displayMapCommand},
        {"fake-cubase", fakeCubaseCommand},
        {"render-preview", renderPreviewCommand},
        {"display-test", displayTestCommand},
        {"display-sweep", displaySweepCommand},
    };
    for (const auto& [name, handler] : commands) {
        if (command == name) return handler(environment);
    }
    return usage(environment);
}

}  // namespace corvane
