#include "core/IgnoreSIGPIPE.h"
#include "core/Log.h"
#include "tests/support/Bounded.h"
#include "tests/support/ReadFile.h"
#include "tests/support/TemporaryFolder.h"
#include "tests/support/ThreadWatch.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace corvane {
namespace {

namespace fs = std::filesystem;
using Level = Log::Level;

// Every line written at INFO with an empty message is this long: time stamp, blank, label, blank,
// line feed.
constexpr std::int64_t emptyInfoLine = 23 + 1 + 4 + 1 + 1;

std::vector<std::string> lines(const fs::path& path) {
    std::vector<std::string> result;
    std::istringstream in(readFile(path));
    for (std::string line; std::getline(in, line);) result.push_back(line);
    return result;
}

// Standard error redirected into a file for the lifetime of the object.
class CapturedStderr {
public:
    explicit CapturedStderr(const fs::path& path) : saved_(::dup(STDERR_FILENO)) {
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(fd, STDERR_FILENO);
        ::close(fd);
    }
    ~CapturedStderr() {
        ::dup2(saved_, STDERR_FILENO);
        ::close(saved_);
    }

private:
    int saved_;
};

// The log file cannot be moved or removed while this lives. Root is not stopped by permissions,
// but nobody renames an append-only file; others just lose write access to the folder.
class Unrotatable {
public:
    Unrotatable(const fs::path& file, const fs::path& folder) : folder_(folder) {
        if (::geteuid() != 0) {
            fs::permissions(folder_, fs::perms::owner_read | fs::perms::owner_exec);
            held_ = true;
            return;
        }
        fd_ = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
        int flags = 0;
        if (fd_ >= 0 && ::ioctl(fd_, FS_IOC_GETFLAGS, &flags) == 0) {
            flags |= FS_APPEND_FL;
            held_ = ::ioctl(fd_, FS_IOC_SETFLAGS, &flags) == 0;
        }
        if (!held_) why_ = std::string("cannot make the log append-only here: ") + std::strerror(errno);
    }
    ~Unrotatable() { release(); }
    void release() {
        if (held_ && fd_ < 0) fs::permissions(folder_, fs::perms::owner_all);
        int flags = 0;
        if (held_ && fd_ >= 0 && ::ioctl(fd_, FS_IOC_GETFLAGS, &flags) == 0) {
            flags &= ~FS_APPEND_FL;
            ::ioctl(fd_, FS_IOC_SETFLAGS, &flags);
        }
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
        held_ = false;
    }
    bool held() const { return held_; }
    const std::string& why() const { return why_; }

private:
    fs::path folder_;
    int fd_ = -1;
    bool held_ = false;
    std::string why_;
};

class LogTest : public ::testing::Test {
protected:
    void SetUp() override {
        root = newTemporaryFolder("corvane-log");
        ASSERT_FALSE(root.empty());
        folder = root / "state" / "corvane";
    }
    void TearDown() override { fs::remove_all(root); }

    std::unique_ptr<Log> makeLog(std::int64_t maxBytes = 1'000'000, int keepFiles = 3) {
        auto log = std::make_unique<Log>(folder, maxBytes, keepFiles);
        log->setEchoToStderr(false);
        return log;
    }
    fs::path file(const char* name = "bridge.log") const { return folder / name; }

    fs::path root;
    fs::path folder;
};

TEST_F(LogTest, LevelsHaveTheirRawValuesAndLabels) {
    EXPECT_EQ(Log::level(0), Level::debug);
    EXPECT_EQ(Log::level(3), Level::error);
    EXPECT_FALSE(Log::level(-1));
    EXPECT_FALSE(Log::level(4));
    EXPECT_EQ(Log::label(Level::debug), "DEBUG");
    EXPECT_EQ(Log::label(Level::info), "INFO");
    EXPECT_EQ(Log::label(Level::warning), "WARN");
    EXPECT_EQ(Log::label(Level::error), "ERROR");
}

TEST_F(LogTest, StartsWithItsDefaultsAndOpensNothingYet) {
    Log log(folder, 100, 3);
    EXPECT_EQ(log.minimumLevel(), Level::info);
    EXPECT_TRUE(log.echoToStderr());
    EXPECT_FALSE(log.logMIDI());
    EXPECT_EQ(log.fileURL(), folder / "bridge.log");
    log.flush();
    EXPECT_FALSE(fs::exists(folder));
}

TEST_F(LogTest, WritesTimeLabelAndMessageIntoAFolderItCreates) {
    auto log = makeLog();
    log->info([] { return std::string("bridge started"); });
    log->error([] { return "port gone"; });
    log->flush();
    const std::regex stamp(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} )");
    const auto written = lines(file());
    ASSERT_EQ(written.size(), 2u);
    EXPECT_TRUE(std::regex_search(written[0], stamp));
    EXPECT_EQ(written[0].substr(23), " INFO bridge started");
    EXPECT_EQ(written[1].substr(23), " ERROR port gone");
}

TEST_F(LogTest, TheGateSkipsTheMessageBelowTheMinimumLevel) {
    auto log = makeLog();
    log->setMinimumLevel(Level::warning);
    int calls = 0;
    log->info([&] { ++calls; return std::string("hidden"); });
    log->debug([&] { ++calls; return std::string("hidden"); });
    EXPECT_EQ(calls, 0);
    log->warning([&] { ++calls; return std::string("careful"); });
    log->error([&] { ++calls; return std::string("broken"); });
    EXPECT_EQ(calls, 2);
    log->flush();
    const auto written = lines(file());
    ASSERT_EQ(written.size(), 2u);
    EXPECT_THAT(written[0], ::testing::EndsWith(" WARN careful"));
    EXPECT_THAT(written[1], ::testing::EndsWith(" ERROR broken"));
}

TEST_F(LogTest, MIDILinesFollowTheirOwnSwitch) {
    auto log = makeLog();
    log->setMinimumLevel(Level::debug);
    int calls = 0;
    log->midi([&] { ++calls; return std::string("push → control: B0 47 01"); });
    EXPECT_EQ(calls, 0);
    log->setLogMIDI(true);
    log->setMinimumLevel(Level::error);
    log->midi([&] { ++calls; return std::string("push → control: B0 47 01"); });
    EXPECT_EQ(calls, 1);
    log->flush();
    const auto written = lines(file());
    ASSERT_EQ(written.size(), 1u);
    EXPECT_THAT(written[0], ::testing::EndsWith(" DEBUG push → control: B0 47 01"));
}

TEST_F(LogTest, AppendsToAnExistingFileAndCountsItTowardsTheCap) {
    fs::create_directories(folder);
    std::ofstream(file()) << std::string(70, 'x');
    auto log = makeLog(70 + emptyInfoLine);
    log->info([] { return ""; });  // exactly at the cap: no rotation
    log->flush();
    EXPECT_FALSE(fs::exists(file("bridge.log.1")));
    EXPECT_EQ(fs::file_size(file()), static_cast<std::uintmax_t>(70 + emptyInfoLine));
    EXPECT_EQ(readFile(file()).substr(0, 70), std::string(70, 'x'));

    log->info([] { return "next"; });  // one past it: the full file becomes number 1
    log->flush();
    EXPECT_EQ(fs::file_size(file("bridge.log.1")), static_cast<std::uintmax_t>(70 + emptyInfoLine));
    const auto written = lines(file());
    ASSERT_EQ(written.size(), 1u);
    EXPECT_THAT(written[0], ::testing::EndsWith(" INFO next"));
}

TEST_F(LogTest, RotationKeepsOnlyKeepFilesFilesNewestFirst) {
    auto log = makeLog(emptyInfoLine + 1, 3);
    for (char c : std::string("abcde")) log->info([c] { return std::string(1, c); });
    log->flush();
    EXPECT_THAT(lines(file()), ::testing::ElementsAre(::testing::EndsWith(" e")));
    EXPECT_THAT(lines(file("bridge.log.1")), ::testing::ElementsAre(::testing::EndsWith(" d")));
    EXPECT_THAT(lines(file("bridge.log.2")), ::testing::ElementsAre(::testing::EndsWith(" c")));
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 3);
}

TEST_F(LogTest, KeepFilesOneDeletesTheFullFile) {
    auto log = makeLog(2 * emptyInfoLine, 1);
    log->info([] { return ""; });
    log->info([] { return ""; });
    log->info([] { return "third"; });
    log->flush();
    EXPECT_THAT(lines(file()), ::testing::ElementsAre(::testing::EndsWith(" INFO third")));
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);
}

TEST_F(LogTest, ALineLongerThanTheCapStillLandsWithoutRotatingAnEmptyFile) {
    auto log = makeLog(10, 3);
    log->info([] { return "far too long for the cap"; });
    log->info([] { return "again"; });
    log->flush();
    EXPECT_THAT(lines(file()), ::testing::ElementsAre(::testing::EndsWith(" again")));
    EXPECT_THAT(lines(file("bridge.log.1")), ::testing::ElementsAre(::testing::EndsWith(" far too long for the cap")));
    EXPECT_FALSE(fs::exists(file("bridge.log.2")));
}

TEST_F(LogTest, EchoGoesToStandardErrorOnlyWhenOn) {
    const fs::path captured = root / "stderr";
    auto log = makeLog();
    {
        CapturedStderr redirect(captured);
        log->info([] { return "quiet"; });
        log->flush();
        log->setEchoToStderr(true);
        log->info([] { return "loud"; });
        log->flush();
    }
    EXPECT_THAT(lines(captured), ::testing::ElementsAre(::testing::EndsWith(" INFO loud")));
    EXPECT_EQ(lines(file()).size(), 2u);
}

TEST_F(LogTest, AClosedStandardErrorNeitherStopsTheProcessNorTheFile) {
    ignoreSIGPIPE();
    int pipeEnds[2];
    ASSERT_EQ(::pipe(pipeEnds), 0);
    ::close(pipeEnds[0]);
    const int saved = ::dup(STDERR_FILENO);
    ::dup2(pipeEnds[1], STDERR_FILENO);
    ::close(pipeEnds[1]);
    auto log = makeLog();
    log->setEchoToStderr(true);
    log->info([] { return "nobody reads this"; });
    log->flush();
    ::dup2(saved, STDERR_FILENO);
    ::close(saved);
    EXPECT_EQ(lines(file()).size(), 1u);
}

TEST_F(LogTest, AFolderThatCannotBeCreatedOnlyLosesLines) {
    fs::create_directories(root / "state");
    std::ofstream(folder) << "a file where the folder should be";
    auto log = makeLog();
    log->error([] { return "lost"; });
    log->flush();
    EXPECT_TRUE(fs::is_regular_file(folder));
}

TEST_F(LogTest, AFIFOInPlaceOfTheFileIsNeverWaitedOnAndStandardErrorHearsWhyOnce) {
    fs::create_directories(folder);
    ASSERT_EQ(::mkfifo(file().c_str(), 0600), 0);
    const fs::path captured = root / "stderr";
    auto log = makeLog();
    {
        CapturedStderr redirect(captured);
        withinBounds(std::chrono::seconds(10), 64, [&] {
            log->setEchoToStderr(true);
            log->info([] { return "first"; });
            log->info([] { return "second"; });
            log->flush();
        });
    }
    EXPECT_THAT(lines(captured),
                ::testing::ElementsAre(::testing::EndsWith(" INFO first"),
                                       "corvane: not logging to " + file().string() +
                                           " (not a regular file); lines go to standard error only",
                                       ::testing::EndsWith(" INFO second")));
    EXPECT_EQ(fs::symlink_status(file()).type(), fs::file_type::fifo);
}

TEST_F(LogTest, RotationMovesOnlyItsOwnFilesAndLeavesWhatTheUserPutThere) {
    fs::create_directories(folder);
    ASSERT_EQ(::mkfifo(file("bridge.log.2").c_str(), 0600), 0);
    auto log = makeLog(emptyInfoLine + 1, 3);
    withinBounds(std::chrono::seconds(10), 64, [&] {
        for (char c : std::string("abcd")) log->info([c] { return std::string(1, c); });
        log->flush();
    });
    EXPECT_THAT(lines(file()), ::testing::ElementsAre(::testing::EndsWith(" d")));
    EXPECT_THAT(lines(file("bridge.log.1")), ::testing::ElementsAre(::testing::EndsWith(" c")));
    EXPECT_EQ(fs::symlink_status(file("bridge.log.2")).type(), fs::file_type::fifo);

    fs::remove(file("bridge.log.1"));
    fs::create_directories(file("bridge.log.1") / "notes");
    withinBounds(std::chrono::seconds(10), 64, [&] {
        for (char c : std::string("ef")) log->info([c] { return std::string(1, c); });
        log->flush();
    });
    EXPECT_THAT(lines(file()), ::testing::ElementsAre(::testing::EndsWith(" f")));
    EXPECT_TRUE(fs::is_directory(file("bridge.log.1") / "notes"));
    EXPECT_EQ(fs::symlink_status(file("bridge.log.2")).type(), fs::file_type::fifo);
}

TEST_F(LogTest, AFullLogThatCannotBeRotatedStopsGrowingAndStandardErrorHearsWhyOnce) {
    auto log = makeLog(3 * emptyInfoLine, 3);
    for (int i = 0; i < 3; ++i) log->info([] { return ""; });
    log->flush();
    Unrotatable unrotatable(file(), folder);
    if (!unrotatable.held()) GTEST_SKIP() << unrotatable.why();
    const fs::path captured = root / "stderr";
    {
        CapturedStderr redirect(captured);
        log->setEchoToStderr(true);
        for (int i = 0; i < 4; ++i) log->info([] { return "more"; });
        log->flush();
        log->setEchoToStderr(false);
    }
    EXPECT_EQ(fs::file_size(file()), static_cast<std::uintmax_t>(3 * emptyInfoLine));
    using ::testing::EndsWith;
    EXPECT_THAT(lines(captured),
                ::testing::ElementsAre(EndsWith(" INFO more"),
                                       ::testing::AllOf(::testing::StartsWith("corvane: not logging to " +
                                                                              file().string() +
                                                                              " (full, and it could not be rotated: "),
                                                        EndsWith("); lines go to standard error only")),
                                       EndsWith(" INFO more"), EndsWith(" INFO more"), EndsWith(" INFO more")));

    // Once it can, it rotates as ever.
    unrotatable.release();
    log->info([] { return "again"; });
    log->flush();
    EXPECT_THAT(lines(file()), ::testing::ElementsAre(EndsWith(" INFO again")));
    EXPECT_EQ(lines(file("bridge.log.1")).size(), 3u);
}

TEST_F(LogTest, AFloodOfOneKindOfWarningCostsALineASecondAndCountsTheRest) {
    auto log = makeLog();
    for (int i = 0; i < 10'000; ++i) {
        log->summarisedWarning("dropped", [i] { return "dropped send " + std::to_string(i); });
        log->summarisedWarning("bad", [] { return "bad frame"; });
    }
    log->flush();
    EXPECT_THAT(lines(file()), ::testing::UnorderedElementsAre(
                                   ::testing::EndsWith(" WARN dropped send 0"), ::testing::EndsWith(" WARN bad frame"),
                                   ::testing::EndsWith(" WARN dropped send 1 (and 9998 more like this in the last second)"),
                                   ::testing::EndsWith(" WARN bad frame (and 9998 more like this in the last second)")));

    // Held back, a lone one is written a second after the last line of its kind, as it was.
    log->summarisedWarning("dropped", [] { return "late"; });
    log->summarisedWarning("dropped", [] { return "not composed"; });
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    EXPECT_THAT(lines(file()).back(), ::testing::EndsWith(" WARN late (and 1 more like this in the last second)"));
    EXPECT_EQ(lines(file()).size(), 5u);
}

// The real-time note-repeat thread may warn: whether the line is written, held back or only
// counted, every lock taken inherits priority.
TEST_F(LogTest, ASummarisedWarningTakesOnlyLocksThatInheritPriority) {
    auto log = makeLog();
    std::size_t locks = 0, plainLocks = 0;
    std::thread([&] {
        ThreadWatch watch;
        for (int i = 0; i < 3; ++i) log->summarisedWarning("dropped", [] { return "dropped send"; });
        locks = watch.locks();
        plainLocks = watch.plainLocks();
    }).join();
    EXPECT_GE(locks, 3u);
    EXPECT_EQ(plainLocks, 0u);
}

TEST_F(LogTest, WarningsHeldBackAreWrittenWhenTheLogGoesAway) {
    {
        auto log = makeLog();
        log->summarisedWarning("dropped", [] { return "first"; });
        log->summarisedWarning("dropped", [] { return "held"; });
        log->summarisedWarning("dropped", [] { return "counted"; });
    }
    EXPECT_THAT(
        lines(file()),
        ::testing::ElementsAre(::testing::EndsWith(" WARN first"),
                               ::testing::EndsWith(" WARN held (and 1 more like this in the last second)")));
}

TEST_F(LogTest, ManyThreadsLoseNoLineAndInterleaveNone) {
    constexpr int threads = 8;
    constexpr int perThread = 400;
    auto log = makeLog(100'000'000, 3);
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([&log, t] {
            for (int i = 0; i < perThread; ++i)
                log->info([t, i] { return "thread " + std::to_string(t) + " line " + std::to_string(i) + " end"; });
        });
    }
    for (auto& w : workers) w.join();
    log->flush();
    const std::regex shape(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} INFO thread (\d) line (\d+) end)");
    std::vector<int> next(threads, 0);
    const auto written = lines(file());
    ASSERT_EQ(written.size(), static_cast<std::size_t>(threads * perThread));
    for (const auto& line : written) {
        std::smatch match;
        ASSERT_TRUE(std::regex_match(line, match, shape)) << line;
        const int t = std::stoi(match[1]);
        EXPECT_EQ(std::stoi(match[2]), next[t]++);  // each thread's lines in the order it logged them
    }
}

TEST(LogShared, IsOneObject) { EXPECT_EQ(&Log::shared(), &Log::shared()); }

}  // namespace
}  // namespace corvane
