#include "base/Uuid.h"

#include <sys/random.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

namespace tallymere {
namespace {

constexpr bool isHyphenAt(std::size_t i) { return i == 8 || i == 13 || i == 18 || i == 23; }

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

std::uint64_t mixed(std::uint64_t z) {
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

// Fills `bytes` from the kernel's generator. Where the kernel refuses (a sandbox that forbids the
// call), the bytes still differ from every earlier fill of this process: the clock, the process
// and a count run through a mixing function.
void fillRandom(std::uint8_t* bytes, std::size_t size) {
    std::size_t filled = 0;
    while (filled < size) {
        const ssize_t n = ::getrandom(bytes + filled, size - filled, 0);
        if (n > 0) filled += static_cast<std::size_t>(n);
        else if (n == 0 || errno != EINTR) break;
    }
    if (filled == size) return;
    static std::atomic<std::uint64_t> fills{0};
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    std::uint64_t state = mixed(static_cast<std::uint64_t>(now.tv_sec) * 1000000000ull + static_cast<std::uint64_t>(now.tv_nsec)) ^
                          mixed((static_cast<std::uint64_t>(::getpid()) << 32) ^ fills.fetch_add(1, std::memory_order_relaxed));
    for (std::size_t i = filled; i < size; ++i) {
        state += 0x9E3779B97F4A7C15ull;
        bytes[i] = static_cast<std::uint8_t>(mixed(state));
    }
}

} // namespace

Uuid Uuid::random() {
    // Straight from the kernel's generator, a batch at a time: one system call serves many
    // identities, and no thread of the process carries a generator's state or seeds one.
    constexpr std::size_t poolBytes = 256;
    thread_local std::uint8_t pool[poolBytes];
    thread_local std::size_t used = poolBytes;
    if (used + sizeof(Uuid::bytes) > poolBytes) {
        fillRandom(pool, poolBytes);
        used = 0;
    }
    Uuid id;
    std::memcpy(id.bytes.data(), pool + used, id.bytes.size());
    used += id.bytes.size();
    id.bytes[6] = static_cast<std::uint8_t>((id.bytes[6] & 0x0F) | 0x40);
    id.bytes[8] = static_cast<std::uint8_t>((id.bytes[8] & 0x3F) | 0x80);
    return id;
}

std::optional<Uuid> Uuid::parse(std::string_view text) {
    if (text.size() != 36) return std::nullopt;
    Uuid id;
    std::size_t byte = 0;
    for (std::size_t i = 0; i < 36;) {
        if (isHyphenAt(i)) {
            if (text[i] != '-') return std::nullopt;
            ++i;
            continue;
        }
        const int high = hexValue(text[i]);
        const int low = hexValue(text[i + 1]);
        if (high < 0 || low < 0 || isHyphenAt(i + 1)) return std::nullopt;
        id.bytes[byte++] = static_cast<std::uint8_t>(high * 16 + low);
        i += 2;
    }
    return id;
}

std::string Uuid::text() const {
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(36);
    for (std::size_t i = 0; i < 16; ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) out.push_back('-');
        out.push_back(digits[bytes[i] >> 4]);
        out.push_back(digits[bytes[i] & 0x0F]);
    }
    return out;
}

} // namespace tallymere
