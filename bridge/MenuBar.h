#pragma once
// The bridge's only user interface: a tray icon whose colour is a traffic light, its tooltip,
// and a menu with the status lines, diagnostics on the Push, the log folder, Start at Login,
// update checks, the manual, support e-mail and Quit. It starts the automatic update check at
// launch.
//
// The menu's logic lives here; the desktop under it (the tray and its GTK menu, dialogs, opening
// addresses) is a seam, so tests drive the menu without a display. Main queue only: the update
// fetch hands its reply back there.

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "bridge/Alert.h"
#include "bridge/Autostart.h"
#include "bridge/MenuBarModel.h"
#include "bridge/UpdateChecker.h"
#include "core/BridgeStatus.h"
#include "core/Log.h"
#include "platform/SettingsStore.h"

namespace corvane {

class Bridge;

// The parts of the bridge the menu uses.
struct MenuBarBridge {
    std::function<BridgeStatus()> status;
    std::function<void(std::function<void(const BridgeStatus&)>)> setOnStatusChange;
    std::function<void()> toggleDiagnostics;
    std::function<void()> shutdown;

    static MenuBarBridge of(std::shared_ptr<Bridge> bridge);
};

// What the menu does on the desktop: the tray in the program, a recorder in tests.
class MenuBarDesktop {
public:
    virtual ~MenuBarDesktop() = default;
    // A chosen menu item, and the menu about to open (a chance to bring it up to date).
    virtual void setHandlers(std::function<void(MenuAction)> onAction,
                             std::function<void()> onMenuOpening) = 0;
    virtual void show(BridgeStatus::Light light, const std::string& tooltip) = 0;
    virtual void setMenu(const std::vector<MenuItem>& items) = 0;
    virtual void alert(Alert alert) = 0;
    // Opens an address with the user's default application; `onFailure` gets the reason.
    virtual void open(const std::string& uri, std::function<void(const std::string& why)> onFailure) = 0;
};

class MenuBar : public std::enable_shared_from_this<MenuBar> {
public:
    static constexpr const char* autoUpdateKey = "checkUpdatesAutomatically";

    struct Environment {
        std::shared_ptr<SettingsStore> defaults;
        UpdateFetch fetch;
        std::optional<Autostart> autostart;  // absent: no "Start at Login"
        std::filesystem::path logFolder;
        std::function<void()> terminate;  // ends the application's run loop
        Log* log = nullptr;               // Log::shared() when absent
    };

    static std::shared_ptr<MenuBar> create(MenuBarBridge bridge, Environment environment,
                                           std::shared_ptr<MenuBarDesktop> desktop);
    MenuBar(const MenuBar&) = delete;
    MenuBar& operator=(const MenuBar&) = delete;

    // Shows the icon and menu, follows the bridge's status, starts the automatic update check.
    void applicationDidFinishLaunching();
    // The orderly stop before the process leaves: the bridge's shutdown.
    void applicationWillTerminate();

    // The menu as it should look now, handed to the desktop.
    void menuNeedsUpdate();
    std::vector<MenuItem> menuItems() const;
    void update(const BridgeStatus& status);

    bool autoUpdateCheck() const;
    void checkForUpdates(bool manual);
    void finishUpdateCheck(const UpdateResult& result, bool manual);
    bool updateCheckRunning() const { return updateCheckRunning_; }

    void perform(MenuAction action);
    void toggleDiagnostics();
    void openLogFolder();
    void toggleStartAtLogin();
    void checkForUpdatesNow();
    void toggleAutoUpdateCheck();
    void openManual();
    void emailSupport();
    // applicationWillTerminate(), then the run loop ends.
    void quit();

private:
    MenuBar(MenuBarBridge bridge, Environment environment, std::shared_ptr<MenuBarDesktop> desktop);
    // Opens `uri` on the desktop; a failure is only logged, as "could not open <what>: <why>".
    void open(const std::string& uri, std::string what);
    void alert(std::string text, AlertStyle style);

    const MenuBarBridge bridge_;
    Environment environment_;
    Log& log_;
    const std::shared_ptr<MenuBarDesktop> desktop_;
    BridgeStatus status_;
    bool updateCheckRunning_ = false;
};

}  // namespace corvane
