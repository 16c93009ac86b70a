#pragma once
// One command's life on the main queue: its output, the work it defers, Ctrl-C, and its end.
//
// A command ends by finish(status). The program then leaves the process with that status; tests
// run commands in process, so everything deferred or posted through the run is dropped once the
// command has ended, and a command's own state may be referred to by that work as long as the
// command function keeps it until it returns. Main queue only, except post().

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "corvane_diag/DiagEnvironment.h"
#include "platform/RepeatingTimer.h"
#include "platform/WorkItem.h"

namespace corvane {

class CommandRun : public std::enable_shared_from_this<CommandRun> {
public:
    static std::shared_ptr<CommandRun> create(DiagEnvironment& environment);
    ~CommandRun();
    CommandRun(const CommandRun&) = delete;
    CommandRun& operator=(const CommandRun&) = delete;

    DiagEnvironment& environment() const { return environment_; }

    // One line of output; nothing once the command has ended.
    void print(std::string_view line);
    // Ends the command; only the first call counts.
    void finish(int status);
    bool finished() const { return finished_; }
    int status() const { return status_; }

    // Hands work to the main queue from any thread; it is dropped when the command has ended by
    // the time it runs. Copies of a poster may be kept on other threads.
    class Poster {
    public:
        void operator()(std::function<void()> work) const;

    private:
        friend class CommandRun;
        explicit Poster(std::weak_ptr<CommandRun> run) : run_(std::move(run)) {}
        std::weak_ptr<CommandRun> run_;
    };
    Poster poster() { return Poster(weak_from_this()); }

    // `seconds` from now (times the environment's time scale), on the main queue.
    void after(double seconds, std::function<void()> work);
    // A question left unanswered: after `seconds`, prints the line `report` gives then and ends the
    // command with 1.
    void timeOut(double seconds, std::function<std::string()> report);
    // Every `seconds`, the first firing one interval from now.
    void every(double seconds, std::function<void()> work);
    // Ctrl-C calls `handler` on the main queue from now on.
    void catchInterrupt(std::function<void()> handler);

    // Runs the main queue until the command has ended; returns its status.
    int wait();

private:
    explicit CommandRun(DiagEnvironment& environment) : environment_(environment) {}
    std::function<void()> guarded(std::function<void()> work);

    DiagEnvironment& environment_;
    bool finished_ = false;
    bool waiting_ = false;
    int status_ = 0;
    std::vector<WorkItem> deferred_;
    std::vector<RepeatingTimer> timers_;
    std::shared_ptr<void> interrupt_;
};

}  // namespace corvane
