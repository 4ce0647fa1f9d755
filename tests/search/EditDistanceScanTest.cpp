// The yardstick's fast scan against its plain one: the same distances for
// every pair, and the same nearest entry (the lower row on equal distance)
// over seeded lists, queries past the 64 bytes the bit-parallel form holds
// included.
#include "reference/EditDistanceScan.h"
#include "reference/WordLists.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace verblinka::test_support {
namespace {

TEST(EditDistanceScanTest, KnownDistances) {
    EXPECT_EQ(PlainEditDistance("", ""), 0u);
    EXPECT_EQ(PlainEditDistance("", "ABC"), 3u);
    EXPECT_EQ(PlainEditDistance("KITTEN", "SITTING"), 3u);
    EXPECT_EQ(PlainEditDistance("AB", "BA"), 2u); // a swap is two edits
}

TEST(EditDistanceScanTest, FastScanIsThePlainOne) {
    std::mt19937 random(7);
    const std::string letters = "ABCD";
    for (int round = 0; round < 100; ++round) {
        std::vector<std::string> entries = RandomWords(random, 60, 0, 12, letters);
        entries.push_back(std::string(70, 'A')); // past one machine word
        const std::string query = round % 10 == 0
                                      ? std::string(60 + static_cast<std::size_t>(round / 10), 'A')
                                      : RandomWord(random, 0, 14, letters);
        const TEditDistanceScanner scanner(query);
        for (const std::string& entry : entries) {
            ASSERT_EQ(scanner.Distance(entry), PlainEditDistance(query, entry))
                << query << " " << entry;
        }
        const TNearestEntry plain = PlainNearestEntry(query, entries);
        const TNearestEntry fast = scanner.Nearest(entries);
        EXPECT_EQ(fast.Row, plain.Row) << query;
        EXPECT_EQ(fast.Distance, plain.Distance) << query;
    }
}

} // namespace
} // namespace verblinka::test_support
