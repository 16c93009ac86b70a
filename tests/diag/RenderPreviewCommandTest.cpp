#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "corvane_diag/DemoData.h"
#include "tests/diag/DiagHarness.h"

namespace corvane {
namespace {

using Lines = std::vector<std::string>;
namespace fs = std::filesystem;

class RenderPreviewCommandTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(diag.dataDirectory);
        folder_ = diag.dataDirectory;
    }

    // The PNG a preview with these options writes.
    std::string render(std::vector<std::string> options) {
        const fs::path out = folder_ / ("preview" + std::to_string(count_++) + ".png");
        options.insert(options.begin(), "render-preview");
        options.push_back("--out");
        options.push_back(out.string());
        diag.lines.clear();
        EXPECT_EQ(diag.run(options), 0);
        EXPECT_EQ(diag.lines, (Lines{"wrote " + out.string()}));
        std::ifstream file(out, std::ios::binary);
        std::ostringstream bytes;
        bytes << file.rdbuf();
        return bytes.str();
    }

    DiagHarness diag;
    fs::path folder_;
    int count_ = 0;
};

TEST_F(RenderPreviewCommandTest, WithoutOptionsWritesTheTracksOverviewHere) {
    const fs::path before = fs::current_path();
    fs::current_path(folder_);
    const int status = diag.run({"render-preview"});
    fs::current_path(before);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(diag.lines, (Lines{"wrote " + (folder_ / "preview-tracks.png").string()}));
    std::ifstream file(folder_ / "preview-tracks.png", std::ios::binary);
    char signature[8] = {};
    file.read(signature, 8);
    EXPECT_EQ(std::string(signature + 1, 3), "PNG");
}

TEST_F(RenderPreviewCommandTest, EveryScreenDrawsItsOwnPicture) {
    std::vector<std::string> pictures;
    for (const char* screen : {"tracks", "track", "mix", "device", "scale", "popup", "status", "map"}) {
        pictures.push_back(render({"--screen", screen}));
        for (std::size_t i = 0; i + 1 < pictures.size(); ++i)
            EXPECT_NE(pictures[i], pictures.back()) << screen;
    }
    const std::string small = render({"--screen", "map"});
    EXPECT_GT(render({"--screen", "map", "--scale", "2"}).size(), small.size());
}

TEST_F(RenderPreviewCommandTest, OptionsOfTheMixAndScalePages) {
    const std::string mix = render({"--screen", "mix"});
    EXPECT_NE(render({"--screen", "mix", "--lower", "2"}), mix);
    EXPECT_EQ(render({"--screen", "mix", "--lower", "x"}), mix);

    const std::string scale = render({"--screen", "scale"});
    EXPECT_NE(render({"--screen", "scale", "--drums"}), scale);
    EXPECT_NE(render({"--screen", "scale", "--scale-index", "0"}), scale);
    // An index outside the scale table counts as none.
    EXPECT_EQ(render({"--screen", "scale", "--scale-index", "9999"}), scale);
}

TEST_F(RenderPreviewCommandTest, UnknownScreensAndUnwritableFilesWriteNothing) {
    EXPECT_EQ(diag.run({"render-preview", "--screen", "Tracks", "--out", (folder_ / "x.png").string()}), 2);
    EXPECT_EQ(diag.lines,
              (Lines{"unknown screen Tracks (tracks, track, mix, device, scale, popup, status, map)"}));
    EXPECT_FALSE(fs::exists(folder_ / "x.png"));

    diag.lines.clear();
    EXPECT_EQ(diag.run({"render-preview", "--out", (folder_ / "missing/x.png").string()}), 1);
    ASSERT_EQ(diag.lines.size(), 1u);
    EXPECT_TRUE(diag.lines[0].starts_with("error: ")) << diag.lines[0];

    diag.lines.clear();
    EXPECT_EQ(diag.run({"render-preview", "--out", ""}), 1);
    ASSERT_EQ(diag.lines.size(), 1u);
    EXPECT_TRUE(diag.lines[0].starts_with("error: ")) << diag.lines[0];

    diag.lines.clear();
    EXPECT_EQ(diag.run({"render-preview", "--scale", "0", "--out", (folder_ / "y.png").string()}), 1);
    EXPECT_FALSE(fs::exists(folder_ / "y.png"));
}

TEST(DemoDataTest, PagesFillTheirSlots) {
    using namespace StateKeys;
    RemoteState state;
    DemoData::populate(state, "9. 2. 1.   0");
    EXPECT_EQ(state.number(Session::page), 3);
    EXPECT_EQ(state.string(Session::bankText), "1–8 of 14");
    EXPECT_EQ(state.string(bankChannel(7, ChannelField::name)), "FX Return");
    EXPECT_TRUE(state.flag(bankChannel(4, ChannelField::selected)));

    DemoData::slots(state, Page::track);
    EXPECT_EQ(state.string(parameter(3, ParameterField::title)), "FX 2-Delay");
    EXPECT_EQ(state.string(parameter(4, ParameterField::title)), std::nullopt);
    EXPECT_EQ(state.number(parameter(1, ParameterField::bipolar)), 1);
    EXPECT_EQ(state.number(parameter(0, ParameterField::value)), 10157);  // 0.62 of 16383

    RemoteState mix;
    DemoData::slots(mix, Page::mix);
    EXPECT_EQ(mix.string(parameter(7, ParameterField::valueText)), "-∞ dB");
    EXPECT_EQ(mix.number(parameter(7, ParameterField::value)), 0);
}

}  // namespace
}  // namespace corvane
