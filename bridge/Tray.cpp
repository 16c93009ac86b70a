#include "bridge/Tray.h"

#include <gtk/gtk.h>
#include <libayatana-appindicator/app-indicator.h>

#include <clocale>
#include <cstdlib>
#include <memory>
#include <stdexcept>

#include "bridge/TrayIcon.h"
#include "platform/MainQueue.h"

namespace corvane {

namespace {

constexpr const char* watcherName = "org.kde.StatusNotifierWatcher";

bool set(const char* variable) {
    const char* value = std::getenv(variable);
    return value != nullptr && value[0] != '\0';
}

// The wait for a tray host: decided once, by the host's name appearing or by the time-out.
struct HostWait {
    guint watch = 0;
    bool decided = false;
    WorkItem timeout;
    std::function<void()> ready;
    std::function<void(const std::string&)> unavailable;

    // `why` absent: the host is there.
    void decide(std::optional<std::string> why) {
        if (decided) return;
        decided = true;
        timeout.cancel();
        // Unwatched and answered from the queue, not from inside the bus callback.
        const guint id = watch;
        auto ready = std::move(this->ready);
        auto unavailable = std::move(this->unavailable);
        MainQueue::async([id, ready, unavailable, why] {
            g_bus_unwatch_name(id);
            if (why) {
                unavailable(*why);
            } else {
                ready();
            }
        });
    }
};

HostWait& hostWait(gpointer data) { return **static_cast<std::shared_ptr<HostWait>*>(data); }

void hostAppeared(GDBusConnection*, const gchar*, const gchar*, gpointer data) {
    hostWait(data).decide(std::nullopt);
}

void hostVanished(GDBusConnection* connection, const gchar*, gpointer data) {
    // Without a session bus no host can ever come; otherwise one may still start.
    if (connection == nullptr) hostWait(data).decide("no session bus");
}

void freeHostWait(gpointer data) { delete static_cast<std::shared_ptr<HostWait>*>(data); }

using FailureHandler = std::function<void(const std::string&)>;

void launched(GObject*, GAsyncResult* result, gpointer data) {
    const std::unique_ptr<FailureHandler> onFailure(static_cast<FailureHandler*>(data));
    GError* error = nullptr;
    if (g_app_info_launch_default_for_uri_finish(result, &error)) return;
    const std::string why = error != nullptr ? error->message : "no application opens it";
    if (error != nullptr) g_error_free(error);
    if (*onFailure) (*onFailure)(why);
}

}  // namespace

std::optional<std::string> Tray::openDisplay() {
    if (!set("DISPLAY") && !set("WAYLAND_DISPLAY"))
        return "no display (neither DISPLAY nor WAYLAND_DISPLAY is set)";
    if (!gtk_init_check(nullptr, nullptr)) return "the display could not be opened";
    // GTK took the user's locale; numbers stay in the C locale's form whatever C function reads
    // or writes them.
    std::setlocale(LC_NUMERIC, "C");
    return std::nullopt;
}

void Tray::whenHostAppears(std::chrono::milliseconds grace, std::function<void()> ready,
                           std::function<void(const std::string&)> unavailable) {
    auto wait = std::make_shared<HostWait>();
    wait->ready = std::move(ready);
    wait->unavailable = std::move(unavailable);
    const std::weak_ptr<HostWait> weak = wait;
    wait->timeout = MainQueue::asyncAfter(grace, [weak] {
        if (auto wait = weak.lock())
            wait->decide("no StatusNotifierItem host (" + std::string(watcherName) + ") on the session bus");
    });
    wait->watch =
        g_bus_watch_name(G_BUS_TYPE_SESSION, watcherName, G_BUS_NAME_WATCHER_FLAGS_NONE, hostAppeared,
                         hostVanished, new std::shared_ptr<HostWait>(wait), freeHostWait);
}

std::filesystem::path Tray::iconFolder() {
    return std::filesystem::path(g_get_user_runtime_dir()) / "corvane";
}

Tray::Tray(const std::filesystem::path& iconFolder) {
    if (!TrayIcon::writeAll(iconFolder))
        throw std::runtime_error("could not write the tray icons into " + iconFolder.string());
    indicator_ =
        app_indicator_new_with_path("corvane-bridge", TrayIcon::name(BridgeStatus::Light::problem).c_str(),
                                    APP_INDICATOR_CATEGORY_APPLICATION_STATUS, iconFolder.c_str());
    app_indicator_set_title(indicator_, "Corvane");
    menu_ = gtk_menu_new();
    g_object_ref_sink(menu_);
    g_signal_connect(menu_, "show", G_CALLBACK(opening), this);
    app_indicator_set_menu(indicator_, GTK_MENU(menu_));
    app_indicator_set_status(indicator_, APP_INDICATOR_STATUS_ACTIVE);
}

Tray::~Tray() {
    app_indicator_set_status(indicator_, APP_INDICATOR_STATUS_PASSIVE);
    g_signal_handlers_disconnect_by_data(menu_, this);
    for (Entry& entry : entries_) g_signal_handler_disconnect(entry.widget, entry.handler);
    g_object_unref(indicator_);
    gtk_widget_destroy(menu_);
    g_object_unref(menu_);
}

void Tray::setHandlers(std::function<void(MenuAction)> onAction, std::function<void()> onMenuOpening) {
    onAction_ = std::move(onAction);
    onMenuOpening_ = std::move(onMenuOpening);
}

void Tray::show(BridgeStatus::Light light, const std::string& tooltip) {
    app_indicator_set_icon_full(indicator_, TrayIcon::name(light).c_str(), "Corvane");
    app_indicator_set_title(indicator_, tooltip.c_str());
}

void Tray::setMenu(const std::vector<MenuItem>& items) {
    if (!sameShape(items)) {
        rebuild(items);
        return;
    }
    // Updated in place, so a menu on screen does not flicker; a check item the user just
    // clicked is set back to what the model says.
    for (std::size_t i = 0; i < items.size(); ++i) refresh(entries_[i], items[i]);
}

bool Tray::sameShape(const std::vector<MenuItem>& items) const {
    if (items.size() != entries_.size()) return false;
    for (std::size_t i = 0; i < items.size(); ++i) {
        const MenuItem& now = entries_[i].item;
        if (now.separator != items[i].separator || now.checked.has_value() != items[i].checked.has_value() ||
            now.keyEquivalent != items[i].keyEquivalent)
            return false;
    }
    return true;
}

void Tray::rebuild(const std::vector<MenuItem>& items) {
    for (Entry& entry : entries_) {
        g_signal_handler_disconnect(entry.widget, entry.handler);
        gtk_widget_destroy(entry.widget);
    }
    entries_.clear();
    for (const MenuItem& item : items) {
        Entry entry;
        if (item.separator) {
            entry.widget = gtk_separator_menu_item_new();
        } else if (item.checked) {
            entry.widget = gtk_check_menu_item_new_with_label(item.title.c_str());
        } else {
            entry.widget = gtk_menu_item_new_with_label(item.title.c_str());
        }
        if (!item.keyEquivalent.empty()) {
            GtkWidget* label = gtk_bin_get_child(GTK_BIN(entry.widget));
            if (GTK_IS_ACCEL_LABEL(label))
                gtk_accel_label_set_accel(GTK_ACCEL_LABEL(label),
                                          gdk_keyval_from_name(item.keyEquivalent.c_str()), GDK_CONTROL_MASK);
        }
        entry.handler = g_signal_connect(entry.widget, "activate", G_CALLBACK(activated), this);
        entry.item = item;
        entry.item.checked.reset();  // so refresh() sets the mark
        refresh(entry, item);
        gtk_menu_shell_append(GTK_MENU_SHELL(menu_), entry.widget);
        gtk_widget_show(entry.widget);
        entries_.push_back(std::move(entry));
    }
}

void Tray::refresh(Entry& entry, const MenuItem& item) {
    GtkWidget* widget = entry.widget;
    if (!item.separator) {
        if (entry.item.title != item.title)
            gtk_menu_item_set_label(GTK_MENU_ITEM(widget), item.title.c_str());
        gtk_widget_set_sensitive(widget, item.enabled);
        if (item.checked) {
            // Setting the mark activates the item: not a choice of the user's.
            g_signal_handler_block(widget, entry.handler);
            gtk_check_menu_item_set_active(GTK_CHECK_MENU_ITEM(widget), *item.checked);
            g_signal_handler_unblock(widget, entry.handler);
        }
    }
    g_object_set_data(G_OBJECT(widget), "corvane-action", GINT_TO_POINTER(static_cast<int>(item.action)));
    entry.item = item;
}

void Tray::activated(GtkWidget* widget, void* self) {
    const auto action =
        static_cast<MenuAction>(GPOINTER_TO_INT(g_object_get_data(G_OBJECT(widget), "corvane-action")));
    // Run after the signal: the action may rebuild the menu that holds this item.
    auto handler = static_cast<Tray*>(self)->onAction_;
    if (handler) MainQueue::async([handler, action] { handler(action); });
}

void Tray::opening(GtkWidget*, void* self) {
    auto handler = static_cast<Tray*>(self)->onMenuOpening_;
    if (handler) MainQueue::async(handler);
}

void Tray::alert(Alert alert) { showAlert(std::move(alert)); }

void Tray::open(const std::string& uri, std::function<void(const std::string&)> onFailure) {
    GdkAppLaunchContext* context = gdk_display_get_app_launch_context(gdk_display_get_default());
    g_app_info_launch_default_for_uri_async(uri.c_str(), G_APP_LAUNCH_CONTEXT(context), nullptr, launched,
                                            new FailureHandler(std::move(onFailure)));
    g_object_unref(context);
}

}  // namespace corvane
