#include "platform/UserDefaults.h"
#include "tests/support/Bounded.h"
#include "tests/support/ReadFile.h"
#include "tests/support/TemporaryFolder.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <malloc.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <mutex>
#include <new>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace corvane {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

class UserDefaultsTest : public testing::Test {
protected:
    void SetUp() override {
        root = newTemporaryFolder("corvane-defaults");
        ASSERT_FALSE(root.empty());
        folder = root / "corvane";
    }
    void TearDown() override {
        std::error_code ignored;
        fs::permissions(folder, fs::perms::owner_all, ignored);
        fs::remove_all(root);
    }

    std::unique_ptr<UserDefaults> open(std::chrono::milliseconds writeDelay = 1h) {
        return std::make_unique<UserDefaults>(
            folder, [this](const std::string& m) { problems.push_back(m); }, writeDelay);
    }

    void writeFile(const std::string& text) {
        fs::create_directories(folder);
        std::ofstream(folder / "defaults.json") << text;
    }

    // The settings folder read-only, for anyone, and the way to it open to a child that gives up
    // root's privileges (root writes anywhere) with asNobody().
    void makeFolderReadOnly() {
        fs::permissions(root, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                  fs::perms::others_read | fs::perms::others_exec);
        fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                                    fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);
    }
    static void asNobody() {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(3);
    }
    // The path's owner made the one asNobody() becomes.
    static void giveToNobody(const fs::path& path) {
        if (geteuid() == 0) {
            ASSERT_EQ(::lchown(path.c_str(), 65534, 65534), 0) << path;
        }
    }

    // A run of the defaults in `folder`, in a child that gives up root's privileges, in phases:
    // in each the child sets "pads.root" twice and saves each time (10 and 11, then 12 and 13, …),
    // then waits while the next of `mends` is done here. `change` runs before the first phase,
    // `check` after the last; its result is the child's exit status, returned, and what the
    // defaults reported goes to `problems`, a line each.
    int runAsNobody(const std::vector<std::function<void()>>& mends,
                    const std::function<void(UserDefaults&)>& change = {},
                    const std::function<int(UserDefaults&)>& check = {}) {
        int toParent[2], toChild[2], reports[2];
        if (::pipe2(toParent, O_CLOEXEC) != 0 || ::pipe2(toChild, O_CLOEXEC) != 0 ||
            ::pipe2(reports, O_CLOEXEC) != 0) {
            return -1;
        }
        const pid_t child = ::fork();
        if (child == 0) {
            asNobody();
            int status = 0;
            {
                UserDefaults defaults(
                    folder,
                    [&](const std::string& m) {
                        const std::string line = m + "\n";
                        if (::write(reports[1], line.data(), line.size()) !=
                            static_cast<ssize_t>(line.size())) {
                            _exit(90);
                        }
                    },
                    1h);
                if (change) change(defaults);
                for (std::size_t phase = 0;; ++phase) {
                    for (std::int64_t i = 0; i < 2; ++i) {
                        defaults.set("pads.root",
                                     std::int64_t{10} + 2 * static_cast<std::int64_t>(phase) + i);
                        defaults.flush();
                    }
                    if (phase == mends.size()) break;
                    char mended = 0;
                    if (::write(toParent[1], &mended, 1) != 1 || ::read(toChild[0], &mended, 1) != 1) {
                        _exit(91);
                    }
                }
                if (check) status = check(defaults);
            }
            _exit(status);
        }
        ::close(toParent[1]);
        ::close(toChild[0]);
        ::close(reports[1]);
        for (const auto& mend : mends) {
            char waiting = 0;
            if (::read(toParent[0], &waiting, 1) != 1) break;
            mend();
            if (::write(toChild[1], &waiting, 1) != 1) break;
        }
        ::close(toChild[1]);
        std::string text;
        char buffer[4096];
        for (ssize_t n; (n = ::read(reports[0], buffer, sizeof buffer)) > 0;) {
            text.append(buffer, static_cast<std::size_t>(n));
        }
        ::close(reports[0]);
        ::close(toParent[0]);
        int status = 0;
        if (child < 0 || ::waitpid(child, &status, 0) != child) return -1;
        problems.clear();
        std::istringstream lines(text);
        for (std::string line; std::getline(lines, line);) problems.push_back(line);
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    // The value runAsNobody() sets last.
    static std::int64_t lastSet(std::size_t mends) { return 11 + 2 * static_cast<std::int64_t>(mends); }

    // Each problem reported matches the pattern in its place, and there are no more.
    void expectProblems(const std::vector<std::string>& patterns) const {
        EXPECT_EQ(problems.size(), patterns.size());
        for (std::size_t i = 0; i < problems.size() && i < patterns.size(); ++i) {
            EXPECT_TRUE(std::regex_search(problems[i], std::regex(patterns[i]))) << problems[i] << "\n"
                                                                                 << patterns[i];
        }
    }
    // The folder's entries by name.
    static std::set<std::string> entries(const fs::path& path) {
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(path)) names.insert(entry.path().filename().string());
        return names;
    }

    fs::path root;
    fs::path folder;
    std::vector<std::string> problems;
};

TEST_F(UserDefaultsTest, EveryTypeRoundTripsThroughTheFileIntoAMissingFolder) {
    {
        auto defaults = open();
        defaults->set("b", true);
        defaults->set("i", std::int64_t{-9'000'000'000'000'000'000});
        defaults->set("d", 2.0);
        defaults->set("f", 0.1);
        defaults->set("s", std::string("C♯ Dorian"));
        defaults->set("gone", std::int64_t{1});
        defaults->remove("gone");
        defaults->flush();
    }
    EXPECT_TRUE(problems.empty());
    EXPECT_EQ(fs::status(folder / "defaults.json").type(), fs::file_type::regular);
    auto fresh = open();
    EXPECT_EQ(fresh->value("b"), SettingValue{true});
    EXPECT_EQ(fresh->value("i"), SettingValue{std::int64_t{-9'000'000'000'000'000'000}});
    EXPECT_EQ(fresh->value("d"), SettingValue{2.0}) << "a whole double stays a double";
    EXPECT_EQ(fresh->value("f"), SettingValue{0.1});
    EXPECT_EQ(fresh->value("s"), SettingValue{std::string("C♯ Dorian")});
    EXPECT_EQ(fresh->value("gone"), std::nullopt);
    EXPECT_EQ(fresh->value("never"), std::nullopt);
    EXPECT_EQ(Settings::integer(fresh->reader()("d")), 2);
}

TEST_F(UserDefaultsTest, OtherJSONValuesReadAsAbsentAndSurviveARewrite) {
    writeFile(R"({"list": [1], "none": null, "object": {"x": 1}, "small": 5, "big": 18446744073709551615,
                  "exp": 1e2})");
    auto defaults = open();
    EXPECT_EQ(defaults->value("list"), std::nullopt);
    EXPECT_EQ(defaults->value("none"), std::nullopt);
    EXPECT_EQ(defaults->value("object"), std::nullopt);
    EXPECT_EQ(defaults->value("small"), SettingValue{std::int64_t{5}});
    EXPECT_EQ(defaults->value("big"), SettingValue{18446744073709551615.0});
    EXPECT_EQ(defaults->value("exp"), SettingValue{100.0});
    defaults->set("nan", std::nan(""));
    EXPECT_EQ(defaults->value("nan"), std::nullopt);
    defaults->flush();
    const std::string text = readFile(folder / "defaults.json");
    EXPECT_NE(text.find("\"list\": [\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\"x\": 1"), std::string::npos) << text;
    EXPECT_TRUE(problems.empty());
}

TEST_F(UserDefaultsTest, AFileThatCannotBeParsedIsKeptAsideAndTheDefaultsUsed) {
    for (const std::string& broken :
         {std::string("{\"pads.root\": 3,"), std::string("[1, 2]"), std::string()}) {
        problems.clear();
        writeFile(broken);
        auto defaults = open();
        EXPECT_EQ(defaults->value("pads.root"), std::nullopt);
        ASSERT_EQ(problems.size(), 1u);
        EXPECT_NE(problems[0].find("defaults.json.corrupt"), std::string::npos) << problems[0];
        EXPECT_FALSE(fs::exists(folder / "defaults.json"));
        EXPECT_EQ(readFile(folder / "defaults.json.corrupt"), broken);

        defaults->set("pads.root", std::int64_t{4});
        defaults->flush();
        EXPECT_EQ(open()->value("pads.root"), SettingValue{std::int64_t{4}});
        fs::remove(folder / "defaults.json");
        fs::remove(folder / "defaults.json.corrupt");
    }
}

TEST_F(UserDefaultsTest, ASaveThroughALinkReplacesItsTargetAndKeepsTheLink) {
    const fs::path dotfiles = root / "dotfiles";
    fs::create_directories(dotfiles);
    fs::create_directories(folder);
    std::ofstream(dotfiles / "corvane.json") << "{\"pads.root\": 1}";
    fs::create_symlink(dotfiles / "corvane.json", folder / "defaults.json");
    {
        auto defaults = open();
        EXPECT_EQ(defaults->value("pads.root"), SettingValue{std::int64_t{1}});
        defaults->set("pads.root", std::int64_t{5});
        defaults->flush();
    }
    EXPECT_TRUE(problems.empty());
    EXPECT_TRUE(fs::is_symlink(folder / "defaults.json"));
    EXPECT_NE(readFile(dotfiles / "corvane.json").find("\"pads.root\": 5"), std::string::npos);
    EXPECT_EQ(std::distance(fs::directory_iterator(dotfiles), fs::directory_iterator()), 1);

    // A link that leads nowhere is replaced by the file itself.
    fs::remove(dotfiles / "corvane.json");
    open()->set("pads.root", std::int64_t{6});
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(folder / "defaults.json")));
    EXPECT_EQ(open()->value("pads.root"), SettingValue{std::int64_t{6}});
}

TEST_F(UserDefaultsTest, BrokenFilesInARowAreEachKeptUnderANameOfTheirOwn) {
    const std::vector<std::string> broken{"{\"pads.root\": 1,", "{\"pads.root\": 2,", "{\"pads.root\": \x7f\x1b[2J"};
    const std::vector<std::string> kept{"defaults.json.corrupt", "defaults.json.corrupt.1", "defaults.json.corrupt.2"};
    for (std::size_t i = 0; i < broken.size(); ++i) {
        problems.clear();
        writeFile(broken[i]);
        open();
        ASSERT_EQ(problems.size(), 1u);
        EXPECT_NE(problems[0].find("kept it as " + (folder / kept[i]).string() + " and"), std::string::npos)
            << problems[0];
    }
    for (std::size_t i = 0; i < broken.size(); ++i) EXPECT_EQ(readFile(folder / kept[i]), broken[i]);
    // The parser's message quotes the file; its control bytes reach no terminal.
    EXPECT_NE(problems[0].find(": \\x7f'); kept it as"), std::string::npos) << problems[0];
}

TEST_F(UserDefaultsTest, WhatIsNoRegularFileIsKeptAsideAtOnceWithoutReadingIt) {
    const fs::path file = folder / "defaults.json";
    const fs::path aside = folder / "defaults.json.corrupt";
    fs::create_directories(folder);
    ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0);
    withinBounds(std::chrono::seconds(10), 64, [&] { open(); });
    EXPECT_EQ(fs::symlink_status(aside).type(), fs::file_type::fifo);
    fs::remove(aside);

    fs::create_symlink("/dev/zero", file);
    withinBounds(std::chrono::seconds(10), 64, [&] { open(); });
    EXPECT_EQ(fs::read_symlink(aside), "/dev/zero");
    fs::remove(aside);

    fs::create_directories(file / "inside");
    open()->set("pads.root", std::int64_t{2});
    EXPECT_TRUE(fs::is_directory(aside / "inside"));
    ASSERT_EQ(problems.size(), 3u);
    for (const std::string& problem : problems)
        EXPECT_NE(problem.find("(not a regular file); kept it as"), std::string::npos) << problem;

    // A dotfile manager's link to a real file is read through.
    fs::rename(file, root / "kept.json");
    fs::create_symlink(root / "kept.json", file);
    EXPECT_EQ(open()->value("pads.root"), SettingValue{std::int64_t{2}});
    EXPECT_EQ(problems.size(), 3u);
}

TEST_F(UserDefaultsTest, AFileOverSixteenMebibytesIsKeptAsideUnread) {
    const fs::path file = folder / "defaults.json";
    writeFile("{}");
    fs::resize_file(file, UserDefaults::maxFileMebibytes * 1024 * 1024 + 1);
    withinBounds(std::chrono::seconds(10), 32, [&] { open(); });
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_NE(problems[0].find("(larger than 16 MiB); kept it as"), std::string::npos) << problems[0];
    EXPECT_EQ(fs::file_size(folder / "defaults.json.corrupt"), UserDefaults::maxFileMebibytes * 1024 * 1024 + 1);
}

TEST_F(UserDefaultsTest, BracketsNestedWithoutEndAreKeptAsideWithoutFillingMemory) {
    const std::string deep(16 * 1024 * 1024, '[');
    writeFile(deep);
    withinBounds(std::chrono::seconds(10), 64, [&] { open(); });
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_NE(problems[0].find("(nested deeper than 64 levels); kept it as"), std::string::npos) << problems[0];
    EXPECT_EQ(fs::file_size(folder / "defaults.json.corrupt"), deep.size());

    // Nesting that a person might write still loads, and survives.
    writeFile(R"({"pads.root": 5, "notes": )" + std::string(40, '[') + std::string(40, ']') + "}");
    EXPECT_EQ(open()->value("pads.root"), SettingValue{std::int64_t{5}});
    EXPECT_EQ(problems.size(), 1u);
}

TEST_F(UserDefaultsTest, AMebibyteOfEmptyObjectsLoadsWithinASecond) {
    // Unoptimised or sanitised code is some ten times slower; time growing with the square of
    // the objects would still take minutes.
#if defined(__SANITIZE_ADDRESS__) || !defined(__OPTIMIZE__)
    const std::chrono::seconds aSecond(10);
#else
    const std::chrono::seconds aSecond(1);
#endif
    std::string text = R"({"pads.root": 5, "a": [{})";
    while (text.size() < 1024 * 1024) text += ",{}";
    writeFile(text + "]}");
    withinBounds(aSecond, 128,
                 [&] { EXPECT_EQ(open()->value("pads.root"), SettingValue{std::int64_t{5}}); });
    EXPECT_TRUE(problems.empty());
}

TEST_F(UserDefaultsTest, FilesAtTheBoundsLoadOrAreKeptAsideWithinMemory) {
    // Chains of arrays nested as deep as allowed, in the array "a" of the outermost object: the
    // most values a text of this size can hold.
    const std::size_t perChain = UserDefaults::maxNesting - 2;
    const std::string chain = std::string(perChain, '[') + std::string(perChain, ']');
    const auto file = [&](std::size_t chains, std::size_t size) {
        std::string text = R"({"pads.root": 5, "a": [)" + chain;
        for (std::size_t i = 1; i < chains && text.size() + chain.size() + 3 <= size; ++i) {
            text += "," + chain;
        }
        return text + "]}";
    };
    const std::size_t bound = UserDefaults::maxFileMebibytes * 1024 * 1024;
    writeFile(file(bound, bound));
    withinBounds(std::chrono::seconds(10), 250, [&] { open(); });
    ASSERT_EQ(problems.size(), 1u);
    const std::string tooMany =
        "(more than " + std::to_string(UserDefaults::maxValues) + " values); kept it as";
    EXPECT_NE(problems[0].find(tooMany), std::string::npos) << problems[0];

    // As many values as are taken.
    writeFile(file((UserDefaults::maxValues - 3) / perChain, bound));
    withinBounds(std::chrono::seconds(10), 250,
                 [&] { EXPECT_EQ(open()->value("pads.root"), SettingValue{std::int64_t{5}}); });

    // One long text.
    writeFile(R"({"pads.root": 5, "notes": ")" + std::string(10'000'000, 'x') + "\"}");
    withinBounds(std::chrono::seconds(10), 250,
                 [&] { EXPECT_EQ(open()->value("pads.root"), SettingValue{std::int64_t{5}}); });
    EXPECT_EQ(problems.size(), 1u);
}

TEST_F(UserDefaultsTest, ASaveNeverWritesAFileTheNextStartWouldRefuse) {
    // Chains of arrays nested as deep as allowed, as many as the bound on values takes: compact,
    // about a megabyte; indented, tens of megabytes.
    const std::size_t perChain = UserDefaults::maxNesting - 2;
    const std::string chain = std::string(perChain, '[') + std::string(perChain, ']');
    std::string text = R"({"pads.root": 5, "a": [)" + chain;
    std::size_t values = 3 + perChain;
    for (; values + perChain <= UserDefaults::maxValues; values += perChain) text += "," + chain;
    writeFile(text + "]}");
    const fs::path file = folder / "defaults.json";
    auto defaults = open();
    defaults->set("pads.root", std::int64_t{6});
    defaults->flush();
    EXPECT_LE(fs::file_size(file), UserDefaults::maxFileMebibytes * 1024 * 1024);
    EXPECT_EQ(open()->value("pads.root"), SettingValue{std::int64_t{6}});
    EXPECT_TRUE(problems.empty()) << problems[0];
    const std::string saved = readFile(file);

    // One value more than a start takes.
    for (; values <= UserDefaults::maxValues; ++values) defaults->set("k" + std::to_string(values), true);
    defaults->flush();
    ASSERT_EQ(problems.size(), 1u);
    const std::string refused = "could not save " + file.string() +
                                ": the next start would refuse it (more than " +
                                std::to_string(UserDefaults::maxValues) + " values); kept the old file";
    EXPECT_NE(problems[0].find(refused), std::string::npos) << problems[0];
    EXPECT_TRUE(readFile(file) == saved) << "the old file stays";

    // Too long even without indentation.
    defaults.reset();
    problems.clear();
    defaults = open();
    defaults->set("notes", std::string(UserDefaults::maxFileMebibytes * 1024 * 1024, 'x'));
    defaults->flush();
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_NE(problems[0].find(": the next start would refuse it (larger than 16 MiB); kept the old file"),
              std::string::npos)
        << problems[0];
    EXPECT_TRUE(readFile(file) == saved) << "the old file stays";
}

TEST_F(UserDefaultsTest, AFileIndentingWouldTakePastTheBoundIsWrittenCompact) {
    // Compact, as long as the bound takes with the last line's end; indented, a few bytes longer.
    const std::size_t bound = UserDefaults::maxFileMebibytes * 1024 * 1024;
    const std::string around = R"({"notes":"","pads.root":6})";
    {
        auto defaults = open();
        defaults->set("pads.root", std::int64_t{6});
        defaults->set("notes", std::string(bound - 1 - around.size(), 'x'));
    }
    EXPECT_EQ(fs::file_size(folder / "defaults.json"), bound);
    EXPECT_EQ(open()->value("pads.root"), SettingValue{std::int64_t{6}});
    EXPECT_TRUE(problems.empty()) << problems[0];
}

TEST_F(UserDefaultsTest, RunningOutOfMemoryWhileParsingKeepsTheFileAside) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer reserves terabytes of address space: no address-space limit holds";
#else
    // A long text costs several times its size to parse: the parser keeps two copies of it, in
    // buffers that grow by doubling.
    const std::size_t size = 12 * 1024 * 1024;
    writeFile(R"({"pads.root": ")" + std::string(size, 'x') + "\"}");
    // A fresh process, whose address space holds no memory that earlier tests freed, runs this
    // test again up to the load, in a folder of its own.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            std::size_t pages = 0;
            std::ifstream("/proc/self/statm") >> pages;
            // Room for the reading thread's stack and the text itself, not for its parse.
            const rlim_t room =
                pages * static_cast<rlim_t>(::sysconf(_SC_PAGESIZE)) + size + 16 * 1024 * 1024;
            rlimit limit{};
            limit.rlim_cur = limit.rlim_max = room;
            if (setrlimit(RLIMIT_AS, &limit) != 0) _exit(3);
            {
                UserDefaults defaults(folder, {}, 1h);
                if (defaults.value("pads.root").has_value()) _exit(4);
            }
            if (fs::file_size(folder / "defaults.json.corrupt") != size + 17) _exit(5);
            fs::remove_all(root);
            std::fflush(stderr);
            _exit(0);
        },
        testing::ExitedWithCode(0), "not enough memory to read it\\); kept it as .*defaults.json.corrupt");
#endif
}

TEST_F(UserDefaultsTest, RunningOutOfMemoryWhileSavingKeepsTheOldFileAndTriesAgain) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer reserves terabytes of address space: no address-space limit holds";
#else
    const std::size_t size = 12 * 1024 * 1024;
    writeFile(R"({"pads.root": 5, "notes": ")" + std::string(size, 'x') + "\"}");
    // As above, a fresh process runs this test again, in a folder of its own.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            // Large blocks each get a mapping of their own, returned when freed, and every
            // thread takes from the one arena: the limit below leaves no room for the text.
            if (mallopt(M_MMAP_THRESHOLD, 128 * 1024) != 1 || mallopt(M_ARENA_MAX, 1) != 1) _exit(3);
            std::atomic<bool> reported = false;
            UserDefaults defaults(
                folder,
                [&](const std::string& m) {
                    std::fprintf(stderr, "%s\n", m.c_str());
                    reported = true;
                },
                1ms);
            // A first save, with room.
            defaults.set("pads.root", std::int64_t{6});
            defaults.flush();
            std::size_t pages = 0;
            std::ifstream("/proc/self/statm") >> pages;
            rlimit limit{};
            if (getrlimit(RLIMIT_AS, &limit) != 0) _exit(4);
            const rlim_t unlimited = limit.rlim_cur;
            limit.rlim_cur = pages * static_cast<rlim_t>(::sysconf(_SC_PAGESIZE)) + 4 * 1024 * 1024;
            if (setrlimit(RLIMIT_AS, &limit) != 0) _exit(5);
            // Saved on the defaults' queue.
            defaults.set("pads.root", std::int64_t{7});
            for (int i = 0; i < 1000 && !reported; ++i) std::this_thread::sleep_for(10ms);
            if (!reported) _exit(6);
            limit.rlim_cur = unlimited;
            if (setrlimit(RLIMIT_AS, &limit) != 0) _exit(7);
            if (readFile(folder / "defaults.json").find("\"pads.root\": 6") == std::string::npos) _exit(8);
            defaults.flush();
            if (readFile(folder / "defaults.json").find("\"pads.root\": 7") == std::string::npos) _exit(9);
            if (std::distance(fs::directory_iterator(folder), fs::directory_iterator()) != 1) _exit(10);
            fs::remove_all(root);
            std::fflush(stderr);
            _exit(0);
        },
        testing::ExitedWithCode(0),
        "could not save .*defaults.json: not enough memory; kept the old file\n$");
#endif
}

TEST_F(UserDefaultsTest, AProblemHandlerRunningOutOfMemoryEndsNothing) {
    // As the bridge's log may, when memory is short: every report throws. A save between two
    // failed ones succeeds, so that each failure is reported.
    const fs::path file = folder / "defaults.json";
    const std::string large(UserDefaults::maxFileMebibytes * 1024 * 1024, 'x');
    writeFile("{");
    EXPECT_EXIT(
        {
            std::mutex mutex;
            std::condition_variable reported;
            int reports = 0;
            const auto throwing = [&](const std::string&) {
                {
                    std::lock_guard lock(mutex);
                    ++reports;
                }
                reported.notify_all();
                throw std::bad_alloc();
            };
            const auto reportsReach = [&](int count) {
                std::unique_lock lock(mutex);
                return reported.wait_for(lock, 60s, [&] { return reports >= count; });
            };
            // While loading, then saving in flush(), flushAll() and the destructor: a folder in
            // the file's place cannot be replaced, a text past the bound is refused.
            auto defaults = std::make_unique<UserDefaults>(folder, throwing, 1h);
            fs::create_directories(file / "inside");
            defaults->set("a", std::int64_t{1});
            defaults->flush();
            fs::remove_all(file);
            defaults->flush();
            defaults->set("notes", large);
            UserDefaults::flushAll();
            defaults->set("notes", std::string("short"));
            defaults->flush();
            fs::remove(file);
            fs::create_directories(file / "inside");
            defaults->set("a", std::int64_t{2});
            defaults.reset();
            if (!reportsReach(4)) _exit(4);
            // On the defaults' own queue.
            defaults = std::make_unique<UserDefaults>(folder, throwing, 1ms);
            fs::create_directories(file / "inside");
            defaults->set("a", std::int64_t{2});
            if (!reportsReach(6)) _exit(6);
            defaults.reset();
            _exit(reports == 6 ? 0 : 7);
        },
        testing::ExitedWithCode(0), "");
}

TEST_F(UserDefaultsTest, TheParsersQuoteOfALongTokenIsCutShort) {
    writeFile(R"({"pads.root": ")" + std::string(2'000'000, 'x'));
    withinBounds(std::chrono::seconds(10), 64, [&] { open(); });
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_LT(problems[0].size(), 2'000u) << problems[0].substr(0, 2'000);
    const std::string quoted = "last read: '\"" + std::string(79, 'x') + "…'); kept it as";
    EXPECT_NE(problems[0].find(quoted), std::string::npos) << problems[0].substr(0, 2'000);
}

TEST_F(UserDefaultsTest, BlankLinesBeforeATypoCostNoMoreThanTheirText) {
    // The parser's message quotes all it read since the last text or number, and spells each
    // line end out in eight characters.
    const std::size_t lines = UserDefaults::maxFileMebibytes * 1024 * 1024 - 14;
    writeFile(std::string(lines, '\n') + "{pads.root: 5}");
    withinBounds(std::chrono::seconds(10), 64, [&] { open(); });
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_LT(problems[0].size(), 1'000u) << problems[0].substr(0, 1'000);
    const std::string place = "at line " + std::to_string(lines + 1) + ", column 2: ";
    EXPECT_NE(problems[0].find(place), std::string::npos) << problems[0].substr(0, 1'000);

    // Lines and columns are the file's.
    writeFile("{\n\t\"pads.root\": 5,\r\n    pads.key: 2\n}");
    open();
    ASSERT_EQ(problems.size(), 2u);
    EXPECT_NE(problems[1].find("at line 3, column 5: "), std::string::npos) << problems[1];
}

TEST_F(UserDefaultsTest, BlanksInATextAreTheTexts) {
    // Runs of blanks read as one between values only.
    writeFile("{\"scale\":  \"C  Dorian \",\n\n  \"pads.root\": 5}");
    EXPECT_EQ(open()->value("scale"), SettingValue{std::string("C  Dorian ")});
    EXPECT_TRUE(problems.empty()) << problems[0];

    // A line end in a text is refused where it stands, after a space too.
    writeFile("{\"scale\": \"C \n\"}");
    open();
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_NE(problems[0].find("at line 2, column 0: "), std::string::npos) << problems[0];
    EXPECT_NE(problems[0].find("; kept it as"), std::string::npos) << problems[0];
}

TEST_F(UserDefaultsTest, AFileThatCannotBeMovedAsideIsReportedWithTheNameTried) {
    // A path of 4,086 bytes leaves room for "defaults.json.corrupt", which is taken, but not for
    // "defaults.json.corrupt.1": the kernel refuses names past 4,095 bytes.
    const std::size_t length = 4086 - std::string("/defaults.json").size();
    while (length - folder.string().size() > 250) folder /= std::string(199, 'd');
    folder /= std::string(length - folder.string().size() - 1, 'd');
    ASSERT_EQ(folder.string().size(), length);
    fs::create_directories(folder);
    std::ofstream(folder / "defaults.json.corrupt") << "kept earlier";
    writeFile("{");
    open();
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_NE(problems[0].find(") nor move it to " + (folder / "defaults.json.corrupt.1").string() + " ("),
              std::string::npos)
        << problems[0].substr(length);
    EXPECT_EQ(readFile(folder / "defaults.json"), "{");
    EXPECT_EQ(readFile(folder / "defaults.json.corrupt"), "kept earlier");
}

TEST_F(UserDefaultsTest, ABrokenFileThatCannotBeMovedAsideIsNeverSavedOver) {
    // The folder is read-only; the file is a link into a folder that can be written.
    const fs::path dotfiles = root / "dotfiles";
    const std::string broken = R"({"pads.root": 3,)";
    fs::create_directories(dotfiles);
    fs::create_directories(folder);
    std::ofstream(dotfiles / "corvane.json") << broken;
    fs::create_symlink(dotfiles / "corvane.json", folder / "defaults.json");
    fs::permissions(dotfiles, fs::perms::all);
    fs::permissions(dotfiles / "corvane.json", fs::perms::owner_read | fs::perms::owner_write |
                                                   fs::perms::group_read | fs::perms::group_write |
                                                   fs::perms::others_read | fs::perms::others_write);
    makeFolderReadOnly();
    EXPECT_EXIT(
        {
            asNobody();
            {
                UserDefaults defaults(folder, {}, 0ms);
                defaults.set("pads.root", std::int64_t{4});
                defaults.flush();
                if (defaults.value("pads.root") != SettingValue{std::int64_t{4}}) _exit(4);
            }
            std::fflush(stderr);
            _exit(0);
        },
        testing::ExitedWithCode(0),
        "nor move it to .*defaults.json.corrupt \\(.*\\); using the defaults, and not saving over it "
        "until it can be read\n$");
    EXPECT_EQ(readFile(dotfiles / "corvane.json"), broken);
    EXPECT_EQ(std::distance(fs::directory_iterator(dotfiles), fs::directory_iterator()), 1);
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);
}

TEST_F(UserDefaultsTest, WhereNoFileCanBeTheRunsSettingsAreSavedOnceTheFolderCanBeWritten) {
    const auto saved = [&] {
        return nlohmann::json::parse(readFile(folder / "defaults.json"), nullptr, false);
    };
    const auto runs = [](std::size_t mends) { return nlohmann::json{{"pads.root", lastSet(mends)}}; };
    fs::permissions(root, fs::perms(0755));

    // A file on the way, removed; then the folder it was in cannot be written, a new cause.
    std::ofstream(root / "X") << "a file";
    folder = root / "X" / "config" / "corvane";
    const auto removeX = [&] {
        fs::remove(root / "X");
        fs::permissions(root, fs::perms(0555));
    };
    EXPECT_EQ(runAsNobody({removeX, [&] { fs::permissions(root, fs::perms::all); }}), 0);
    expectProblems(
        {"^could not save .*/X/config/corvane/defaults.json: could not create the folder: Not a directory$",
         "^could not save .*/X/config/corvane/defaults.json: could not create the folder: Permission "
         "denied$"});
    EXPECT_EQ(saved(), runs(2));

    // Links in a loop on the way, one of them removed.
    fs::create_symlink(root / "loop", root / "loop");
    folder = root / "loop" / "corvane";
    EXPECT_EQ(runAsNobody({[&] { fs::remove(root / "loop"); }}), 0);
    expectProblems(
        {"^could not save .*/loop/corvane/defaults.json: could not create the folder: Too many levels "
         "of symbolic links$"});
    EXPECT_EQ(saved(), runs(1));

    // A folder that cannot be searched may hold a file; found empty once it can be.
    folder = root / "locked";
    fs::create_directory(folder);
    fs::permissions(folder, fs::perms::none);
    EXPECT_EQ(runAsNobody({[&] { fs::permissions(folder, fs::perms::all); }}), 0);
    expectProblems(
        {"^could not read .*/locked/defaults.json \\(Permission denied\\) nor move it to "
         ".*/locked/defaults.json.corrupt \\(Permission denied\\); using the defaults, and not saving "
         "over it until it can be read$",
         "^found no file at .*/locked/defaults.json now that it can be reached; saved this run's "
         "settings$"});
    EXPECT_EQ(saved(), runs(1));
    EXPECT_EQ(entries(folder), std::set<std::string>{"defaults.json"});
}

TEST_F(UserDefaultsTest, AFileThatCouldNotBeReadIsTakenInOnceItCanBeAndNeverSavedOverBefore) {
    const auto saved = [&] {
        return nlohmann::json::parse(readFile(folder / "defaults.json"), nullptr, false);
    };
    const std::string notSaving =
        " \\(Permission denied\\); using the defaults, and not saving over it until it can be read$";
    fs::permissions(root, fs::perms(0755));

    // In a folder that cannot be searched.
    folder = root / "locked";
    writeFile(R"({"pads.root": 3, "keep": "mine"})");
    fs::permissions(folder, fs::perms::none);
    const auto keeps = [](UserDefaults& defaults) {
        return defaults.value("keep") == SettingValue{std::string("mine")} ? 0 : 4;
    };
    EXPECT_EQ(runAsNobody({[&] { fs::permissions(folder, fs::perms::all); }}, {}, keeps), 0);
    expectProblems(
        {"^could not read .*/locked/defaults.json \\(Permission denied\\) nor move it to "
         ".*/locked/defaults.json.corrupt" +
             notSaving,
         "^read .*/locked/defaults.json now that it can be read; kept its values under this run's "
         "changes$"});
    EXPECT_EQ(saved(), (nlohmann::json{{"pads.root", lastSet(1)}, {"keep", "mine"}}));
    EXPECT_EQ(entries(folder), std::set<std::string>{"defaults.json"});

    // In a config folder of root's, left by a run with sudo, given to the user; what the run
    // removed stays removed.
    if (geteuid() == 0) {
        const fs::path home = root / "config";
        folder = home / "corvane";
        writeFile(R"({"pads.root": 3, "keep": "mine", "old": true})");
        fs::permissions(home, fs::perms::owner_all);
        const auto giveHome = [&] {
            giveToNobody(home);
            for (const auto& entry : fs::recursive_directory_iterator(home)) giveToNobody(entry.path());
        };
        EXPECT_EQ(runAsNobody({giveHome}, [](UserDefaults& defaults) { defaults.remove("old"); }), 0);
        expectProblems(
            {"^could not read .*/config/corvane/defaults.json \\(Permission denied\\) nor move it to "
             ".*/config/corvane/defaults.json.corrupt" +
                 notSaving,
             "^read .*/config/corvane/defaults.json now that it can be read; kept its values under "
             "this run's changes$"});
        EXPECT_EQ(saved(), (nlohmann::json{{"pads.root", lastSet(1)}, {"keep", "mine"}}));
    }

    // Broken, in a folder that cannot be written; edited, broken another way; then kept aside.
    folder = root / "readonly";
    writeFile(R"({"pads.root": 3,)");
    fs::permissions(folder, fs::perms(0555));
    const std::string edited = R"({"pads.root": 3, "keep": })";
    EXPECT_EQ(runAsNobody({[&] { std::ofstream(folder / "defaults.json") << edited; },
                           [&] { fs::permissions(folder, fs::perms::all); }}),
              0);
    expectProblems(
        {"^could not read .*/readonly/defaults.json \\(.*unexpected end of input.*\\) nor move it to "
         ".*/readonly/defaults.json.corrupt" +
             notSaving,
         "^still could not read .*/readonly/defaults.json \\(.*unexpected '}'.*\\) nor move it to "
         ".*/readonly/defaults.json.corrupt \\(Permission denied\\); not saving over it until it can "
         "be read$",
         "^could not read .*/readonly/defaults.json \\(.*unexpected '}'.*\\); kept it as "
         ".*/readonly/defaults.json.corrupt and saved this run's settings$"});
    EXPECT_EQ(saved(), (nlohmann::json{{"pads.root", lastSet(2)}}));
    EXPECT_EQ(readFile(folder / "defaults.json.corrupt"), edited);
    EXPECT_EQ(entries(folder), (std::set<std::string>{"defaults.json", "defaults.json.corrupt"}));
}

TEST_F(UserDefaultsTest, AFileThatCannotBeReadIsKeptAsideRatherThanOverwritten) {
    writeFile(R"({"pads.root": 3})");
    fs::permissions(root, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                              fs::perms::others_read | fs::perms::others_exec);
    fs::permissions(folder, fs::perms::all);
    fs::permissions(folder / "defaults.json", fs::perms::none);
    // Root reads anything, so the child gives up its privileges to meet the unreadable file.
    EXPECT_EXIT(
        {
            if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(3);
            {
                UserDefaults defaults(folder, {}, 0ms);
                if (defaults.value("pads.root").has_value()) _exit(4);
                defaults.set("pads.key", std::int64_t{2});
            }
            std::fflush(stderr);
            _exit(0);
        },
        testing::ExitedWithCode(0), "kept it as .*defaults.json.corrupt");
    fs::permissions(folder / "defaults.json.corrupt", fs::perms::owner_read);
    EXPECT_EQ(readFile(folder / "defaults.json.corrupt"), R"({"pads.root": 3})");
    EXPECT_EQ(open()->value("pads.key"), SettingValue{std::int64_t{2}});
}

TEST_F(UserDefaultsTest, GatheredWritesReachTheDiskOnFlushDestructionAndFlushAll) {
    auto first = open();
    first->set("a", std::int64_t{1});
    first->set("a", std::int64_t{2});
    EXPECT_FALSE(fs::exists(folder / "defaults.json")) << "written at once despite the delay";
    first->flush();
    EXPECT_EQ(open()->value("a"), SettingValue{std::int64_t{2}});

    first->set("b", true);
    UserDefaults::flushAll();
    EXPECT_EQ(open()->value("b"), SettingValue{true});

    first->set("c", std::string("x"));
    first.reset();
    EXPECT_EQ(open()->value("c"), SettingValue{std::string("x")});
}

TEST_F(UserDefaultsTest, AChangeReachesTheDiskShortlyAfterWithoutAFlush) {
    auto defaults = open(5ms);
    defaults->set("a", 1.5);
    for (int i = 0; i < 500 && !fs::exists(folder / "defaults.json"); ++i) std::this_thread::sleep_for(10ms);
    EXPECT_EQ(open()->value("a"), SettingValue{1.5});
}

TEST_F(UserDefaultsTest, AFailedWriteThrowsNothingAndLeavesTheOldFileIntact) {
    writeFile(R"({"a": 1})");
    fs::permissions(folder / "defaults.json", fs::perms::owner_read | fs::perms::owner_write |
                                                  fs::perms::group_read | fs::perms::others_read);
    makeFolderReadOnly();
    EXPECT_EXIT(
        {
            asNobody();
            {
                UserDefaults defaults(folder, {}, 0ms);
                if (defaults.value("a") != SettingValue{std::int64_t{1}}) _exit(4);
                defaults.set("a", std::int64_t{2});
                defaults.flush();
                if (defaults.value("a") != SettingValue{std::int64_t{2}}) _exit(5);
            }
            std::fflush(stderr);
            _exit(0);
        },
        testing::ExitedWithCode(0), "could not save .*defaults.json");
    EXPECT_EQ(readFile(folder / "defaults.json"), R"({"a": 1})");
    std::vector<fs::path> left;
    for (const auto& entry : fs::directory_iterator(folder)) left.push_back(entry.path().filename());
    EXPECT_EQ(left, std::vector<fs::path>{"defaults.json"});
}

}  // namespace
}  // namespace corvane
