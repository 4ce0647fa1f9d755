// Two word codes as 8 x 20 grids of bits, the input above the stored code;
// bits where they disagree in red, positions holding 0 neutral. Each grid's
// label is elided to the room left of it; where the code is positional, the
// words' letters stand over the input's columns and under the stored code's.
#pragma once

#include "text/WordCode.h"

#include <QString>
#include <QWidget>

namespace verblinka {

class TBitGrid final : public QWidget {
    Q_OBJECT

public:
    explicit TBitGrid(QWidget* parent = nullptr);

    // The texts come cut to a bounded length (ShownText). firstLayer: the
    // value the network's first layer computed for the pair.
    void SetCodes(const QString& inputText, const TWordCode& input, const QString& storedText,
                  const TWordCode& stored, double firstLayer);
    void Clear();
    // One character per column (the first 20 of each word), or empty for a
    // code whose columns are no letters. SetCodes clears them.
    void SetLetters(const QString& inputLetters, const QString& storedLetters);

    // The parts of the first layer's value: the bits that agree, and the
    // positions where either code holds 0 (each counted as half).
    int AgreeingBits() const;
    int Blanks() const;
    // Agreeing bits plus half of the positions where either code holds 0:
    // what the first layer counts, from the bits drawn.
    double AgreementCount() const;
    int DisagreeingBits() const;
    double FirstLayerValue() const { return firstLayer_; }
    // The labels as drawn, elided to their room.
    QString InputLabel() const;
    QString StoredLabel() const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString Elided(const QString& text) const;

    QString inputText_;
    QString storedText_;
    QString inputLetters_;
    QString storedLetters_;
    TWordCode input_{};
    TWordCode stored_{};
    double firstLayer_ = 0.0;
    bool empty_ = true;
};

} // namespace verblinka
