#include "core/Log.h"

#include "platform/UserFile.h"
#include "platform/XDGPaths.h"

#include <cerrno>
#include <csignal>
#include <ctime>
#include <charconv>
#include <variant>
#include <vector>

#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

namespace corvane {

namespace fs = std::filesystem;

namespace {

constexpr auto summaryInterval = std::chrono::seconds(1);

// The whole buffer, retrying after interruptions; gives how many bytes went out.
std::size_t writeAll(int fd, std::string_view bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            break;
        }
    }
    return done;
}

// "yyyy-MM-dd HH:mm:ss.SSS" in local time.
void appendTimestamp(std::string& line, std::chrono::system_clock::time_point time) {
    using namespace std::chrono;
    const auto second = floor<seconds>(time);
    const auto millis = duration_cast<milliseconds>(time - second).count();
    const std::time_t t = system_clock::to_time_t(second);
    std::tm local{};
    localtime_r(&t, &local);
    char text[40];
    std::size_t length = std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    text[length++] = '.';
    text[length++] = static_cast<char>('0' + millis / 100);
    text[length++] = static_cast<char>('0' + millis / 10 % 10);
    text[length++] = static_cast<char>('0' + millis % 10);
    line.append(text, length);
}

}  // namespace

std::optional<Log::Level> Log::level(int rawValue) {
    if (rawValue < 0 || rawValue > 3) return std::nullopt;
    return static_cast<Level>(rawValue);
}

std::string_view Log::label(Level level) {
    switch (level) {
        case Level::debug: return "DEBUG";
        case Level::info: return "INFO";
        case Level::warning: return "WARN";
        case Level::error: return "ERROR";
    }
    return "";
}

Log::Log(std::optional<fs::path> directory, std::int64_t maxBytes, int keepFiles)
    : directory_(directory ? std::move(*directory) : XDGPaths::corvaneStateDirectory()),
      maxBytes_(maxBytes),
      keepFiles_(keepFiles),
      queue_("push.log") {
    tzset();
    // A standard error whose reader has gone must not end the process from this thread, even
    // where the program has not ignored SIGPIPE: the write just fails with EPIPE.
    queue_.async([] {
        sigset_t pipe;
        sigemptyset(&pipe);
        sigaddset(&pipe, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
    });
}

Log::~Log() {
    // Held-back warnings are lines too.
    queue_.sync([this] { writeAllHeld(); });
}

Log& Log::shared() {
    static Log* const log = new Log(std::nullopt, 1'000'000, 3);
    return *log;
}

fs::path Log::fileURL() const { return directory_ / "bridge.log"; }

fs::path Log::numbered(int number) const {
    char digits[16];
    const auto end = std::to_chars(digits, digits + sizeof digits, number).ptr;
    return directory_ / ("bridge.log." + std::string(digits, end));
}

void Log::enqueue(Level level, std::string message) {
    const auto time = std::chrono::system_clock::now();
    queue_.async([this, level, time, message = std::move(message)] { compose(level, time, message); });
}

void Log::compose(Level level, std::chrono::system_clock::time_point time, std::string_view message) {
    std::string line;
    line.reserve(message.size() + 32);
    appendTimestamp(line, time);
    line += ' ';
    line += label(level);
    line += ' ';
    line += message;
    line += '\n';
    write(line);
}

Log::Admission Log::admit(std::string_view kind) {
    const auto now = std::chrono::steady_clock::now();
    auto found = repeats_.find(kind);
    if (found == repeats_.end()) {
        repeats_.emplace(std::string(kind), Repeat{now, 0, {}});
        return Admission::write;
    }
    Repeat& repeat = found->second;
    if (repeat.held == 0 && now - repeat.lastWritten >= summaryInterval) {
        repeat.lastWritten = now;
        return Admission::write;
    }
    if (++repeat.held > 1) return Admission::count;
    queue_.asyncAt(repeat.lastWritten + summaryInterval, [this, kind = std::string(kind)] { writeHeld(kind); });
    return Admission::holdFirst;
}

void Log::writeHeld(std::string_view kind) {
    std::string message;
    {
        std::lock_guard guard(repeatLock_);
        auto found = repeats_.find(kind);
        if (found == repeats_.end() || found->second.held == 0) return;
        Repeat& repeat = found->second;
        message = std::move(repeat.firstHeld);
        if (repeat.held > 1) message += " (and " + std::to_string(repeat.held - 1) + " more like this in the last second)";
        repeat.held = 0;
        repeat.firstHeld.clear();
        repeat.lastWritten = std::chrono::steady_clock::now();
    }
    compose(Level::warning, std::chrono::system_clock::now(), message);
}

void Log::writeAllHeld() {
    std::vector<std::string> kinds;
    {
        std::lock_guard guard(repeatLock_);
        for (const auto& [kind, repeat] : repeats_)
            if (repeat.held > 0) kinds.push_back(kind);
    }
    for (const std::string& kind : kinds) writeHeld(kind);
}

void Log::flush() {
    queue_.sync([this] {
        writeAllHeld();
        if (file_.valid()) ::fsync(file_.get());
    });
}

void Log::write(std::string_view line) {
    // Before the file, so the copy survives file errors. Failures are ignored.
    if (echoToStderr()) writeAll(STDERR_FILENO, line);
    append(line);
}

void Log::append(std::string_view bytes) {
    if (!file_.valid()) open();
    if (!file_.valid()) return;
    const auto size = static_cast<std::int64_t>(bytes.size());
    // An empty file is never rotated: that would only push an older file out for nothing.
    if (bytesWritten_ > 0 && bytesWritten_ + size > maxBytes_) {
        if (auto failure = rotate()) {
            // Writing on would grow the full file without end; the next line tries again.
            tellNotLogging("full, and it could not be rotated: " + *failure);
            return;
        }
        open();
        if (!file_.valid()) return;
    }
    toldUnusable_ = false;
    // A short or failed write loses the line from the file; count what did land.
    bytesWritten_ += static_cast<std::int64_t>(writeAll(file_.get(), bytes));
}

void Log::tellNotLogging(const std::string& why) {
    // Said once, whatever --quiet says: otherwise the lines would vanish without a word.
    if (toldUnusable_) return;
    toldUnusable_ = true;
    const char* instead = echoToStderr() ? "lines go to standard error only" : "lines are not kept";
    writeAll(STDERR_FILENO, "corvane: not logging to " + fileURL().string() + " (" + why + "); " + instead + "\n");
}

void Log::open() {
    std::error_code ignored;
    fs::create_directories(directory_, ignored);
    bytesWritten_ = 0;
    file_.reset();
    auto opened = UserFile::openToAppend(fileURL(), 0644);
    if (const auto* unusable = std::get_if<UserFile::Unusable>(&opened)) {
        tellNotLogging(unusable->reason);
        return;
    }
    file_ = std::get<FileDescriptor>(std::move(opened));
    // An existing file keeps growing across runs until the cap.
    const off_t end = ::lseek(file_.get(), 0, SEEK_END);
    if (end > 0) bytesWritten_ = end;
}

std::optional<std::string> Log::rotate() {
    file_.reset();
    std::error_code ignored;
    // Only the log's own files move or go: a folder, FIFO or device the user put in one of the
    // names is left as it is, and the files shift only as far as the first such stranger.
    const auto typeOf = [](const fs::path& path) {
        std::error_code error;
        return fs::symlink_status(path, error).type();
    };
    const auto ours = [&](const fs::path& path) {
        const fs::file_type type = typeOf(path);
        return type == fs::file_type::regular || type == fs::file_type::symlink;
    };
    int last = 0;
    while (last + 1 < keepFiles_ && (ours(numbered(last + 1)) || typeOf(numbered(last + 1)) == fs::file_type::not_found))
        ++last;
    std::error_code error;
    if (last == 0) {
        if (ours(fileURL())) fs::remove(fileURL(), error);
    } else {
        if (ours(numbered(last))) fs::remove(numbered(last), ignored);
        for (int i = last - 1; i >= 1; --i) {
            if (ours(numbered(i))) fs::rename(numbered(i), numbered(i + 1), ignored);
        }
        if (ours(fileURL())) fs::rename(fileURL(), numbered(1), error);
    }
    if (error) return error.message();
    return std::nullopt;
}

}  // namespace corvane
