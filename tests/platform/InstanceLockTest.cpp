#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "platform/InstanceLock.h"
#include "tests/support/ReadFile.h"
#include "tests/support/TemporaryFolder.h"

namespace corvane {
namespace {

namespace fs = std::filesystem;

constexpr const char* lockName = "app.lock";

// A child process that takes the lock, says on a pipe what it got, and keeps it until killed.
class Contender {
public:
    // With a `start` pipe, the child tries only once it reads a byte from it, so that all can be
    // let go at the same moment.
    Contender(const std::vector<InstanceLock::Folder>& folders, int start) {
        int report[2];
        if (::pipe(report) != 0) return;
        pid_ = ::fork();
        if (pid_ == 0) {
            char go;
            if (start >= 0 && ::read(start, &go, 1) != 1) ::_exit(1);
            const auto outcome = InstanceLock::acquire(lockName, folders);
            const char got = std::holds_alternative<InstanceLock>(outcome) ? 'L' : 'B';
            if (::write(report[1], &got, 1) != 1) ::_exit(1);
            for (;;) ::pause();
        }
        ::close(report[1]);
        report_ = report[0];
    }
    ~Contender() {
        kill();
        ::close(report_);
    }

    pid_t pid() const { return pid_; }
    // 'L' when it holds the lock, 'B' when another does.
    char outcome() const {
        char got = '?';
        return ::read(report_, &got, 1) == 1 ? got : '?';
    }
    void kill() {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
        pid_ = 0;
    }

private:
    pid_t pid_ = -1;
    int report_ = -1;
};

class InstanceLockTest : public testing::Test {
protected:
    void SetUp() override {
        root = newTemporaryFolder("corvane-lock");
        ASSERT_FALSE(root.empty());
        fs::create_directories(root / "runtime");
        fs::permissions(root / "runtime", fs::perms::owner_all);
    }
    void TearDown() override { fs::remove_all(root); }

    std::vector<InstanceLock::Folder> runtimeOnly() const { return {{root / "runtime", false}}; }

    fs::path root;
};

TEST_F(InstanceLockTest, TheSecondTakerIsToldWhoHoldsItUntilTheHolderLetsGo) {
    {
        auto first = InstanceLock::acquire(lockName, runtimeOnly());
        ASSERT_TRUE(std::holds_alternative<InstanceLock>(first));
        EXPECT_EQ(std::get<InstanceLock>(first).path(), root / "runtime" / lockName);
        EXPECT_EQ(readFile(root / "runtime" / lockName), std::to_string(::getpid()) + "\n");

        const auto second = InstanceLock::acquire(lockName, runtimeOnly());
        ASSERT_TRUE(std::holds_alternative<InstanceLock::Busy>(second));
        EXPECT_EQ(std::get<InstanceLock::Busy>(second).holder, ::getpid());
    }
    EXPECT_TRUE(std::holds_alternative<InstanceLock>(InstanceLock::acquire(lockName, runtimeOnly())));
}

TEST_F(InstanceLockTest, OfEightProcessesStartedAtOnceExactlyOneHoldsIt) {
    int start[2];
    ASSERT_EQ(::pipe(start), 0);
    std::vector<std::unique_ptr<Contender>> contenders;
    for (int i = 0; i < 8; ++i) contenders.push_back(std::make_unique<Contender>(runtimeOnly(), start[0]));
    ASSERT_EQ(::write(start[1], "12345678", 8), 8);
    ::close(start[1]);
    ::close(start[0]);
    std::string outcomes;
    for (const auto& contender : contenders) outcomes += contender->outcome();
    EXPECT_EQ(std::count(outcomes.begin(), outcomes.end(), 'L'), 1) << outcomes;
    EXPECT_EQ(std::count(outcomes.begin(), outcomes.end(), 'B'), 7) << outcomes;
}

TEST_F(InstanceLockTest, AKilledHolderLeavesNothingThatKeepsTheNextOut) {
    Contender holder(runtimeOnly(), -1);
    ASSERT_EQ(holder.outcome(), 'L');
    const auto busy = InstanceLock::acquire(lockName, runtimeOnly());
    ASSERT_TRUE(std::holds_alternative<InstanceLock::Busy>(busy));
    EXPECT_EQ(std::get<InstanceLock::Busy>(busy).holder, holder.pid());

    holder.kill();
    const auto next = InstanceLock::acquire(lockName, runtimeOnly());
    ASSERT_TRUE(std::holds_alternative<InstanceLock>(next));
    EXPECT_EQ(readFile(root / "runtime" / lockName), std::to_string(::getpid()) + "\n");
}

// A shared folder where anyone may put things: what others planted is passed over, never
// followed, and every taker passes it over alike, so they still meet in the next folder.
TEST_F(InstanceLockTest, SymbolicLinksAndFoldersOthersMayChangeAreNeitherFollowedNorInTheWay) {
    const fs::path shared = root / "shared";
    fs::create_directories(shared);
    fs::create_directories(root / "elsewhere");
    fs::create_directory_symlink(root / "elsewhere", shared / "corvane-1");
    fs::create_directories(shared / "open");
    fs::permissions(shared / "open", fs::perms::all);
    fs::create_directories(shared / "mine");
    fs::permissions(shared / "mine", fs::perms::owner_all);
    fs::create_symlink(root / "elsewhere" / "target", shared / "mine" / lockName);
    std::vector<InstanceLock::Folder> folders = {
        {shared / "corvane-1", true}, {shared / "open", false}, {shared / "mine", false}};
    if (::geteuid() == 0) {
        fs::create_directories(shared / "theirs");
        fs::permissions(shared / "theirs", fs::perms::owner_all);
        ASSERT_EQ(::chown((shared / "theirs").c_str(), 65534, 65534), 0);
        folders.push_back({shared / "theirs", false});
    }
    folders.push_back({root / "state" / "corvane", true});

    auto first = InstanceLock::acquire(lockName, folders);
    ASSERT_TRUE(std::holds_alternative<InstanceLock>(first));
    EXPECT_EQ(std::get<InstanceLock>(first).path(), root / "state" / "corvane" / lockName);
    EXPECT_EQ(fs::status(root / "state" / "corvane").permissions(), fs::perms::owner_all);
    EXPECT_TRUE(fs::is_empty(root / "elsewhere"));
    EXPECT_TRUE(fs::is_empty(shared / "open"));
    EXPECT_TRUE(std::holds_alternative<InstanceLock::Busy>(InstanceLock::acquire(lockName, folders)));

    folders.pop_back();
    const auto nowhere = InstanceLock::acquire(lockName, folders);
    ASSERT_TRUE(std::holds_alternative<InstanceLock::Unavailable>(nowhere));
    std::string expected = (shared / "corvane-1").string() + ": a symbolic link; " +
                           (shared / "open").string() + ": others may write to it; " +
                           (shared / "mine").string() + ": " + lockName + " is a symbolic link";
    if (::geteuid() == 0) expected += "; " + (shared / "theirs").string() + ": owned by another user";
    EXPECT_EQ(std::get<InstanceLock::Unavailable>(nowhere).why, expected);
}

}  // namespace
}  // namespace corvane
