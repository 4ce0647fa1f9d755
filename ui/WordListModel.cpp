#include "ui/WordListModel.h"

#include "text/CodePage1251.h"

#include <QApplication>
#include <QPainter>

#include <algorithm>
#include <limits>

namespace verblinka {

TWordListModel::TWordListModel(std::shared_ptr<const TDictionary> dictionary, QObject* parent)
    : QAbstractListModel(parent), dictionary_(std::move(dictionary)) {}

void TWordListModel::Replace(std::shared_ptr<const TDictionary> dictionary) noexcept {
    beginResetModel();
    dictionary_ = std::move(dictionary);
    endResetModel();
}

int TWordListModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid()) {
        return 0;
    }
    // The network numbers its rows with 32-bit integers, so a dictionary
    // never holds more entries than this; the clamp only keeps the cast sound.
    constexpr auto kMaxRows = static_cast<std::size_t>(std::numeric_limits<int>::max());
    return static_cast<int>(std::min(dictionary_->Entries.size(), kMaxRows));
}

QVariant TWordListModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= rowCount()) {
        return {};
    }
    return ShownEntry(dictionary_->Entries[static_cast<std::size_t>(index.row())].Word);
}

QString ShownEntry(std::string_view word) {
    // One byte is one character in Windows-1251, so the cut is made on bytes.
    if (word.size() <= kMaxShownCharacters) {
        return QString::fromStdString(Utf8From1251(word));
    }
    return QString::fromStdString(Utf8From1251(word.substr(0, kMaxShownCharacters))) +
           QChar(0x2026);
}

TWordListDelegate::TWordListDelegate(int rowHeight, QObject* parent)
    : QStyledItemDelegate(parent), rowHeight_(rowHeight) {}

QSize TWordListDelegate::sizeHint(const QStyleOptionViewItem& option,
                                  const QModelIndex& index) const {
    return {QStyledItemDelegate::sizeHint(option, index).width(), rowHeight_};
}

void TWordListDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const {
    QStyleOptionViewItem item = option;
    initStyleOption(&item, index);
    const QString text = item.text;
    item.text.clear();
    const QWidget* widget = item.widget;
    const QStyle* style = widget != nullptr ? widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &item, painter, widget); // selection, focus

    // The style would clip the text to the font's line, which cuts the marks
    // above capitals (Й, Ё) off in a small font; the row has room for them.
    const QPalette::ColorGroup group = !(item.state & QStyle::State_Enabled) ? QPalette::Disabled
                                       : (item.state & QStyle::State_Active) ? QPalette::Active
                                                                             : QPalette::Inactive;
    const QPalette::ColorRole role =
        (item.state & QStyle::State_Selected) ? QPalette::HighlightedText : QPalette::Text;
    const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, widget) + 1;
    painter->save();
    painter->setPen(item.palette.color(group, role));
    painter->setFont(item.font);
    painter->drawText(item.rect.adjusted(margin, 0, -margin, 0),
                      Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text);
    painter->restore();
}

} // namespace verblinka
