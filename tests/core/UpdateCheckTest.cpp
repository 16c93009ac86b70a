#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/Links.h"
#include "core/UpdateCheck.h"

namespace corvane {
namespace {

using Notes = std::vector<std::string>;

ReleaseInfo parsed(std::string_view body) {
    const auto result = UpdateCheck::parse(body);
    EXPECT_TRUE(result.has_value()) << body;
    return result.value_or(ReleaseInfo{});
}

UpdateCheckError refused(std::string_view body) {
    const auto result = UpdateCheck::parse(body);
    EXPECT_FALSE(result.has_value()) << body;
    return result.has_value() ? UpdateCheckError{} : result.error();
}

TEST(UpdateCheckParse, RefusesWhatIsNoObjectAndObjectsWithoutAUsableVersion) {
    EXPECT_EQ(refused("[{\"version\": \"1.0\"}]"), UpdateCheckError::notJSON);
    EXPECT_EQ(refused("<html>Not found</html>"), UpdateCheckError::notJSON);
    EXPECT_EQ(refused(""), UpdateCheckError::notJSON);
    EXPECT_EQ(refused("null"), UpdateCheckError::notJSON);
    EXPECT_EQ(refused("{\"version\": \"1.0\""), UpdateCheckError::notJSON);
    EXPECT_EQ(refused("{\"version\": \"\xff\"}"), UpdateCheckError::notJSON);  // not UTF-8
    EXPECT_EQ(refused("{\"version\": \"\"}"), UpdateCheckError::missingVersion);
    EXPECT_EQ(refused("{\"version\": 5}"), UpdateCheckError::missingVersion);
    EXPECT_EQ(refused("{}"), UpdateCheckError::missingVersion);
}

TEST(UpdateCheckParse, AVersionAloneGivesNoDateAndNoNotes) {
    EXPECT_EQ(parsed("{\"version\": \"0.5.0\", \"extra\": [1, 2]}"), (ReleaseInfo{"0.5.0", "", {}}));
}

TEST(UpdateCheckParse, TakesTheFirstChangelogEntryForTheVersion) {
    const ReleaseInfo info = parsed(R"({"version": "0.5.0", "changelog": [
        {"version": "0.4.9", "date": "2024-01-02", "notes": ["old"]},
        {"version": "0.5.0", "date": "2024-03-04", "notes": ["new", "newer"]},
        {"version": "0.5.0", "date": "2024-05-06", "notes": ["later duplicate"]}]})");
    EXPECT_EQ(info, (ReleaseInfo{"0.5.0", "2024-03-04", {"new", "newer"}}));
}

TEST(UpdateCheckParse, KeepsOnlyTextNotesEmptyOnesIncluded) {
    const ReleaseInfo info =
        parsed(R"({"version": "1", "changelog": [{"version": "1", "notes": ["a", 3, "", null, "b"]}]})");
    EXPECT_EQ(info.notes, (Notes{"a", "", "b"}));
    EXPECT_EQ(info.date, "");
}

TEST(UpdateCheckParse, IrregularChangelogsDegradeToEmptyFields) {
    // Not an array, an array with something other than objects, entries of the wrong types.
    EXPECT_EQ(parsed(R"({"version": "1", "changelog": {"version": "1", "notes": ["x"]}})"),
              (ReleaseInfo{"1", "", {}}));
    EXPECT_EQ(parsed(R"({"version": "1", "changelog": [{"version": "1", "notes": ["x"]}, 7]})"),
              (ReleaseInfo{"1", "", {}}));
    EXPECT_EQ(parsed(R"({"version": "1", "changelog": [{"version": 1, "notes": ["x"]}]})"),
              (ReleaseInfo{"1", "", {}}));
    EXPECT_EQ(parsed(R"({"version": "1", "changelog": [{"version": "1", "date": 2024, "notes": "x"}]})"),
              (ReleaseInfo{"1", "", {}}));
}

TEST(UpdateCheckVersions, CompareNumbersNotText) {
    EXPECT_TRUE(UpdateCheck::isNewer("0.4.10", "0.4.3"));
    EXPECT_FALSE(UpdateCheck::isNewer("0.4.3", "0.4.10"));
    EXPECT_FALSE(UpdateCheck::isNewer("1.2", "1.2.0"));
    EXPECT_FALSE(UpdateCheck::isNewer("1.2.0", "1.2"));
    EXPECT_TRUE(UpdateCheck::isNewer("1.2.0.1", "1.2"));
    EXPECT_FALSE(UpdateCheck::isNewer("1.2", "1.2.0.1"));
    EXPECT_FALSE(UpdateCheck::isNewer("0.5.0-beta", "0.5.0"));
    EXPECT_FALSE(UpdateCheck::isNewer("x", "0.0.1"));
    EXPECT_FALSE(UpdateCheck::isNewer("0.4.3", "0.4.3"));
}

TEST(UpdateCheckVersions, ComponentsReadLooselyAndNeverFail) {
    using Numbers = std::vector<std::int64_t>;
    EXPECT_EQ(UpdateCheck::components("1.4.0-beta2"), (Numbers{1, 4, 0}));
    EXPECT_EQ(UpdateCheck::components(""), (Numbers{0, 0, 0}));
    EXPECT_EQ(UpdateCheck::components("--2.1"), (Numbers{2, 1, 0}));
    EXPECT_EQ(UpdateCheck::components("1..2."), (Numbers{1, 2, 0}));
    EXPECT_EQ(UpdateCheck::components("+3.1a. 4.99999999999999999999"), (Numbers{3, 0, 0, 0}));
    EXPECT_EQ(UpdateCheck::components("1.2.3.4.5"), (Numbers{1, 2, 3, 4, 5}));
}

TEST(UpdateCheckMessages, ListAtMostEightNotesThenAnEllipsis) {
    const std::string head = "Corvane 0.5.0 is available (you have 0.4.3).";
    ReleaseInfo info{"0.5.0", "", {}};
    EXPECT_EQ(UpdateCheck::availableMessage(info, "0.4.3"), head);

    info.notes = {"1", "2", "3", "4", "5", "6", "7", "8"};
    const std::string eight =
        head +
        "\n\nWhat's new:\n\u2022 1\n\u2022 2\n\u2022 3\n\u2022 4\n\u2022 5\n\u2022 6\n\u2022 7\n\u2022 8";
    EXPECT_EQ(UpdateCheck::availableMessage(info, "0.4.3"), eight);
    info.notes.push_back("9");
    EXPECT_EQ(UpdateCheck::availableMessage(info, "0.4.3"), eight + "\n\u2022 \u2026");

    EXPECT_EQ(UpdateCheck::upToDateMessage("0.4.3"), "Corvane 0.4.3 is the latest version.");
}

TEST(Links, AddressesLieInTheReleaseFolder) {
    const std::string folder(Links::releaseFolder);
    EXPECT_EQ(folder.back(), '/');
    EXPECT_EQ(Links::manual, folder + "manual.html");
    EXPECT_EQ(Links::versionJSON, folder + "version.json");
    EXPECT_EQ(Links::supportMailto("0.4.3 (12)"),
              "mailto:" + std::string(Links::supportEmail) + "?subject=Corvane%200.4.3%20(12)");
}

}  // namespace
}  // namespace corvane
