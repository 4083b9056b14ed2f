#pragma once
#include <sys/mman.h>
#include <sys/types.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <mutex>
#include <utility>

// A set of (device, inode) pairs that the threads of one scan add to at once: the files met under
// another name, and the folders met through another mount. Private to DiskScanner.
namespace tallymere::ScanIdentity {

// Split into stripes, so threads seldom wait for each other; each stripe is an open-addressing
// table whose slots are allocated up front, so adding allocates nothing until a stripe is half full.
// The first slots of every stripe are one block of zero pages from the system: a page costs
// resident memory only once a key lands in it, and most scans add few pairs or none.
class IdentitySet {
public:
    // Room for about `expected` pairs before any stripe grows.
    explicit IdentitySet(std::size_t expected) {
        std::size_t perStripe = 16;
        while (perStripe * stripeCount < expected * 2) perStripe *= 2;
        m_first = ZeroedKeys(perStripe * stripeCount);
        for (std::size_t s = 0; s < stripeCount; ++s) {
            m_stripes[s].slots = m_first.get() + s * perStripe;
            m_stripes[s].capacity = perStripe;
        }
    }

    // True the first time the pair is added.
    bool insert(dev_t device, ino_t inode) {
        const Key key{static_cast<std::uint64_t>(device), static_cast<std::uint64_t>(inode)};
        const std::uint64_t hash = mix(key);
        Stripe& stripe = m_stripes[hash >> (64 - stripeBits)];
        std::lock_guard lock(stripe.lock);
        if (!stripe.place(key, hash)) return false;
        if (++stripe.used * 2 > stripe.capacity) stripe.grow();
        return true;
    }

private:
    static constexpr int stripeBits = 4;
    static constexpr std::size_t stripeCount = std::size_t(1) << stripeBits;

    struct Key {
        std::uint64_t device = 0;
        std::uint64_t inode = 0;
        // No file system gives inode 0 to a file, so (0, 0) marks an empty slot.
        bool isEmpty() const { return device == 0 && inode == 0; }
        friend bool operator==(const Key&, const Key&) = default;
    };

    static std::uint64_t mix(const Key& key) {
        std::uint64_t z = key.inode * 0x9E3779B97F4A7C15ull ^ (key.device + 0x632BE59BD9B4E019ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }

    // Zeroed slots: mapped straight from the system when large, so untouched pages stay unbacked
    // (the heap would hand back used memory and clear every byte of it).
    class ZeroedKeys {
    public:
        ZeroedKeys() = default;
        explicit ZeroedKeys(std::size_t count) : m_bytes(count * sizeof(Key)) {
            void* memory = nullptr;
            if (m_bytes >= mappedBytes) {
                memory = ::mmap(nullptr, m_bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
                if (memory == MAP_FAILED) memory = nullptr;
                m_mapped = memory != nullptr;
            }
            if (!memory) memory = std::calloc(count, sizeof(Key));
            if (!memory) throw std::bad_alloc();
            m_keys = static_cast<Key*>(memory);
        }
        ZeroedKeys(ZeroedKeys&& other) noexcept
            : m_keys(std::exchange(other.m_keys, nullptr)), m_bytes(other.m_bytes), m_mapped(other.m_mapped) {}
        ZeroedKeys& operator=(ZeroedKeys&& other) noexcept {
            if (this != &other) {
                release();
                m_keys = std::exchange(other.m_keys, nullptr);
                m_bytes = other.m_bytes;
                m_mapped = other.m_mapped;
            }
            return *this;
        }
        ~ZeroedKeys() { release(); }
        Key* get() const { return m_keys; }

    private:
        static constexpr std::size_t mappedBytes = 64 * 1024;
        void release() {
            if (m_keys && m_mapped) ::munmap(m_keys, m_bytes);
            else std::free(m_keys);
            m_keys = nullptr;
        }
        Key* m_keys = nullptr;
        std::size_t m_bytes = 0;
        bool m_mapped = false;
    };

    struct alignas(64) Stripe {
        std::mutex lock;
        Key* slots = nullptr;
        ZeroedKeys grown; // the slots once the stripe outgrew its share of the first block
        std::size_t capacity = 0; // a power of two
        std::size_t used = 0;

        // False when the key is there already.
        bool place(const Key& key, std::uint64_t hash) {
            for (std::size_t i = hash & (capacity - 1);; i = (i + 1) & (capacity - 1)) {
                if (slots[i].isEmpty()) {
                    slots[i] = key;
                    return true;
                }
                if (slots[i] == key) return false;
            }
        }
        void grow() {
            ZeroedKeys bigger(capacity * 2);
            const Key* old = slots;
            const std::size_t oldCapacity = capacity;
            slots = bigger.get();
            capacity *= 2;
            for (std::size_t i = 0; i < oldCapacity; ++i)
                if (!old[i].isEmpty()) place(old[i], mix(old[i]));
            grown = std::move(bigger); // frees the old slots when they were grown ones
        }
    };

    ZeroedKeys m_first;
    std::array<Stripe, stripeCount> m_stripes;
};

} // namespace tallymere::ScanIdentity
