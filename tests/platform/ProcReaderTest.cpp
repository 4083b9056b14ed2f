#include "platform/CommandRunner.h"
#include "platform/ProcReader.h"

#include <gtest/gtest.h>

namespace tallymere {
namespace {

TEST(ProcReaderCpu, FoldsIrqStealAndIoWait) {
    const auto ticks = ProcReader::parseCpu("cpu  100 20 30 400 50 6 7 8 90 10\n"
                                            "cpu0 1 2 3 4 5 6 7 8 9 10\n"
                                            "intr 12345 0 0\n");
    ASSERT_TRUE(ticks);
    // guest time is already inside user and nice, so it is not added again
    EXPECT_EQ(*ticks, (CpuTicks{.user = 100, .system = 30 + 6 + 7 + 8, .idle = 400 + 50, .nice = 20}));
    // an old kernel's four columns are enough; three are not, nor a per-processor line alone
    EXPECT_EQ(ProcReader::parseCpu("cpu 1 2 3 4\n"), (CpuTicks{.user = 1, .system = 3, .idle = 4, .nice = 2}));
    EXPECT_FALSE(ProcReader::parseCpu("cpu 1 2 3\n"));
    EXPECT_FALSE(ProcReader::parseCpu("cpu0 1 2 3 4 5\n"));
    EXPECT_FALSE(ProcReader::parseCpu("cpu 1 x 3 4\n"));
    EXPECT_FALSE(ProcReader::parseCpu(""));
    EXPECT_FALSE(ProcReader::readCpu("/nonexistent/stat"));
}

TEST(ProcReaderMemory, UsedIsTotalLessAvailable) {
    const auto memory = ProcReader::parseMemory("MemTotal:       16000000 kB\n"
                                                "MemFree:         1000000 kB\n"
                                                "MemAvailable:   10000000 kB\n"
                                                "Active(file):    2000000 kB\n"
                                                "Inactive(file):  1000000 kB\n"
                                                "SUnreclaim:       100000 kB\n"
                                                "KernelStack:       20000 kB\n"
                                                "PageTables:        30000 kB\n"
                                                "Zswap:              4000 kB\n");
    ASSERT_TRUE(memory);
    EXPECT_EQ(memory->used, 6000000ll * 1024);
    EXPECT_EQ(memory->wired, 150000ll * 1024);
    EXPECT_EQ(memory->compressed, 4000ll * 1024);
    EXPECT_EQ(memory->cached, 3000000ll * 1024);
    // Without Zswap there is no compressed memory; available above total is no negative use.
    const auto plain = ProcReader::parseMemory("MemTotal: 100 kB\nMemAvailable: 200 kB\n");
    ASSERT_TRUE(plain);
    EXPECT_EQ(*plain, MemoryReading{});
    EXPECT_FALSE(ProcReader::parseMemory("MemTotal: 100 kB\nMemFree: 50 kB\n"));
}

TEST(ProcReaderNetwork, SumsRealInterfacesOnly) {
    const char* table =
        "Inter-|   Receive                                                |  Transmit\n"
        " face |bytes    packets errs drop fifo frame compressed multicast|bytes    packets errs drop fifo colls carrier compressed\n"
        "    lo: 5000 10 0 0 0 0 0 0 5000 10 0 0 0 0 0 0\n"
        "  eth0: 18446744073709551000 5 0 0 0 0 0 0 200 3 0 0 0 0 0 0\n"
        "wlan0:300 1 0 0 0 0 0 0 40 1 0 0 0 0 0 0\n"
        "vethab12: 777 1 0 0 0 0 0 0 777 1 0 0 0 0 0 0\n"
        "loopy0: 1 1 0 0 0 0 0 0 1 1 0 0 0 0 0 0\n"
        "gif0: 1 1 0 0 0 0 0 0 1 1 0 0 0 0 0 0\n"
        "broken: 1 2 3\n";
    const auto sum = ProcReader::parseNetwork(table);
    ASSERT_TRUE(sum);
    // 64-bit counters beyond the signed range are held at the top instead of turning negative
    EXPECT_EQ(sum->in, INT64_MAX);
    EXPECT_EQ(sum->out, 240);
    const auto loopbackOnly = ProcReader::parseNetwork("lo: 9 1 0 0 0 0 0 0 9 1 0 0 0 0 0 0\n");
    ASSERT_TRUE(loopbackOnly);
    EXPECT_EQ(*loopbackOnly, NetworkReading{});
    EXPECT_FALSE(ProcReader::parseNetwork("Inter-| Receive | Transmit\n face |bytes|bytes\n"));
    EXPECT_TRUE(ProcReader::isCountedInterface("enp3s0"));
    EXPECT_FALSE(ProcReader::isCountedInterface("lo"));
}

TEST(ProcReaderSystem, ReadsTheRunningKernel) {
    EXPECT_TRUE(ProcReader::readCpu());
    EXPECT_TRUE(ProcReader::readMemory());
    EXPECT_GT(ProcReader::physicalMemory(), 0);
}

TEST(CommandRunner, ReportsOutputFailureAndHang) {
    const auto echo = CommandRunner::run({"/bin/echo", "a  b"}, std::chrono::seconds(30));
    EXPECT_EQ(echo.status, CommandOutput::Status::finished);
    EXPECT_EQ(echo.text, "a  b\n");
    // numbers in the C form whatever the user's locale; the rest of the environment passes through
    ::setenv("LC_ALL", "de_DE.UTF-8", 1);
    const auto env = CommandRunner::run({"/usr/bin/env"}, std::chrono::seconds(30));
    ::unsetenv("LC_ALL");
    EXPECT_NE(env.text.find("LC_NUMERIC=C\n"), std::string::npos);
    EXPECT_NE(env.text.find("LANG=de_DE.UTF-8\n"), std::string::npos);
    EXPECT_EQ(env.text.find("LC_ALL="), std::string::npos);

    EXPECT_EQ(CommandRunner::run({"/nonexistent/ps"}, std::chrono::seconds(30)).status, CommandOutput::Status::notStarted);
    EXPECT_EQ(CommandRunner::run({"ps"}, std::chrono::seconds(30)).status, CommandOutput::Status::notStarted);
    const auto hung = CommandRunner::run({"/bin/sleep", "600"}, std::chrono::milliseconds(50));
    EXPECT_EQ(hung.status, CommandOutput::Status::timedOut);
    EXPECT_TRUE(hung.text.empty());
}

} // namespace
} // namespace tallymere
