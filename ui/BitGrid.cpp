#include "ui/BitGrid.h"

#include <QPainter>

namespace verblinka {
namespace {

constexpr int kCell = 10;       // one bit of the grids, in pixels
constexpr int kGridGap = 4;     // between the two grids
constexpr int kGridLabel = 170; // the texts left of the grids
constexpr int kLabelMargin = 8;
constexpr int kLetterRow = 12; // the letters over and under the grids
constexpr int kColumns = kWordCodeLength / 8;

} // namespace

TBitGrid::TBitGrid(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("pbCodes"));
    setMinimumSize(sizeHint());
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

QSize TBitGrid::sizeHint() const {
    return {kGridLabel + kColumns * kCell + 8, 2 * 8 * kCell + kGridGap + 2 * kLetterRow + 8};
}

void TBitGrid::SetCodes(const QString& inputText, const TWordCode& input, const QString& storedText,
                        const TWordCode& stored, double firstLayer) {
    inputText_ = inputText;
    storedText_ = storedText;
    input_ = input;
    stored_ = stored;
    firstLayer_ = firstLayer;
    empty_ = false;
    inputLetters_.clear();
    storedLetters_.clear();
    update();
}

void TBitGrid::SetLetters(const QString& inputLetters, const QString& storedLetters) {
    inputLetters_ = inputLetters.left(kColumns);
    storedLetters_ = storedLetters.left(kColumns);
    update();
}

void TBitGrid::Clear() {
    empty_ = true;
    inputText_.clear();
    storedText_.clear();
    inputLetters_.clear();
    storedLetters_.clear();
    update();
}

double TBitGrid::AgreementCount() const {
    return AgreeingBits() + 0.5 * Blanks();
}

int TBitGrid::AgreeingBits() const {
    int count = 0;
    for (std::size_t i = 0; i < input_.size(); ++i) {
        count += input_[i] != 0 && input_[i] == stored_[i] ? 1 : 0;
    }
    return count;
}

int TBitGrid::Blanks() const {
    int count = 0;
    for (std::size_t i = 0; i < input_.size(); ++i) {
        count += input_[i] == 0 || stored_[i] == 0 ? 1 : 0;
    }
    return count;
}

int TBitGrid::DisagreeingBits() const {
    int count = 0;
    for (std::size_t i = 0; i < input_.size(); ++i) {
        count += input_[i] != 0 && stored_[i] != 0 && input_[i] != stored_[i] ? 1 : 0;
    }
    return count;
}

QString TBitGrid::Elided(const QString& text) const {
    return fontMetrics().elidedText(text, Qt::ElideRight, kGridLabel - kLabelMargin);
}

QString TBitGrid::InputLabel() const {
    return Elided(inputText_);
}

QString TBitGrid::StoredLabel() const {
    return Elided(storedText_);
}

void TBitGrid::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    painter.fillRect(rect(), palette().window());
    if (empty_) {
        return;
    }
    const QColor set(40, 40, 40);
    const QColor clear(250, 250, 250);
    const QColor none(205, 205, 205);
    const QColor differ(220, 30, 30);
    auto drawGrid = [&](int top, const QString& text, const TWordCode& code) {
        painter.setPen(palette().windowText().color());
        painter.drawText(QRect(2, top, kGridLabel - kLabelMargin, 8 * kCell),
                         Qt::AlignRight | Qt::AlignVCenter | Qt::TextSingleLine, text);
        for (int character = 0; character < kWordCodeLength / 8; ++character) {
            for (int bit = 0; bit < 8; ++bit) {
                const std::size_t i =
                    static_cast<std::size_t>(character) * 8 + static_cast<std::size_t>(bit);
                const QRect cell(kGridLabel + character * kCell, top + bit * kCell, kCell - 1,
                                 kCell - 1);
                QColor fill = code[i] > 0 ? set : (code[i] < 0 ? clear : none);
                const bool disagree = input_[i] != 0 && stored_[i] != 0 && input_[i] != stored_[i];
                if (disagree) {
                    fill = code[i] > 0 ? differ : differ.lighter(160);
                }
                painter.fillRect(cell, fill);
                if (disagree) {
                    painter.setPen(differ);
                    painter.drawRect(cell.adjusted(0, 0, -1, -1));
                }
            }
        }
    };
    const int top = 2 + kLetterRow;
    const int lower = top + 8 * kCell + kGridGap;
    drawGrid(top, InputLabel(), input_);
    drawGrid(lower, StoredLabel(), stored_);
    // A letter per column, over the input's grid and under the stored one's.
    QFont small = font();
    small.setPixelSize(kLetterRow - 2);
    painter.setFont(small);
    painter.setPen(palette().windowText().color());
    const auto drawLetters = [&](int y, const QString& letters) {
        for (int column = 0; column < letters.size(); ++column) {
            painter.drawText(QRect(kGridLabel + column * kCell - 2, y, kCell + 3, kLetterRow),
                             Qt::AlignCenter | Qt::TextSingleLine, letters.mid(column, 1));
        }
    };
    drawLetters(2, inputLetters_);
    drawLetters(lower + 8 * kCell, storedLetters_);
}

} // namespace verblinka
