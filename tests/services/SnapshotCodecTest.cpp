// The compact reader must give exactly the general reader's answer: same snapshot or same refusal;
// and what a file holds besides a snapshot costs no memory to read past.
#include "services/SnapshotCodec.h"

#include <gtest/gtest.h>

#include <malloc.h>

#include <atomic>
#include <cstdlib>
#include <limits>
#include <new>

namespace {

// Every byte this test program holds on the heap, and the most it held since the last reset.
std::atomic<std::size_t> heldBytes{0};
std::atomic<std::size_t> mostHeldBytes{0};

void* take(std::size_t size) {
    void* block = std::malloc(size == 0 ? 1 : size);
    if (!block) throw std::bad_alloc();
    const std::size_t now = heldBytes.fetch_add(::malloc_usable_size(block)) + ::malloc_usable_size(block);
    for (std::size_t most = mostHeldBytes.load(); now > most && !mostHeldBytes.compare_exchange_weak(most, now);) {
    }
    return block;
}

void give(void* block) noexcept {
    if (!block) return;
    heldBytes.fetch_sub(::malloc_usable_size(block));
    std::free(block);
}

} // namespace

void* operator new(std::size_t size) { return take(size); }
void* operator new[](std::size_t size) { return take(size); }
void operator delete(void* block) noexcept { give(block); }
void operator delete[](void* block) noexcept { give(block); }
void operator delete(void* block, std::size_t) noexcept { give(block); }
void operator delete[](void* block, std::size_t) noexcept { give(block); }

namespace tallymere {
namespace {

Snapshot sample() {
    Snapshot snapshot;
    snapshot.id = *Uuid::parse("E621E1F8-C36C-495A-93FC-0C247A3E6E5F");
    snapshot.createdAt = 1704153600.125;
    snapshot.rootPath = "/home/u";
    snapshot.title = "q\"b\\s/n\nt\tc\x01 \xc3\xa9";
    snapshot.totalSize = std::numeric_limits<std::int64_t>::min();
    snapshot.totalFiles = 2147483647;
    snapshot.entries = {{"/home/u", 10, 2, true}, {"/home/u/caf\xc3\xa9", -7, -1, false}, {"", 0, 0, false}};
    return snapshot;
}

TEST(SnapshotCompactReader, AgreesWithTheGeneralReaderOnEveryVariant) {
    const std::string good = SnapshotCodec::encode(sample());
    ASSERT_EQ(SnapshotCodec::decode(good), sample());
    std::size_t variants = 0, accepted = 0;
    const auto check = [&](const std::string& text) {
        const auto fast = SnapshotCodec::decode(text);
        ASSERT_EQ(fast, SnapshotCodec::decodeGeneral(text)) << text;
        ++variants;
        accepted += fast.has_value();
    };
    for (std::size_t length = 0; length <= good.size(); ++length) check(good.substr(0, length));
    // Every byte replaced by characters that change the JSON's meaning, and removed.
    const std::string replacements = std::string("\"\\0129-+.eE,:{}[] utfn\x7f\xff\xc3", 23) + '\0';
    for (std::size_t at = 0; at < good.size(); ++at) {
        for (char c : replacements) {
            std::string text = good;
            text[at] = c;
            check(text);
        }
        check(good.substr(0, at) + good.substr(at + 1));
    }
    // Numbers at the edges of their fields, whitespace and escapes the compact writer never makes.
    for (const auto& [from, to] : std::vector<std::pair<std::string, std::string>>{
             {"\"totalFiles\":2147483647", "\"totalFiles\":2147483648"},
             {"\"totalFiles\":2147483647", "\"totalFiles\":-2147483648"},
             {"\"totalFiles\":2147483647", "\"totalFiles\":-2147483649"},
             {"\"totalSize\":-9223372036854775808", "\"totalSize\":9223372036854775807"},
             {"\"totalSize\":-9223372036854775808", "\"totalSize\":-0"},
             {"\"totalSize\":-9223372036854775808", "\"totalSize\":1.0"},
             {"\"totalSize\":-9223372036854775808", "\"totalSize\":1e3"},
             {"\"size\":10", "\"size\":010"},
             {"\"createdAt\":", "\"createdAt\":-"},
             {"\"createdAt\":725846400.125", "\"createdAt\":7e8"},
             {"\"createdAt\":725846400.125", "\"createdAt\":0.5"},
             {"\"createdAt\":725846400.125", "\"createdAt\":-0.0"},
             {"\"createdAt\":725846400.125", "\"createdAt\":1."},
             {"\"title\":", "\"title\": "},
             {"\"title\":\"", "\"title\":\"\\u00e9"},
             {"\"title\":\"", "\"title\":\"\\ud800"},
             {"\"rootPath\"", "\"other\":1,\"rootPath\""},
             {"\"rootPath\"", "\"title\":\"x\",\"rootPath\""},
             {"\"isDirectory\":true", "\"isDirectory\":true,\"isDirectory\":false"},
             {"\"entries\":[", "\"entries\":[],\"x\":["},
         }) {
        std::string text = good;
        const auto at = text.find(from);
        ASSERT_NE(at, std::string::npos) << from;
        text.replace(at, from.size(), to);
        check(text);
    }
    EXPECT_GT(variants, 5000u);
    EXPECT_GT(accepted, 50u) << "many variants are still snapshots, not only refusals";
}

// A file that holds a snapshot and, under keys the format does not know, a million empty objects
// (as a hostile file might, to make a document tree of it ten times its size): they are read past
// without being built, so reading it takes less memory than twice the file's own bytes (the JSON
// parser keeps the run of brackets and commas it read last, for its error messages).
TEST(SnapshotReader, UnknownKeysAreReadPastWithoutBeingBuilt) {
    std::string filler;
    for (int i = 0; i < 500000; ++i) filler += "{},";
    filler += "[]";
    std::string text = SnapshotCodec::encode(sample());
    text.insert(1, "\"before\":[" + filler + "],");
    text.insert(text.find("\"isDirectory\":false"), "\"extra\":{\"x\":[" + filler + "]},");
    ASSERT_GT(text.size(), 3'000'000u);

    mostHeldBytes = heldBytes.load();
    const std::size_t before = heldBytes.load();
    const auto read = SnapshotCodec::decode(text);
    const std::size_t used = mostHeldBytes.load() - before;
    EXPECT_EQ(read, sample());
    EXPECT_LT(used, 2 * text.size()) << "reading took " << used << " bytes for a file of " << text.size();
}

} // namespace
} // namespace tallymere
