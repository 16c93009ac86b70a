#include "hardware/USBDisplayMonitor.h"

#include <algorithm>

#include "hardware/LibusbBackend.h"
#include "platform/MainQueue.h"

namespace corvane {

USBDisplayMonitor::RetryTimer USBDisplayMonitor::mainQueueTimer() {
    return [](std::chrono::nanoseconds delay, std::function<void()> work) -> std::function<void()> {
        WorkItem item = MainQueue::asyncAfter(delay, std::move(work));
        return [item] { item.cancel(); };
    };
}

USBDisplayMonitor::USBDisplayMonitor(int productID)
    : USBDisplayMonitor(productID, std::make_shared<LibusbBackend>()) {}

USBDisplayMonitor::USBDisplayMonitor(int productID, std::shared_ptr<USBBackend> backend, RetryTimer timer)
    : productID_(productID), backend_(std::move(backend)), timer_(std::move(timer)) {}

USBDisplayMonitor::~USBDisplayMonitor() {
    onAttach = nullptr;
    onDetach = nullptr;
    onError = nullptr;
    stop();
}

void USBDisplayMonitor::start() {
    if (started_) return;
    started_ = true;
    try {
        watch_ = backend_->watch(productID_, USBBackend::Events{
                                                 .arrived = [this](USBDeviceID device) { arrived(device); },
                                                 .left = [this](USBDeviceID device) { left(device); },
                                             });
    } catch (const USBDisplayError& error) {
        // Without notifications a display plugged in later goes unseen, but one present now
        // still opens.
        report(error);
    }
    for (USBDeviceID device : backend_->devices(productID_)) arrived(device);
}

void USBDisplayMonitor::stop() {
    cancelRetry();
    watch_.reset();
    started_ = false;
    closeDisplay();
}

void USBDisplayMonitor::transferFailed(const std::shared_ptr<const FrameSink>& display) {
    // A transfer that fails after stop() reports a display already closed; retrying would
    // reopen it behind the owner's back.
    if (!started_ || !isOpen(display)) return;
    closeDisplay();
    scheduleRetry();
}

void USBDisplayMonitor::arrived(USBDeviceID device) {
    cancelRetry();
    retryDelay_ = firstRetryDelay;
    if (!display_) open(device);
}

void USBDisplayMonitor::left(USBDeviceID device) {
    // Another display of the same product leaving must not blank the one in use. No retry: the
    // next arrival reopens.
    if (display_ && display_->device() == device) closeDisplay();
}

void USBDisplayMonitor::open(USBDeviceID device) {
    std::shared_ptr<USBDisplay> opened;
    try {
        opened = std::make_shared<USBDisplay>(*backend_, device, productID_);
    } catch (const USBDisplayError& error) {
        report(error);
        scheduleRetry();
        return;
    }
    display_ = opened;
    lastError_.reset();
    if (onAttach) onAttach(opened);
}

void USBDisplayMonitor::report(const USBDisplayError& error) {
    std::string text = error.what();
    if (lastError_ == text) return;
    lastError_ = std::move(text);
    if (onError) onError(error);
}

void USBDisplayMonitor::closeDisplay() {
    if (!display_) return;
    auto closing = std::move(display_);
    display_.reset();
    closing->close();
    if (onDetach) onDetach();
}

void USBDisplayMonitor::scheduleRetry() {
    cancelRetry();
    std::weak_ptr<bool> alive = alive_;
    auto delay =
        std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::duration<double>(retryDelay_));
    cancelRetry_ = timer_(delay, [this, alive] {
        if (alive.expired() || display_ || !started_) return;
        auto devices = backend_->devices(productID_);
        if (!devices.empty()) open(devices.front());
    });
    retryDelay_ = std::min(retryDelay_ * 2, longestRetryDelay);
}

void USBDisplayMonitor::cancelRetry() {
    if (cancelRetry_) {
        auto cancel = std::move(cancelRetry_);
        cancelRetry_ = nullptr;
        cancel();
    }
}

}  // namespace corvane
