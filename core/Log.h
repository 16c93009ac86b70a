#pragma once
// The process-wide log: size-capped, rotated files in the user's state folder, copied to standard
// error. Callers on any thread pay only for composing the text, and nothing when the level is
// filtered out; time formatting and all file work happen on the log's own serial queue.
// A log file that is not a regular file (a FIFO, a device, a folder) is never used and never
// waited on, and a full one that cannot be rotated is written no further: standard error hears
// why, once. Warnings that can come once per event are summarised, so a flood leaves the
// history in the files readable.

#include "platform/FileDescriptor.h"
#include "platform/PIMutex.h"
#include "platform/SerialQueue.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace corvane {

class Log {
public:
    enum class Level : int { debug = 0, info = 1, warning = 2, error = 3 };

    // The level with this raw value; none outside 0-3.
    static std::optional<Level> level(int rawValue);
    // "DEBUG", "INFO", "WARN", "ERROR".
    static std::string_view label(Level level);

    // With no directory, the corvane folder of the user's state directory. Opens nothing yet.
    Log(std::optional<std::filesystem::path> directory, std::int64_t maxBytes, int keepFiles);
    // Writes every line queued so far.
    ~Log();
    Log(const Log&) = delete;
    Log& operator=(const Log&) = delete;

    // Created on first use and never destroyed: threads may still log while the process ends.
    static Log& shared();

    // `message` is a callable giving the text; it is called on the caller's thread only when the
    // line is written.
    template <class Message>
    void debug(Message&& message) {
        logAt(Level::debug, message);
    }
    template <class Message>
    void info(Message&& message) {
        logAt(Level::info, message);
    }
    template <class Message>
    void warning(Message&& message) {
        logAt(Level::warning, message);
    }
    template <class Message>
    void error(Message&& message) {
        logAt(Level::error, message);
    }
    // A warning that can come once per event (a dropped send, a bad frame): of each `kind`, one
    // line is written at once, and those that follow within a second are held back. The first
    // held back is written, with how many more there were, as "… (and 212 more like this in the
    // last second)", at most a second after it was held back; flush() and the destructor write
    // what is held back at once. Takes only locks that inherit priority, so a real-time thread may
    // warn.
    template <class Message>
    void summarisedWarning(std::string_view kind, Message&& message) {
        if (static_cast<int>(Level::warning) < static_cast<int>(minimumLevel())) return;
        std::unique_lock guard(repeatLock_);
        switch (admit(kind)) {
            case Admission::write:
                guard.unlock();
                enqueue(Level::warning, std::string(message()));
                return;
            case Admission::holdFirst:
                repeats_.find(kind)->second.firstHeld = std::string(message());
                return;
            case Admission::count:
                return;
        }
    }
    // MIDI traces: written as "DEBUG" lines when logMIDI is on, whatever the minimum level.
    template <class Message>
    void midi(Message&& message) {
        if (!logMIDI_.load(std::memory_order_relaxed)) return;
        enqueue(Level::debug, std::string(message()));
    }

    // Waits until every line queued before the call is written, then syncs the file to disk.
    void flush();

    // The current file, "bridge.log" in the log folder.
    std::filesystem::path fileURL() const;

    Level minimumLevel() const { return minimumLevel_.load(std::memory_order_relaxed); }
    void setMinimumLevel(Level level) { minimumLevel_.store(level, std::memory_order_relaxed); }
    bool echoToStderr() const { return echoToStderr_.load(std::memory_order_relaxed); }
    void setEchoToStderr(bool on) { echoToStderr_.store(on, std::memory_order_relaxed); }
    bool logMIDI() const { return logMIDI_.load(std::memory_order_relaxed); }
    void setLogMIDI(bool on) { logMIDI_.store(on, std::memory_order_relaxed); }

private:
    template <class Message>
    void logAt(Level level, Message& message) {
        if (static_cast<int>(level) < static_cast<int>(minimumLevel())) return;
        enqueue(level, std::string(message()));
    }

    enum class Admission { write, holdFirst, count };
    // Under repeatLock_.
    Admission admit(std::string_view kind);

    void enqueue(Level level, std::string message);
    // On the queue from here on.
    void compose(Level level, std::chrono::system_clock::time_point time, std::string_view message);
    void write(std::string_view line);
    void writeHeld(std::string_view kind);
    void writeAllHeld();
    void append(std::string_view bytes);
    void open();
    // Why "bridge.log" itself could not be moved or removed; nothing when it was.
    std::optional<std::string> rotate();
    void tellNotLogging(const std::string& why);
    std::filesystem::path numbered(int number) const;

    std::atomic<Level> minimumLevel_{Level::info};
    std::atomic<bool> echoToStderr_{true};
    std::atomic<bool> logMIDI_{false};
    const std::filesystem::path directory_;
    const std::int64_t maxBytes_;
    const int keepFiles_;
    FileDescriptor file_;
    std::int64_t bytesWritten_ = 0;
    bool toldUnusable_ = false;  // standard error heard why the file is not used

    // Each kind of summarised warning: when a line of it was last written, and what is held back.
    struct Repeat {
        std::chrono::steady_clock::time_point lastWritten;
        std::int64_t held = 0;
        std::string firstHeld;
    };
    // Inherits priority: a real-time thread may warn through here.
    PIMutex repeatLock_;
    std::map<std::string, Repeat, std::less<>> repeats_;

    // Last, so it is destroyed first and its remaining work still finds everything above.
    SerialQueue queue_;
};

}  // namespace corvane
