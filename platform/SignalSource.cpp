#include "platform/SignalSource.h"

#include "platform/Precondition.h"

#include <glib-unix.h>
#include <glib.h>

#include <csignal>

namespace corvane {
namespace {

gboolean deliver(gpointer data) {
    (*static_cast<std::function<void()>*>(data))();
    return G_SOURCE_CONTINUE;
}

void release(gpointer data) { delete static_cast<std::function<void()>*>(data); }

}  // namespace

SignalSource::SignalSource(int signum, std::function<void()> handler) : signum_(signum) {
    switch (signum) {
        case SIGHUP:
        case SIGINT:
        case SIGTERM:
        case SIGUSR1:
        case SIGUSR2:
        case SIGWINCH:
            break;
        default:
            preconditionFailure("SignalSource: GLib cannot watch this signal");
    }
    // GLib keeps the callback data alive while the callback runs, so a source may be
    // destroyed from inside its own handler.
    auto* data = new std::function<void()>(std::move(handler));
    sourceID_ = g_unix_signal_add_full(G_PRIORITY_DEFAULT, signum, deliver, data, release);
}

SignalSource::~SignalSource() {
    if (sourceID_ != 0) g_source_remove(sourceID_);
}

}  // namespace corvane
