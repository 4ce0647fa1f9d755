#include "dictionary/BTree.h"

#include "engine/CheckedMath.h"

#include <functional>
#include <iterator>
#include <limits>

namespace verblinka {

static_assert(std::string_view("\xA8").compare("\xC0") < 0, "words must compare as unsigned bytes");

TStringBTree::TStringBTree(TTreeInsertion insertion) : insertion_(insertion) {
    Clear();
}

TStringBTreeNode* TStringBTree::NewNode(std::string_view key) {
    TStringBTreeNode& node = nodes_.emplace_back();
    node.Key.assign(key);
    return &node;
}

namespace {

// A walk deeper than this builds the ordered index (random order stays far
// below it: a random tree of a million keys is about 50 levels deep).
constexpr std::size_t kDeepWalk = 200;
// The slot cache grows fourfold while it is smaller than this.
constexpr std::size_t kCacheGrowthLimit = std::size_t{1} << 20;

} // namespace

void TStringBTree::Clear() {
    // The fresh root is made before the old nodes go, so that running out of
    // memory here leaves the tree as it was rather than without a root.
    std::deque<TStringBTreeNode> fresh(1);
    std::vector<TStringBTreeNode*> recent(1024, nullptr);
    index_.clear();
    indexed_ = false;
    nodes_.swap(fresh);
    recent_.swap(recent);
    root_ = &nodes_.front();
    largest_ = root_;
    smallest_ = nullptr;
}

void TStringBTree::Add(std::string_view word) {
    if (insertion_ == TTreeInsertion::Walk) {
        AddByWalk(word, std::numeric_limits<std::size_t>::max());
        return;
    }
    // Past the largest key (ascending input) or equal to it.
    const int order = CompareWords(word, largest_->Key);
    if (order >= 0) {
        if (order == 0) {
            Count(largest_);
        } else {
            Remember(Attach(largest_->Greater, word, index_.end()));
        }
        return;
    }
    TStringBTreeNode*& recent = CacheSlot(word);
    if (recent != nullptr && recent->Key == word) {
        Count(recent);
        return;
    }
    // Before the smallest word (descending input) or equal to it.
    const int fromSmallest =
        smallest_ == nullptr || word.empty() ? 1 : CompareWords(word, smallest_->Key);
    if (fromSmallest <= 0) {
        if (fromSmallest == 0) {
            Count(smallest_);
        } else {
            Remember(Attach(smallest_->Lesser, word,
                            indexed_ ? std::next(index_.begin()) : index_.end()));
        }
        return;
    }
    TStringBTreeNode* node = indexed_ ? AddIndexed(word) : AddByWalk(word, kDeepWalk);
    if (node == nullptr) {
        BuildIndex();
        node = AddIndexed(word);
    }
    if (node->Occurrences == 1) {
        Remember(node);
    }
    CacheSlot(word) = node;
}

// A new node: keeps the shortcuts up to date.
void TStringBTree::Remember(TStringBTreeNode* created) {
    if (largest_ == root_ || CompareWords(created->Key, largest_->Key) > 0) {
        largest_ = created;
    }
    if (smallest_ == nullptr || CompareWords(created->Key, smallest_->Key) < 0) {
        smallest_ = created;
    }
    if (nodes_.size() > recent_.size() && recent_.size() < kCacheGrowthLimit) {
        recent_.assign(recent_.size() * 4, nullptr); // a cache: simply start afresh
    }
}

TStringBTreeNode*& TStringBTree::CacheSlot(std::string_view word) {
    return recent_[std::hash<std::string_view>{}(word) & (recent_.size() - 1)];
}

TStringBTreeNode* TStringBTree::Count(TStringBTreeNode* node) const {
    node->Occurrences = CheckedIncrement(node->Occurrences, occurrenceLimit_);
    return node;
}

// Hangs a new node for word at link, which must be empty; hint is where the
// key goes in the index, if there is one.
TStringBTreeNode* TStringBTree::Attach(TStringBTreeNode*& link, std::string_view word,
                                       TIndex::const_iterator hint) {
    TStringBTreeNode* created = NewNode(word);
    created->Occurrences = 1;
    if (indexed_) {
        try {
            index_.emplace_hint(hint, created);
        } catch (...) {
            nodes_.pop_back(); // leave the tree as it was
            throw;
        }
    }
    link = created;
    return created;
}

// The in-order walk gives the keys sorted: the set is built in linear time.
void TStringBTree::BuildIndex() {
    std::vector<TStringBTreeNode*> pending;
    TStringBTreeNode* node = root_;
    while (node != nullptr || !pending.empty()) {
        while (node != nullptr) {
            pending.push_back(node);
            node = node->Lesser;
        }
        node = pending.back();
        pending.pop_back();
        index_.emplace_hint(index_.end(), node);
        node = node->Greater;
    }
    indexed_ = true;
}

// In a binary search tree a new key's parent is its in-order predecessor or
// successor: the predecessor if it has no Greater child (the key becomes
// that child), otherwise the successor, whose Lesser side is then free. So
// the index finds the place the walk would reach.
TStringBTreeNode* TStringBTree::AddIndexed(std::string_view word) {
    const auto successor = index_.lower_bound(word);
    if (successor != index_.end() && (*successor)->Key == word) {
        return Count(*successor);
    }
    // Root holds the smallest key, so word (not equal to it) has a predecessor;
    // Add's shortcuts took every word past the largest, so it has a successor.
    TStringBTreeNode* const predecessor = *std::prev(successor);
    if (predecessor->Greater == nullptr) {
        return Attach(predecessor->Greater, word, successor);
    }
    return Attach((*successor)->Lesser, word, successor);
}

// The literal walk; gives up (nullptr, nothing changed) past depthLimit levels.
TStringBTreeNode* TStringBTree::AddByWalk(std::string_view word, std::size_t depthLimit) {
    TStringBTreeNode* node = root_;
    for (std::size_t depth = 0; depth < depthLimit; ++depth) {
        const int order = CompareWords(word, node->Key);
        if (order == 0) {
            return Count(node);
        }
        TStringBTreeNode*& next = order < 0 ? node->Lesser : node->Greater;
        if (next == nullptr) {
            TStringBTreeNode* created = NewNode(word);
            created->Occurrences = 1;
            next = created;
            return created;
        }
        node = next;
    }
    return nullptr;
}

void TStringBTree::ExportTo(TDictionaryEntries& list) const {
    list.reserve(list.size() + nodes_.size());
    std::vector<const TStringBTreeNode*> pending; // the way back up, instead of recursion
    const TStringBTreeNode* node = root_;
    while (node != nullptr || !pending.empty()) {
        while (node != nullptr) {
            pending.push_back(node);
            node = node->Lesser;
        }
        node = pending.back();
        pending.pop_back();
        list.push_back({node->Key, node->Occurrences});
        node = node->Greater;
    }
}

} // namespace verblinka
