#include "cli/CLI.h"
#include "platform/MountTable.h"

#include "core/ByteFormat.h"
#include "services/SnapshotStore.h"
#include "support/DeadFuse.h"
#include "support/EndsWithin.h"
#include "support/StallingFuse.h"
#include "support/TempFolder.h"
#include "support/Unprivileged.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <locale>
#include <sstream>
#include <thread>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tallymere {
namespace {

namespace fs = std::filesystem;
using Command = CLI::Request::Command;

void writeFile(const fs::path& path, std::size_t bytes) { std::ofstream(path, std::ios::binary) << std::string(bytes, 'x'); }

std::string readFile(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) lines.push_back(line);
    return lines;
}

struct Result {
    int status;
    std::string out, err;
};

// Groups digits in threes, as a user's locale may: plain digits must stay plain whatever the
// stream's locale.
struct Grouping : std::numpunct<char> {
    char do_thousands_sep() const override { return ','; }
    std::string do_grouping() const override { return "\3"; }
};

Result run(Command command, const std::string& path, const std::string& folder = "/nonexistent-snapshots") {
    std::ostringstream out, err;
    out.imbue(std::locale(std::locale::classic(), new Grouping));
    const int status = CLI::run({command, path}, out, err, folder);
    return {status, out.str(), err.str()};
}

std::int64_t allocatedBelow(const fs::path& root) {
    std::int64_t total = 0;
    for (const auto& item : fs::recursive_directory_iterator(root)) {
        struct stat info {};
        ::lstat(item.path().c_str(), &info);
        if (!S_ISDIR(info.st_mode)) total += static_cast<std::int64_t>(info.st_blocks) * 512;
    }
    return total;
}

TEST(CommandLineArguments, SnapshotWinsAndOnlyTheFirstOfEachFlagCounts) {
    const std::vector<std::pair<std::vector<std::string>, std::optional<CLI::Request>>> cases = {
        {{"tallymere"}, std::nullopt},
        {{"tallymere", "--scan"}, std::nullopt},
        {{"tallymere", "--scan", "--snapshot"}, CLI::Request{Command::scan, "--snapshot"}},
        {{"tallymere", "--SCAN", "/tmp", "--scan=/tmp", "-scan", "/tmp"}, std::nullopt},
        {{"tallymere", "--scan", "/tmp", "--snapshot", "/var"}, CLI::Request{Command::snapshot, "/var"}},
        {{"tallymere", "--snapshot", "--scan"}, CLI::Request{Command::snapshot, "--scan"}},
        {{"tallymere", "--scan", "a", "--scan", "b"}, CLI::Request{Command::scan, "a"}},
        {{"tallymere", "--scan", "a", "--snapshot"}, CLI::Request{Command::scan, "a"}},
        {{"tallymere", "--snapshot", "", "--scan", "b"}, CLI::Request{Command::snapshot, ""}},
    };
    for (const auto& [arguments, expected] : cases)
        EXPECT_EQ(CLI::parse(arguments), expected) << ::testing::PrintToString(arguments);
}

TEST(CommandLineArguments, UnknownFlagsAndMissingValuesAreNotUnderstood) {
    const std::vector<std::pair<std::vector<std::string>, bool>> cases = {
        {{"tallymere"}, true},
        {{"tallymere", "--scan", "/tmp"}, true},
        {{"tallymere", "--scan", "--snapshot"}, true},
        {{"tallymere", "--shot", "/tmp", "out.png", "explore", "treemap", "slate"}, true},
        {{"tallymere", "--platform", "offscreen", "-style", "fusion"}, true},
        {{"tallymere", "--scan"}, false},
        {{"tallymere", "--snapshot"}, false},
        {{"tallymere", "--scan=/tmp"}, false},
        {{"tallymere", "--bogus"}, false},
        {{"tallymere", "--shot", "/tmp"}, false},
        {{"tallymere", "--shot-settings"}, false},
        // A word that no flag takes is refused where a mode would otherwise ignore it.
        {{"tallymere", "--scan", "/tmp", "extra"}, false},
        {{"tallymere", "stray", "--snapshot", "/tmp"}, false},
        {{"tallymere", "--shot", "/tmp", "out.png", "explore", "treemap", "slate", "extra"}, false},
        {{"tallymere", "--shot-settings", "s.png", "extra"}, false},
        {{"tallymere", "--shot", "/tmp", "out.png", "apps", "-platform", "offscreen"}, true},
        {{"tallymere", "-style", "fusion", "--scan", "/tmp", "--scan", "/var"}, true},
        {{"tallymere", "stray"}, true},
    };
    for (const auto& [arguments, expected] : cases)
        EXPECT_EQ(CLI::isWellFormed(arguments), expected) << ::testing::PrintToString(arguments);
}

TEST(CommandLineArguments, WholeDiskOptionsOnlyForTheRoot) {
    for (const char* root : {"/", "//", "/.", "/tmp/..", "/./"}) {
        EXPECT_EQ(CLI::scanOptions(root), ScanOptions::fullMac()) << root;
        EXPECT_EQ(CLI::snapshotTitle(root), "Macintosh HD") << root;
    }
    for (const char* path : {"/home", "relative", ""}) {
        const ScanOptions options = CLI::scanOptions(path);
        EXPECT_TRUE(options.includeHidden && options.useAllocatedSize && options.excludedPaths.empty()) << path;
    }
    EXPECT_EQ(CLI::snapshotTitle("/"), "Macintosh HD");
    EXPECT_EQ(CLI::snapshotTitle("/Users/"), "Users");
    EXPECT_EQ(CLI::snapshotTitle("projects/app"), "app");
    EXPECT_EQ(CLI::snapshotTitle("caf\xe9"), "caf\xef\xbf\xbd");
}

TEST(CommandLineScan, SummaryAndTwelveLargestChildren) {
    test::TempFolder temp;
    const fs::path root = temp / "tree";
    fs::create_directory(root);
    for (int i = 1; i <= 29; ++i) writeFile(root / ("f" + std::to_string(100 + i) + ".txt"), 1000 * i);
    fs::create_directory(root / "sub");
    writeFile(root / "sub" / "inside.bin", 26500);
    writeFile(root / ".hidden", 10);
    const std::string longName(50, 'L');
    writeFile(root / longName, 28500);

    const Result result = run(Command::scan, root.string());
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.err, "");
    const auto lines = linesOf(result.out);
    ASSERT_EQ(lines.size(), 5u + 12u) << result.out;

    const std::string head = "scanned " + root.string() + " in ";
    ASSERT_EQ(lines[0].rfind(head, 0), 0u) << lines[0];
    const std::string seconds = lines[0].substr(head.size()); // digits, ".", two digits, "s"
    EXPECT_TRUE(seconds.size() >= 5 && seconds.ends_with('s') && seconds[seconds.size() - 4] == '.' &&
                std::all_of(seconds.begin(), seconds.end() - 1, [](char c) { return c == '.' || std::isdigit(c); }))
        << lines[0];
    const std::int64_t logical = 1000 * 29 * 30 / 2 + 26500 + 10 + 28500;
    EXPECT_EQ(lines[1], "  size      " + ByteFormat::string(logical) + "  (" + std::to_string(logical) + " bytes)");
    EXPECT_EQ(lines[2], "  allocated " + ByteFormat::string(allocatedBelow(root)));
    EXPECT_EQ(lines[3], "  files     " + ByteFormat::count(32) + "  folders " + ByteFormat::count(1));
    EXPECT_EQ(lines[4], "  top children:");

    EXPECT_EQ(lines[5], "    f129.txt" + std::string(42 - 8, ' ') + " " + std::string(12 - 7, ' ') + "29.0 KB Document");
    EXPECT_EQ(lines[6], "    " + longName + " " + std::string(12 - 7, ' ') + "28.5 KB Other")
        << "a long name is not cut and pushes the size column";
    EXPECT_EQ(lines[7], "    f128.txt" + std::string(42 - 8, ' ') + " " + std::string(12 - 7, ' ') + "28.0 KB Document");
    EXPECT_EQ(lines[9], "    sub" + std::string(42 - 3, ' ') + " " + std::string(12 - 7, ' ') + "26.5 KB dir");
    EXPECT_EQ(lines[16], "    f120.txt" + std::string(42 - 8, ' ') + " " + std::string(12 - 7, ' ') + "20.0 KB Document");
}

TEST(CommandLineScan, SingleFileAndMissingPath) {
    test::TempFolder temp;
    writeFile(temp / "one.bin", 1500);
    const Result file = run(Command::scan, temp / "one.bin");
    EXPECT_EQ(file.status, 0);
    const auto lines = linesOf(file.out);
    ASSERT_EQ(lines.size(), 5u) << file.out;
    EXPECT_EQ(lines[1], "  size      1.50 KB  (1500 bytes)");
    EXPECT_EQ(lines[3], "  files     " + ByteFormat::count(1) + "  folders " + ByteFormat::count(0));

    // A root that cannot be examined is named with the system's reason.
    const std::pair<std::string, std::string> unexamined[] = {{temp / "gone", "No such file or directory"},
                                                              {temp / "one.bin/x", "Not a directory"}};
    for (const auto& [path, reason] : unexamined)
        for (Command command : {Command::scan, Command::snapshot}) {
            const Result result = run(command, path, temp / "store");
            EXPECT_EQ(result.status, 1);
            EXPECT_EQ(result.out, "");
            EXPECT_EQ(result.err, "cannot stat " + path + ": " + reason + "\n");
        }
    EXPECT_FALSE(fs::exists(temp / "store/x")) << "nothing stored for a failed scan";
}

TEST(CommandLineScan, ControlBytesInNamesArePrintedEscaped) {
    test::TempFolder temp;
    const fs::path root = temp / "tree";
    fs::create_directories(root);
    writeFile(root / "a\nb\x1b[2J", 100);
    writeFile(root / "bidi\u202Eevil.txt", 50);
    const Result result = run(Command::scan, root);
    ASSERT_EQ(result.status, 0);
    EXPECT_NE(result.out.find("    a\\nb\\x1b[2J"), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("    bidi\\u202eevil.txt"), std::string::npos) << result.out;
    EXPECT_EQ(result.out.find('\x1b'), std::string::npos);
    EXPECT_EQ(result.out.find("\u202E"), std::string::npos);

    // The snapshot line names its title on one line too.
    const fs::path odd = temp / "tree\u202Etxt.exe";
    fs::create_directories(odd);
    const Result snapshot = run(Command::snapshot, odd, temp / "store");
    ASSERT_EQ(snapshot.status, 0) << snapshot.err;
    EXPECT_NE(snapshot.out.find(" \u2014 tree\\u202etxt.exe, "), std::string::npos) << snapshot.out;
}

TEST(CommandLineScan, UnreadableFoldersAreCountedAndAFailedWriteIsAnError) {
    test::TempFolder temp;
    const fs::path root = temp / "tree";
    fs::create_directories(root / "locked" / "inner");
    fs::create_directories(root / "shut");
    writeFile(root / "locked" / "inner" / "x", 10);
    ::chmod((root / "locked").c_str(), 0);
    ::chmod((root / "shut").c_str(), 0);
    ::chmod(temp.path().c_str(), 0755);
    const bool ran = test::runUnprivileged([&] {
        const Result result = run(Command::scan, root);
        EXPECT_EQ(result.status, 0) << "unreadable folders do not change the status";
        EXPECT_EQ(result.err, "2 folders could not be read\n");
    });
    ::chmod((root / "locked").c_str(), 0755);
    ::chmod((root / "shut").c_str(), 0755);
    if (!ran) GTEST_SKIP() << test::whyNotRun();

    std::ofstream full("/dev/full");
    if (!full) GTEST_SKIP() << "no /dev/full";
    std::ostringstream err;
    EXPECT_EQ(CLI::run({Command::scan, root}, full, err, "/nonexistent-snapshots"), 1);
    EXPECT_EQ(err.str(), "cannot write the output: No space left on device\n");
}

// A mount below the root whose server never answers: the scan ends, and says why a folder went unread.
TEST(CommandLineScan, AMountThatDoesNotAnswerIsCountedWithItsReason) {
    test::TempFolder temp;
    const fs::path root = temp / "tree";
    fs::create_directories(root / "dead");
    writeFile(root / "kept", 10);
    const bool ran = test::runInPrivateMounts([&] {
        test::DeadFuse fuse(root / "dead");
        if (!fuse.isMounted()) test::cannotRunHere(fuse.whyNotMounted());
        const Result result = run(Command::scan, root);
        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(result.err, "1 folder could not be read (1 whose mount did not answer)\n");
        EXPECT_NE(result.out.find("  files     1  folders 1"), std::string::npos) << result.out;
    });
    if (!ran) GTEST_SKIP() << test::whyNotRun();
}

// A root that leads onto a mount whose server never answers, through a link or as a relative path:
// the scan and the snapshot both end, the root counted as not read.
TEST(CommandLineScan, ARootOnAMountThatNeverAnswersByAnyWayEnds) {
    test::TempFolder temp;
    const fs::path dead = temp / "dead";
    fs::create_directories(dead);
    fs::create_symlink(dead, temp / "link");
    const bool ran = test::runInPrivateMounts([&] {
        test::DeadFuse fuse(dead);
        if (!fuse.isMounted()) ::_exit(77);
        ASSERT_EQ(::chdir(temp.path().c_str()), 0);
        const std::pair<Command, std::string> ways[] = {
            {Command::scan, "link"}, {Command::scan, temp / "link/inside"}, {Command::snapshot, "dead/inside"}};
        for (const auto& [command, root] : ways) {
            const bool ended = test::endsWithin(30, [&] {
                const Result result = run(command, root, temp / "store");
                EXPECT_EQ(result.err, "1 folder could not be read (1 whose mount did not answer)\n") << root;
            });
            EXPECT_TRUE(ended) << root << " held the command line";
        }
    });
    if (!ran) GTEST_SKIP() << "no FUSE mount in a private mount namespace here";
}

// A root on a FUSE mount whose server stops during the walk: the scan ends within the bound with
// its summary, the folders left counted with their reason.
TEST(CommandLineScan, ARootOnAMountThatStopsDuringTheWalkEndsWithItsSummary) {
    test::TempFolder temp;
    const fs::path mount = temp / "net";
    fs::create_directories(mount);
    const bool ran = test::runInPrivateMounts([&] {
        test::StallingFuse fuse(mount);
        if (!fuse.isMounted()) test::cannotRunHere("no FUSE mount here");
        fuse.growTree(300, 4);
        fuse.delayEvery(2);
        const bool ended = test::endsWithin(10, [&] {
            std::thread stopper([&] {
                ::usleep(1000 * 1000);
                fuse.stopReading();
            });
            const Result result = run(Command::scan, mount);
            stopper.join();
            EXPECT_EQ(result.status, 0);
            EXPECT_TRUE(result.err.ends_with(" whose mount did not answer)\n")) << result.err;
            EXPECT_NE(result.out.find("  files "), std::string::npos) << result.out;
        });
        EXPECT_TRUE(ended) << "the command line waited on the stopped server";
    });
    if (!ran) GTEST_SKIP() << test::whyNotRun();
}

TEST(CommandLineSnapshot, StoresWhereTheStoreListsIt) {
    test::TempFolder temp;
    const fs::path root = temp / "Users";
    fs::create_directories(root / "big");
    writeFile(root / "big" / "data.bin", 700000);
    writeFile(root / "small.bin", 10);
    const std::string store = temp / "store";

    const Result result = run(Command::snapshot, root.string() + "/", store);
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.err, "");
    const auto snapshots = SnapshotStore::load(store);
    ASSERT_EQ(snapshots.size(), 1u);
    const Snapshot& snapshot = snapshots[0];
    EXPECT_EQ(result.out, "snapshot " + snapshot.id.text() + " \u2014 Users, " + ByteFormat::string(snapshot.totalSize) +
                              ", 3 entries\n");
    EXPECT_EQ(snapshot.rootPath, root.string());
    EXPECT_EQ(snapshot.totalSize, allocatedBelow(root)) << "allocated sizes";
    EXPECT_EQ(snapshot.entries.size(), 3u) << "root, big, big/data.bin; small.bin is below 625000 bytes";
    EXPECT_TRUE(fs::exists(fs::path(store) / (snapshot.id.text() + ".json")));
}

void runProcess(std::vector<std::string> arguments) {
    std::vector<char*> argv;
    for (auto& argument : arguments) argv.push_back(argument.data());
    CLI::runIfRequested(static_cast<int>(argv.size()), argv.data());
}

TEST(CommandLineProcessDeathTest, EndsTheProcessWithTheStatus) {
    test::TempFolder temp;
    const fs::path output = temp / "stdout";
    const fs::path data = temp / "data";
    writeFile(temp / "file.bin", 2000);

    // Arguments that cannot be understood: the usage line and status 2, before anything runs.
    for (const char* flag : {"--scan", "--scan=/tmp", "--bogus"})
        EXPECT_EXIT(runProcess({"tallymere", flag}), ::testing::ExitedWithCode(2), "^usage: tallymere ");
    EXPECT_EXIT(runProcess({"tallymere", "--scan", ""}), ::testing::ExitedWithCode(1), "^cannot stat : No such file or directory\n$");

    // A path named like a flag, relative to the working folder, that does not exist.
    EXPECT_EXIT(
        {
            ::chdir(temp.path().c_str());
            runProcess({"tallymere", "--snapshot", "--scan"});
        },
        ::testing::ExitedWithCode(1), "^cannot stat --scan: No such file or directory\n$");

    // The default store: the data folder of the environment.
    EXPECT_EXIT(
        {
            ::setenv("XDG_DATA_HOME", data.c_str(), 1);
            const int fd = ::open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            ::dup2(fd, 1);
            runProcess({"tallymere", "--scan", "/x", "--snapshot", temp.path()});
        },
        ::testing::ExitedWithCode(0), "^$");
    const auto stored = SnapshotStore::load((data / "Tallymere/Snapshots").string());
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(readFile(output).rfind("snapshot " + stored[0].id.text() + " \u2014 ", 0), 0u) << readFile(output);

    writeFile(temp / "not-a-folder", 1);
    EXPECT_EXIT(
        {
            ::setenv("XDG_DATA_HOME", (temp / "not-a-folder").c_str(), 1);
            runProcess({"tallymere", "--snapshot", temp / "file.bin"});
        },
        ::testing::ExitedWithCode(1), "^save failed: .*Not a directory\n$");

    EXPECT_EXIT(
        {
            const int fd = ::open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            ::dup2(fd, 1);
            runProcess({"tallymere", "--scan", temp / "file.bin"});
        },
        ::testing::ExitedWithCode(0), "^$");
    EXPECT_EQ(linesOf(readFile(output)).size(), 5u) << "the summary is flushed before the process ends";
}

// With no file descriptor to spare but the root's, the scan waits a bounded time for one, then ends,
// counting the folders it could not open and why.
TEST(CommandLineProcessDeathTest, NoFreeDescriptorEndsTheScanAndSaysWhy) {
#ifdef TALLYMERE_SANITIZED
    GTEST_SKIP() << "the sanitizers' own checks open descriptors, and there are none to open";
#endif
    test::TempFolder temp;
    const fs::path root = temp / "tree";
    for (const char* name : {"a", "b", "c"}) {
        fs::create_directories(root / name / "deeper");
        writeFile(root / name / "f", 10);
    }
    writeFile(root / "top", 7);
    EXPECT_EXIT(
        {
            ::alarm(60); // a scan that keeps waiting ends here, and fails
            const int null = ::open("/dev/null", O_WRONLY);
            ::dup2(null, 1);
            ::close(null);
            // The descriptor the program keeps on the mount table is open before the free one is found.
            MountTable::current();
            const int lowestFree = ::dup(0);
            ::close(lowestFree);
            rlimit one{};
            one.rlim_cur = one.rlim_max = static_cast<rlim_t>(lowestFree + 1);
            ::setrlimit(RLIMIT_NOFILE, &one);
            runProcess({"tallymere", "--scan", root});
        },
        ::testing::ExitedWithCode(0), "^3 folders could not be read \\(3 for lack of a free file descriptor\\)\n$");
}

} // namespace
} // namespace tallymere
