#include "platform/MainQueue.h"

#include "platform/PIMutex.h"
#include "platform/Precondition.h"
#include "platform/TaskList.h"

#include <glib.h>

#include <sys/timerfd.h>
#include <unistd.h>
#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdint>
#include <mutex>
#include <optional>

namespace corvane::MainQueue {

using detail::Clock;
using detail::Task;

namespace {

// One GLib source drains the whole queue, so everything posted runs in one order whatever
// thread posted it.
struct State {
    // Inherits priority: a thread of higher priority than the main one may post while it holds it.
    PIMutex mutex;
    detail::TaskList tasks;
    GMainContext* context = nullptr;
    GSource* source = nullptr;
    std::atomic<bool> quitRequested{false};
    // GLib's poll waits in whole milliseconds; a timerfd wakes it at the exact deadline.
    int timerFD = -1;
    gpointer timerTag = nullptr;
    std::optional<Clock::time_point> armed;  // the deadline the timerfd is set to
};

int millisecondsUntil(Clock::time_point deadline, Clock::time_point now) {
    if (deadline <= now) return 0;
    // Rounded up: waking a little late is fine, waking early only costs another poll.
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(deadline - now).count();
    const long long ms = (ns + 999'999) / 1'000'000;
    return ms > INT_MAX ? INT_MAX : static_cast<int>(ms);
}

State& state();

// Sets the timerfd to `deadline` (steady_clock is CLOCK_MONOTONIC), or disarms it.
void arm(State& s, std::optional<Clock::time_point> deadline) {
    if (deadline == s.armed) return;
    itimerspec setting{};
    if (deadline) {
        const auto ns =
            std::chrono::duration_cast<std::chrono::nanoseconds>(deadline->time_since_epoch()).count();
        // Zero would disarm; a deadline at the clock's very start is long past anyway.
        setting.it_value.tv_sec = static_cast<time_t>(ns / 1'000'000'000);
        setting.it_value.tv_nsec = static_cast<long>(ns % 1'000'000'000);
        if (setting.it_value.tv_sec <= 0 && setting.it_value.tv_nsec <= 0) setting.it_value.tv_nsec = 1;
    }
    timerfd_settime(s.timerFD, TFD_TIMER_ABSTIME, &setting, nullptr);
    s.armed = deadline;
}

gboolean prepare(GSource*, gint* timeout) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    const Clock::time_point now = Clock::now();
    if (s.tasks.readyCount(now) > 0) {
        *timeout = 0;
        return TRUE;
    }
    const std::optional<Clock::time_point> deadline = s.tasks.nextDeadline();
    if (s.timerFD >= 0) {
        arm(s, deadline);
        *timeout = -1;
    } else {
        *timeout = deadline ? millisecondsUntil(*deadline, now) : -1;
    }
    return FALSE;
}

gboolean check(GSource* source) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    if (s.timerFD >= 0 && (g_source_query_unix_fd(source, s.timerTag) & G_IO_IN)) {
        std::uint64_t expirations;
        [[maybe_unused]] ssize_t n = read(s.timerFD, &expirations, sizeof expirations);
        s.armed.reset();  // spent: the next prepare sets it again
    }
    return s.tasks.readyCount(Clock::now()) > 0;
}

void runOne(Task& task) noexcept {
    std::optional<Task> again = detail::runTask(task);
    if (again) {
        State& s = state();
        std::lock_guard lock(s.mutex);
        s.tasks.postTimer(std::move(*again), Clock::now());
    }
}

gboolean dispatch(GSource*, GSourceFunc, gpointer) {
    State& s = state();
    // Only what is ready now: work posted by these tasks waits for the next dispatch, so other
    // sources get their turn. Tasks are taken one at a time so that a nested main loop inside
    // one of them (the source may recurse) keeps the order.
    std::size_t budget;
    {
        std::lock_guard lock(s.mutex);
        budget = s.tasks.readyCount(Clock::now());
    }
    for (; budget > 0; --budget) {
        std::optional<Task> task;
        {
            std::lock_guard lock(s.mutex);
            task = s.tasks.take(Clock::now());
        }
        if (!task) break;
        runOne(*task);
    }
    return G_SOURCE_CONTINUE;
}

GSourceFuncs sourceFuncs = {prepare, check, dispatch, nullptr, nullptr, nullptr};

// Created on first use and never destroyed: threads may post until the process ends.
State& state() {
    static State* const instance = [] {
        auto* s = new State;
        s->context = g_main_context_default();
        s->source = g_source_new(&sourceFuncs, sizeof(GSource));
        g_source_set_priority(s->source, G_PRIORITY_DEFAULT);
        g_source_set_can_recurse(s->source, TRUE);
        g_source_set_name(s->source, "corvane main queue");
        s->timerFD = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
        if (s->timerFD >= 0) s->timerTag = g_source_add_unix_fd(s->source, s->timerFD, G_IO_IN);
        g_source_attach(s->source, s->context);
        return s;
    }();
    return *instance;
}

// The main thread itself is not waiting in poll: it runs prepare() again before it next waits.
void wake(State& s) {
    if (!isCurrent()) g_main_context_wakeup(s.context);
}

void post(Task task) {
    State& s = state();
    {
        std::lock_guard lock(s.mutex);
        s.tasks.post(std::move(task), Clock::now());
    }
    wake(s);
}

std::shared_ptr<detail::Job> postTimer(Clock::time_point deadline, Clock::duration interval,
                                       std::function<void()> work) {
    State& s = state();
    auto job = std::make_shared<detail::Job>(std::move(work));
    {
        std::lock_guard lock(s.mutex);
        s.tasks.postTimer(Task{{}, job, deadline, interval, 0}, Clock::now());
    }
    // The poll's time-out was computed for the earlier timers.
    wake(s);
    return job;
}

void requireMainThread(const char* what) {
    if (!isCurrent()) preconditionFailure(what);
}

}  // namespace

void async(std::function<void()> work) { post(Task{std::move(work), nullptr, {}, {}, 0}); }

WorkItem asyncAfter(std::chrono::nanoseconds delay, std::function<void()> work) {
    return asyncAt(Clock::now() + std::max(delay, std::chrono::nanoseconds::zero()), std::move(work));
}

WorkItem asyncAt(Clock::time_point deadline, std::function<void()> work) {
    return WorkItem(postTimer(deadline, Clock::duration::zero(), std::move(work)));
}

RepeatingTimer scheduleRepeating(std::chrono::nanoseconds interval, std::chrono::nanoseconds,
                                 std::function<void()> handler) {
    if (interval <= std::chrono::nanoseconds::zero()) {
        preconditionFailure("a repeating timer needs a positive interval");
    }
    return RepeatingTimer(postTimer(Clock::now() + interval, interval, std::move(handler)));
}

RepeatingTimer scheduleRepeating(std::chrono::nanoseconds interval, std::function<void()> handler) {
    return scheduleRepeating(interval, std::chrono::nanoseconds::zero(), std::move(handler));
}

bool isCurrent() {
    // The initial thread's id equals the process id.
    static thread_local const bool onMainThread = gettid() == getpid();
    return onMainThread;
}

void run() {
    requireMainThread("MainQueue::run() called off the main thread");
    State& s = state();
    while (!s.quitRequested.exchange(false)) g_main_context_iteration(s.context, TRUE);
}

void quit() {
    State& s = state();
    s.quitRequested = true;
    g_main_context_wakeup(s.context);
}

bool pumpUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
    requireMainThread("MainQueue::pumpUntil() called off the main thread");
    State& s = state();
    const Clock::time_point end = Clock::now() + timeout;
    for (;;) {
        if (condition()) return true;
        const Clock::time_point now = Clock::now();
        if (now >= end) return false;
        // A short poll bounds the wait, so a condition changed by another thread without
        // posting anything is still seen soon.
        GSource* limit = g_timeout_source_new(static_cast<guint>(std::min(millisecondsUntil(end, now), 5)));
        g_source_set_callback(
            limit, [](gpointer) -> gboolean { return G_SOURCE_REMOVE; }, nullptr, nullptr);
        g_source_attach(limit, s.context);
        g_main_context_iteration(s.context, TRUE);
        g_source_destroy(limit);
        g_source_unref(limit);
    }
}

void pumpFor(std::chrono::milliseconds duration) {
    pumpUntil([] { return false; }, duration);
}

}  // namespace corvane::MainQueue
