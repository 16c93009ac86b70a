#pragma once
// Delivers a Unix signal as work on the main queue (GLib's default main context), where any
// code may run, instead of in a signal handler. While the source lives, GLib's own handler
// owns the signal; when the last source for a signal goes away, its default action returns.
// GLib accepts SIGHUP, SIGINT, SIGTERM, SIGUSR1, SIGUSR2 and SIGWINCH; any other signal is a
// programming error.

#include <functional>

namespace corvane {

class SignalSource {
public:
    SignalSource(int signum, std::function<void()> handler);
    ~SignalSource();
    SignalSource(const SignalSource&) = delete;
    SignalSource& operator=(const SignalSource&) = delete;

    int signum() const { return signum_; }

private:
    int signum_;
    unsigned sourceID_ = 0;
};

}  // namespace corvane
