#include "platform/AtomicFile.h"
#include "tests/support/ReadFile.h"
#include "tests/support/TemporaryFolder.h"
#include "tests/support/ThreadWatch.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>

#include <cstdlib>
#include <fstream>
#include <new>
#include <optional>
#include <sstream>

namespace corvane {
namespace {

namespace fs = std::filesystem;

std::size_t openDescriptors() {
    return static_cast<std::size_t>(
        std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator()));
}

class AtomicFileTest : public testing::Test {
protected:
    void SetUp() override {
        root = newTemporaryFolder("corvane-replace");
        ASSERT_FALSE(root.empty());
    }
    void TearDown() override { fs::remove_all(root); }

    std::size_t entries(const fs::path& folder) const {
        return static_cast<std::size_t>(std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
    }

    fs::path root;
};

TEST_F(AtomicFileTest, ReplacesTheFileWithTheModeAskedForAndLeavesNothingElse) {
    const fs::path file = root / "new" / "folder" / "entry.txt";
    ASSERT_FALSE(replaceFile(file, "first", fs::perms::owner_read | fs::perms::owner_write));
    ASSERT_FALSE(replaceFile(file, "second\n", fs::perms::owner_read | fs::perms::owner_write |
                                                   fs::perms::group_read | fs::perms::others_read));
    EXPECT_EQ(readFile(file), "second\n");
    EXPECT_EQ(fs::status(file).permissions(), fs::perms(0644));
    EXPECT_EQ(entries(file.parent_path()), 1u) << "no temporary file is left";
}

TEST_F(AtomicFileTest, AFailedReplaceSaysWhichStepAndLeavesTheOldFileAndNoTemporary) {
    // A folder in the file's place cannot be renamed over.
    const fs::path file = root / "taken";
    fs::create_directories(file / "inside");
    auto failure = replaceFile(file, "text", fs::perms::owner_read | fs::perms::owner_write);
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->step, FileReplaceFailure::Step::replace);
    EXPECT_EQ(failure->path, file);
    EXPECT_TRUE(failure->error);
    EXPECT_TRUE(fs::is_directory(file / "inside"));
    EXPECT_EQ(entries(root), 1u) << "no temporary file is left";

    // A file where the folder should be.
    std::ofstream(root / "plain") << "x";
    failure = replaceFile(root / "plain" / "below" / "entry", "text", fs::perms::owner_read);
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->step, FileReplaceFailure::Step::createFolder);
    EXPECT_EQ(readFile(root / "plain"), "x");
}

TEST_F(AtomicFileTest, RunningOutOfMemoryAnywhereLeavesNoTemporaryFileNorDescriptor) {
    // The temporary file is made, then the write fails (past a limit on file size of 0 bytes),
    // or the replace (a folder stands in the file's place).
    const fs::path file = root / "entry";
    rlimit unlimited{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &unlimited), 0);
    rlimit noBytes = unlimited;
    noBytes.rlim_cur = 0;
    struct sigaction ignore = {};
    struct sigaction previous = {};
    ignore.sa_handler = SIG_IGN;
    ASSERT_EQ(sigaction(SIGXFSZ, &ignore, &previous), 0);
    const auto writeFails = [&](bool fails) {
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, fails ? &noBytes : &unlimited), 0);
    };
    const std::size_t descriptors = openDescriptors();
    for (const auto step : {FileReplaceFailure::Step::write, FileReplaceFailure::Step::replace}) {
        const bool writing = step == FileReplaceFailure::Step::write;
        if (!writing) fs::create_directories(file / "inside");
        writeFails(writing);
        std::size_t allocations = 0;
        std::optional<FileReplaceFailure> failure;
        {
            ThreadWatch watch;
            failure = replaceFile(file, "text", fs::perms::owner_read);
            allocations = watch.allocations();
        }
        writeFails(false);
        ASSERT_TRUE(failure);
        EXPECT_EQ(failure->step, step);
        for (std::size_t failing = 0; failing < allocations; ++failing) {
            writeFails(writing);
            try {
                ThreadWatch watch;
                watch.failAllocationAfter(failing);
                replaceFile(file, "text", fs::perms::owner_read);
            } catch (const std::bad_alloc&) {
            }
            writeFails(false);
            const std::string where =
                "allocation " + std::to_string(failing + 1) + " of " + std::to_string(allocations);
            EXPECT_EQ(openDescriptors(), descriptors) << where;
            EXPECT_EQ(entries(root), writing ? 0u : 1u) << where;
        }
    }
    sigaction(SIGXFSZ, &previous, nullptr);
    EXPECT_TRUE(fs::is_directory(file / "inside"));
}

}  // namespace
}  // namespace corvane
