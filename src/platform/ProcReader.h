#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tallymere {

// The machine's cumulative CPU time in clock ticks, summed over every processor. Interrupt,
// soft-interrupt and steal time count as system time and I/O wait as idle time; guest time is
// already inside user and nice.
struct CpuTicks {
    std::uint64_t user = 0;
    std::uint64_t system = 0;
    std::uint64_t idle = 0;
    std::uint64_t nice = 0;
    friend bool operator==(const CpuTicks&, const CpuTicks&) = default;
};

// Memory figures in bytes at one moment.
struct MemoryReading {
    std::int64_t used = 0;       // MemTotal - MemAvailable: what programs hold and cannot give back
    std::int64_t wired = 0;      // kernel stacks, page tables and unreclaimable slab: never swapped
    std::int64_t compressed = 0; // pages held compressed in the swap cache (Zswap), 0 without it
    std::int64_t cached = 0;     // file-backed pages, active and inactive
    friend bool operator==(const MemoryReading&, const MemoryReading&) = default;
};

// Bytes received and sent since boot, summed over the counted interfaces.
struct NetworkReading {
    std::int64_t in = 0;
    std::int64_t out = 0;
    friend bool operator==(const NetworkReading&, const NetworkReading&) = default;
};

// Readers of the kernel's counters under /proc. Parsers take the file's text; the readers open the
// file anew on every call. Every function is thread-safe and never throws.
namespace ProcReader {

// The first "cpu" line of /proc/stat; none when it is missing or has fewer than four numbers.
std::optional<CpuTicks> parseCpu(std::string_view statText);

// /proc/meminfo (values in kB); none without MemTotal and MemAvailable.
std::optional<MemoryReading> parseMemory(std::string_view meminfoText);

// /proc/net/dev; none when the text lists no interface at all (an unreadable or empty table),
// zeros when it lists only interfaces that are not counted.
std::optional<NetworkReading> parseNetwork(std::string_view netDevText);

// Whether an interface's traffic is counted: loopback ("lo..."), tunnel ("gif...") and the host
// side of container pairs ("veth...") are not, since their bytes also cross a real interface or
// never leave the machine.
bool isCountedInterface(std::string_view name);

std::optional<CpuTicks> readCpu(const char* path = "/proc/stat");
std::optional<MemoryReading> readMemory(const char* path = "/proc/meminfo");
std::optional<NetworkReading> readNetwork(const char* path = "/proc/net/dev");

// The 1, 5 and 15 minute load averages; zeros in the places the system did not fill.
std::array<double, 3> loadAverage();

// Bytes of physical memory (pages times page size); 0 when the system does not say.
std::int64_t physicalMemory();

// What a process's program is called, for a name the kernel cut short: the path /proc/PID/exe
// leads to, without the " (deleted)" the kernel adds once that file is gone, and the process's
// first argument in /proc/PID/cmdline. Each empty where it cannot be read: another user's process,
// a kernel thread, a process that has ended. `procRoot` is where the process folders lie.
struct ProgramNames {
    std::string executable;
    std::string firstArgument;
};
ProgramNames programNames(std::int32_t pid, const std::string& procRoot = "/proc");

// Reads at most `limit` bytes of a regular file into `text`; false when it cannot be opened or
// read, or is something else (a pipe, a device, a folder), which is never waited on.
bool readFile(const char* path, std::string& text, std::size_t limit);

} // namespace ProcReader

} // namespace tallymere
