#include "dictionary/BTree.h"

#include "engine/CheckedMath.h"

#include <iterator>

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

void TStringBTree::Clear() {
    index_.clear();
    nodes_.clear();
    nodes_.shrink_to_fit();
    root_ = NewNode({});
    if (insertion_ == TTreeInsertion::Indexed) {
        index_.insert(root_);
    }
}

void TStringBTree::Add(std::string_view word) {
    if (insertion_ == TTreeInsertion::Indexed) {
        AddIndexed(word);
    } else {
        AddByWalk(word);
    }
}

// In a binary search tree a new key's parent is its in-order predecessor or
// successor: the predecessor if it has no Greater child (the key becomes
// that child), otherwise the successor, whose Lesser side is then free. So
// the index finds the place the walk would reach. Sorted input hits the two
// shortcuts: after the largest key, before the smallest word.
void TStringBTree::AddIndexed(std::string_view word) {
    auto attach = [&](TStringBTreeNode*& link, auto hint) {
        TStringBTreeNode* created = NewNode(word);
        created->Occurrences = 1;
        index_.emplace_hint(hint,
                            created); // before linking: a failure here leaves the tree as it was
        link = created;
    };
    TStringBTreeNode* const largest = *index_.rbegin();
    int order = CompareWords(word, largest->Key);
    if (order > 0) {
        attach(largest->Greater, index_.end());
        return;
    }
    if (order == 0) {
        largest->Occurrences = CheckedAdd(largest->Occurrences, 1);
        return;
    }
    // Here the tree holds at least one word, and word sorts before the largest.
    const auto smallest = std::next(index_.begin());
    order = CompareWords(word, (*smallest)->Key);
    if (order < 0 && !word.empty()) {
        attach((*smallest)->Lesser, smallest);
        return;
    }
    if (order == 0) {
        (*smallest)->Occurrences = CheckedAdd((*smallest)->Occurrences, 1);
        return;
    }
    const auto successor = index_.lower_bound(word);
    if (CompareWords((*successor)->Key, word) == 0) {
        (*successor)->Occurrences = CheckedAdd((*successor)->Occurrences, 1);
        return;
    }
    TStringBTreeNode* const predecessor = *std::prev(successor);
    if (predecessor->Greater == nullptr) {
        attach(predecessor->Greater, successor);
    } else {
        attach((*successor)->Lesser, successor);
    }
}

void TStringBTree::AddByWalk(std::string_view word) {
    TStringBTreeNode* node = root_;
    for (;;) {
        const int order = CompareWords(word, node->Key);
        if (order == 0) {
            node->Occurrences = CheckedAdd(node->Occurrences, 1);
            return;
        }
        TStringBTreeNode*& next = order < 0 ? node->Lesser : node->Greater;
        if (next == nullptr) {
            TStringBTreeNode* created = NewNode(word);
            created->Occurrences = 1;
            next = created;
            return;
        }
        node = next;
    }
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
