// main() of the GUI tests: an offscreen QApplication around the GoogleTest run.
#include "support/TempFolder.h"

#include <QApplication>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    // The views read and write the user's data, settings and caches (the snapshots tab lists its
    // folder as soon as it is shown): each run gets folders of its own, so no test touches the
    // real home or depends on what it holds, and runs side by side share nothing.
    const tallymere::test::TempFolder home("tallymere-gui-test");
    ::setenv("XDG_DATA_HOME", home.folder("data").c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", home.folder("config").c_str(), 1);
    ::setenv("XDG_CACHE_HOME", home.folder("cache").c_str(), 1);
    const std::string runtime = home.folder("runtime");
    ::chmod(runtime.c_str(), 0700);
    ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
