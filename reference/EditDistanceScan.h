// The nearest entry by edit distance (insertions, deletions and
// substitutions of bytes, each costing 1), found by scanning every entry: the
// yardstick that the network's first hits and its search times are compared
// with. Two scans give the same entry: the plain one, a dynamic programme per
// entry, and the fast one, bit-parallel over the query (one machine word
// for queries of up to 64 bytes) and skipping every entry whose length alone
// puts it beyond the best distance found so far. On equal distance the lower
// row wins in both.
#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace verblinka::test_support {

struct TNearestEntry {
    std::size_t Row = 0;
    std::size_t Distance = 0;
};

// The edit distance of a and b, one row of the table at a time.
inline std::size_t PlainEditDistance(std::string_view a, std::string_view b) {
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j) {
        row[j] = j;
    }
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t above = row[j];
            row[j] =
                std::min({above + 1, row[j - 1] + 1, diagonal + (a[i - 1] != b[j - 1] ? 1 : 0)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

// The first of entries nearest to query; entries must not be empty.
template <typename TEntries>
TNearestEntry PlainNearestEntry(std::string_view query, const TEntries& entries) {
    TNearestEntry best{0, PlainEditDistance(query, entries[0])};
    for (std::size_t row = 1; row < entries.size(); ++row) {
        const std::size_t distance = PlainEditDistance(query, entries[row]);
        if (distance < best.Distance) {
            best = {row, distance};
        }
    }
    return best;
}

// The edit distance of one query to many texts, the query's columns held as
// bits of one word (Hyyrö's form of Myers' algorithm); queries of more than
// 64 bytes go to the plain table.
class TEditDistanceScanner {
public:
    explicit TEditDistanceScanner(std::string_view query) : query_(query) {
        if (query.size() <= 64) {
            for (std::size_t i = 0; i < query.size(); ++i) {
                match_[static_cast<unsigned char>(query[i])] |= std::uint64_t{1} << i;
            }
        }
    }

    std::size_t Distance(std::string_view text) const {
        const std::size_t m = query_.size();
        if (m == 0) {
            return text.size();
        }
        if (m > 64) {
            return PlainEditDistance(query_, text);
        }
        const std::uint64_t last = std::uint64_t{1} << (m - 1);
        std::uint64_t positive = m == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << m) - 1;
        std::uint64_t negative = 0;
        std::size_t distance = m;
        for (const char c : text) {
            const std::uint64_t eq = match_[static_cast<unsigned char>(c)];
            const std::uint64_t x = eq | negative;
            const std::uint64_t d0 = (((x & positive) + positive) ^ positive) | x;
            std::uint64_t hp = negative | ~(d0 | positive);
            std::uint64_t hn = positive & d0;
            if ((hp & last) != 0) {
                ++distance;
            } else if ((hn & last) != 0) {
                --distance;
            }
            hp = (hp << 1) | 1;
            hn <<= 1;
            positive = hn | ~(d0 | hp);
            negative = hp & d0;
        }
        return distance;
    }

    // The first of entries nearest to the query; entries must not be empty.
    template <typename TEntries> TNearestEntry Nearest(const TEntries& entries) const {
        TNearestEntry best{0, Distance(entries[0])};
        for (std::size_t row = 1; row < entries.size() && best.Distance > 0; ++row) {
            const std::string_view entry = entries[row];
            const std::size_t gap = entry.size() > query_.size() ? entry.size() - query_.size()
                                                                 : query_.size() - entry.size();
            if (gap >= best.Distance) {
                continue; // the length alone costs as much as the best so far
            }
            const std::size_t distance = Distance(entry);
            if (distance < best.Distance) {
                best = {row, distance};
            }
        }
        return best;
    }

private:
    std::string query_;
    std::array<std::uint64_t, 256> match_{};
};

} // namespace verblinka::test_support
