#include "bridge/Alert.h"

#include <gtk/gtk.h>

#include <utility>

namespace corvane {

namespace {

// GTK takes only UTF-8; reasons from the system may come in another encoding.
std::string valid(const std::string& text) {
    gchar* made = g_utf8_make_valid(text.c_str(), static_cast<gssize>(text.size()));
    std::string result(made);
    g_free(made);
    return result;
}

GtkWidget* dialogFor(const Alert& alert) {
    const GtkMessageType type = alert.style == AlertStyle::warning ? GTK_MESSAGE_WARNING : GTK_MESSAGE_INFO;
    GtkWidget* dialog = gtk_message_dialog_new(nullptr, GtkDialogFlags(0), type, GTK_BUTTONS_NONE, "%s",
                                               valid(alert.message).c_str());
    gtk_message_dialog_format_secondary_text(GTK_MESSAGE_DIALOG(dialog), "%s", valid(alert.text).c_str());
    gtk_window_set_title(GTK_WINDOW(dialog), "Corvane");
    gtk_window_set_keep_above(GTK_WINDOW(dialog), TRUE);
    if (alert.buttons.empty()) {
        gtk_dialog_add_button(GTK_DIALOG(dialog), "OK", 0);
    } else {
        for (std::size_t i = 0; i < alert.buttons.size(); ++i)
            gtk_dialog_add_button(GTK_DIALOG(dialog), valid(alert.buttons[i]).c_str(), static_cast<gint>(i));
    }
    gtk_dialog_set_default_response(GTK_DIALOG(dialog), 0);
    return dialog;
}

using ButtonHandler = std::function<void(std::size_t)>;

void responded(GtkDialog* dialog, gint response, gpointer data) {
    // Copied out first: destroying the dialog frees the handler.
    const ButtonHandler handler = *static_cast<ButtonHandler*>(data);
    gtk_widget_destroy(GTK_WIDGET(dialog));
    if (response >= 0 && handler) handler(static_cast<std::size_t>(response));
}

void freeHandler(gpointer data, GClosure*) { delete static_cast<ButtonHandler*>(data); }

}  // namespace

Alert Alert::plain(std::string text, AlertStyle style) {
    Alert alert;
    alert.text = std::move(text);
    alert.style = style;
    return alert;
}

void showAlert(Alert alert) {
    GtkWidget* dialog = dialogFor(alert);
    g_signal_connect_data(dialog, "response", G_CALLBACK(responded),
                          new ButtonHandler(std::move(alert.onButton)), freeHandler, GConnectFlags(0));
    gtk_window_present(GTK_WINDOW(dialog));
}

void runAlert(const std::string& text, AlertStyle style) {
    GtkWidget* dialog = dialogFor(Alert::plain(text, style));
    gtk_dialog_run(GTK_DIALOG(dialog));
    gtk_widget_destroy(dialog);
}

}  // namespace corvane
