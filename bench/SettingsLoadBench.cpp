// Loading the settings file: time per megabyte of the shapes that cost the most per byte (many
// tiny objects, arrays nested as deep as allowed, many keys) beside a plain file of a few long
// texts. Loading stops at the first value past the bound on values, so at the size bound
// the worst shapes cost only what comes before it.

#include "platform/UserDefaults.h"
#include "tests/support/TemporaryFolder.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

namespace corvane {
namespace {

namespace fs = std::filesystem;

enum class Shape { flat, objects, nestedArrays, keys, keysInNoOrder };

// A text of `size` bytes, give or take a few, of one shape.
std::string settingsText(Shape shape, std::size_t size) {
    std::string text;
    text.reserve(size + 64);
    switch (shape) {
        case Shape::flat:
            text = "{";
            for (int i = 0; i < 4; ++i) {
                text += std::string(i ? "," : "") + "\"k" + std::to_string(i) + "\":\"";
                text += std::string(size / 4 - 16, 'x') + "\"";
            }
            return text + "}";
        case Shape::objects:
            text = R"({"a":[{})";
            while (text.size() + 5 < size) text += ",{}";
            return text + "]}";
        case Shape::nestedArrays: {
            const std::size_t levels = UserDefaults::maxNesting - 2;
            const std::string chain = std::string(levels, '[') + std::string(levels, ']');
            text = R"({"a":[)" + chain;
            while (text.size() + chain.size() + 3 < size) text += "," + chain;
            return text + "]}";
        }
        case Shape::keys:
            text = "{";
            for (std::uint32_t i = 0; text.size() + 20 < size; ++i) {
                text += (i ? ",\"k" : "\"k") + std::to_string(i) + "\":0";
            }
            return text + "}";
        case Shape::keysInNoOrder:
            // As a map finds them hardest to place.
            text = "{";
            for (std::uint32_t i = 0; text.size() + 20 < size; ++i) {
                text += (i ? ",\"" : "\"") + std::to_string((i * 2654435761u) % 100'000'000u) + "\":0";
            }
            return text + "}";
    }
    return text;
}

void BM_LoadSettings(benchmark::State& state, Shape shape) {
    const fs::path folder = newTemporaryFolder("corvane-bench-settings");
    const fs::path file = folder / "defaults.json";
    const std::string text = settingsText(shape, static_cast<std::size_t>(state.range(0)));
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
    fs::remove_all(folder);
}

// 1 MB, at which every shape here is still taken, and the bound, at which the many values of the
// worst shapes are refused.
void sizes(benchmark::internal::Benchmark* bench) {
    bench->Arg(1'000'000)->Arg(UserDefaults::maxFileMebibytes * 1024 * 1024)->Unit(benchmark::kMillisecond);
}

BENCHMARK_CAPTURE(BM_LoadSettings, flat, Shape::flat)->Apply(sizes);
BENCHMARK_CAPTURE(BM_LoadSettings, objects, Shape::objects)->Apply(sizes);
BENCHMARK_CAPTURE(BM_LoadSettings, nestedArrays, Shape::nestedArrays)->Apply(sizes);
BENCHMARK_CAPTURE(BM_LoadSettings, keys, Shape::keys)->Apply(sizes);
BENCHMARK_CAPTURE(BM_LoadSettings, keysInNoOrder, Shape::keysInNoOrder)->Apply(sizes);

}  // namespace
}  // namespace corvane
