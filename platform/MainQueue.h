#pragma once
// The main queue: work run on the main thread by GLib's default main context, one item at a
// time, strictly in the order posted from any thread; timers join that order when they come
// due, and never fire early. GTK and GLib sources share the same context, so a GTK main loop
// runs this queue too.
//
// The main thread is the process's initial thread (the one that runs main()). run(), pumpUntil()
// and pumpFor() must be called there; calling them elsewhere stops the program.
//
// Work must not throw: an exception escaping a task ends the program. Posting takes only locks
// that inherit priority; a thread that must not allocate raises a MainQueueSignal instead.

#include "platform/RepeatingTimer.h"
#include "platform/WorkItem.h"

#include <chrono>
#include <functional>

namespace corvane::MainQueue {

void async(std::function<void()> work);

// Runs no earlier than `delay` from now (a negative delay counts as none).
WorkItem asyncAfter(std::chrono::nanoseconds delay, std::function<void()> work);
// Runs no earlier than `deadline`.
WorkItem asyncAt(std::chrono::steady_clock::time_point deadline, std::function<void()> work);

// First firing one interval from now, then every interval; missed firings are skipped, not
// bunched. `leeway` is how late a firing may be; the queue aims at the exact time whatever it
// is. The interval must be positive.
[[nodiscard]] RepeatingTimer scheduleRepeating(std::chrono::nanoseconds interval,
                                               std::chrono::nanoseconds leeway,
                                               std::function<void()> handler);
[[nodiscard]] RepeatingTimer scheduleRepeating(std::chrono::nanoseconds interval,
                                               std::function<void()> handler);

// True on the main thread.
bool isCurrent();

// Runs the main context until quit(). A quit() from any thread ends the innermost run() after
// the work in progress; a quit() while nothing runs makes the next run() return at once.
void run();
void quit();

// For tests: iterates the main context until `condition` holds (checked before each iteration
// and at the end) or `timeout` has passed; returns whether it held.
bool pumpUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout);
void pumpFor(std::chrono::milliseconds duration);

}  // namespace corvane::MainQueue
