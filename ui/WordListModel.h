// The dictionary list's model: it shares the dictionary with the main window
// and shows its entries as they are, so a dictionary of a million words is
// shown without an item object per entry.
#pragma once

#include "dictionary/DictionaryLoad.h"

#include <QAbstractListModel>
#include <QStyledItemDelegate>

#include <cstddef>
#include <memory>
#include <string_view>

namespace verblinka {

// The most characters of one entry that the list draws and measures; a longer
// entry is shown cut, ending in an ellipsis (the entry itself stays whole).
// Laying out a line of a hundred million characters would exhaust memory.
inline constexpr std::size_t kMaxShownCharacters = 4096;

// An entry as the list shows it: its text, cut after kMaxShownCharacters.
QString ShownEntry(std::string_view word);

class TWordListModel final : public QAbstractListModel {
    Q_OBJECT

public:
    TWordListModel(std::shared_ptr<const TDictionary> dictionary, QObject* parent);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    // Entries are Windows-1251 bytes; the display role gives them as text.
    QVariant data(const QModelIndex& index, int role) const override;

    // Shows dictionary in place of the current one; any selection goes with
    // the old entries.
    void Replace(std::shared_ptr<const TDictionary> dictionary) noexcept;

private:
    std::shared_ptr<const TDictionary> dictionary_; // never null
};

// Draws the rows of the dictionary list, all of one fixed height, each word
// on one line over the whole height of its row.
class TWordListDelegate final : public QStyledItemDelegate {
    Q_OBJECT

public:
    TWordListDelegate(int rowHeight, QObject* parent);
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;

private:
    int rowHeight_;
};

} // namespace verblinka
