#pragma once
// Messages to the user as GTK message dialogs. They never stall the main queue: a dialog shows
// and its answer comes back later, except the one alert shown before the program leaves for
// good.

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace corvane {

enum class AlertStyle { warning, informational };

struct Alert {
    std::string message = "Corvane";  // the heading
    std::string text;                 // the body
    AlertStyle style = AlertStyle::informational;
    std::vector<std::string> buttons;  // left to right, the first is the default; none gives "OK"
    // The index of the button chosen; not called when the dialog is closed otherwise.
    std::function<void(std::size_t button)> onButton;

    // "Corvane" over `text`, with one "OK".
    static Alert plain(std::string text, AlertStyle style);
};

// GTK must be initialised. Returns at once.
void showAlert(Alert alert);

// Shows the alert and waits until it is dismissed. Only for the failure that ends the program
// before it got going: the main queue runs nested meanwhile.
void runAlert(const std::string& text, AlertStyle style);

}  // namespace corvane
