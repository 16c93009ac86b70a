#include "platform/MainQueueSignal.h"

#include <glib.h>

#include <atomic>

namespace corvane {

struct MainQueueSignal::State {
    std::atomic<bool> raised{false};
    std::function<void()> handler;
    GMainContext* context = nullptr;
    GSource* source = nullptr;
};

namespace {

// A plain C struct, as GLib lays its sources out; the C++ state lives beside it.
struct SignalSource {
    GSource base;
    MainQueueSignal::State* state;
};

MainQueueSignal::State& stateOf(GSource* source) { return *reinterpret_cast<SignalSource*>(source)->state; }

gboolean prepare(GSource* source, gint* timeout) {
    *timeout = -1;
    return stateOf(source).raised.load(std::memory_order_acquire);
}

gboolean check(GSource* source) { return stateOf(source).raised.load(std::memory_order_acquire); }

gboolean dispatch(GSource* source, GSourceFunc, gpointer) {
    MainQueueSignal::State& state = stateOf(source);
    // Cleared first: a raise while the handler runs runs it again.
    state.raised.store(false, std::memory_order_release);
    state.handler();
    return G_SOURCE_CONTINUE;
}

void finalize(GSource* source) { delete reinterpret_cast<SignalSource*>(source)->state; }

GSourceFuncs signalFuncs = {prepare, check, dispatch, finalize, nullptr, nullptr};

}  // namespace

MainQueueSignal::MainQueueSignal(std::function<void()> handler) : state_(new State) {
    state_->handler = std::move(handler);
    // The main queue's own context; GTK's main loop runs it too.
    state_->context = g_main_context_default();
    state_->source = g_source_new(&signalFuncs, sizeof(SignalSource));
    reinterpret_cast<SignalSource*>(state_->source)->state = state_;
    g_source_set_priority(state_->source, G_PRIORITY_DEFAULT);
    g_source_set_name(state_->source, "corvane main queue signal");
    g_source_attach(state_->source, state_->context);
}

MainQueueSignal::~MainQueueSignal() {
    GSource* source = state_->source;
    g_source_destroy(source);
    g_source_unref(source);  // frees the state once a dispatch under way has let go of it
}

void MainQueueSignal::raise() noexcept {
    // g_main_context_wakeup only writes to the context's eventfd.
    if (!state_->raised.exchange(true, std::memory_order_acq_rel)) g_main_context_wakeup(state_->context);
}

}  // namespace corvane
