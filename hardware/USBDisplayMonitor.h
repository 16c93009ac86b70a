#pragma once
// Keeps the Push display open while it is plugged in: opens it when it arrives, closes it when
// it leaves, and after a failure retries with a growing delay. Main queue only.

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "hardware/USBBackend.h"
#include "hardware/USBDisplay.h"
#include "hardware/USBDisplayError.h"

namespace corvane {

class USBDisplayMonitor {
public:
    // Runs `work` on the main queue after `delay`; the function returned cancels it. The main
    // queue's timers in the program; tests drive their own.
    using RetryTimer =
        std::function<std::function<void()>(std::chrono::nanoseconds delay, std::function<void()> work)>;
    static RetryTimer mainQueueTimer();

    // Over libusb.
    explicit USBDisplayMonitor(int productID);
    USBDisplayMonitor(int productID, std::shared_ptr<USBBackend> backend,
                      RetryTimer timer = mainQueueTimer());
    // Stops without calling back: the owner may already be half gone.
    ~USBDisplayMonitor();
    USBDisplayMonitor(const USBDisplayMonitor&) = delete;
    USBDisplayMonitor& operator=(const USBDisplayMonitor&) = delete;

    std::function<void(const std::shared_ptr<USBDisplay>&)> onAttach;
    std::function<void()> onDetach;
    // An open failure, reported once while it repeats with the same text; also where a machine
    // without usable USB says so, once.
    std::function<void(const USBDisplayError&)> onError;

    // Watches for the display and opens one already plugged in before returning.
    void start();
    // Cancels a retry, stops watching and closes the display (with onDetach).
    void stop();
    // After a failed frame transfer on `display`: closes it and retries after the current delay.
    // A display closed meanwhile can still fail a frame that was on its way; its failure says
    // nothing about the display open now (perhaps one plugged in since) and changes nothing.
    void transferFailed(const std::shared_ptr<const FrameSink>& display);
    // Whether `display` is the one open now: only its transfer failures count.
    bool isOpen(const std::shared_ptr<const FrameSink>& display) const {
        return display && display == display_;
    }

    int productID() const { return productID_; }
    const std::shared_ptr<USBDisplay>& display() const { return display_; }
    // The wait before the next retry that gets scheduled.
    double retryDelay() const { return retryDelay_; }

    static constexpr double firstRetryDelay = 0.5;
    static constexpr double longestRetryDelay = 5.0;

private:
    void arrived(USBDeviceID device);
    void left(USBDeviceID device);
    void open(USBDeviceID device);
    void closeDisplay();
    void scheduleRetry();
    void cancelRetry();
    void report(const USBDisplayError& error);

    const int productID_;
    std::shared_ptr<USBBackend> backend_;
    RetryTimer timer_;
    std::shared_ptr<USBDisplay> display_;
    std::unique_ptr<USBWatch> watch_;
    bool started_ = false;
    double retryDelay_ = firstRetryDelay;
    std::function<void()> cancelRetry_;
    std::optional<std::string> lastError_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);  // a retry holds it weakly
};

}  // namespace corvane
