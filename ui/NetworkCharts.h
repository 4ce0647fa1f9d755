// The network view's charts, each built from one recognition's trace: the
// first layer's histogram and the race of the leaders pass by pass. Numbers
// on the axes are written in Russian; names of rows come cut to a bounded
// length (the legend's own eliding is quadratic in a label's length).
#pragma once

#include "engine/RecognitionTrace.h"
#include "ui/NetworkStory.h"

#include <QString>

#include <cstdint>
#include <memory>

class QChart;

namespace verblinka {

// How many units of the first layer had each number of agreements, on a
// logarithmic scale; the winner's bar marked. Each bar's tool-tip gives its
// number of units (HistogramBarTip).
std::unique_ptr<QChart> FirstLayerChart(const TRecognitionTrace& trace, std::int32_t winner);

// The tool-tip of the histogram's bar for value: «57 совпадений: 1 234 единицы».
QString HistogramBarTip(std::size_t value, long long units);

// The tracked rows' values pass by pass, the clipping level, and the number
// of units still above zero (right axis). Its legend is hidden: LegendText
// gives it, to be shown below the chart, where it wraps instead of being cut.
std::unique_ptr<QChart> RaceChart(const TRecognitionTrace& trace, const TEntryText& text);

// The legend of a chart drawn outside it, as rich text that wraps to any
// width: a coloured square and the name of every series that has a
// name. The names are escaped: an entry's markup is shown as text.
QString LegendText(const QChart& chart);

} // namespace verblinka
