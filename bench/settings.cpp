// settings.ini import and export with 1,000, 2,000 and 20,000 settings (half texts, half
// numbers), each in a scratch HOME and registry folder below /tmp, removed at exit.
#include "platform/registry.h"
#include "services/settings_store.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

const std::string kProgramKey = std::string(kMakerKey) + "\\Huelet";
std::filesystem::path g_root;

std::string IniPath(std::int64_t Count) {
    return (g_root / ("settings-" + std::to_string(Count) + ".ini")).string();
}

void WriteIni(std::int64_t Count) {
    std::ofstream ini(IniPath(Count), std::ios::binary);
    ini << "[Settings]\r\n";
    for (std::int64_t i = 0; i < Count / 2; ++i)
        ini << "Text" << i << "=C:\\Pictures\\holiday " << i << ".jpg\r\n";
    ini << "[Settings_DWORD]\r\n";
    for (std::int64_t i = 0; i < Count - Count / 2; ++i)
        ini << "Number" << i << "=" << i * 7 << "\r\n";
}

void BM_Import(benchmark::State& state) {
    WriteIni(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        reg::DeleteKeyTree(reg::Root::CurrentUser, kProgramKey);
        state.ResumeTiming();
        auto problems = ImportSettingsIni("Huelet", IniPath(state.range(0)));
        benchmark::DoNotOptimize(problems);
    }
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_Import)->Arg(1000)->Arg(2000)->Arg(20000)->Unit(benchmark::kMillisecond)->Complexity();

void BM_Export(benchmark::State& state) {
    std::vector<reg::Value> values;
    for (std::int64_t i = 0; i < state.range(0) / 2; ++i)
        values.push_back(reg::Value::String("Text" + std::to_string(i),
                                            "C:\\Pictures\\holiday " + std::to_string(i) + ".jpg"));
    for (std::int64_t i = 0; i < state.range(0) - state.range(0) / 2; ++i)
        values.push_back(
            reg::Value::Dword("Number" + std::to_string(i), static_cast<std::uint32_t>(i * 7)));
    reg::DeleteKeyTree(reg::Root::CurrentUser, kProgramKey);
    reg::WriteValues(reg::Root::CurrentUser, kProgramKey, values);
    const std::string out = (g_root / "export.ini").string();
    for (auto _ : state) {
        state.PauseTiming();
        std::filesystem::remove(out);
        state.ResumeTiming();
        if (!ExportSettingsIni("Huelet", out))
            state.SkipWithError("export failed");
    }
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_Export)->Arg(1000)->Arg(2000)->Arg(20000)->Unit(benchmark::kMillisecond)->Complexity();

} // namespace

int main(int argc, char** argv) {
    g_root = std::filesystem::temp_directory_path() / "huelet-bench-settings";
    std::filesystem::remove_all(g_root);
    std::filesystem::create_directories(g_root / "registry");
    std::filesystem::create_directories(g_root / "machine");
    setenv("HOME", g_root.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (g_root / "config").c_str(), 1);
    setenv("HUELET_REGISTRY_DIR", (g_root / "registry").c_str(), 1);
    setenv("HUELET_MACHINE_REGISTRY_DIR", (g_root / "machine").c_str(), 1);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::filesystem::remove_all(g_root);
    return 0;
}
