#include "tests/support/SimulatedUSBDisplay.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>

#include "platform/MainQueue.h"

namespace corvane {

namespace {

constexpr std::size_t headerBytes = DisplayFormat::header.size();
constexpr std::size_t pixelBytes = DisplayFormat::frameBytes;

struct Device {
    USBDeviceID id;
    int productID;
    bool claimed = false;
};

struct Watcher {
    int productID;
    std::weak_ptr<const USBBackend::Events> events;
};

struct TransferFault {
    bool fail;  // otherwise short
    std::string description;
    std::size_t moved;
    int remaining;
    SimulatedUSBDisplay::Transfer which;
};

bool applies(SimulatedUSBDisplay::Transfer which, std::size_t length) {
    switch (which) {
        case SimulatedUSBDisplay::Transfer::any:
            return true;
        case SimulatedUSBDisplay::Transfer::header:
            return length == headerBytes;
        case SimulatedUSBDisplay::Transfer::pixels:
            return length == pixelBytes;
    }
    return false;
}

// Counts down a fault's uses; true when it is used up.
bool useOnce(int& remaining) {
    if (remaining == SimulatedUSBDisplay::always) return false;
    return --remaining <= 0;
}

}  // namespace

struct SimulatedUSBDisplay::State {
    mutable std::mutex lock;
    mutable std::condition_variable changed;

    std::uint64_t nextID = 0;
    std::vector<Device> devices;
    std::vector<Watcher> watchers;

    std::optional<USBDisplayError> openFault;
    int openFaultRemaining = 0;
    std::optional<TransferFault> transferFault;
    std::optional<USBDisplayError> watchFault;

    bool holding = false;
    int held = 0;

    std::vector<ReceivedTransfer> transfers;
    std::vector<ReceivedFrame> frames;
    std::optional<ReceivedTransfer> pendingHeader;

    int openAttempts = 0, opens = 0, closes = 0, openInterfaces = 0, closesDuringTransfer = 0;

    Device* find(USBDeviceID id) {
        auto it = std::find_if(devices.begin(), devices.end(), [&](const Device& d) { return d.id == id; });
        return it == devices.end() ? nullptr : &*it;
    }

    // Arrivals and departures reach watchers on the main queue, in order, as libusb's do.
    void notify(const Device& device, bool arrived) {
        std::erase_if(watchers, [](const Watcher& w) { return w.events.expired(); });
        for (const Watcher& watcher : watchers) {
            if (watcher.productID != device.productID) continue;
            MainQueue::async([events = watcher.events, id = device.id, arrived] {
                auto alive = events.lock();
                if (!alive) return;
                const auto& callback = arrived ? alive->arrived : alive->left;
                if (callback) callback(id);
            });
        }
    }

    void record(ReceivedTransfer transfer) {
        bool whole = transfer.bytes.size() == transfer.sent;
        if (whole && transfer.sent == headerBytes) {
            pendingHeader = transfer;
        } else if (whole && transfer.sent == pixelBytes && pendingHeader &&
                   pendingHeader->device == transfer.device) {
            frames.push_back(ReceivedFrame{transfer.device, pendingHeader->bytes, transfer.bytes});
            pendingHeader.reset();
        } else {
            pendingHeader.reset();
        }
        transfers.push_back(std::move(transfer));
    }
};

namespace {

class SimulatedHandle final : public USBInterfaceHandle {
public:
    using State = SimulatedUSBDisplay::State;

    SimulatedHandle(std::shared_ptr<State> state, USBDeviceID device)
        : state_(std::move(state)), device_(device) {}

    ~SimulatedHandle() override {
        std::lock_guard guard(state_->lock);
        if (inTransfer_) ++state_->closesDuringTransfer;
        if (Device* device = state_->find(device_)) device->claimed = false;
        ++state_->closes;
        --state_->openInterfaces;
    }

    USBDeviceID device() const override { return device_; }

    std::size_t bulkOut(std::span<const std::uint8_t> bytes, double timeout) override {
        std::unique_lock guard(state_->lock);
        inTransfer_ = true;
        if (state_->holding) {
            ++state_->held;
            state_->changed.notify_all();
            state_->changed.wait(guard, [&] { return !state_->holding; });
            --state_->held;
        }
        inTransfer_ = false;

        if (state_->find(device_) == nullptr) {
            throw USBDisplayError::transferFailed(SimulatedUSBDisplay::noDeviceText);
        }
        std::size_t moved = bytes.size();
        auto& fault = state_->transferFault;
        if (fault && applies(fault->which, bytes.size())) {
            TransferFault used = *fault;
            if (useOnce(fault->remaining)) fault.reset();
            if (used.fail) throw USBDisplayError::transferFailed(used.description);
            moved = std::min(moved, used.moved);
        }
        std::vector<std::uint8_t> arrived(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(moved));
        state_->record(
            SimulatedUSBDisplay::ReceivedTransfer{device_, std::move(arrived), bytes.size(), timeout});
        state_->changed.notify_all();
        return moved;
    }

private:
    std::shared_ptr<State> state_;
    USBDeviceID device_;
    bool inTransfer_ = false;  // guarded by the state's lock
};

class SimulatedWatch final : public USBWatch {
public:
    explicit SimulatedWatch(std::shared_ptr<const USBBackend::Events> events) : events_(std::move(events)) {}

private:
    std::shared_ptr<const USBBackend::Events> events_;
};

}  // namespace

bool SimulatedUSBDisplay::ReceivedFrame::headerIsValid() const {
    return std::equal(header.begin(), header.end(), DisplayFormat::header.begin(),
                      DisplayFormat::header.end());
}

std::uint16_t SimulatedUSBDisplay::ReceivedFrame::pixel(int x, int y) const {
    std::size_t at = static_cast<std::size_t>(y) * DisplayFormat::lineBytes + static_cast<std::size_t>(x) * 2;
    auto low = static_cast<std::uint8_t>(pixels.at(at) ^ DisplayFormat::xorPattern[at % 4]);
    auto high = static_cast<std::uint8_t>(pixels.at(at + 1) ^ DisplayFormat::xorPattern[(at + 1) % 4]);
    return static_cast<std::uint16_t>(low | high << 8);
}

SimulatedUSBDisplay::SimulatedUSBDisplay() : state_(std::make_shared<State>()) {}

SimulatedUSBDisplay::~SimulatedUSBDisplay() { releaseTransfers(); }

USBDeviceID SimulatedUSBDisplay::plug(int productID) {
    std::lock_guard guard(state_->lock);
    Device device{USBDeviceID{++state_->nextID}, productID};
    state_->devices.push_back(device);
    state_->notify(device, true);
    return device.id;
}

void SimulatedUSBDisplay::unplug(USBDeviceID id) {
    std::lock_guard guard(state_->lock);
    auto& devices = state_->devices;
    auto it = std::find_if(devices.begin(), devices.end(), [&](const Device& d) { return d.id == id; });
    if (it == devices.end()) return;
    Device device = *it;
    devices.erase(it);
    state_->notify(device, false);
}

void SimulatedUSBDisplay::unplug() {
    std::vector<USBDeviceID> ids;
    {
        std::lock_guard guard(state_->lock);
        for (const Device& device : state_->devices) ids.push_back(device.id);
    }
    for (USBDeviceID id : ids) unplug(id);
}

bool SimulatedUSBDisplay::isPlugged(USBDeviceID device) const {
    std::lock_guard guard(state_->lock);
    return state_->find(device) != nullptr;
}

void SimulatedUSBDisplay::failOpens(USBDisplayError error, int times) {
    std::lock_guard guard(state_->lock);
    state_->openFault = std::move(error);
    state_->openFaultRemaining = times;
}

void SimulatedUSBDisplay::failTransfers(std::string description, int times, Transfer which) {
    std::lock_guard guard(state_->lock);
    state_->transferFault = TransferFault{true, std::move(description), 0, times, which};
}

void SimulatedUSBDisplay::shortenTransfers(std::size_t moved, int times, Transfer which) {
    std::lock_guard guard(state_->lock);
    state_->transferFault = TransferFault{false, {}, moved, times, which};
}

void SimulatedUSBDisplay::failWatches(USBDisplayError error) {
    std::lock_guard guard(state_->lock);
    state_->watchFault = std::move(error);
}

void SimulatedUSBDisplay::clearFaults() {
    std::lock_guard guard(state_->lock);
    state_->openFault.reset();
    state_->transferFault.reset();
    state_->watchFault.reset();
}

void SimulatedUSBDisplay::holdTransfers() {
    std::lock_guard guard(state_->lock);
    state_->holding = true;
}

void SimulatedUSBDisplay::releaseTransfers() {
    std::lock_guard guard(state_->lock);
    state_->holding = false;
    state_->changed.notify_all();
}

bool SimulatedUSBDisplay::waitForHeldTransfer(std::chrono::milliseconds timeout) const {
    std::unique_lock guard(state_->lock);
    return state_->changed.wait_for(guard, timeout, [&] { return state_->held > 0; });
}

std::vector<SimulatedUSBDisplay::ReceivedTransfer> SimulatedUSBDisplay::transfers() const {
    std::lock_guard guard(state_->lock);
    return state_->transfers;
}

std::vector<SimulatedUSBDisplay::ReceivedFrame> SimulatedUSBDisplay::frames() const {
    std::lock_guard guard(state_->lock);
    return state_->frames;
}

std::size_t SimulatedUSBDisplay::frameCount() const {
    std::lock_guard guard(state_->lock);
    return state_->frames.size();
}

std::optional<SimulatedUSBDisplay::ReceivedFrame> SimulatedUSBDisplay::lastFrame() const {
    std::lock_guard guard(state_->lock);
    if (state_->frames.empty()) return std::nullopt;
    return state_->frames.back();
}

void SimulatedUSBDisplay::clearRecords() {
    std::lock_guard guard(state_->lock);
    state_->transfers.clear();
    state_->frames.clear();
    state_->pendingHeader.reset();
}

int SimulatedUSBDisplay::openAttempts() const {
    std::lock_guard guard(state_->lock);
    return state_->openAttempts;
}

int SimulatedUSBDisplay::opens() const {
    std::lock_guard guard(state_->lock);
    return state_->opens;
}

int SimulatedUSBDisplay::closes() const {
    std::lock_guard guard(state_->lock);
    return state_->closes;
}

int SimulatedUSBDisplay::openInterfaces() const {
    std::lock_guard guard(state_->lock);
    return state_->openInterfaces;
}

int SimulatedUSBDisplay::closesDuringTransfer() const {
    std::lock_guard guard(state_->lock);
    return state_->closesDuringTransfer;
}

int SimulatedUSBDisplay::activeWatches() const {
    std::lock_guard guard(state_->lock);
    return static_cast<int>(std::count_if(state_->watchers.begin(), state_->watchers.end(),
                                          [](const Watcher& w) { return !w.events.expired(); }));
}

std::vector<USBDeviceID> SimulatedUSBDisplay::devices(int productID) {
    std::lock_guard guard(state_->lock);
    std::vector<USBDeviceID> found;
    for (const Device& device : state_->devices) {
        if (device.productID == productID) found.push_back(device.id);
    }
    return found;
}

std::unique_ptr<USBInterfaceHandle> SimulatedUSBDisplay::open(USBDeviceID id, int productID) {
    std::lock_guard guard(state_->lock);
    ++state_->openAttempts;
    if (state_->openFault) {
        USBDisplayError error = *state_->openFault;
        if (useOnce(state_->openFaultRemaining)) state_->openFault.reset();
        throw error;
    }
    Device* device = state_->find(id);
    if (device == nullptr || device->productID != productID) throw USBDisplayError::notFound();
    if (device->claimed) throw USBDisplayError::openFailed("Resource busy");
    device->claimed = true;
    ++state_->opens;
    ++state_->openInterfaces;
    return std::make_unique<SimulatedHandle>(state_, id);
}

std::unique_ptr<USBWatch> SimulatedUSBDisplay::watch(int productID, Events events) {
    std::lock_guard guard(state_->lock);
    if (state_->watchFault) throw *state_->watchFault;
    auto shared = std::make_shared<const Events>(std::move(events));
    state_->watchers.push_back(Watcher{productID, shared});
    return std::make_unique<SimulatedWatch>(std::move(shared));
}

}  // namespace corvane
