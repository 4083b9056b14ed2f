#include "platform/DesktopEntries.h"
#include "platform/InstalledNames.h"
#include "support/DeadFuse.h"
#include "support/TempFolder.h"
#include "support/EndsWithin.h"
#include "support/Unprivileged.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace tallymere {
namespace {

void write(const std::string& path, const std::string& text) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path) << text;
}

// Where a mount that never answers holds one launcher's program, a folder of PATH and the AppStream
// folder, what the Applications tab reads is read within the gate's bound: the launcher is left out
// and the others listed, a program is found in the next folder of PATH, the release in the next
// AppStream folder, the installed names in the folders that answer; and the process that read them
// can end while the mount stays dead.
TEST(DesktopEntriesBound, AMountThatNeverAnswersLeavesOutWhatItHoldsAndTheRestIsRead) {
    test::TempFolder dir;
    const std::string dead = dir.folder("dead");
    const std::string bin = dir.folder("bin");
    const std::string data = dir / "data";
    write(bin + "/tool", "#!/bin/sh\n");
    ASSERT_EQ(::chmod((bin + "/tool").c_str(), 0755), 0);
    const std::string entry = "[Desktop Entry]\nType=Application\nName=";
    write(data + "/applications/org.example.Tool.desktop", entry + "Tool\nExec=" + bin + "/tool\n");
    write(data + "/applications/org.example.Gone.desktop", entry + "Gone\nExec=gone\nTryExec=" + dead + "/gone\n");
    write(data + "/appdata/org.example.Tool.appdata.xml", "<component><releases><release version=\"2.0\"/></releases></component>");
    std::filesystem::create_directory_symlink(dead, data + "/metainfo");
    const std::string system = dir.folder("system");

    const bool ran = test::runInPrivateMounts([&] {
        test::DeadFuse fuse(dead);
        if (!fuse.isMounted()) ::_exit(77);
        ::setenv("XDG_DATA_HOME", data.c_str(), 1);
        ::setenv("XDG_DATA_DIRS", system.c_str(), 1);
        ::setenv("PATH", (dead + ":" + bin).c_str(), 1);
        const bool ended = test::endsWithin(30, [&] {
            std::vector<std::string> names;
            for (const DesktopEntry& listed : DesktopEntries::list()) names.push_back(listed.name);
            EXPECT_EQ(names, std::vector<std::string>{"Tool"});
            EXPECT_EQ(DesktopEntries::resolveProgram("tool"), bin + "/tool");
            EXPECT_EQ(DesktopEntries::appStreamVersion(data + "/applications/org.example.Tool.desktop",
                                                       "org.example.Tool.desktop"),
                      "2.0");
            const InstalledNameSources sources{
                .dpkgStatus = dir / "none", .path = dead + ":" + bin, .flatpakApps = {dead}, .snapRoot = dead};
            EXPECT_EQ(InstalledNames::read(sources), std::vector<std::string>{"tool"});
        });
        EXPECT_TRUE(ended) << "a process that read the launchers could not end";
    });
    if (!ran) GTEST_SKIP() << "no FUSE mount in a private mount namespace here";
}

} // namespace
} // namespace tallymere
