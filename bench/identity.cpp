// Identity of an executable: product, company and version of the program's own executable
// (read from its file every time, as the update check does), and an Uninstall lookup over a
// machine registry of a few hundred entries. Everything lives in a temporary folder.
#include "identity/U_TallyFct.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

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

void BM_InstalledVersion(benchmark::State& state) {
    for (auto _ : state) {
        std::string v = InstalledVersion("Product 250");
        benchmark::DoNotOptimize(v);
    }
}
BENCHMARK(BM_InstalledVersion);

} // namespace

int main(int argc, char** argv) {
    // The program sits one folder above the benchmarks.
    g_exe = (std::filesystem::absolute(argv[0]).parent_path().parent_path() / "huelet").string();
    g_root = std::filesystem::temp_directory_path() / "huelet-bench-identity";
    std::filesystem::create_directories(g_root / "machine");
    std::filesystem::create_directories(g_root / "registry");
    setenv("HOME", g_root.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (g_root / "config").c_str(), 1);
    setenv("HUELET_REGISTRY_DIR", (g_root / "registry").c_str(), 1);
    setenv("HUELET_MACHINE_REGISTRY_DIR", (g_root / "machine").c_str(), 1);
    {
        std::ofstream reg(g_root / "machine" / "entries.reg", std::ios::binary);
        reg << "REGEDIT4\r\n\r\n";
        for (int i = 0; i < 300; ++i)
            reg << "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
                << "Entry" << i << "]\r\n\"DisplayName\"=\"Product " << i
                << "\"\r\n\"DisplayVersion\"=\"1." << i << "\"\r\n\r\n";
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::filesystem::remove_all(g_root);
    return 0;
}
