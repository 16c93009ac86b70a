#pragma once
// The menu bar as the program starts it: GTK on the user's display, the tray once a tray host is
// there, and the bridge behind it.

#include <chrono>
#include <memory>

#include "core/Log.h"
#include "platform/SettingsStore.h"

namespace corvane {

class Bridge;

namespace MenuBarApp {

// How long a tray host may take to appear after the program starts.
inline constexpr std::chrono::seconds hostGrace{10};

// Initialises GTK; false, with the reason logged, when there is no display to use.
bool openDisplay(Log& log);

// Shows the tray and starts the menu bar once a tray host is there; when none comes, logs why
// and leaves the bridge running without it. `defaults` must be the store the bridge uses. The
// menu's Quit stops the bridge and ends MainQueue::run().
void launch(std::shared_ptr<Bridge> bridge, std::shared_ptr<SettingsStore> defaults, Log& log);

}  // namespace MenuBarApp
}  // namespace corvane
