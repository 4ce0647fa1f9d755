// TStringBTree: an unbalanced binary search tree of words that counts repeats
// and hands the words out once each in ascending byte order. Its root is a
// sentinel holding the empty string, so every export starts with that entry.
#pragma once

#include <cstdint>
#include <deque>
#include <limits>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace verblinka {

struct TStringBTreeNode {
    TStringBTreeNode* Lesser = nullptr;  // subtree of keys that sort before Key
    TStringBTreeNode* Greater = nullptr; // subtree of keys that sort after Key
    std::string Key;
    std::int32_t Occurrences = 0;
};

// One exported entry: a word with its occurrence count attached.
struct TDictionaryEntry {
    std::string Word;
    std::int32_t Occurrences = 0;

    friend bool operator==(const TDictionaryEntry&, const TDictionaryEntry&) = default;
};

using TDictionaryEntries = std::vector<TDictionaryEntry>;

// Byte order: unsigned bytes, a prefix before its extensions.
inline int CompareWords(std::string_view a, std::string_view b) {
    return a.compare(b);
}

// How Add finds a word's place. Both build the same tree, node for node.
enum class TTreeInsertion {
    // Shortcuts beside the tree: a cache of recently counted words, the
    // largest and smallest words (sorted input goes straight there), and,
    // once a walk has gone deep, an ordered index of every key, since a new
    // key hangs under its in-order predecessor or successor. No order of the
    // words makes loading quadratic.
    Indexed,
    // The literal walk from the root, one comparison per level (reference).
    Walk,
};

class TStringBTree {
public:
    explicit TStringBTree(TTreeInsertion insertion = TTreeInsertion::Indexed);
    TStringBTree(const TStringBTree&) = delete;
    TStringBTree& operator=(const TStringBTree&) = delete;

    void Add(std::string_view word);
    // Appends every node, Root first, in ascending order.
    void ExportTo(TDictionaryEntries& list) const;
    void Clear();

    // Largest count a word may reach: one more occurrence is an overflow
    // error. Tests lower it to reach the limit without billions of words.
    void SetOccurrenceLimit(std::int32_t limit) { occurrenceLimit_ = limit; }
    std::int32_t OccurrenceLimit() const { return occurrenceLimit_; }

    const TStringBTreeNode& Root() const { return *root_; }
    std::size_t NodeCount() const { return nodes_.size(); }

    // True once the ordered index has been built (for tests).
    bool HasIndex() const { return indexed_; }

private:
    TStringBTreeNode* NewNode(std::string_view key);
    TStringBTreeNode* AddByWalk(std::string_view word, std::size_t depthLimit);
    TStringBTreeNode* AddIndexed(std::string_view word);
    struct TKeyOrder {
        using is_transparent = void;
        bool operator()(const TStringBTreeNode* a, const TStringBTreeNode* b) const {
            return CompareWords(a->Key, b->Key) < 0;
        }
        bool operator()(const TStringBTreeNode* a, std::string_view b) const {
            return CompareWords(a->Key, b) < 0;
        }
        bool operator()(std::string_view a, const TStringBTreeNode* b) const {
            return CompareWords(a, b->Key) < 0;
        }
    };
    using TIndex = std::set<TStringBTreeNode*, TKeyOrder>;
    TStringBTreeNode* Attach(TStringBTreeNode*& link, std::string_view word,
                             TIndex::const_iterator hint);
    TStringBTreeNode* Count(TStringBTreeNode* node) const;
    void Remember(TStringBTreeNode* created);
    void BuildIndex();
    TStringBTreeNode*& CacheSlot(std::string_view word);

    // The tree owns its nodes here; the links between them are plain pointers,
    // so no release ever recurses along a deep chain.
    std::deque<TStringBTreeNode> nodes_;
    TStringBTreeNode* root_ = nullptr;
    TTreeInsertion insertion_;
    TStringBTreeNode* largest_ = nullptr;   // the node with the largest key (Root when empty)
    TStringBTreeNode* smallest_ = nullptr;  // the node with the smallest word, if any
    std::vector<TStringBTreeNode*> recent_; // by hash of the key: a word counted before
    bool indexed_ = false;
    TIndex index_; // every node, Root included, once built
    std::int32_t occurrenceLimit_ = std::numeric_limits<std::int32_t>::max();
};

} // namespace verblinka
