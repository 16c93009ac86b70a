#include "platform/AtomicFile.h"
#include "tests/support/ReadFile.h"
#include "tests/support/TemporaryFolder.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace corvane {
namespace {

namespace fs = std::filesystem;

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

}  // namespace
}  // namespace corvane
