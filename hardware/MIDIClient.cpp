#include "hardware/MIDIClient.h"

namespace corvane {

MIDIClient::MIDIClient(const std::string& name, std::shared_ptr<MIDIBackend> backend)
    : backend_(std::move(backend)) {
    std::weak_ptr<Observers> observers = observers_;
    std::weak_ptr<Observers> inputLost = inputLostObservers_;
    ref_ = backend_->createClient(
        name,
        [observers] {
            if (auto alive = observers.lock()) alive->notify();
        },
        [inputLost] {
            if (auto alive = inputLost.lock()) alive->notify();
        });
}

MIDIClient::~MIDIClient() { backend_->disposeClient(ref_); }

void MIDIClient::onSetupChanged(std::function<void()> observer) {
    std::lock_guard guard(observers_->lock);
    observers_->list.push_back(std::move(observer));
}

void MIDIClient::onInputLost(std::function<void()> observer) {
    std::lock_guard guard(inputLostObservers_->lock);
    inputLostObservers_->list.push_back(std::move(observer));
}

void MIDIClient::Observers::notify() {
    std::vector<std::function<void()>> current;
    {
        std::lock_guard guard(lock);
        current = list;
    }
    for (const auto& observer : current) observer();
}

}  // namespace corvane
