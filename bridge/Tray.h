#pragma once
// The desktop under the menu bar: a StatusNotifierItem tray icon through AppIndicator, its GTK
// menu, GTK dialogs, and addresses opened through GIO. The tooltip text becomes the
// indicator's title, which is what StatusNotifierItem hosts show on hover.
//
// GTK must be initialised (openDisplay()) and everything runs on the main queue, which is the
// same GLib context GTK uses.

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "bridge/MenuBar.h"

typedef struct _AppIndicator AppIndicator;
typedef struct _GtkWidget GtkWidget;

namespace corvane {

class Tray final : public MenuBarDesktop {
public:
    // Initialises GTK on the user's display; the reason when there is none to use.
    static std::optional<std::string> openDisplay();

    // Calls `ready` as soon as a StatusNotifierItem host (the session bus name
    // org.kde.StatusNotifierWatcher) is there, or `unavailable` with the reason once `grace` has
    // passed without one (a panel started at login may come up a little after this program).
    static void whenHostAppears(std::chrono::milliseconds grace, std::function<void()> ready,
                                std::function<void(const std::string& why)> unavailable);

    // The folder for the icon files: Corvane's folder in the user's runtime directory.
    static std::filesystem::path iconFolder();

    // Writes the icons into `iconFolder` and shows the tray icon with an empty menu. Throws
    // std::runtime_error when the icons cannot be written.
    explicit Tray(const std::filesystem::path& iconFolder);
    ~Tray() override;
    Tray(const Tray&) = delete;
    Tray& operator=(const Tray&) = delete;

    void setHandlers(std::function<void(MenuAction)> onAction, std::function<void()> onMenuOpening) override;
    void show(BridgeStatus::Light light, const std::string& tooltip) override;
    void setMenu(const std::vector<MenuItem>& items) override;
    void alert(Alert alert) override;
    void open(const std::string& uri, std::function<void(const std::string& why)> onFailure) override;

private:
    struct Entry {
        MenuItem item;
        GtkWidget* widget = nullptr;
        unsigned long handler = 0;
    };

    void rebuild(const std::vector<MenuItem>& items);
    bool sameShape(const std::vector<MenuItem>& items) const;
    void refresh(Entry& entry, const MenuItem& item);
    static void activated(GtkWidget* widget, void* self);
    static void opening(GtkWidget* menu, void* self);

    AppIndicator* indicator_ = nullptr;
    GtkWidget* menu_ = nullptr;
    std::vector<Entry> entries_;
    std::function<void(MenuAction)> onAction_;
    std::function<void()> onMenuOpening_;
};

}  // namespace corvane
