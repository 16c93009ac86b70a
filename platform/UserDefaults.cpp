#include "platform/UserDefaults.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <limits>
#include <new>
#include <set>
#include <system_error>
#include <variant>

#include "platform/AtomicFile.h"
#include "platform/BoundedJSON.h"
#include "platform/UserFile.h"

namespace corvane {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

// The live instances, for flushAll(). Never destroyed: termination handlers may still use it.
struct Registry {
    std::mutex mutex;
    std::set<UserDefaults*> live;
};

Registry& registry() {
    static Registry* const instance = new Registry;
    return *instance;
}

std::optional<SettingValue> settingValue(const json& value) {
    switch (value.type()) {
        case json::value_t::boolean:
            return SettingValue{value.get<bool>()};
        case json::value_t::number_integer:
            return SettingValue{value.get<std::int64_t>()};
        case json::value_t::number_unsigned: {
            // Past the range of int64 only; keep the magnitude as a double.
            const auto u = value.get<std::uint64_t>();
            if (u <= static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
                return SettingValue{static_cast<std::int64_t>(u)};
            }
            return SettingValue{static_cast<double>(u)};
        }
        case json::value_t::number_float:
            return SettingValue{value.get<double>()};
        case json::value_t::string:
            return SettingValue{value.get<std::string>()};
        default:
            return std::nullopt;
    }
}

json jsonValue(const SettingValue& value) {
    return std::visit(
        [](const auto& v) -> json {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, double>) {
                if (!std::isfinite(v)) return nullptr;
            }
            return v;
        },
        value);
}

// Where the file went or, with an error, the name it could not be moved to.
struct Aside {
    fs::path name;
    std::error_code error;
};

// The first free name of "<file>.corrupt", "<file>.corrupt.1", "<file>.corrupt.2", …: a copy kept
// aside earlier may hold the user's real settings, so it is never replaced.
Aside keepAside(const fs::path& file) {
    const std::string base = file.string() + ".corrupt";
    for (unsigned number = 0;; ++number) {
        const fs::path aside = number == 0 ? fs::path(base) : fs::path(base + "." + std::to_string(number));
        if (::renameat2(AT_FDCWD, file.c_str(), AT_FDCWD, aside.c_str(), RENAME_NOREPLACE) == 0) {
            return {aside, {}};
        }
        if (errno == EEXIST) continue;
        if (errno != EINVAL && errno != ENOSYS) return {aside, {errno, std::generic_category()}};
        // A file system that cannot refuse to replace: look first.
        std::error_code looked;
        if (fs::symlink_status(aside, looked).type() != fs::file_type::not_found) continue;
        std::error_code moved;
        fs::rename(file, aside, moved);
        return {aside, moved};
    }
}

// Whether the error reading `file` means no file can be at its path: a part of the way is no
// folder, links in a loop, or is missing, or the path is too long. Any other (a folder that
// cannot be searched, say) may hide one.
bool nothingCanBeAt(const fs::path& file) {
    struct stat info {};
    if (::lstat(file.c_str(), &info) == 0) return false;
    return errno == ENOENT || errno == ENOTDIR || errno == ELOOP || errno == ENAMETOOLONG;
}

// What looking at the file found.
struct Examined {
    enum class Kind {
        values,       // read: the values in `values`
        missing,      // no file
        unreachable,  // no file can be there as the way to it stands
        keptAside,    // could not be read or used, for `problem`: kept aside as `aside`
        stuck,        // as keptAside, except that it could not be moved: `aside` says why
    };
    Kind kind;
    json values;
    std::string problem;
    Aside aside;
};

// Reads the file, within the bounds of a start; what cannot be read or used is kept aside, since
// the next save would otherwise replace it, values and all.
Examined examine(const fs::path& file) {
    using Kind = Examined::Kind;
    std::string problem;
    try {
        auto read = UserFile::read(file, UserDefaults::maxFileMebibytes);
        if (const auto* unreadable = std::get_if<UserFile::Unusable>(&read)) {
            if (unreadable->missing()) return {Kind::missing, {}, {}, {}};
            if (unreadable->error != 0 && nothingCanBeAt(file)) return {Kind::unreachable, {}, {}, {}};
            problem = unreadable->reason;
        } else {
            auto parsed = BoundedJSON::parse(std::get<std::string>(read),
                                             {UserDefaults::maxNesting, UserDefaults::maxValues});
            if (auto* refused = std::get_if<std::string>(&parsed)) {
                problem = std::move(*refused);
            } else if (std::get<json>(parsed).is_object()) {
                return {Kind::values, std::move(std::get<json>(parsed)), {}, {}};
            } else {
                problem = "it holds no JSON object";
            }
        }
    } catch (const std::bad_alloc&) {
        // What a file holds must never end the program, nor every later start.
        problem = "not enough memory to read it";
    }
    Aside aside = keepAside(file);
    const Kind kind = aside.error ? Kind::stuck : Kind::keptAside;
    return {kind, {}, std::move(problem), std::move(aside)};
}

// Why the file, still in its place, may hold the user's only copy of their settings.
std::string whyStuck(const fs::path& file, const Examined& examined) {
    return file.string() + " (" + examined.problem + ") nor move it to " + examined.aside.name.string() +
           " (" + examined.aside.error.message() + ")";
}

std::string stillStuck(const fs::path& file, const Examined& examined) {
    return "still could not read " + whyStuck(file, examined) + "; not saving over it until it can be read";
}

// The reason replacing the file failed, as the log says it.
std::string describe(const FileReplaceFailure& failure) {
    using Step = FileReplaceFailure::Step;
    const char* what = "could not write: ";
    switch (failure.step) {
        case Step::createFolder: what = "could not create the folder: "; break;
        case Step::createTemporary: what = "could not create a temporary file: "; break;
        case Step::write: what = "could not write: "; break;
        case Step::sync: what = "could not sync: "; break;
        case Step::replace: what = "could not replace the file: "; break;
    }
    return what + failure.error.message();
}

// The file's text, indented for a person to read where that is within the bound on size, else
// compact; empty, with why in `refused`, when the next start would refuse either. Invalid UTF-8
// in a text is replaced rather than refused, so the rest still saves.
std::string fileText(const json& values, std::string& refused) {
    const auto measured =
        BoundedJSON::measure(values, {UserDefaults::maxNesting, UserDefaults::maxValues}, 2);
    if (measured.refused) {
        refused = *measured.refused;
        return {};
    }
    // Room for the last line's end.
    const std::size_t maxBytes = UserDefaults::maxFileMebibytes * 1024 * 1024 - 1;
    std::size_t compactBytes = 0;
    // Deep nesting may grow many times over when indented: such a text is never built.
    if (measured.indentation <= maxBytes) {
        std::string text = values.dump(2, ' ', false, json::error_handler_t::replace);
        if (text.size() <= maxBytes) return std::move(text) + "\n";
        compactBytes = text.size() - measured.indentation;
    }
    if (compactBytes <= maxBytes) {
        std::string text = values.dump(-1, ' ', false, json::error_handler_t::replace);
        if (text.size() <= maxBytes) return std::move(text) + "\n";
    }
    refused = "larger than " + std::to_string(UserDefaults::maxFileMebibytes) + " MiB";
    return {};
}

}  // namespace

UserDefaults::UserDefaults(fs::path folder, ProblemHandler onProblem, std::chrono::milliseconds writeDelay)
    : folder_(std::move(folder)),
      file_(folder_ / "defaults.json"),
      onProblem_(std::move(onProblem)),
      writeDelay_(writeDelay),
      outOfMemory_("could not save " + file_.string() + ": not enough memory; kept the old file"),
      queue_(std::make_unique<SerialQueue>("corvane.defaults")) {
    load();
    std::lock_guard lock(registry().mutex);
    registry().live.insert(this);
}

UserDefaults::~UserDefaults() {
    {
        std::lock_guard lock(registry().mutex);
        registry().live.erase(this);
    }
    flush();
}

void UserDefaults::load() {
    using Kind = Examined::Kind;
    Examined examined = examine(file_);
    switch (examined.kind) {
        case Kind::values:
            values_ = std::move(examined.values);
            return;
        case Kind::missing:
            return;
        case Kind::unreachable:
            // Nothing to protect: the first save that can reach the folder writes the run's settings.
            unseen_ = Unseen::nothingThere;
            return;
        case Kind::keptAside:
            report("could not read " + file_.string() + " (" + examined.problem + "); kept it as " +
                   examined.aside.name.string() + " and using the defaults");
            return;
        case Kind::stuck:
            unseen_ = Unseen::mayHoldSettings;
            // The same again, before a save, is not said twice.
            failing_ = stillStuck(file_, examined);
            report("could not read " + whyStuck(file_, examined) +
                   "; using the defaults, and not saving over it until it can be read");
            return;
    }
}

std::optional<SettingValue> UserDefaults::value(const std::string& key) const {
    std::lock_guard lock(mutex_);
    auto found = values_.find(key);
    if (found == values_.end()) return std::nullopt;
    return settingValue(*found);
}

void UserDefaults::set(const std::string& key, SettingValue value) {
    json stored = jsonValue(value);
    std::unique_lock lock(mutex_);
    auto found = values_.find(key);
    if (found != values_.end() && *found == stored && found->type() == stored.type()) return;
    values_[key] = std::move(stored);
    if (unseen_ != Unseen::no) removedUnseen_.erase(key);
    changed(lock);
}

void UserDefaults::remove(const std::string& key) {
    std::unique_lock lock(mutex_);
    const bool removed = values_.erase(key) != 0;
    // The file, once read, may hold the key.
    const bool removedUnseen = unseen_ != Unseen::no && removedUnseen_.insert(key).second;
    if (!removed && !removedUnseen) return;
    changed(lock);
}

void UserDefaults::changed(std::unique_lock<std::mutex>& lock) {
    ++changes_;
    if (writeDelay_ <= std::chrono::milliseconds::zero()) {
        lock.unlock();
        flush();
        return;
    }
    if (writeScheduled_) return;
    writeScheduled_ = true;
    lock.unlock();
    queue_->asyncAfter(writeDelay_, [this] {
        {
            std::lock_guard scheduled(mutex_);
            writeScheduled_ = false;
        }
        flush();
    });
}

void UserDefaults::flush() {
    std::optional<std::string> found;    // what looking at the file again found
    const char* foundAndSaved = "";      // the end of `found` once the run's settings are saved
    std::optional<std::string> problem;  // a cause of failure not yet reported
    bool outOfMemory = false;
    {
        std::lock_guard writing(writeMutex_);
        try {
            Unseen unseen;
            {
                std::lock_guard lock(mutex_);
                if (changes_ == saved_) return;
                unseen = unseen_;
            }
            bool mayWrite = true;
            if (unseen != Unseen::no) {
                mayWrite = lookAgain(unseen, found, foundAndSaved, problem);
            }
            if (mayWrite) {
                std::string text;
                std::string refused;
                std::uint64_t generation;
                {
                    std::lock_guard lock(mutex_);
                    generation = changes_;
                    text = fileText(values_, refused);
                }
                std::optional<FileReplaceFailure> failure;
                if (refused.empty()) {
                    failure =
                        replaceFileKeepingLink(file_, text, fs::perms::owner_read | fs::perms::owner_write);
                }
                if (!refused.empty() || failure) {
                    std::string cause =
                        "could not save " + file_.string() + ": " +
                        (failure ? describe(*failure)
                                 : "the next start would refuse it (" + refused + "); kept the old file");
                    if (cause != failing_) problem = cause;
                    failing_ = std::move(cause);
                    foundAndSaved = "";
                } else {
                    failing_.clear();
                    std::lock_guard lock(mutex_);
                    saved_ = generation;
                    // The file is the run's own now.
                    unseen_ = Unseen::no;
                    removedUnseen_.clear();
                }
            }
        } catch (const std::bad_alloc&) {
            // The text of large values may not fit while memory is short; the values stay, and so
            // does the old file, for the next try.
            outOfMemory = failing_ != outOfMemory_;
            try {
                failing_ = outOfMemory_;
            } catch (const std::bad_alloc&) {
                failing_.clear();
            }
            foundAndSaved = "";
        }
    }
    if (found) report(*found + foundAndSaved);
    if (outOfMemory) {
        report(outOfMemory_);
    } else if (problem) {
        report(*problem);
    }
}

bool UserDefaults::lookAgain(Unseen unseen, std::optional<std::string>& found, const char*& foundAndSaved,
                             std::optional<std::string>& problem) {
    using Kind = Examined::Kind;
    Examined examined = examine(file_);
    switch (examined.kind) {
        case Kind::values: {
            std::lock_guard lock(mutex_);
            // Until now the values held only what the run set.
            for (auto& [key, value] : values_.items()) examined.values[key] = std::move(value);
            for (const std::string& key : removedUnseen_) examined.values.erase(key);
            values_ = std::move(examined.values);
            removedUnseen_.clear();
            unseen_ = Unseen::no;
            found = "read " + file_.string() +
                    " now that it can be read; kept its values under this run's changes";
            return true;
        }
        case Kind::missing: {
            std::lock_guard lock(mutex_);
            removedUnseen_.clear();
            unseen_ = Unseen::no;
            if (unseen == Unseen::mayHoldSettings) {
                found = "found no file at " + file_.string() + " now that it can be reached";
                foundAndSaved = "; saved this run's settings";
            }
            return true;
        }
        case Kind::unreachable:
            // Still nothing to protect: the save says why it fails.
            return true;
        case Kind::keptAside: {
            std::lock_guard lock(mutex_);
            removedUnseen_.clear();
            unseen_ = Unseen::no;
            found = "could not read " + file_.string() + " (" + examined.problem + "); kept it as " +
                    examined.aside.name.string();
            foundAndSaved = " and saved this run's settings";
            return true;
        }
        case Kind::stuck: {
            std::string cause = stillStuck(file_, examined);
            if (cause != failing_) problem = cause;
            failing_ = std::move(cause);
            return false;
        }
    }
    return false;
}

void UserDefaults::flushAll() {
    std::lock_guard lock(registry().mutex);
    for (UserDefaults* defaults : registry().live) defaults->flush();
}

void UserDefaults::report(const std::string& message) const noexcept {
    if (!onProblem_) {
        std::fprintf(stderr, "corvane: %s\n", message.c_str());
        return;
    }
    // Best effort: a handler that runs out of memory, as a log may when memory is short, must
    // end neither the program nor the defaults' queue.
    try {
        onProblem_(message);
    } catch (...) {
    }
}

}  // namespace corvane
