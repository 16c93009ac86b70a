// Loading the settings file: time per megabyte of the shapes that cost the most per byte (many
// tiny objects, arrays nested as deep as allowed, many keys) beside a plain file of a few long
// texts, at 1 MB, at the size bound, and as large as the bound on values lets each shape load.
// Loading stops at the first value past the bound on values, so at the size bound the worst
// shapes cost only what comes before it; "values" shows how many a file holds, "refused" whether
// it was kept aside.
// Broken files cost what the parser spends on its message: every character since the last text
// or number is kept for it, so blank lines, spaces or literals before a typo are quoted whole.
// Saving: a change to a large file written out again, as a change within the program does; and
// a change while a broken file that cannot be moved aside waits to be read, which reads it again
// before each save and writes nothing.

#include "platform/UserDefaults.h"
#include "tests/support/TemporaryFolder.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

namespace corvane {
namespace {

namespace fs = std::filesystem;

enum class Shape { flat, objects, nestedArrays, keys, keysInNoOrder, blankLines, spaces, literals };

// A text of about `size` bytes of one shape, cut short where it would hold more than `maxValues`.
struct SettingsText {
    std::string text;
    std::size_t values = 0;
};

SettingsText settingsText(Shape shape, std::size_t size, std::size_t maxValues) {
    SettingsText made;
    std::string& text = made.text;
    std::size_t& values = made.values;
    text.reserve(size + 64);
    values = 1;  // the outer object
    const auto room = [&](std::size_t bytes, std::size_t more) {
        return text.size() + bytes < size && values + more <= maxValues;
    };
    switch (shape) {
        case Shape::flat:
            text = "{";
            for (int i = 0; i < 4; ++i) {
                text += std::string(i ? "," : "") + "\"k" + std::to_string(i) + "\":\"";
                text += std::string(size / 4 - 16, 'x') + "\"";
                ++values;
            }
            text += "}";
            break;
        case Shape::objects:
            text = R"({"a":[{})";
            values += 2;
            while (room(5, 1)) {
                text += ",{}";
                ++values;
            }
            text += "]}";
            break;
        case Shape::nestedArrays: {
            const std::size_t levels = UserDefaults::maxNesting - 2;
            const std::string chain = std::string(levels, '[') + std::string(levels, ']');
            text = R"({"a":[)" + chain;
            values += 1 + levels;
            while (room(chain.size() + 3, levels)) {
                text += "," + chain;
                values += levels;
            }
            text += "]}";
            break;
        }
        case Shape::keys:
            text = "{";
            for (std::uint32_t i = 0; room(20, 1); ++i) {
                text += (i ? ",\"k" : "\"k") + std::to_string(i) + "\":0";
                ++values;
            }
            text += "}";
            break;
        case Shape::keysInNoOrder:
            // As a map finds them hardest to place.
            text = "{";
            for (std::uint32_t i = 0; room(20, 1); ++i) {
                text += (i ? ",\"" : "\"") + std::to_string((i * 2654435761u) % 100'000'000u) + "\":0";
                ++values;
            }
            text += "}";
            break;
        case Shape::blankLines:
        case Shape::spaces:
            // Unquoted keys: a typo that no text or number comes before.
            text.assign(size - 16, shape == Shape::blankLines ? '\n' : ' ');
            text += "{pads.root: 5}";
            break;
        case Shape::literals:
            text = "[true";
            ++values;
            while (room(16, 1)) {
                text += ",true";
                ++values;
            }
            text += ",tru]";
            break;
    }
    return made;
}

// range(0): the size; range(1): 1 to keep within the bound on values, so that the file loads.
void BM_LoadSettings(benchmark::State& state, Shape shape) {
    const fs::path folder = newTemporaryFolder("corvane-bench-settings");
    const fs::path file = folder / "defaults.json";
    const SettingsText made = settingsText(shape, static_cast<std::size_t>(state.range(0)),
                                           state.range(1) != 0 ? UserDefaults::maxValues : SIZE_MAX);
    const std::string& text = made.text;
    bool refused = false;
    for (auto _ : state) {
        state.PauseTiming();
        std::ofstream(file, std::ios::trunc) << text;
        state.ResumeTiming();
        auto defaults = std::make_unique<UserDefaults>(folder, [&](const std::string&) { refused = true; });
        state.PauseTiming();
        defaults.reset();
        for (const auto& entry : fs::directory_iterator(folder)) fs::remove_all(entry.path());
        state.ResumeTiming();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text.size()));
    state.counters["refused"] = refused ? 1 : 0;
    state.counters["values"] = static_cast<double>(made.values);
    fs::remove_all(folder);
}

// 1 MB, at which every shape here is still taken; the size bound, at which the many values of
// the worst shapes are refused; and as large as each shape loads, up to the size bound.
void sizes(benchmark::internal::Benchmark* bench) {
    const auto bound = static_cast<std::int64_t>(UserDefaults::maxFileMebibytes * 1024 * 1024);
    bench->Args({1'000'000, 0})->Args({bound, 0})->Args({bound, 1})->Unit(benchmark::kMillisecond);
}

BENCHMARK_CAPTURE(BM_LoadSettings, flat, Shape::flat)->Apply(sizes);
BENCHMARK_CAPTURE(BM_LoadSettings, objects, Shape::objects)->Apply(sizes);
BENCHMARK_CAPTURE(BM_LoadSettings, nestedArrays, Shape::nestedArrays)->Apply(sizes);
BENCHMARK_CAPTURE(BM_LoadSettings, keys, Shape::keys)->Apply(sizes);
BENCHMARK_CAPTURE(BM_LoadSettings, keysInNoOrder, Shape::keysInNoOrder)->Apply(sizes);

// Broken from the start: 1 MB and the size bound, the literals as many as are taken.
void brokenSizes(benchmark::internal::Benchmark* bench) {
    const auto bound = static_cast<std::int64_t>(UserDefaults::maxFileMebibytes * 1024 * 1024);
    bench->Args({1'000'000, 1})->Args({bound, 1})->Unit(benchmark::kMillisecond);
}

BENCHMARK_CAPTURE(BM_LoadSettings, blankLines, Shape::blankLines)->Apply(brokenSizes);
BENCHMARK_CAPTURE(BM_LoadSettings, spaces, Shape::spaces)->Apply(brokenSizes);
BENCHMARK_CAPTURE(BM_LoadSettings, literals, Shape::literals)->Apply(brokenSizes);

// One change to a file of the shape, saved; "bytes" is the size of the file written. Room is left
// for the changed key among the values.
void BM_SaveSettings(benchmark::State& state, Shape shape) {
    const fs::path folder = newTemporaryFolder("corvane-bench-settings");
    const SettingsText made =
        settingsText(shape, static_cast<std::size_t>(state.range(0)), UserDefaults::maxValues - 1);
    std::ofstream(folder / "defaults.json") << made.text;
    bool refused = false;
    UserDefaults defaults(folder, [&](const std::string&) { refused = true; }, std::chrono::hours(1));
    std::int64_t root = 0;
    for (auto _ : state) {
        defaults.set("pads.root", ++root);
        defaults.flush();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(made.text.size()));
    std::error_code ignored;
    state.counters["bytes"] = static_cast<double>(fs::file_size(defaults.filePath(), ignored));
    state.counters["refused"] = refused ? 1 : 0;
    fs::remove_all(folder);
}

// At the size bound the change leaves the indented text too long, so the file is written compact.
void saveSizes(benchmark::internal::Benchmark* bench) {
    const auto bound = static_cast<std::int64_t>(UserDefaults::maxFileMebibytes * 1024 * 1024);
    bench->Args({1'000'000})->Args({15'000'000})->Args({bound})->Unit(benchmark::kMillisecond);
}

BENCHMARK_CAPTURE(BM_SaveSettings, flat, Shape::flat)->Apply(saveSizes);
BENCHMARK_CAPTURE(BM_SaveSettings, keys, Shape::keys)->Apply(saveSizes);
BENCHMARK_CAPTURE(BM_SaveSettings, nestedArrays, Shape::nestedArrays)->Apply(saveSizes);

// A folder whose path leaves room for "defaults.json.corrupt", taken, and not for
// "defaults.json.corrupt.1": the kernel refuses names past 4,095 bytes, for root too.
fs::path folderThatKeepsNothingAside(const fs::path& root) {
    const std::size_t length = 4086 - std::string("/defaults.json").size();
    fs::path folder = root;
    while (length - folder.string().size() > 250) folder /= std::string(199, 'd');
    folder /= std::string(length - folder.string().size() - 1, 'd');
    fs::create_directories(folder);
    std::ofstream(folder / "defaults.json.corrupt") << "kept earlier";
    return folder;
}

// One change while the file of the shape, cut short by a byte so that the parser reads it all
// before refusing it, waits to be read.
void BM_SaveSettingsWhileUnread(benchmark::State& state, Shape shape) {
    const fs::path temporary = newTemporaryFolder("corvane-bench-settings");
    const fs::path folder = folderThatKeepsNothingAside(temporary);
    SettingsText made =
        settingsText(shape, static_cast<std::size_t>(state.range(0)), UserDefaults::maxValues);
    made.text.pop_back();
    std::ofstream(folder / "defaults.json") << made.text;
    bool stuck = false;
    {
        UserDefaults defaults(
            folder, [&](const std::string&) { stuck = true; }, std::chrono::hours(1));
        std::int64_t root = 0;
        for (auto _ : state) {
            defaults.set("pads.root", ++root);
            defaults.flush();
        }
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(made.text.size()));
    state.counters["stuck"] = stuck ? 1 : 0;
    state.counters["unread"] = fs::file_size(folder / "defaults.json") == made.text.size() ? 1 : 0;
    // Gone, the defaults save nothing into the folder once it is removed.
    fs::remove_all(temporary);
}

void unreadSizes(benchmark::internal::Benchmark* bench) {
    const auto bound = static_cast<std::int64_t>(UserDefaults::maxFileMebibytes * 1024 * 1024);
    bench->Args({1'000'000})->Args({bound})->Unit(benchmark::kMillisecond);
}

BENCHMARK_CAPTURE(BM_SaveSettingsWhileUnread, flat, Shape::flat)->Apply(unreadSizes);
BENCHMARK_CAPTURE(BM_SaveSettingsWhileUnread, keysInNoOrder, Shape::keysInNoOrder)->Apply(unreadSizes);
BENCHMARK_CAPTURE(BM_SaveSettingsWhileUnread, spaces, Shape::spaces)->Apply(unreadSizes);

}  // namespace
}  // namespace corvane
