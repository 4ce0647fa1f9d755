#include "dictionary/BTree.h"

#include "engine/CheckedMath.h"

namespace verblinka {

static_assert(std::string_view("\xA8").compare("\xC0") < 0, "words must compare as unsigned bytes");

TStringBTree::TStringBTree() {
    Clear();
}

TStringBTreeNode* TStringBTree::NewNode(std::string_view key) {
    TStringBTreeNode& node = nodes_.emplace_back();
    node.Key.assign(key);
    return &node;
}

void TStringBTree::Clear() {
    nodes_.clear();
    nodes_.shrink_to_fit();
    root_ = NewNode({});
}

void TStringBTree::Add(std::string_view word) {
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
