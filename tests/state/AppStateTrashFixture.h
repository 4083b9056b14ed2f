#pragma once
// The queue tests' fixture: a real scanned folder and a Trash in a private data folder beside it.
#include "state/AppStateTestSupport.h"
#include "support/RecordingDesktop.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace tallymere::test {

inline std::vector<std::string> queuedPaths(const AppState& state) {
    std::vector<std::string> paths;
    for (const auto& item : state.queue()) paths.push_back(item->path());
    return paths;
}

// A real scanned tree and a Trash in a private data folder on the same device.
class AppStateTrash : public ::testing::Test {
protected:
    void SetUp() override {
        const char* previous = std::getenv("XDG_DATA_HOME");
        if (previous) savedDataHome = previous;
        ::setenv("XDG_DATA_HOME", (dir / "data").c_str(), 1);
        dir.folder("data");
        dir.file("scan/one.bin", 5000);
        dir.file("scan/two.bin", 3000);
        dir.file("scan/keep.txt", 10);
        dir.file("scan/sub/three.bin", 2000);
        scanRoot = dir / "scan";
        ASSERT_TRUE(scanAndWait(state, scanRoot));
        ASSERT_TRUE(state.root());
    }
    void TearDown() override {
        if (savedDataHome) ::setenv("XDG_DATA_HOME", savedDataHome->c_str(), 1);
        else ::unsetenv("XDG_DATA_HOME");
    }

    AppState::NodePtr node(const std::string& relative) {
        return AppState::nodeAt(scanRoot + "/" + relative, state.displayRoot());
    }
    bool inTrash(const std::string& name) { return std::filesystem::exists(dir / ("data/Trash/files/" + name)); }

    TempFolder dir;
    std::optional<std::string> savedDataHome;
    std::string scanRoot;
    // Before the store: the desktop it reports to must outlive it.
    RecordingDesktop desktop;
    AppState state{memoryStore()};
};

} // namespace tallymere::test
