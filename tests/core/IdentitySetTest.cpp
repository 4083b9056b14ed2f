#include "core/IdentitySet.h"

#include <gtest/gtest.h>

namespace tallymere {
namespace {

// Small and large first blocks (a large one is mapped from the system), each filled far past its
// room so every stripe grows twice or more: a pair is new exactly once, before and after growing.
TEST(IdentitySet, EachPairIsNewOnceThroughGrowth) {
    for (std::size_t expected : {std::size_t(1), std::size_t(8192)}) {
        ScanIdentity::IdentitySet set(expected);
        const std::size_t count = expected * 4 + 2000;
        for (std::size_t i = 1; i <= count; ++i) ASSERT_TRUE(set.insert(static_cast<dev_t>(i % 7), i)) << i;
        for (std::size_t i = 1; i <= count; ++i) ASSERT_FALSE(set.insert(static_cast<dev_t>(i % 7), i)) << i;
        EXPECT_TRUE(set.insert(7, 1)) << "another device, same inode";
    }
}

} // namespace
} // namespace tallymere
