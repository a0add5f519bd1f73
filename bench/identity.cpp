// Identity of an executable: product, company and version of the program's own executable
// (read from its file every time, as the update check does), and Uninstall lookups over
// machine registries of 300 to 20,000 entries. Everything lives in a temporary folder.
#include "identity/U_TallyFct.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/stat.h>

namespace {

std::string g_exe;
std::filesystem::path g_root;

void BM_OwnIdentity(benchmark::State& state) {
    for (auto _ : state) {
        TDisplayedFileInfo info = GetDisplayedFileInfo(g_exe);
        benchmark::DoNotOptimize(info);
    }
}
BENCHMARK(BM_OwnIdentity);

void BM_OwnVersionText(benchmark::State& state) {
    for (auto _ : state) {
        std::string v = DisplayedVersionText(g_exe, "", "");
        benchmark::DoNotOptimize(v);
    }
}
BENCHMARK(BM_OwnVersionText);

std::filesystem::path MachineFolder(std::int64_t Entries) {
    return g_root / ("machine-" + std::to_string(Entries));
}

void WriteMachine(std::int64_t Entries) {
    std::filesystem::create_directories(MachineFolder(Entries));
    std::ofstream reg(MachineFolder(Entries) / "entries.reg", std::ios::binary);
    reg << "REGEDIT4\r\n\r\n";
    for (std::int64_t i = 0; i < Entries; ++i)
        reg << "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
            << "Entry" << i << "]\r\n\"DisplayName\"=\"Product " << i
            << "\"\r\n\"DisplayVersion\"=\"1." << i << "\"\r\n\"Publisher\"=\"Maker " << i
            << "\"\r\n\r\n";
}

// One lookup: every entry of the Uninstall key is opened and its DisplayName read.
void BM_InstalledVersion(benchmark::State& state) {
    setenv("HUELET_MACHINE_REGISTRY_DIR", MachineFolder(state.range(0)).c_str(), 1);
    for (auto _ : state) {
        std::string v = InstalledVersion("Product 250");
        benchmark::DoNotOptimize(v);
    }
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_InstalledVersion)
    ->Arg(300)
    ->Arg(1000)
    ->Arg(2000)
    ->Arg(20000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity();

// The same lookup right after the machine file changed, so that it is read and parsed again.
void BM_InstalledVersionAfterChange(benchmark::State& state) {
    setenv("HUELET_MACHINE_REGISTRY_DIR", MachineFolder(state.range(0)).c_str(), 1);
    const std::string file = (MachineFolder(state.range(0)) / "entries.reg").string();
    long stamp = 1000000000;
    for (auto _ : state) {
        state.PauseTiming();
        const timespec times[2] = {{stamp, 0}, {stamp, 0}};
        ++stamp;
        utimensat(AT_FDCWD, file.c_str(), times, 0);
        state.ResumeTiming();
        std::string v = InstalledVersion("Product 250");
        benchmark::DoNotOptimize(v);
    }
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_InstalledVersionAfterChange)
    ->Arg(1000)
    ->Arg(2000)
    ->Arg(20000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity();

} // namespace

int main(int argc, char** argv) {
    // The program sits one folder above the benchmarks.
    g_exe = (std::filesystem::absolute(argv[0]).parent_path().parent_path() / "huelet").string();
    g_root = std::filesystem::temp_directory_path() / "huelet-bench-identity";
    std::filesystem::create_directories(g_root / "registry");
    setenv("HOME", g_root.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (g_root / "config").c_str(), 1);
    setenv("HUELET_REGISTRY_DIR", (g_root / "registry").c_str(), 1);
    for (std::int64_t entries : {300, 1000, 2000, 20000})
        WriteMachine(entries);
    setenv("HUELET_MACHINE_REGISTRY_DIR", MachineFolder(300).c_str(), 1);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::filesystem::remove_all(g_root);
    return 0;
}
