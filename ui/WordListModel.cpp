#include "ui/WordListModel.h"

#include "engine/CodePage1251.h"

#include <algorithm>
#include <limits>

namespace verblinka {

TWordListModel::TWordListModel(const TDictionaryEntries& entries, QObject* parent)
    : QAbstractListModel(parent), entries_(entries) {}

int TWordListModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid()) {
        return 0;
    }
    // The network numbers its rows with 32-bit integers, so a dictionary
    // never holds more entries than this; the clamp only keeps the cast sound.
    constexpr auto kMaxRows = static_cast<std::size_t>(std::numeric_limits<int>::max());
    return static_cast<int>(std::min(entries_.size(), kMaxRows));
}

QVariant TWordListModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= rowCount()) {
        return {};
    }
    return QString::fromStdString(
        Utf8From1251(entries_[static_cast<std::size_t>(index.row())].Word));
}

TFixedRowHeightDelegate::TFixedRowHeightDelegate(int rowHeight, QObject* parent)
    : QStyledItemDelegate(parent), rowHeight_(rowHeight) {}

QSize TFixedRowHeightDelegate::sizeHint(const QStyleOptionViewItem& option,
                                        const QModelIndex& index) const {
    return {QStyledItemDelegate::sizeHint(option, index).width(), rowHeight_};
}

} // namespace verblinka
