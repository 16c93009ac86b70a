#include "bridge/MenuBar.h"

#include <glib.h>

#include <system_error>

#include "bridge/Version.h"
#include "core/Links.h"
#include "core/UpdateCheck.h"

namespace corvane {

namespace {

bool validURL(std::string_view text) {
    return g_uri_is_valid(std::string(text).c_str(), G_URI_FLAGS_NONE, nullptr);
}

}  // namespace

std::shared_ptr<MenuBar> MenuBar::create(MenuBarBridge bridge, Environment environment,
                                         std::shared_ptr<MenuBarDesktop> desktop) {
    return std::shared_ptr<MenuBar>(
        new MenuBar(std::move(bridge), std::move(environment), std::move(desktop)));
}

MenuBar::MenuBar(MenuBarBridge bridge, Environment environment, std::shared_ptr<MenuBarDesktop> desktop)
    : bridge_(std::move(bridge)),
      environment_(std::move(environment)),
      log_(environment_.log != nullptr ? *environment_.log : Log::shared()),
      desktop_(std::move(desktop)) {}

void MenuBar::applicationDidFinishLaunching() {
    const std::weak_ptr<MenuBar> weak = weak_from_this();
    desktop_->setHandlers(
        [weak](MenuAction action) {
            if (auto self = weak.lock()) self->perform(action);
        },
        [weak] {
            if (auto self = weak.lock()) self->menuNeedsUpdate();
        });
    bridge_.setOnStatusChange([weak](const BridgeStatus& status) {
        if (auto self = weak.lock()) self->update(status);
    });
    update(bridge_.status());
    if (autoUpdateCheck()) checkForUpdates(false);
}

void MenuBar::applicationWillTerminate() { bridge_.shutdown(); }

std::vector<MenuItem> MenuBar::menuItems() const {
    MenuState state;
    state.updateCheckRunning = updateCheckRunning_;
    state.autoUpdateCheck = autoUpdateCheck();
    if (environment_.autostart) state.startAtLogin = environment_.autostart->enabled();
    return MenuBarModel::items(status_, state);
}

void MenuBar::menuNeedsUpdate() { desktop_->setMenu(menuItems()); }

void MenuBar::update(const BridgeStatus& status) {
    status_ = status;
    desktop_->show(status.light(), status.tooltip());
    menuNeedsUpdate();
}

bool MenuBar::autoUpdateCheck() const {
    const auto value = environment_.defaults->value(autoUpdateKey);
    const bool* flag = value ? std::get_if<bool>(&*value) : nullptr;
    return flag == nullptr || *flag;
}

void MenuBar::checkForUpdates(bool manual) {
    if (updateCheckRunning_ || !validURL(Links::versionJSON)) return;
    updateCheckRunning_ = true;
    menuNeedsUpdate();
    const std::weak_ptr<MenuBar> weak = weak_from_this();
    environment_.fetch(std::string(Links::versionJSON), [weak, manual](const FetchReply& reply) {
        if (auto self = weak.lock()) self->finishUpdateCheck(UpdateChecker::result(reply), manual);
    });
}

void MenuBar::finishUpdateCheck(const UpdateResult& result, bool manual) {
    updateCheckRunning_ = false;
    menuNeedsUpdate();
    if (!result) {
        const std::string& why = result.error().why;
        log_.info([&] { return "update check failed: " + why; });
        if (manual) alert("Couldn't check for updates: " + why, AlertStyle::warning);
        return;
    }
    const ReleaseInfo& release = *result;
    if (!UpdateCheck::isNewer(release.version, bridgeVersion)) {
        if (manual) alert(UpdateCheck::upToDateMessage(bridgeVersion), AlertStyle::informational);
        return;
    }
    log_.info([&] { return "update available: Corvane " + release.version; });
    const std::weak_ptr<MenuBar> weak = weak_from_this();
    Alert offer =
        Alert::plain(UpdateCheck::availableMessage(release, bridgeVersion), AlertStyle::informational);
    offer.message = "Corvane update";
    offer.buttons = {"Download", "Later"};
    offer.onButton = [weak](std::size_t button) {
        auto self = weak.lock();
        if (!self || button != 0) return;
        self->open(std::string(Links::downloadMac), "the download");
    };
    desktop_->alert(std::move(offer));
}

void MenuBar::perform(MenuAction action) {
    switch (action) {
        case MenuAction::none:
            break;
        case MenuAction::toggleDiagnostics:
            toggleDiagnostics();
            break;
        case MenuAction::openLogFolder:
            openLogFolder();
            break;
        case MenuAction::toggleStartAtLogin:
            toggleStartAtLogin();
            break;
        case MenuAction::checkForUpdatesNow:
            checkForUpdatesNow();
            break;
        case MenuAction::toggleAutoUpdateCheck:
            toggleAutoUpdateCheck();
            break;
        case MenuAction::openManual:
            openManual();
            break;
        case MenuAction::emailSupport:
            emailSupport();
            break;
        case MenuAction::quit:
            quit();
            break;
    }
}

void MenuBar::toggleDiagnostics() {
    if (bridge_.toggleDiagnostics) bridge_.toggleDiagnostics();
    // The bridge publishes the new status; until then the mark shows the current one.
    menuNeedsUpdate();
}

void MenuBar::openLogFolder() {
    std::error_code ignored;
    std::filesystem::create_directories(environment_.logFolder, ignored);
    gchar* uri = g_filename_to_uri(environment_.logFolder.c_str(), nullptr, nullptr);
    if (uri == nullptr) {
        log_.warning([&] { return "could not open the log folder " + environment_.logFolder.string(); });
        return;
    }
    const std::string address(uri);
    g_free(uri);
    open(address, "the log folder");
}

void MenuBar::toggleStartAtLogin() {
    if (!environment_.autostart) return;
    try {
        environment_.autostart->setEnabled(!environment_.autostart->enabled());
    } catch (const AutostartError& error) {
        alert("Could not change Start at Login: " + std::string(error.what()), AlertStyle::warning);
    }
    menuNeedsUpdate();
}

void MenuBar::checkForUpdatesNow() { checkForUpdates(true); }

void MenuBar::toggleAutoUpdateCheck() {
    environment_.defaults->set(autoUpdateKey, !autoUpdateCheck());
    menuNeedsUpdate();
}

void MenuBar::openManual() {
    if (!validURL(Links::manual)) return;
    open(std::string(Links::manual), "the manual");
}

void MenuBar::emailSupport() {
    const std::string fallback = "Email " + std::string(Links::supportEmail) + " for help with Corvane.";
    const std::string address = Links::supportMailto(bridgeVersion);
    if (!validURL(address)) {
        alert(fallback, AlertStyle::informational);
        return;
    }
    const std::weak_ptr<MenuBar> weak = weak_from_this();
    desktop_->open(address, [weak, fallback](const std::string&) {
        if (auto self = weak.lock()) self->alert(fallback, AlertStyle::informational);
    });
}

void MenuBar::quit() {
    applicationWillTerminate();
    if (environment_.terminate) environment_.terminate();
}

void MenuBar::open(const std::string& uri, std::string what) {
    const std::weak_ptr<MenuBar> weak = weak_from_this();
    desktop_->open(uri, [weak, what = std::move(what)](const std::string& why) {
        if (auto self = weak.lock()) self->log_.warning([&] { return "could not open " + what + ": " + why; });
    });
}

void MenuBar::alert(std::string text, AlertStyle style) {
    desktop_->alert(Alert::plain(std::move(text), style));
}

}  // namespace corvane
