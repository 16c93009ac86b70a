#pragma once
// A flag for the main queue that any thread may raise without allocating, taking a lock or
// waiting: the main thread then runs the handler, once for all the raises since it last ran it,
// between two pieces of the main queue's work (in no set order with them). For news a thread
// that must not block (a real-time one) has for the main queue.
//
// Made and destroyed on any thread. Once destroyed on the main thread, the handler never runs
// again; destroyed elsewhere, a run already under way finishes. It must not be destroyed from
// its own handler.

#include <functional>

namespace corvane {

class MainQueueSignal {
public:
    explicit MainQueueSignal(std::function<void()> handler);
    ~MainQueueSignal();
    MainQueueSignal(const MainQueueSignal&) = delete;
    MainQueueSignal& operator=(const MainQueueSignal&) = delete;

    // Any thread. At most one write to the main context's wake-up descriptor: none while an
    // earlier raise waits for the handler.
    void raise() noexcept;

    struct State;

private:
    State* state_;  // owned by the source
};

}  // namespace corvane
