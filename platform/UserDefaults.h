#pragma once
// The program's saved settings: typed values (bool, integer, double, text) in one JSON file,
// "defaults.json", in a folder of their own (by default ~/.config/corvane/).
//
// Reading the file happens at construction, in time and memory in proportion to its size.
// A missing file means no values; a file that cannot be read or parsed (a folder, a FIFO or a
// device in its place, more than 16 MiB, more than 500,000 values, values nested deeper than 64
// levels, or too little memory left to read it) is moved aside under the first free name of
// "defaults.json.corrupt", "defaults.json.corrupt.1", …, reported, and no values are used.
// Where the file could not be looked at, every save looks again first, until one succeeds.
// Where no file can be there (a part of the way is a file, links in a loop or is missing),
// saving goes on: it fails, said once for each cause, until the folder can be written. Where a
// file may be there unread (a folder on the way cannot be searched), or could not be moved aside
// (say the folder is read-only while the file is a link to a writable one), it is never saved
// over while unread. A file read then is taken in, its values under the run's changes (the
// values set and removed since construction), and saved; one that cannot be read or parsed is
// moved aside as above, and the run's values saved; one still in its place unread stops the
// save, said once for each cause. Until then value() gives only what the run set.
// In the file, integers are read as 64-bit integers and numbers with a fraction or exponent as
// doubles; a key holding any other JSON value (null, array, object) reads as absent but is kept
// when the file is written again. A double that is not finite is stored as null.
//
// Writes are gathered in memory and put on disk `writeDelay` after the first unsaved change, by
// a queue of the defaults' own (a delay of zero writes within set()). flush() and the destructor
// write what is pending at once, and flushAll() does so for every live instance, for the
// program's termination handlers. Each write replaces the whole file atomically: a temporary
// file in the same folder, fsync, rename, then fsync of the folder; a missing folder is created.
// Where the file is a symbolic link to a regular file, the link stays and its target is replaced
// that way, in the target's folder. The file is indented, or compact where indenting would take
// it past 16 MiB; a file that the next start would refuse even so (past 16 MiB, more than
// 500,000 values, nested deeper than 64 levels) is not written.
// A write that fails or is refused, be it for want of memory, throws nothing and leaves the old
// file as it was: it is reported (each cause once, until a write succeeds), the values stay in
// memory, and the next change or flush tries again.
//
// Problems go to `onProblem` (any thread, no lock of the defaults held), or, without one, to
// standard error. Reporting is best effort: what the handler throws (std::bad_alloc, say, when
// memory is short) is dropped, and ends neither a call nor the defaults' queue.
// Every function may be called from any thread.

#include "platform/SerialQueue.h"
#include "platform/SettingsStore.h"
#include "platform/XDGPaths.h"

#include <nlohmann/json.hpp>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>

namespace corvane {

class UserDefaults : public SettingsStore {
public:
    using ProblemHandler = std::function<void(const std::string& message)>;
    static constexpr std::chrono::milliseconds defaultWriteDelay{200};
    // Far above any real settings file (a few KB), far below what would strain the machine:
    // loading a file within them takes at most about 130 MB, whatever its shape.
    static constexpr std::size_t maxFileMebibytes = 16;
    static constexpr std::size_t maxValues = 500'000;
    static constexpr std::size_t maxNesting = 64;

    explicit UserDefaults(std::filesystem::path folder = XDGPaths::corvaneConfigDirectory(),
                          ProblemHandler onProblem = {},
                          std::chrono::milliseconds writeDelay = defaultWriteDelay);
    ~UserDefaults() override;
    UserDefaults(const UserDefaults&) = delete;
    UserDefaults& operator=(const UserDefaults&) = delete;

    std::optional<SettingValue> value(const std::string& key) const override;
    void set(const std::string& key, SettingValue value) override;
    void remove(const std::string& key) override;
    void flush() override;

    // The file, "defaults.json" inside the folder.
    const std::filesystem::path& filePath() const { return file_; }

    // Flushes every UserDefaults alive in the process. Problems are reported while the list of
    // live instances is locked, so a problem handler must not create or destroy one.
    static void flushAll();

private:
    // Why the file is not yet known: no file could be there at start, or one may be, unread.
    enum class Unseen { no, nothingThere, mayHoldSettings };

    void load();
    void changed(std::unique_lock<std::mutex>& lock);
    // Before a save while the file is unseen: takes in or keeps aside what is there now. False
    // while the file is still in its place unread, and `problem` says so the first time.
    bool lookAgain(Unseen unseen, std::optional<std::string>& found, const char*& foundAndSaved,
                   std::optional<std::string>& problem);
    void report(const std::string& message) const noexcept;

    const std::filesystem::path folder_;
    const std::filesystem::path file_;
    const ProblemHandler onProblem_;
    const std::chrono::milliseconds writeDelay_;
    const std::string outOfMemory_;  // composed early: when it is needed, memory is short

    mutable std::mutex mutex_;  // guards the fields below
    // While the file is unseen, only what the run set; then the file's values under those.
    nlohmann::json values_ = nlohmann::json::object();
    std::uint64_t changes_ = 0;  // counts changes; the file holds those up to `saved_`
    std::uint64_t saved_ = 0;
    bool writeScheduled_ = false;
    Unseen unseen_ = Unseen::no;           // changed under writeMutex_ too
    std::set<std::string> removedUnseen_;  // removed while the file was unseen

    std::mutex writeMutex_;  // one write at a time, newest values last
    // The cause of failure last reported in the current run of failed saves, so that the same
    // cause is said once; empty after a save. Under writeMutex_.
    std::string failing_;

    // Last, so it goes first: a write it runs still finds every other field.
    std::unique_ptr<SerialQueue> queue_;
};

}  // namespace corvane
