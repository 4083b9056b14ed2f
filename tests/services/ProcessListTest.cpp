#include "services/ProcessList.h"

#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace tallymere {
namespace {

TEST(ProcessListParse, ReadsFieldsAndJoinsNames) {
    const auto samples = ProcessList::parse("\n\n   123 4.5 2048 Web   Content\n"
                                            "1 150.0 0 kworker/0:1\n"
                                            "+7 -0.0 +3 a\tb\n");
    ASSERT_EQ(samples.size(), 3u);
    EXPECT_EQ(samples[0], (ProcessSample{.pid = 123, .name = "Web Content", .cpu = 0.045, .residentBytes = 2097152}));
    EXPECT_DOUBLE_EQ(samples[1].cpu, 1.5);
    EXPECT_EQ(samples[1].name, "kworker/0:1");
    EXPECT_EQ(samples[2].pid, 7);
    EXPECT_EQ(samples[2].residentBytes, 3072);
    EXPECT_EQ(samples[2].name, "a\tb"); // a tab is part of a field
    EXPECT_TRUE(ProcessList::parse("").empty());
    EXPECT_TRUE(ProcessList::parse("\n\n\n").empty());
}

TEST(ProcessListParse, SkipsBadLinesButCountsThem) {
    const auto samples = ProcessList::parse("12 1.0 100\n"                 // three fields
                                            "abc 1.0 100 x\n"              // letters in the id
                                            "12345678901 1.0 100 x\n"      // does not fit 32 bits
                                            "5 nan 100 x\n"                // not a finite share
                                            "6 inf 100 x\n"
                                            "7 1.0 99999999999999999999 x\n" // does not fit 64 bits
                                            "8 1.0 1x x\n"
                                            "9 2.5 10 good one\n");
    ASSERT_EQ(samples.size(), 1u);
    EXPECT_EQ(samples[0].pid, 9);
    EXPECT_EQ(samples[0].name, "good one");

    std::string many;
    for (int i = 0; i < 100; ++i) many += std::to_string(1000 + i) + " 1.0 8 p" + std::to_string(i) + "\n";
    const auto first = ProcessList::parse(many);
    ASSERT_EQ(first.size(), ProcessList::maxLines);
    EXPECT_EQ(first.front().pid, 1000);
    EXPECT_EQ(first.back().pid, 1039);
    // a skipped line still counts towards the forty
    const auto fewer = ProcessList::parse("x\n" + many);
    EXPECT_EQ(fewer.size(), ProcessList::maxLines - 1);
}

// The kernel keeps 15 bytes of a program's name; the list shows the whole name where the program's
// file or first argument begins with those 15, and the printed name anywhere else. The process
// folders here are a fixture standing in for /proc.
TEST(ProcessListNames, ANameTheKernelCutIsCompletedFromTheProgramsFileOrFirstArgument) {
    test::TempFolder proc;
    const auto process = [&](int pid, const std::string& exe, const std::string& cmdline) {
        const std::string folder = proc.folder(std::to_string(pid));
        if (!exe.empty()) std::filesystem::create_symlink(exe, folder + "/exe");
        if (!cmdline.empty()) std::ofstream(folder + "/cmdline", std::ios::binary) << cmdline;
    };
    using namespace std::string_literals;
    process(100, "/opt/tallymere/bin/tallymere-window", "tallymere-window\0"s);
    process(101, "/opt/tallymere/bin/tallymere-window (deleted)", ""); // rebuilt while it runs
    process(102, "", "/usr/libexec/gnome-shell-calendar-server\0--flag\0"s); // the file not ours to read
    process(103, "", "/opt/browser/chrome-sandbox-helper --type=renderer /x/y"); // arguments rewritten as one
    process(104, "/usr/bin/python3.11", "/usr/bin/python3.11\0/home/me/my-long-script-name.py\0"s);
    process(105, "/usr/bin/bash-with-long-name", "bash\0"s);
    process(106, "/usr/bin/tallymere-windo", "tallymere-windo\0"s); // the name is 15 bytes long
    std::vector<ProcessSample> samples{{.pid = 100, .name = "tallymere-windo"}, {.pid = 101, .name = "tallymere-windo"},
                                       {.pid = 102, .name = "gnome-shell-cal"}, {.pid = 103, .name = "chrome-sandbox-"},
                                       {.pid = 104, .name = "my-long-script-"}, {.pid = 105, .name = "bash"},
                                       {.pid = 106, .name = "tallymere-windo"}, {.pid = 107, .name = "gone-long-name-"}};
    ProcessList::completeNames(samples, proc.path());
    std::vector<std::string> names;
    for (const ProcessSample& sample : samples) names.push_back(sample.name);
    EXPECT_EQ(names, (std::vector<std::string>{"tallymere-window", "tallymere-window", "gnome-shell-calendar-server",
                                               "chrome-sandbox-helper", "my-long-script-", "bash", "tallymere-windo",
                                               "gone-long-name-"}));
}

TEST(ProcessListRun, HungListerKeepsTheOldListAndMissingOneEmptiesIt) {
    EXPECT_FALSE(ProcessList::fromOutput({.status = CommandOutput::Status::timedOut}));
    const auto missing = ProcessList::fromOutput({.status = CommandOutput::Status::notStarted});
    ASSERT_TRUE(missing);
    EXPECT_TRUE(missing->empty());
    // The real lister: this machine's processes, each with sound figures. (Its order is the
    // lister's own, sorted on figures that move while it prints, so it is not checked here; the
    // parser's keeping of that order is, above.)
    const auto live = ProcessList::sample();
    ASSERT_TRUE(live);
    ASSERT_FALSE(live->empty());
    for (const ProcessSample& process : *live) {
        EXPECT_GT(process.pid, 0);
        EXPECT_GE(process.cpu, 0);
        EXPECT_GE(process.residentBytes, 0);
    }
}

} // namespace
} // namespace tallymere
