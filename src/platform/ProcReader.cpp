#include "platform/ProcReader.h"

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tallymere::ProcReader {

namespace {

// /proc/stat's first line is all the CPU reader needs; the interrupt lines that follow can run to
// many kilobytes on large machines.
constexpr std::size_t statLimit = 4096;
constexpr std::size_t meminfoLimit = 16384;
constexpr std::size_t netDevLimit = 1 << 20;

bool isBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view trim(std::string_view text) {
    while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && (isBlank(text.back()) || text.back() == '\r')) text.remove_suffix(1);
    return text;
}

// Takes the next blank-separated number from `text`; none when the next field is not all digits.
std::optional<std::uint64_t> nextNumber(std::string_view& text) {
    while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end == text.data()) return std::nullopt;
    if (end != text.data() + text.size() && !isBlank(*end)) return std::nullopt;
    text.remove_prefix(std::size_t(end - text.data()));
    return value;
}

std::string_view nextLine(std::string_view& text) {
    const auto newline = text.find('\n');
    std::string_view line = text.substr(0, newline);
    text.remove_prefix(newline == std::string_view::npos ? text.size() : newline + 1);
    return line;
}

std::int64_t clampToInt64(std::uint64_t value) {
    constexpr auto maximum = std::uint64_t(INT64_MAX);
    return std::int64_t(value > maximum ? maximum : value);
}

} // namespace

std::optional<CpuTicks> parseCpu(std::string_view statText) {
    while (!statText.empty()) {
        std::string_view line = nextLine(statText);
        if (!line.starts_with("cpu") || line.size() < 4 || !isBlank(line[3])) continue;
        line.remove_prefix(3);
        // user nice system idle iowait irq softirq steal guest guest_nice; old kernels stop early.
        std::array<std::uint64_t, 8> field{};
        int count = 0;
        while (count < int(field.size())) {
            auto value = nextNumber(line);
            if (!value) break;
            field[std::size_t(count++)] = *value;
        }
        if (count < 4) return std::nullopt;
        return CpuTicks{.user = field[0],
                        .system = field[2] + field[5] + field[6] + field[7],
                        .idle = field[3] + field[4],
                        .nice = field[1]};
    }
    return std::nullopt;
}

std::optional<MemoryReading> parseMemory(std::string_view meminfoText) {
    std::optional<std::uint64_t> total, available;
    std::uint64_t kernelStack = 0, pageTables = 0, unreclaimable = 0, zswap = 0, activeFile = 0, inactiveFile = 0;
    while (!meminfoText.empty()) {
        const std::string_view line = nextLine(meminfoText);
        const auto colon = line.find(':');
        if (colon == std::string_view::npos) continue;
        const std::string_view key = line.substr(0, colon);
        std::string_view rest = line.substr(colon + 1);
        const auto kib = nextNumber(rest);
        if (!kib) continue;
        // Values are in kB; a value too large for bytes is held at the top rather than wrapped.
        const std::uint64_t bytes = *kib > (UINT64_MAX >> 10) ? UINT64_MAX : *kib << 10;
        if (key == "MemTotal") total = bytes;
        else if (key == "MemAvailable") available = bytes;
        else if (key == "KernelStack") kernelStack = bytes;
        else if (key == "PageTables") pageTables = bytes;
        else if (key == "SUnreclaim") unreclaimable = bytes;
        else if (key == "Zswap") zswap = bytes;
        else if (key == "Active(file)") activeFile = bytes;
        else if (key == "Inactive(file)") inactiveFile = bytes;
    }
    if (!total || !available) return std::nullopt;
    return MemoryReading{.used = clampToInt64(*total > *available ? *total - *available : 0),
                         .wired = clampToInt64(kernelStack + pageTables + unreclaimable),
                         .compressed = clampToInt64(zswap),
                         .cached = clampToInt64(activeFile + inactiveFile)};
}

bool isCountedInterface(std::string_view name) {
    return !name.starts_with("lo") && !name.starts_with("gif") && !name.starts_with("veth");
}

std::optional<NetworkReading> parseNetwork(std::string_view netDevText) {
    bool listed = false;
    std::uint64_t in = 0, out = 0;
    while (!netDevText.empty()) {
        const std::string_view line = nextLine(netDevText);
        // The two header lines carry "|" and no interface; every interface line has "name:".
        const auto colon = line.find(':');
        if (colon == std::string_view::npos || line.find('|') != std::string_view::npos) continue;
        const std::string_view name = trim(line.substr(0, colon));
        std::string_view rest = line.substr(colon + 1);
        // Receive: bytes packets errs drop fifo frame compressed multicast; then transmit bytes.
        std::array<std::uint64_t, 9> field{};
        bool complete = true;
        for (auto& value : field) {
            auto number = nextNumber(rest);
            if (!number) {
                complete = false;
                break;
            }
            value = *number;
        }
        if (!complete || name.empty()) continue;
        listed = true;
        if (!isCountedInterface(name)) continue;
        in += field[0];
        out += field[8];
    }
    if (!listed) return std::nullopt;
    return NetworkReading{.in = clampToInt64(in), .out = clampToInt64(out)};
}

bool readFile(const char* path, std::string& text, std::size_t limit) {
    text.clear();
    // Without O_NONBLOCK, opening a pipe put where a file belongs would wait for a writer forever.
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) return false;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return false;
    }
    bool ok = true;
    char chunk[4096];
    while (text.size() < limit) {
        const ssize_t n = ::read(fd, chunk, std::min(sizeof chunk, limit - text.size()));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            ok = false;
            break;
        }
        if (n == 0) break;
        text.append(chunk, std::size_t(n));
    }
    ::close(fd);
    return ok;
}

ProgramNames programNames(std::int32_t pid, const std::string& procRoot) {
    ProgramNames names;
    const std::string folder = procRoot + "/" + std::to_string(pid);
    char target[4096];
    const ssize_t length = ::readlink((folder + "/exe").c_str(), target, sizeof target);
    if (length > 0 && std::size_t(length) < sizeof target) {
        names.executable.assign(target, std::size_t(length));
        constexpr std::string_view deleted = " (deleted)";
        if (names.executable.ends_with(deleted)) names.executable.resize(names.executable.size() - deleted.size());
    }
    std::string arguments;
    if (readFile((folder + "/cmdline").c_str(), arguments, sizeof target))
        names.firstArgument = arguments.substr(0, arguments.find('\0'));
    return names;
}

std::optional<CpuTicks> readCpu(const char* path) {
    std::string text;
    if (!readFile(path, text, statLimit)) return std::nullopt;
    return parseCpu(text);
}

std::optional<MemoryReading> readMemory(const char* path) {
    std::string text;
    if (!readFile(path, text, meminfoLimit)) return std::nullopt;
    return parseMemory(text);
}

std::optional<NetworkReading> readNetwork(const char* path) {
    std::string text;
    if (!readFile(path, text, netDevLimit)) return std::nullopt;
    return parseNetwork(text);
}

std::array<double, 3> loadAverage() {
    std::array<double, 3> load{0, 0, 0};
    ::getloadavg(load.data(), 3);
    return load;
}

std::int64_t physicalMemory() {
    const long pages = ::sysconf(_SC_PHYS_PAGES);
    const long pageSize = ::sysconf(_SC_PAGESIZE);
    if (pages <= 0 || pageSize <= 0) return 0;
    return clampToInt64(std::uint64_t(pages) * std::uint64_t(pageSize));
}

} // namespace tallymere::ProcReader
