#pragma once
#include <sys/types.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <memory>
#include <mutex>

// A set of (device, inode) pairs that the threads of one scan add to at once: the files met under
// another name, and the folders met through another mount. Private to DiskScanner.
namespace tallymere::ScanIdentity {

// Split into stripes, so threads seldom wait for each other; each stripe is an open-addressing
// table whose slots are allocated up front, so adding allocates nothing until a stripe is half full.
class IdentitySet {
public:
    // Room for about `expected` pairs before any stripe grows.
    explicit IdentitySet(std::size_t expected) {
        std::size_t perStripe = 16;
        while (perStripe * stripeCount < expected * 2) perStripe *= 2;
        for (Stripe& stripe : m_stripes) stripe.resize(perStripe);
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

    struct FreeSlots {
        void operator()(Key* slots) const { std::free(slots); }
    };

    struct alignas(64) Stripe {
        std::mutex lock;
        std::unique_ptr<Key[], FreeSlots> slots;
        std::size_t capacity = 0; // a power of two
        std::size_t used = 0;

        // calloc, not a value-initialised array: fresh memory comes zeroed from the system, so the
        // slots cost resident memory only as keys land in them, and most scans fill a few.
        void resize(std::size_t count) {
            void* memory = std::calloc(count, sizeof(Key));
            if (!memory) throw std::bad_alloc();
            slots.reset(static_cast<Key*>(memory));
            capacity = count;
        }
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
            auto old = std::move(slots);
            const std::size_t oldCapacity = capacity;
            resize(capacity * 2);
            for (std::size_t i = 0; i < oldCapacity; ++i)
                if (!old[i].isEmpty()) place(old[i], mix(old[i]));
        }
    };

    std::array<Stripe, stripeCount> m_stripes;
};

} // namespace tallymere::ScanIdentity
