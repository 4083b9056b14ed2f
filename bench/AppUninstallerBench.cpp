// Applications benchmark: a whole discovery (launchers, bundle sizes, the support index with every
// item measured and checked, matching and orphans) on a generated home of 200 user launchers, each
// with its own program folder (measured whole), and 2,000 support items, folders and files. Run at
// most four measures at a time.
//
//   AppUninstallerBench [runs]   best of `runs` (default 3); the target is at most 1 s
#include "services/AppUninstaller.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

using namespace tallymere;
namespace fs = std::filesystem;

namespace {

void write(const fs::path& path, std::size_t bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << std::string(bytes, 'x');
}

} // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    char pattern[] = "/tmp/tallymere-appbench-XXXXXX";
    const fs::path root = ::mkdtemp(pattern);
    const fs::path home = root / "home";
    // The desktop library reads these once, before its first use.
    ::setenv("HOME", home.c_str(), 1);
    ::setenv("XDG_DATA_HOME", (home / ".local/share").c_str(), 1);
    ::setenv("XDG_DATA_DIRS", (root / "none").c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (home / ".config").c_str(), 1);
    ::setenv("XDG_CACHE_HOME", (home / ".cache").c_str(), 1);
    ::setenv("XDG_STATE_HOME", (home / ".local/state").c_str(), 1);

    for (int i = 0; i < 200; ++i) {
        char appId[32];
        std::snprintf(appId, sizeof appId, "com.bench.App%03d", i);
        const std::string id = appId;
        const fs::path program = home / ".local/opt" / ("App" + std::to_string(i)) / "app";
        write(program, 20'000);
        for (int f = 0; f < 8; ++f) write(program.parent_path() / "resources" / std::to_string(f), 4'000);
        fs::permissions(program, fs::perms::owner_all);
        std::ofstream(home / ".local/share/applications" / (id + ".desktop"))
            << "[Desktop Entry]\nType=Application\nName=Bench App " << i << "\nExec=" << program.string() << "\n";
        fs::create_directories(home / ".local/share/applications");
    }
    // Launchers were written after their folder existed only from the second on: write them again.
    for (int i = 0; i < 200; ++i) {
        char appId[32];
        std::snprintf(appId, sizeof appId, "com.bench.App%03d", i);
        const std::string id = appId;
        std::ofstream(home / ".local/share/applications" / (id + ".desktop"))
            << "[Desktop Entry]\nType=Application\nName=Bench App " << i
            << "\nExec=" << (home / ".local/opt" / ("App" + std::to_string(i)) / "app").string() << "\n";
    }
    const char* roots[] = {".cache", ".config", ".local/state", ".local/share"};
    for (int i = 0; i < 2000; ++i) {
        const fs::path base = home / roots[i % 4];
        char appId[32];
        std::snprintf(appId, sizeof appId, "com.bench.App%03d", i % 250);
        const std::string name = i % 3 == 0 ? std::string(appId) : "item-" + std::to_string(i);
        if (i % 2 == 0) {
            for (int f = 0; f < 5; ++f) write(base / name / ("f" + std::to_string(f)), 2'000);
        } else {
            write(base / (name + ".dat"), 3'000);
        }
    }

    const AppSources sources = AppSources::system();
    double best = 1e9;
    AppInventory inventory;
    for (int run = 0; run < runs; ++run) {
        const auto start = std::chrono::steady_clock::now();
        inventory = AppUninstaller::scan(sources);
        best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    std::size_t leftovers = 0;
    for (const auto& app : inventory.apps) leftovers += app.leftovers.size();
    std::printf("app discovery: %zu apps, %zu leftovers, %zu orphans  %8.3f s best of %d  (target <= 1 s)\n",
                inventory.apps.size(), leftovers, inventory.orphans.size(), best, runs);
    fs::remove_all(root);
    return best <= 1.0 ? 0 : 1;
}
